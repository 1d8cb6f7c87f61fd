// cli.h - what every part of the zvc450 tool shares: exit statuses, the
// options that apply to the whole run, and the shape of a command.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

// Exit statuses.  Scripts rely on them: 1 is anything the player or a local
// file refused, 2 a command line the tool could not understand.
enum Exit : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitCancelled = 130,  // Ctrl-C, as the shell reports an interrupted program
};

// Options of the whole run; the memory and --quiet may also follow the
// command name.
struct GlobalOptions {
    int memory = 0;              // 0 internal, 1 external
    bool memoryChosen = false;   // --internal or --external was given
    bool quiet = false;          // no progress lines
    unsigned timeoutMs = 0;      // 0: the library's own time-outs
};

// The options and operands of one command after parsing.
struct Args {
    std::map<std::string, std::string> options;  // by long name, "" for flags
    std::vector<std::string> operands;

    bool Has(const std::string &name) const { return options.count(name) != 0; }
    std::string Value(const std::string &name) const
    {
        auto it = options.find(name);
        return it == options.end() ? std::string() : it->second;
    }
};

// What a command handler gets.
struct Invocation {
    std::string command;  // name as typed
    GlobalOptions global;
    Args args;
};

// Equal text when ASCII letters are compared without regard to case (how
// FAT compares names, and how extensions are recognised).
inline bool SameAsciiText(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 'a' + 'A') : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? char(b[i] - 'a' + 'A') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// Prints "zvc450: MESSAGE" on stderr and returns kExitFailed.
int Fail(const std::string &message);
// Prints "zvc450: MESSAGE" and the hint to the command's help on stderr and
// returns kExitUsage.
int UsageError(const std::string &command, const std::string &message);

}  // namespace cli
