// args.h - command-line parsing: the options before the command, and the
// options and operands of one command.
#pragma once

#include "cli.h"

#include <string>
#include <vector>

namespace cli {

// One option a command accepts.
struct OptionSpec {
    const char *longName;  // without the dashes, e.g. "output"
    char shortName;        // 0 for none
    bool takesValue;
};

// Options that every command accepts besides its own: the memory, --quiet
// and --help.  Parsing stops at the first operand only for the global part;
// a command's options may stand anywhere among its operands, and "--" ends
// them.
//
// ParseGlobal reads argv up to the command name: on return *next indexes the
// command name (== argc when there is none).  Returns false with a message
// on an unknown option or a bad value.  *help/*version are set when asked.
bool ParseGlobal(int argc, char **argv, GlobalOptions *global, int *next, bool *help, bool *version,
                 std::string *error);

// Parses the words after the command name against the command's own options
// (and the common ones, which update *global).  *help is set by --help.
bool ParseCommand(const std::vector<std::string> &words, const std::vector<OptionSpec> &options,
                  GlobalOptions *global, Args *out, bool *help, std::string *error);

// Parses a non-negative decimal (or 0x hexadecimal) number that fits in
// 32 bits.
bool ParseUnsigned(const std::string &text, unsigned long long max, unsigned *value);

}  // namespace cli
