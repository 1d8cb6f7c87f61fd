#include "cmdline.h"

#include "tunedeck_version.h"

#include <cstring>

namespace tunedex {

namespace {

constexpr const char kHelp[] =
    "Usage: tunedex [OPTION]...\n"
    "Manage the music and voice recordings of a ZVC450 player attached by USB:\n"
    "the PC's folders on the left, the player's internal memory and card on the\n"
    "right, with copying both ways, formatting, firmware and font maintenance.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's own options work as well, for example -platform NAME, -style NAME and\n"
    "-reverse.\n"
    "\n"
    "Environment:\n"
    "  ZVC450_VUSB      socket of an emulated player (zvc450-emu) to use instead\n"
    "                   of USB\n"
    "  ZVC450_CODEPAGE  code page of the player's 8.3 names (default CP437)\n"
    "\n"
    "Settings are kept in ~/.config/Brightfen/TuneDeck.conf.\n";

}  // namespace

int AnswerInfoOptions(int argc, char **argv, std::FILE *out)
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            break;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kHelp, out);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fprintf(out, "tunedex %s\n", TUNEDECK_VERSION);
            return 0;
        }
    }
    return -1;
}

int RejectRemainingArguments(int argc, char **argv, std::FILE *err)
{
    bool rejected = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            continue;
        rejected = true;
        if (arg[0] == '-' && arg[1] != '\0')
            std::fprintf(err, "tunedex: unknown option '%s'\n", arg);
        else
            std::fprintf(err, "tunedex: unexpected argument '%s' (the program opens no files)\n", arg);
    }
    if (!rejected)
        return -1;
    std::fputs("Try 'tunedex --help'.\n", err);
    return 2;
}

}  // namespace tunedex
