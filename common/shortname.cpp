// shortname.cpp - the player's 8.3 names as text.

#include "shortname.h"

#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr const char *kDefaultCodePage = "CP437";

// One converter from the player's code page, opened at the first name that
// needs it and kept, instead of one opened and closed per name; it is opened
// again when ZVC450_CODEPAGE names another code page. The mount lists from a
// thread of its own, so the converter is used by one caller at a time.
class CodePageDecoder
{
public:
    ~CodePageDecoder() { close(); }

    // The UTF-8 text of bytes, or false when the code page cannot convert them.
    bool decode(const std::string &bytes, std::string *text)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const char *env = std::getenv("ZVC450_CODEPAGE");
        const std::string wanted = env && *env ? env : kDefaultCodePage;
        if (!m_opened || wanted != m_wanted)
            open(wanted);
        if (m_cd == iconv_t(-1))
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string in = bytes;
        std::string out(bytes.size() * 4 + 4, '\0');
        char *inp = &in[0];
        char *outp = &out[0];
        std::size_t inLeft = in.size();
        std::size_t outLeft = out.size();
        if (iconv(m_cd, &inp, &inLeft, &outp, &outLeft) == std::size_t(-1))
            return false;
        out.resize(out.size() - outLeft);
        *text = std::move(out);
        return true;
    }

private:
    void open(const std::string &wanted)
    {
        close();
        m_wanted = wanted;
        m_opened = true;
        m_cd = iconv_open("UTF-8", wanted.c_str());
        if (m_cd == iconv_t(-1))
            m_cd = iconv_open("UTF-8", kDefaultCodePage);
    }

    void close()
    {
        if (m_cd != iconv_t(-1))
            iconv_close(m_cd);
        m_cd = iconv_t(-1);
    }

    std::mutex m_mutex;
    iconv_t m_cd = iconv_t(-1);
    std::string m_wanted;
    bool m_opened = false;
};

std::string trimmedField(const char *field, std::size_t width)
{
    std::string s(field, strnlen(field, width));
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string decodePart(const std::string &bytes, char replacement)
{
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return bytes;
    static CodePageDecoder decoder;
    std::string text;
    if (decoder.decode(bytes, &text))
        return text;
    text = bytes;
    for (char &c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = replacement;
    return text;
}

} // namespace

std::string zvs450_ShortNameText(const char *base, std::size_t baseWidth, const char *ext, std::size_t extWidth,
                                 char replacement)
{
    std::string text = decodePart(trimmedField(base, baseWidth), replacement);
    const std::string extension = trimmedField(ext, extWidth);
    if (!extension.empty())
        text += "." + decodePart(extension, replacement);
    return text;
}
