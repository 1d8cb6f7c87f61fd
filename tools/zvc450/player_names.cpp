// player_names.cpp - names the player can store, said in words.

#include "player_names.h"

#include "zvc450usb.h"

#include <cstdio>

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

}  // namespace

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
