// names.cpp - device file names: 8.3 short names, FAT directory-entry sets,
// long names and the text conversions around them.
//
// A name reaches the player as a ready-made FAT entry set: a short entry with
// an 8.3 name in the device code page and, when that 8.3 name cannot hold the
// PC name exactly, long-name entries carrying the name in UTF-16.  Building
// the 8.3 name, character by character from the PC name (UTF-8):
//   - "a".."z" become upper case (the name is then "lossy": it needs the long
//     name to come back as it was);
//   - spaces and dots inside the base are dropped (lossy);
//   - "+ , ; = [ ]" and anything the device code page lacks become "_" (lossy);
//   - other non-ASCII characters are stored upper-cased in the code page;
//     a double-byte character only where both bytes fit (always lossy);
//   - control characters and " * : < > ? \ | cannot stand in any FAT name,
//     short or long: such a name is refused before anything is sent.  On
//     Linux only "/" separates folders, so "AC\DC.mp3" and "Artist: Song.mp3"
//     are names holding a character the player cannot store, never paths;
//   - ".", "..", blank names and names ending in a dot or a space are refused
//     too (Windows and the vfat driver refuse them; the player would store a
//     name other than the one asked for);
//   - bytes that are not UTF-8 (legacy names on Linux disks) stand for U+FFFD:
//     "_" in the short name, U+FFFD in the long one.
// The base keeps 8 positions, the extension 3; what is left over makes the
// name lossy.  An empty base becomes "ZVC450".

#include "protocol.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace zvc450 {
namespace {

constexpr int kBaseLen = 8;
constexpr int kExtLen = 3;
constexpr char32_t kReplacement = 0xFFFD;
constexpr const char *kEmptyBase = "ZVC450";
constexpr const char *kCodePageEnv = "ZVC450_CODEPAGE";

// ---- code page ------------------------------------------------------------

class CodePage {
public:
    ~CodePage() { closeAll(); }

    void set(const std::string &name)
    {
        closeAll();
        name_ = name;
        toDevice_ = iconv_open(name_.c_str(), "UTF-32LE");
        fromDevice_ = iconv_open("UTF-8", name_.c_str());
        if (toDevice_ == iconv_t(-1) || fromDevice_ == iconv_t(-1)) {
            closeAll();
            name_ = kDefaultDeviceCodePage;
            toDevice_ = iconv_open(name_.c_str(), "UTF-32LE");
            fromDevice_ = iconv_open("UTF-8", name_.c_str());
        }
    }

    const std::string &name()
    {
        ensure();
        return name_;
    }

    // Bytes of one character in the device code page; 0 when it has none.
    int encode(char32_t cp, char out[4])
    {
        ensure();
        if (cp < 0x80) {
            out[0] = char(cp);
            return 1;
        }
        if (toDevice_ == iconv_t(-1))
            return 0;
        char in[4] = {char(cp & 0xFF), char(cp >> 8 & 0xFF), char(cp >> 16 & 0xFF), char(cp >> 24 & 0xFF)};
        char *inp = in, *outp = out;
        size_t inLeft = sizeof in, outLeft = 4;
        iconv(toDevice_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(toDevice_, &inp, &inLeft, &outp, &outLeft) == size_t(-1))
            return 0;
        return int(4 - outLeft);
    }

    // Device bytes to UTF-8; an undecodable byte becomes U+FFFD.
    std::string decode(const char *bytes, size_t len)
    {
        ensure();
        std::string out;
        if (fromDevice_ == iconv_t(-1)) {
            out.assign(bytes, len);
            return out;
        }
        char *inp = const_cast<char *>(bytes);
        size_t inLeft = len;
        iconv(fromDevice_, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char buf[256];
            char *outp = buf;
            size_t outLeft = sizeof buf;
            size_t r = iconv(fromDevice_, &inp, &inLeft, &outp, &outLeft);
            out.append(buf, size_t(outp - buf));
            if (r == size_t(-1) && errno != E2BIG) {
                out += "\xEF\xBF\xBD";
                ++inp;
                --inLeft;
                iconv(fromDevice_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    void ensure()
    {
        if (!name_.empty())
            return;
        const char *env = std::getenv(kCodePageEnv);
        set(env && *env ? env : kDefaultDeviceCodePage);
    }

    void closeAll()
    {
        if (toDevice_ != iconv_t(-1))
            iconv_close(toDevice_);
        if (fromDevice_ != iconv_t(-1))
            iconv_close(fromDevice_);
        toDevice_ = fromDevice_ = iconv_t(-1);
    }

    std::string name_;
    iconv_t toDevice_ = iconv_t(-1);
    iconv_t fromDevice_ = iconv_t(-1);
};

CodePage &codePage()
{
    static CodePage page;
    return page;
}

// ---- UTF-8 / UTF-16 ---------------------------------------------------------

// Decodes UTF-8; a byte that starts no valid sequence becomes U+FFFD.
std::u32string decodeUtf8(const char *s, size_t n)
{
    std::u32string out;
    const auto *p = reinterpret_cast<const uint8_t *>(s);
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        int extra = 0;
        char32_t cp = 0, min = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1; cp = b & 0x1F; min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2; cp = b & 0x0F; min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3; cp = b & 0x07; min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        bool ok = i + size_t(extra) < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((p[i + size_t(k)] & 0xC0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (p[i + size_t(k)] & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += kReplacement;
            ++i;
            continue;
        }
        out += cp;
        i += size_t(extra) + 1;
    }
    return out;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::u16string toUtf16(const std::u32string &text)
{
    std::u16string out;
    for (char32_t cp : text) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 | cp >> 10);
            out += char16_t(0xDC00 | (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

// ---- 8.3 names ----------------------------------------------------------------

constexpr char kSeparator = '/';

// Characters no FAT name (short or long) can hold.  All of them are ASCII,
// so one byte of the UTF-8 name is always one such character.
bool forbiddenInAnyName(char32_t cp)
{
    return cp < 0x20 || cp == 0x7F || (cp < 0x80 && std::strchr("\"*/:<>?\\|", int(cp)) != nullptr);
}

// Why the player cannot store the name component [name, name + len), with
// the byte offset of the character at fault (or of the component's start).
int checkComponent(const char *name, size_t len, size_t *position)
{
    *position = 0;
    if (len == 0)
        return ZVC450_NAME_BLANK;
    if ((len == 1 && name[0] == '.') || (len == 2 && name[0] == '.' && name[1] == '.'))
        return ZVC450_NAME_RESERVED;
    for (size_t i = 0; i < len; ++i) {
        const auto b = uint8_t(name[i]);
        if (b < 0x80 && forbiddenInAnyName(b)) {
            *position = i;
            return ZVC450_NAME_BAD_CHARACTER;
        }
    }
    if (std::strspn(name, " ") >= len)
        return ZVC450_NAME_BLANK;
    if (name[len - 1] == '.' || name[len - 1] == ' ') {
        *position = len - 1;
        return ZVC450_NAME_TRAILING;
    }
    // Only a dot and an extension: nothing could stand in the 8.3 base.
    if (name[0] == '.' && std::memchr(name + 1, '.', len - 1) == nullptr)
        return ZVC450_NAME_ONLY_EXTENSION;
    return ZVC450_NAME_OK;
}

// Printable ASCII that a long name may hold but a short name may not.
bool forbiddenInShortName(char32_t cp)
{
    return cp < 0x80 && std::strchr("+,;=[]", int(cp)) != nullptr;
}

// Unicode's simple upper-case mapping (the C.UTF-8 locale carries it), so the
// result does not depend on the user's locale.  Unchanged when that locale is
// missing.
char32_t upperCase(char32_t cp)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (utf8 == locale_t(0) || cp > 0x10FFFF)
        return cp;
    return char32_t(towupper_l(wint_t(cp), utf8));
}

// Appends one character to a short-name field of `room` bytes.  Returns false
// when the field is full (or a double-byte character no longer fits), which
// ends the field.
bool appendShortChar(std::string &field, int room, char32_t cp, bool inBase, bool *lossy)
{
    if (int(field.size()) >= room)
        return false;
    if (cp <= ' ' || (inBase && cp == '.')) {
        *lossy = true;  // dropped
        return true;
    }
    if (cp < 0x80) {
        if (cp >= 'a' && cp <= 'z') {
            cp -= 'a' - 'A';
            *lossy = true;
        } else if (forbiddenInShortName(cp)) {
            cp = '_';
            *lossy = true;
        }
        field += char(cp);
        return true;
    }
    char bytes[4];
    const char32_t upper = upperCase(cp);
    int n = upper != cp ? codePage().encode(upper, bytes) : 0;
    if (n > 0)
        *lossy = true;  // case changed
    else
        n = codePage().encode(cp, bytes);
    // A code page that maps a character onto a control character or onto
    // ASCII punctuation would put a byte no short name may hold into it.
    if (n == 1 && uint8_t(bytes[0]) >= 0x80) {
        field += bytes[0];
        return true;
    }
    *lossy = true;
    if (n == 2 && uint8_t(bytes[0]) >= 0x81 && uint8_t(bytes[1]) >= 0x40) {
        // A double-byte character goes in whole or ends the field.
        if (int(field.size()) + 2 > room)
            return false;
        field.append(bytes, 2);
        return true;
    }
    field += '_';
    return true;
}

// Fills a short-name field of `room` bytes from text; what does not fit
// makes the name lossy.
void fillShortField(std::string *field, int room, const std::u32string &text, bool inBase, bool *lossy)
{
    for (char32_t cp : text) {
        if (!appendShortChar(*field, room, cp, inBase, lossy)) {
            *lossy = true;
            return;
        }
    }
}

struct ShortParts {
    std::string base;  // device code page bytes, at most 8
    std::string ext;   // at most 3
    bool lossy = false;
};

bool makeShortParts(const char *name, ShortParts *out)
{
    if (!name) {
        ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
        return false;
    }
    const char *component = pathTail(name);
    const size_t len = std::strlen(component);
    size_t at = 0;
    if (checkComponent(component, len, &at) != ZVC450_NAME_OK) {
        ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
        return false;
    }
    // The extension starts after the last "." of the component.
    const char *lastDot = std::strrchr(component, '.');
    const size_t dot = lastDot ? size_t(lastDot - component) : std::string::npos;
    const char *baseEnd = lastDot ? lastDot : component + len;
    ShortParts parts;
    if (dot != std::string::npos)
        fillShortField(&parts.ext, kExtLen, decodeUtf8(component + dot + 1, len - dot - 1), false, &parts.lossy);
    fillShortField(&parts.base, kBaseLen, decodeUtf8(component, size_t(baseEnd - component)), true, &parts.lossy);
    if (parts.base.empty())
        parts.base = kEmptyBase;
    *out = std::move(parts);
    return true;
}

}  // namespace

void setDeviceCodePage(const std::string &iconvName) { codePage().set(iconvName); }

std::string deviceCodePage() { return codePage().name(); }

const char *pathTail(const char *path)
{
    const char *slash = std::strrchr(path, kSeparator);
    return slash ? slash + 1 : path;
}

bool makeShortName(const char *name, std::string *shortName, bool *lossy)
{
    ShortParts parts;
    if (!makeShortParts(name, &parts))
        return false;
    if (shortName)
        *shortName = parts.base + "." + parts.ext;
    if (lossy)
        *lossy = parts.lossy;
    return true;
}

bool encodeName(const char *name, bool forceLong, std::vector<uint8_t> *out)
{
    return encodeNameAt(name, forceLong, fatStampNow(), out);
}

bool encodeNameAt(const char *name, bool forceLong, const FatStamp &stamp, std::vector<uint8_t> *out)
{
    ShortParts parts;
    if (!makeShortParts(name, &parts))
        return false;
    std::u16string units;
    int n = 1;
    if (parts.lossy || forceLong) {
        const char *comp = pathTail(name);
        units = toUtf16(decodeUtf8(comp, std::strlen(comp)));
        if (units.size() > size_t(kMaxLongNameUnits)) {
            ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
            return false;
        }
        n = int(units.size() + kCharsPerLongEntry - 1) / kCharsPerLongEntry + 1;
    }
    out->assign(size_t(n) * kDirEntrySize, 0);
    uint8_t *shortEntry = out->data() + size_t(n - 1) * kDirEntrySize;
    std::memset(shortEntry + kEntryName, ' ', 11);
    std::memcpy(shortEntry + kEntryName, parts.base.data(), parts.base.size() < 8 ? parts.base.size() : 8);
    std::memcpy(shortEntry + kEntryExt, parts.ext.data(), parts.ext.size() < 3 ? parts.ext.size() : 3);
    if (shortEntry[kEntryName] == kEntryDeleted)
        shortEntry[kEntryName] = kEntryE5Escape;
    shortEntry[kEntryAttribute] = kAttrArchive;
    putStamp(shortEntry, stamp);

    const uint8_t sum = shortNameChecksum(shortEntry);
    // Long entries stand before the short one in descending order: entry
    // n-2 holds ordinal 1 (characters 1-13), entry 0 the last part, marked.
    for (int k = n - 2, ordinal = 1; k >= 0; --k, ++ordinal)
        putLongEntry(out->data() + size_t(k) * kDirEntrySize, ordinal, k == 0, sum, units);
    return true;
}

std::string shortEntryToText(const uint8_t entry[kDirEntrySize])
{
    char base[8];
    size_t b = 0;
    for (; b < 8 && entry[b] != ' '; ++b)
        base[b] = char(entry[b]);
    if (b > 0 && uint8_t(base[0]) == kEntryE5Escape)
        base[0] = char(kEntryDeleted);
    std::string text = codePage().decode(base, b);
    if (entry[8] != ' ') {
        size_t e = 0;
        while (e < 3 && entry[8 + e] != ' ')
            ++e;
        text += '.';
        text += codePage().decode(reinterpret_cast<const char *>(entry + 8), e);
    }
    return text;
}

std::string deviceBytesToUtf8(const char *bytes, size_t len) { return codePage().decode(bytes, len); }

std::string utf16leToUtf8(const uint8_t *units, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        char32_t u = getLE16(units + 2 * i);
        if (u == 0)
            break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
            const char32_t lo = getLE16(units + 2 * (i + 1));
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = kReplacement;
        appendUtf8(out, u);
    }
    return out;
}

std::string utf8Prefix(const std::string &src, size_t max)
{
    if (src.size() <= max)
        return src;
    // Do not split a multi-byte sequence: back up to its lead byte.
    size_t n = max;
    while (n > 0 && (uint8_t(src[n]) & 0xC0) == 0x80)
        --n;
    return src.substr(0, n);
}

void copyUtf8Cut(char *dst, size_t size, const std::string &src)
{
    if (size == 0)
        return;
    const std::string cut = utf8Prefix(src, size - 1);
    std::memcpy(dst, cut.data(), cut.size());
    dst[cut.size()] = '\0';
}

}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_CheckFileName(const char *name, int *position)
{
    if (!name) {
        if (position)
            *position = 0;
        return ZVC450_NAME_BLANK;
    }
    const char *component = pathTail(name);
    size_t at = 0;
    int reason = checkComponent(component, std::strlen(component), &at);
    if (reason == ZVC450_NAME_OK &&
        toUtf16(decodeUtf8(component, std::strlen(component))).size() > size_t(kMaxLongNameUnits))
        reason = ZVC450_NAME_TOO_LONG;
    if (position)
        *position = int(size_t(component - name) + at);
    return reason;
}

}  // extern "C"
