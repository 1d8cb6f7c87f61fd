// command_table.cpp - the commands, their options and their help texts.

#include "commands.h"

#include <cstdio>

namespace cli {

const std::vector<Command> &Commands()
{
    static const std::vector<Command> table = {
        {"info", "", "firmware, connection and the medium of each memory",
         "Shows the connection, the firmware's identification and version, and for\n"
         "each memory (only the chosen one with --internal or --external) its\n"
         "medium information and capacity, as \"key: value\" lines.\n",
         {}, 0, 0, RunInfo},
        {"ls", "[-l] [-b|--hide-control-chars]", "list the current directory",
         "Lists the current directory of the memory: directories first (with a\n"
         "trailing /), then files in the player's order.  Control characters in\n"
         "names are shown as '?' on a terminal and as \\-escapes (\\n, \\033, a\n"
         "backslash doubled) otherwise.  A listing that ends before the count the\n"
         "player gave is shown, and reported as incomplete (exit status 1).\n"
         "  -l, --long               one line per entry: type (d or f), file number,\n"
         "                           size in bytes, write date and time, name;\n"
         "                           directories show \"-\" for number and size\n"
         "  -b, --escape             \\-escapes, also on a terminal\n"
         "      --hide-control-chars '?', also when not on a terminal\n",
         {{"long", 'l', false}, {"escape", 'b', false}, {"hide-control-chars", 0, false}}, 0, 0, RunLs},
        {"cd", "DIR|..|/", "change the current directory",
         "Changes the player's current directory of the memory.  DIR may be a\n"
         "path of several directories (A/B), \"..\" the parent, \"/\" the root.\n"
         "The player keeps the current directory until it is switched off.\n",
         {}, 1, 1, RunCd},
        {"pwd", "", "print the current directory", "Prints the player's current directory of the memory.\n", {}, 0, 0,
         RunPwd},
        {"mkdir", "NAME", "make a directory", "Makes a directory in the current directory.\n", {}, 1, 1, RunMkdir},
        {"rmdir", "NAME", "remove an empty directory",
         "Removes a directory of the current directory; the player refuses one\n"
         "that is not empty.\n",
         {}, 1, 1, RunRmdir},
        {"mv", "OLD NEW", "rename a file or directory",
         "Renames a file (by name or number) or a directory of the current\n"
         "directory.  The player cannot move entries between directories.\n",
         {}, 2, 2, RunMv},
        {"put", "FILE... [--rename-invalid] [--verify]", "copy files to the player",
         "Copies local files into the current directory of the memory, in the\n"
         "order given.  A name that already exists on the player is refused.  A\n"
         "copy that fails or is cancelled with Ctrl-C is removed from the player.\n"
         "The player cannot store \\ : * ? \" < > | or control characters in a\n"
         "name, nor a name that ends in a dot or a space; such a file is refused\n"
         "unless --rename-invalid is given.\n"
         "      --rename-invalid   store such files with '_' in place of each of\n"
         "                         those characters (and of a trailing dot or space)\n"
         "      --verify           read each copy back and compare it with the file;\n"
         "                         a copy that differs is removed and put fails,\n"
         "                         naming the first byte that differs\n",
         {{"rename-invalid", 0, false}, {"verify", 0, false}}, 1, -1, RunPut},
        {"get", "NAME|NUMBER... [-o DIR] [--raw] [--force] [--verify]", "copy files from the player",
         "Copies files of the current directory to the PC, into the current\n"
         "folder or DIR.  Voice recordings (*.BCW, *.BVF) arrive as WAV files\n"
         "named *.WAV.  A name typed as the player lists it replaces a file of\n"
         "that name in DIR, but only once the copy is complete: a failed or\n"
         "cancelled copy leaves nothing behind.  A file given by its number or\n"
         "8.3 name takes the player's name, made safe (no leading '.', no\n"
         "control characters: those become '_'), and replaces nothing without\n"
         "--force.\n"
         "  -o, --output DIR   folder for the copies\n"
         "      --raw          copy recordings as they are, without conversion\n"
         "  -f, --force        replace files also under names the player gave\n"
         "      --verify       read each file a second time and compare the reads;\n"
         "                     when they differ nothing is saved and get fails,\n"
         "                     naming the first byte that differs (recordings only\n"
         "                     with --raw)\n",
         {{"output", 'o', true}, {"raw", 0, false}, {"force", 'f', false}, {"verify", 0, false}}, 1, -1, RunGet},
        {"rm", "NAME|NUMBER...", "delete files",
         "Deletes files of the current directory.  All names are looked up before\n"
         "the first file is deleted, so numbers refer to the listing as it was.\n",
         {}, 1, -1, RunRm},
        {"swap", "A B", "exchange the places of two files",
         "Exchanges the places of two files in the player's order (the order in\n"
         "which it plays them).\n",
         {}, 2, 2, RunSwap},
        {"sort", "[--by name|natural|date|size] [--reverse] [--dry-run]", "put the files in play order",
         "Puts the files of the current directory into the order the player is to\n"
         "play them in, with the fewest exchanges of two files (at most one fewer\n"
         "than there are files).  Interrupted (Ctrl-C, unplugged) it leaves every\n"
         "file intact, only partly sorted.  Directories keep their places.\n"
         "      --by KEY    name (the default; letters without regard to case),\n"
         "                  natural (numbers in names by value: \"2 Song\" before\n"
         "                  \"10 Song\"), date (oldest first) or size (smallest first)\n"
         "      --reverse   the other way round\n"
         "      --dry-run   print the exchanges as swap commands and change nothing\n",
         {{"by", 0, true}, {"reverse", 0, false}, {"dry-run", 'n', false}}, 0, 0, RunSort},
        {"sync", "PC-FOLDER [--delete] [--dry-run] [--rename-invalid] [--verify]",
         "make the current directory hold the files of a PC folder",
         "Copies into the current directory of the memory the files of PC-FOLDER\n"
         "that the player lacks or holds with another size or write time (to FAT's\n"
         "two seconds; copies keep their file's time).  Sub-folders become\n"
         "directories on firmware that has them (1.43).  Hidden files and folders\n"
         "are left out.  A second sync right after the first copies nothing.\n"
         "Prints one line per change: put, replace, delete, mkdir or rmdir and the\n"
         "path on the player.  Names the player cannot store (below firmware 1.30:\n"
         "any name that is not NAME.EXT) are reported and skipped, and the exit\n"
         "status is then 1.\n"
         "      --delete           also remove the files and directories the PC\n"
         "                         folder does not have\n"
         "  -n, --dry-run          print the changes and make none\n"
         "      --rename-invalid   store such names with '_' in place of the\n"
         "                         characters the player cannot hold (below 1.30:\n"
         "                         in an 8.3 form)\n"
         "      --verify           read each copy back, as put --verify does\n",
         {{"delete", 0, false}, {"dry-run", 'n', false}, {"rename-invalid", 0, false}, {"verify", 0, false}}, 1, 1,
         RunSync},
        {"format", "[--low] [--yes]", "format the memory",
         "Makes a new, empty file system on the memory.  Everything on it is lost.\n"
         "  --low       low-level format: the player erases the medium first\n"
         "  -y, --yes   do not ask for confirmation\n",
         {{"low", 0, false}, {"yes", 'y', false}}, 0, 0, RunFormat},
        {"firmware", "--boot|--app FILE [--yes]", "upgrade the player's firmware",
         "Writes new code into the player: --app the application (codec) code,\n"
         "--boot the boot code.  FILE is an Intel-hex file (*.hex) or a flat image.\n"
         "Unplug and restart the player afterwards.  An interrupted upgrade can\n"
         "leave the player unable to start.\n"
         "  --boot      write the boot code (image of at most 8192 bytes)\n"
         "  --app       write the application code\n"
         "  -y, --yes   do not ask for confirmation\n",
         {{"boot", 0, false}, {"app", 0, false}, {"yes", 'y', false}}, 1, 1, RunFirmware},
        {"font", "put FILE | get [OUT] [--force] | erase | info", "manage the player's display font",
         "  font put FILE   store FILE as the player's display font\n"
         "  font get [OUT]  copy the font to OUT (default: its name, made safe\n"
         "                  as get does, in the current folder; an existing\n"
         "                  file of that name is replaced only with --force)\n"
         "  font erase      erase the font\n"
         "  font info       print its name and size\n",
         {{"force", 'f', false}}, 1, 2, RunFont},
        {"raw", "FIRST COUNT FILE", "save raw memory blocks to a file",
         "Saves COUNT blocks of 16384 bytes of the memory, starting at block\n"
         "FIRST, below the file system, into FILE.\n",
         {}, 3, 3, RunRaw},
        {"convert", "FILE.BCW|FILE.BVF [OUT.wav]", "convert a recording on the PC to WAV",
         "Converts a voice recording that is already on the PC into a WAV file:\n"
         "BCW (IMA ADPCM) stays ADPCM, BVF (AMR speech) becomes 16-bit PCM.  The\n"
         "default output is the recording's name with the extension .WAV.  Needs\n"
         "no player.\n",
         {}, 1, 2, RunConvert},
        {"mount", "MOUNTPOINT [-f] [--recordings-as-wav]", "use the player as a folder (FUSE)",
         "Shows the player's memories under MOUNTPOINT for every program: internal/\n"
         "and card/ (when a card is in), or one memory at MOUNTPOINT itself with\n"
         "--internal or --external.  Files are read through a cache and written\n"
         "when they are closed; a copy that fails is never left on the player.\n"
         "Runs in the background; unmount with `fusermount3 -u MOUNTPOINT`.\n"
         "  -f, --foreground      stay in the foreground; Ctrl-C unmounts\n"
         "      --recordings-as-wav  show *.BCW and *.BVF recordings as WAV files\n"
         "      --debug           log every request of the kernel (with -f)\n",
         {{"foreground", 'f', false}, {"recordings-as-wav", 0, false}, {"debug", 0, false}}, 1, 1, RunMount},
    };
    return table;
}

const Command *FindCommand(const std::string &name)
{
    for (const Command &c : Commands())
        if (name == c.name)
            return &c;
    return nullptr;
}

void PrintToolHelp()
{
    std::printf("Usage: zvc450 [--internal|--external] [--quiet] [--timeout SECONDS] COMMAND ...\n"
                "\n"
                "Manages the files of a ZVC450 player attached by USB.\n"
                "\n"
                "Commands:\n");
    for (const Command &c : Commands())
        std::printf("  %-9s %s\n", c.name, c.summary);
    std::printf("\n"
                "Options:\n"
                "  --internal          work on the internal memory (the default)\n"
                "  --external          work on the memory card\n"
                "  -q, --quiet         no progress lines\n"
                "  --timeout SECONDS   how long to wait for the player (default 30 s,\n"
                "                      format and firmware 50 min)\n"
                "  -h, --help          this text; `zvc450 COMMAND --help` explains a command\n"
                "  --version           the tool's version\n"
                "\n"
                "Exit status: 0 success, 1 the player or a file refused, 2 wrong usage,\n"
                "130 cancelled with Ctrl-C.\n"
                "Environment: ZVC450_VUSB=PATH talks to an emulated player on PATH.\n");
}

void PrintCommandHelp(const Command &command)
{
    std::printf("Usage: zvc450 [--internal|--external] %s%s%s\n\n%s", command.name, *command.synopsis ? " " : "",
                command.synopsis, command.help);
}

}  // namespace cli
