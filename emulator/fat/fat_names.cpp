// Names inside the FAT engine: entry sets, long names, short-name aliases.
#include "fat_names.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "fat_volume.h"

namespace emu {

uint8_t ShortNameChecksum(const uint8_t name11[11])
{
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

namespace fatnames {
namespace {

// CP437 upper half, the player's code page for short-name bytes.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Bytes no FAT implementation takes in a short name (fsck.fat flags them).
bool ForbiddenShortByte(uint8_t b) { return b < 0x20 || b == 0x7F || std::strchr("*?<>|\"\\/:", b) != nullptr; }
// Bytes valid on disk but not in a proper 8.3 alias (Windows maps them to '_'
// and lower case to upper case when it makes an alias).
bool AliasUnfitByte(uint8_t b) { return (b >= 'a' && b <= 'z') || std::strchr("+,.;=[]", b) != nullptr; }
bool ForbiddenLongChar(char16_t c)
{
    return c < 0x20 || (c < 0x80 && std::strchr("*?<>|\"\\/:", static_cast<char>(c)) != nullptr);
}

// Characters 1..13 of a long-name slot sit at these offsets.
const int kLfnOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

char16_t Fold(char16_t c) { return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

bool SameName(const std::u16string &a, const std::u16string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::string ShortText(const uint8_t *slot)
{
    std::string s;
    for (int i = 0; i < 8 && slot[i] != ' '; ++i)
        s += static_cast<char>(i == 0 && slot[0] == 0x05 ? 0xE5 : slot[i]);
    if (slot[8] != ' ') {
        s += '.';
        for (int i = 8; i < 11 && slot[i] != ' '; ++i)
            s += static_cast<char>(slot[i]);
    }
    return s;
}

std::u16string ShortText16(const uint8_t *slot)
{
    std::u16string out;
    for (char c : ShortText(slot)) {
        auto b = static_cast<uint8_t>(c);
        out += b < 0x80 ? static_cast<char16_t>(b) : kCp437High[b - 0x80];
    }
    return out;
}

bool Utf8ToUtf16(const std::string &in, std::u16string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size();) {
        auto b = static_cast<uint8_t>(in[i]);
        uint32_t cp;
        size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else
            return false;
        if (i + len > in.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<uint8_t>(in[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *out += static_cast<char16_t>(0xD800 + (cp >> 10));
            *out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return true;
}

std::string Utf16ToUtf8(const std::u16string &in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // lone surrogate
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

int ParseEntrySet(const uint8_t *set, size_t slots, ParsedSet *out)
{
    // 255 characters need 20 long-name slots.
    if (set == nullptr || slots == 0 || slots > 21)
        return kInvalidName;
    const size_t nl = slots - 1;
    const uint8_t *sh = set + nl * kSlot;
    if (sh[11] == kAttrLfn || (sh[11] & kAttrVolume))
        return kInvalidName;

    std::u16string name;
    if (nl > 0) {
        name.assign(13 * nl, u'\0');
        for (size_t k = 0; k < nl; ++k) {
            const uint8_t *s = set + k * kSlot;
            const size_t ord = nl - k;
            if (s[11] != kAttrLfn || (s[0] & 0x3F) != ord || ((s[0] & 0x40) != 0) != (k == 0) || (s[0] & 0x80))
                return kInvalidName;
            for (int j = 0; j < 13; ++j)
                name[(ord - 1) * 13 + j] = static_cast<char16_t>(s[kLfnOffsets[j]] | (s[kLfnOffsets[j] + 1] << 8));
        }
        size_t len = name.find(u'\0');
        if (len == std::u16string::npos)
            len = name.size();
        // The last slot must hold part of the name, not just the terminator.
        if (len == 0 || len <= 13 * (nl - 1) || len > kMaxLongName)
            return kInvalidName;
        name.resize(len);
        for (char16_t c : name)
            if (ForbiddenLongChar(c))
                return kInvalidName;
        if (name.find_first_not_of(u". ") == std::u16string::npos)
            return kInvalidName;
    }

    std::memcpy(out->shortSlot, sh, kSlot);
    uint8_t *nm = out->shortSlot;
    if (nm[0] == 0xE5)
        nm[0] = 0x05;  // 0xE5 as first byte marks a deleted slot on disk

    // Is the short name storable as it is, and is it a proper alias?
    bool forbidden = nm[0] == ' ';
    bool unfit = false;
    for (int part = 0; part < 2; ++part) {
        const int from = part == 0 ? 0 : 8, to = part == 0 ? 8 : 11;
        bool space = false;
        for (int i = from; i < to; ++i) {
            uint8_t b = (i == 0 && nm[0] == 0x05) ? 0xE5 : nm[i];
            if (b == ' ') {
                space = true;
                continue;
            }
            if (space)
                forbidden = true;  // a space inside the name
            if (ForbiddenShortByte(b))
                forbidden = true;
            if (AliasUnfitByte(b))
                unfit = true;
        }
    }
    if (name.empty()) {
        // "." and ".." belong to the file system, and a name made only of dots
        // is no name at all.
        if (forbidden || nm[0] == '.')
            return kInvalidName;
        // Keep what the PC chose as the long name and store a proper alias.
        if (unfit)
            name = ShortText16(nm);
    }
    if (forbidden || unfit) {
        uint8_t fixed[11];
        std::memset(fixed, ' ', 11);
        for (int part = 0; part < 2; ++part) {
            const int from = part == 0 ? 0 : 8, to = part == 0 ? 8 : 11;
            int o = from;
            for (int i = from; i < to; ++i) {
                uint8_t b = (i == 0 && nm[0] == 0x05) ? 0xE5 : nm[i];
                if (b == ' ')
                    continue;
                if (b >= 'a' && b <= 'z')
                    b = static_cast<uint8_t>(b - 32);
                else if (ForbiddenShortByte(b) || AliasUnfitByte(b))
                    b = '_';
                fixed[o++] = b;
            }
        }
        if (fixed[0] == ' ')
            fixed[0] = '_';
        if (fixed[0] == 0xE5)
            fixed[0] = 0x05;
        std::memcpy(nm, fixed, 11);
    }
    out->longName = name;
    return 0;
}

std::vector<uint8_t> BuildEntrySet(const uint8_t shortSlot[32], const std::u16string &longName)
{
    const size_t len = longName.size();
    const size_t n = (len + 12) / 13;
    std::vector<uint8_t> set((n + 1) * kSlot, 0);
    const uint8_t sum = ShortNameChecksum(shortSlot);
    for (size_t k = 0; k < n; ++k) {
        uint8_t *s = &set[k * kSlot];
        const size_t ord = n - k;
        s[0] = static_cast<uint8_t>(ord | (k == 0 ? 0x40 : 0));
        s[11] = kAttrLfn;
        s[13] = sum;
        for (int j = 0; j < 13; ++j) {
            const size_t idx = (ord - 1) * 13 + j;
            const char16_t c = idx < len ? longName[idx] : (idx == len ? u'\0' : u'\xFFFF');
            s[kLfnOffsets[j]] = static_cast<uint8_t>(c & 0xFF);
            s[kLfnOffsets[j] + 1] = static_cast<uint8_t>(c >> 8);
        }
    }
    std::memcpy(&set[n * kSlot], shortSlot, kSlot);
    return set;
}

std::u16string LongNameBefore(const uint8_t *dir, size_t shortPos, size_t *firstSlot)
{
    *firstSlot = shortPos;
    const uint8_t sum = ShortNameChecksum(dir + shortPos * kSlot);
    std::u16string name;
    size_t pos = shortPos;
    size_t ord = 1;
    while (pos > 0) {
        const uint8_t *s = dir + (pos - 1) * kSlot;
        if (s[11] != kAttrLfn || s[0] == 0xE5 || s[0] == 0x00 || (s[0] & 0x3F) != ord || s[13] != sum)
            break;
        for (int j = 0; j < 13; ++j)
            name += static_cast<char16_t>(s[kLfnOffsets[j]] | (s[kLfnOffsets[j] + 1] << 8));
        --pos;
        if (s[0] & 0x40) {
            const size_t end = name.find(u'\0');
            if (end != std::u16string::npos)
                name.resize(end);
            *firstSlot = pos;
            return name;
        }
        ++ord;
    }
    return std::u16string();  // no complete long name in front of it
}

bool MakeUniqueAlias(uint8_t name11[11], const std::vector<std::string> &taken)
{
    auto isTaken = [&](const uint8_t *n) {
        return std::find(taken.begin(), taken.end(), std::string(reinterpret_cast<const char *>(n), 11)) != taken.end();
    };
    if (!isTaken(name11))
        return true;
    int baseLen = 0;
    while (baseLen < 8 && name11[baseLen] != ' ')
        ++baseLen;
    for (int n = 1; n <= 999999; ++n) {
        const std::string tail = "~" + std::to_string(n);
        uint8_t cand[11];
        std::memcpy(cand, name11, 11);
        const int keep = std::min<int>(baseLen, 8 - static_cast<int>(tail.size()));
        std::memset(cand, ' ', 8);
        std::memcpy(cand, name11, keep);
        std::memcpy(cand + keep, tail.data(), tail.size());
        if (!isTaken(cand)) {
            std::memcpy(name11, cand, 11);
            return true;
        }
    }
    return false;
}

}  // namespace fatnames

namespace {

void FillShortSlot(uint8_t *s, const uint8_t name11[11], uint8_t attr, uint32_t size, uint16_t date, uint16_t time)
{
    std::memset(s, 0, fatnames::kSlot);
    std::memcpy(s, name11, 11);
    s[11] = attr;
    s[14] = static_cast<uint8_t>(time);
    s[15] = static_cast<uint8_t>(time >> 8);
    s[16] = s[18] = s[24] = static_cast<uint8_t>(date);
    s[17] = s[19] = s[25] = static_cast<uint8_t>(date >> 8);
    s[22] = static_cast<uint8_t>(time);
    s[23] = static_cast<uint8_t>(time >> 8);
    for (int i = 0; i < 4; ++i)
        s[28 + i] = static_cast<uint8_t>(size >> (8 * i));
}

}  // namespace

std::vector<uint8_t> EntrySetFrom83(const std::string &name83, uint32_t size, uint16_t date, uint16_t time)
{
    const size_t dot = name83.rfind('.');
    const std::string base = name83.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name83.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3)
        return {};
    uint8_t name[11];
    std::memset(name, ' ', 11);
    for (size_t i = 0; i < base.size(); ++i)
        name[i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(base[i])));
    for (size_t i = 0; i < ext.size(); ++i)
        name[8 + i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(ext[i])));
    std::vector<uint8_t> set(fatnames::kSlot);
    FillShortSlot(set.data(), name, fatnames::kAttrArchive, size, date, time);
    fatnames::ParsedSet parsed;
    if (fatnames::ParseEntrySet(set.data(), 1, &parsed) != 0)
        return {};
    return set;
}

std::vector<uint8_t> EntrySetFromLongName(const std::string &utf8Name, uint8_t attr, uint32_t size, uint16_t date,
                                          uint16_t time)
{
    std::u16string name;
    if (!fatnames::Utf8ToUtf16(utf8Name, &name) || name.empty() || name.size() > fatnames::kMaxLongName)
        return {};
    // 8.3 form the way the PC library makes it: upper case, controls and
    // spaces dropped, cut to 8 + 3; anything changed makes the name "lossy"
    // and brings the long name along.  Characters outside ASCII become '_'.
    const size_t dot = name.rfind(u'.');
    if (dot == 0)
        return {};
    bool lossy = false;
    auto take = [&](size_t from, size_t to, uint8_t *dst, int room) {
        int o = 0;
        for (size_t i = from; i < to; ++i) {
            char16_t c = name[i];
            if (o >= room) {
                lossy = true;
                break;
            }
            if (c < u'!') {
                lossy = true;
                continue;
            }
            if (c >= 0x80) {
                lossy = true;
                c = u'_';
            }
            if (c >= u'a' && c <= u'z') {
                lossy = true;
                c = static_cast<char16_t>(c - 32);
            }
            dst[o++] = static_cast<uint8_t>(c);
        }
        return o;
    };
    uint8_t n11[11];
    std::memset(n11, ' ', 11);
    const size_t baseEnd = dot == std::u16string::npos ? name.size() : dot;
    if (dot != std::u16string::npos)
        take(dot + 1, name.size(), n11 + 8, 3);
    if (take(0, baseEnd, n11, 8) == 0)
        std::memcpy(n11, "zvc450", 6);
    uint8_t shortSlot[32];
    FillShortSlot(shortSlot, n11, attr, size, date, time);
    return fatnames::BuildEntrySet(shortSlot, lossy ? name : std::u16string());
}

}  // namespace emu
