// names.cpp - names, times and recording views of the mounted player.

#include "names.h"

#include "../localfile.h"

#include <zvc450usb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mountfs {
namespace {

// Long names hold at most 255 UTF-16 units.
constexpr size_t kMaxLongName = 255;
// A directory's entry set must fit one command packet: 15 entries, that is
// 14 long-name entries of 13 characters.
constexpr size_t kMaxDirectoryName = 182;
// Firmware before 1.30 takes 8.3 names only.
constexpr unsigned kFwLongNames = 0x13000;

// Decodes UTF-8 into code points; false on a malformed sequence.
bool DecodeUtf8(const std::string &s, std::u32string *out)
{
    out->clear();
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        char32_t cp;
        if (c < 0x80) {
            extra = 0;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + size_t(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out->push_back(cp);
        i += size_t(extra) + 1;
    }
    return true;
}

// Characters FAT keeps out of every name.
bool ForbiddenInFat(char32_t c) { return c < 0x20 || (c < 0x80 && std::strchr("\"*/:<>?\\|", int(c)) != nullptr); }

// What an 8.3 name may hold besides letters and digits.
bool AllowedIn83(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

int Check83(const std::string &name)
{
    const size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (base.empty() || (dot != std::string::npos && (ext.empty() || ext.find('.') != std::string::npos)))
        return EINVAL;
    for (char c : base + ext)
        if (!AllowedIn83(c))
            return EINVAL;
    return base.size() > 8 || ext.size() > 3 ? ENAMETOOLONG : 0;
}

}  // namespace

int CheckNewName(const std::string &name, unsigned firmware, bool directory)
{
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    std::u32string cps;
    if (!DecodeUtf8(name, &cps))
        return EINVAL;
    size_t units = 0;
    for (char32_t c : cps) {
        if (ForbiddenInFat(c))
            return EINVAL;
        units += c > 0xFFFF ? 2 : 1;
    }
    // Windows and vfat drop a trailing dot or space; the player would keep
    // a name no other system can open.  Refuse it rather than change it.
    if (name.back() == '.' || name.back() == ' ')
        return EINVAL;
    // The player's 8.3 step refuses a name whose only dot is its first
    // character: nothing is left for the base.
    if (name.rfind('.') == 0)
        return EINVAL;
    if (firmware < kFwLongNames)
        return Check83(name);
    if (units > kMaxLongName || (directory && units > kMaxDirectoryName))
        return ENAMETOOLONG;
    return 0;
}

std::string Folded(const std::string &name)
{
    std::string f = name;
    for (char &c : f)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return f;
}

int RecordingKind(const std::string &name)
{
    const std::string ext = Folded(cli::Extension(name));
    if (ext == "BCW")
        return ZVC450_UPLOAD_BCW2WAV;
    if (ext == "BVF")
        return ZVC450_UPLOAD_BVF2WAV;
    return ZVC450_UPLOAD_COPY;
}

std::string WavViewName(const std::string &name) { return cli::WithExtension(name, "WAV"); }

uint64_t EstimatedWavSize(int kind, uint64_t rawSize)
{
    if (kind == ZVC450_UPLOAD_BCW2WAV) {
        // 260-byte frames (4 synchronisation bytes, a 256-byte block); the
        // WAV has a 48-byte header, the blocks and a 24-byte trailer.
        return 72 + rawSize / 260 * 256;
    }
    if (kind == ZVC450_UPLOAD_BVF2WAV) {
        // A 9-byte header, then groups of ten 13-byte speech frames and a
        // 7-byte synchronisation block; 320 bytes of PCM per frame after a
        // 44-byte header.  Silence frames are shorter, so this is a floor.
        const uint64_t body = rawSize > 9 ? rawSize - 9 : 0;
        const uint64_t frames = body / 137 * 10 + std::min<uint64_t>((body % 137) / 13, 10);
        return 44 + frames * 320;
    }
    return rawSize;
}

time_t FatToUnix(uint16_t date, uint16_t time)
{
    struct tm tm = {};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_mday = date & 0x1F;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_sec = (time & 0x1F) * 2;
    // An unset or damaged stamp reads as the first day FAT can express.
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday == 0) {
        tm.tm_mon = 0;
        tm.tm_mday = 1;
    }
    tm.tm_isdst = -1;
    return mktime(&tm);
}

void UnixToFat(time_t when, uint16_t *date, uint16_t *time)
{
    struct tm tm = {};
    localtime_r(&when, &tm);
    int year = tm.tm_year + 1900;
    if (year < 1980) {
        *date = (1 << 5) | 1;  // 1980-01-01
        *time = 0;
        return;
    }
    if (year > 2107) {
        *date = uint16_t((127 << 9) | (12 << 5) | 31);
        *time = uint16_t((23 << 11) | (59 << 5) | 29);
        return;
    }
    *date = uint16_t(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    *time = uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

}  // namespace mountfs
