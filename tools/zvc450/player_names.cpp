// player_names.cpp - names the player can store, said in words.

#include "player_names.h"

#include "zvc450usb.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cli {
namespace {

// One character for a message: itself in quotes when printable, else its
// code.
std::string Shown(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F)
        return std::string("'") + c + "'";
    char buf[32];
    std::snprintf(buf, sizeof buf, "the control character 0x%02X", b);
    return buf;
}

// A character an 8.3 name may hold as it is (lower-case letters count:
// they are stored upper-cased).
bool ShortNameChar(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b < 0x7F && std::strchr("\"*+,./:;<=>?[\\]|", c) == nullptr;
}

// The 8.3 field made of part: spaces and dots dropped, other characters an
// 8.3 name cannot hold as '_', upper case, at most `room` characters.
std::string ShortField(const std::string &part, size_t room)
{
    std::string field;
    for (size_t i = 0; i < part.size() && field.size() < room; ++i) {
        const char c = part[i];
        if (c == ' ' || c == '.')
            continue;
        if (static_cast<unsigned char>(c) >= 0x80) {
            // One '_' for a whole UTF-8 sequence.
            while (i + 1 < part.size() && (static_cast<unsigned char>(part[i + 1]) & 0xC0) == 0x80)
                ++i;
            field += '_';
            continue;
        }
        field += ShortNameChar(c) ? char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) : '_';
    }
    return field;
}

}  // namespace

std::string ShortNameFor(const std::string &name, bool mend, std::string *why)
{
    const std::string general = WhyPlayerCannotStore(name);
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    const bool exact = general.empty() && !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                       std::all_of(base.begin(), base.end(), ShortNameChar) &&
                       std::all_of(ext.begin(), ext.end(), ShortNameChar);
    if (exact)
        return name;
    if (!mend) {
        *why = general.empty() ? "this firmware stores 8.3 names only (NAME.EXT)" : general;
        return std::string();
    }
    std::string shortBase = ShortField(base, 8);
    const std::string shortExt = ShortField(ext, 3);
    if (shortBase.empty())
        shortBase = "_";
    return shortExt.empty() ? shortBase : shortBase + "." + shortExt;
}

std::string WhyPlayerCannotStore(const std::string &name)
{
    int at = 0;
    switch (ZVC450_CheckFileName(name.c_str(), &at)) {
    case ZVC450_NAME_OK:
        return std::string();
    case ZVC450_NAME_BAD_CHARACTER:
        return "the player cannot store " + Shown(name[static_cast<size_t>(at)]) + " in a name";
    case ZVC450_NAME_TRAILING:
        return std::string("the player cannot store a name that ends in a ") +
               (name[static_cast<size_t>(at)] == '.' ? "dot" : "space");
    case ZVC450_NAME_RESERVED:
        return "'" + name + "' cannot be the name of a file or directory on the player";
    case ZVC450_NAME_BLANK:
        return "the player cannot store a blank name";
    case ZVC450_NAME_ONLY_EXTENSION:
        return "the player cannot store a name that has nothing before its only dot";
    case ZVC450_NAME_TOO_LONG:
        return "the name is too long for the player";
    default:
        return "the player cannot store this name";
    }
}

std::string StorableName(const std::string &name)
{
    std::string mended = name;
    for (;;) {
        int at = 0;
        const int why = ZVC450_CheckFileName(mended.c_str(), &at);
        if (why == ZVC450_NAME_OK)
            return mended;
        if (why != ZVC450_NAME_BAD_CHARACTER && why != ZVC450_NAME_TRAILING)
            return std::string();
        mended[static_cast<size_t>(at)] = '_';
    }
}

}  // namespace cli
