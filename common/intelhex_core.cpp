#include "intelhex_core.h"

#include <stdlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
};

// ':' and 2 digits per byte for count, address (2), type, up to 255 data bytes
// and the checksum; anything much longer is not a record.
constexpr std::size_t kMaxLineLength = 1 + 2 * (5 + 255) + 64;
constexpr std::uint64_t kAddressSpace = std::uint64_t(1) << 32;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string hex(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

class Converter
{
public:
    Converter(std::FILE *input, unsigned base) : m_input(input), m_base(base) {}

    // Reads the whole input into m_image; false with m_error set on a bad file.
    bool run()
    {
        std::string line;
        for (;;) {
            bool atEnd = false;
            if (!readLine(line, atEnd))
                return false;
            if (atEnd)
                return true; // no end-of-file record: what was read is the image
            ++m_lineNumber;
            trim(line);
            if (line.empty())
                continue;
            bool endSeen = false;
            if (!record(line, endSeen))
                return false;
            if (endSeen)
                return true;
        }
    }

    const std::vector<std::uint8_t> &image() const { return m_image; }
    const std::string &error() const { return m_error; }

private:
    bool fail(const std::string &why)
    {
        m_error = m_lineNumber > 0 ? "line " + std::to_string(m_lineNumber) + ": " + why : why;
        return false;
    }

    bool readLine(std::string &line, bool &atEnd)
    {
        line.clear();
        int c;
        while ((c = std::getc(m_input)) != EOF && c != '\n') {
            if (line.size() >= kMaxLineLength) {
                ++m_lineNumber;
                return fail("line too long for an Intel-hex record");
            }
            line.push_back(static_cast<char>(c));
        }
        if (c == EOF) {
            if (std::ferror(m_input))
                return fail(std::string("read error: ") + std::strerror(errno));
            atEnd = line.empty();
        }
        return true;
    }

    static void trim(std::string &line)
    {
        std::size_t end = line.size();
        while (end > 0 && isBlank(line[end - 1]))
            --end;
        std::size_t begin = 0;
        while (begin < end && isBlank(line[begin]))
            ++begin;
        line = line.substr(begin, end - begin);
    }

    bool record(const std::string &line, bool &endSeen)
    {
        if (line[0] != ':')
            return fail("not an Intel-hex record");
        const std::size_t digits = line.size() - 1;
        if (digits % 2 != 0)
            return fail("odd number of hex digits");
        m_bytes.clear();
        for (std::size_t i = 1; i < line.size(); i += 2) {
            const int high = hexDigit(line[i]);
            const int low = hexDigit(line[i + 1]);
            if (high < 0 || low < 0)
                return fail("character that is not a hex digit");
            m_bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        }
        if (m_bytes.size() < 5)
            return fail("record too short");
        const unsigned count = m_bytes[0];
        if (m_bytes.size() != count + 5u)
            return fail("record length does not match its byte count " + std::to_string(count));
        unsigned sum = 0;
        for (std::uint8_t b : m_bytes)
            sum += b;
        if ((sum & 0xFF) != 0)
            return fail("checksum mismatch");

        const unsigned address = unsigned(m_bytes[1]) << 8 | m_bytes[2];
        const std::uint8_t *data = m_bytes.data() + 4;
        switch (m_bytes[3]) {
        case kData:
            return storeData(address, data, count);
        case kEndOfFile:
            endSeen = true;
            return true;
        case kExtendedSegmentAddress:
            if (count != 2)
                return fail("extended segment address record without 2 data bytes");
            m_segmentBase = (std::uint64_t(data[0]) << 8 | data[1]) << 4;
            return true;
        case kExtendedLinearAddress:
            if (count != 2)
                return fail("extended linear address record without 2 data bytes");
            m_linearBase = ((std::uint64_t(data[0]) << 8 | data[1]) << 16) + address;
            return true;
        case kStartSegmentAddress:
        case kStartLinearAddress:
        default:
            return true; // execution start and unknown records carry nothing for the image
        }
    }

    // A data record without bytes places nothing, but like any record it
    // says the image reaches its address: the gap up to it is filled with
    // zeros (what objcopy's --pad-to to that address gives).
    bool storeData(unsigned address, const std::uint8_t *data, unsigned count)
    {
        const std::uint64_t first = m_linearBase + m_segmentBase + address;
        const std::uint64_t end = first + count;
        if (end > kAddressSpace)
            return fail("data beyond the 32-bit address space");
        if (end <= m_base)
            return true; // wholly below the image
        const std::uint64_t start = first > m_base ? first : m_base;
        const std::uint64_t imageEnd = end - m_base;
        if (imageEnd > kIntelHexMaxImageBytes)
            return fail("data at 0x" + hex(first) + " makes the image larger than " +
                        std::to_string(kIntelHexMaxImageBytes) + " bytes");
        if (m_image.size() < imageEnd)
            m_image.resize(imageEnd, 0);
        if (end > start)
            std::memcpy(m_image.data() + (start - m_base), data + (start - first), end - start);
        return true;
    }

    std::FILE *m_input;
    std::uint64_t m_base;
    std::uint64_t m_linearBase = 0;
    std::uint64_t m_segmentBase = 0;
    int m_lineNumber = 0;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::uint8_t> m_image;
    std::string m_error;
};

std::string systemError(const char *what, const char *path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

} // namespace

bool zvs450_ConvertIntelHexFile(const char *inputPath, const char *outputPath, unsigned int base,
                                std::string *error)
{
    std::string reason;
    std::FILE *input = std::fopen(inputPath, "rb");
    if (input == nullptr) {
        if (error)
            *error = systemError("cannot open", inputPath);
        return false;
    }
    // Truncating the output must never destroy the file being read.
    struct stat in {}, out {};
    if (fstat(fileno(input), &in) == 0 && stat(outputPath, &out) == 0 && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino) {
        if (error)
            *error = std::string(outputPath) + " is both the input and the output";
        std::fclose(input);
        return false;
    }
    std::FILE *output = std::fopen(outputPath, "wb");
    if (output == nullptr) {
        if (error)
            *error = systemError("cannot create", outputPath);
        std::fclose(input);
        return false;
    }

    Converter converter(input, base);
    bool ok = converter.run();
    std::fclose(input);
    if (!ok)
        reason = converter.error();

    const std::vector<std::uint8_t> &image = converter.image();
    if (ok && !image.empty() && std::fwrite(image.data(), 1, image.size(), output) != image.size()) {
        reason = systemError("cannot write", outputPath);
        ok = false;
    }
    if (std::fclose(output) != 0 && ok) {
        reason = systemError("cannot write", outputPath);
        ok = false;
    }
    if (!ok) {
        std::remove(outputPath);
        if (error)
            *error = reason;
    }
    return ok;
}


std::string zvs450_MakeTempFilePath()
{
    const char *dir = std::getenv("TMPDIR");
    std::string name = dir && *dir ? dir : "/tmp";
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    name += "/$450XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return std::string();
    ::close(fd);
    return name;
}

std::string zvs450_ConvertIntelHexToTempFile(const char *inputPath, unsigned int base, std::string *error)
{
    const std::string output = zvs450_MakeTempFilePath();
    if (output.empty()) {
        if (error)
            *error = std::string("cannot create a temporary file: ") + std::strerror(errno);
        return std::string();
    }
    if (!zvs450_ConvertIntelHexFile(inputPath, output.c_str(), base, error)) {
        std::remove(output.c_str());  // the converter leaves it when the input cannot be opened
        return std::string();
    }
    return output;
}
