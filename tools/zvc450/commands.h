// commands.h - the commands of the zvc450 tool and their table.
#pragma once

#include "args.h"
#include "cli.h"

#include <vector>

namespace cli {

struct Command {
    const char *name;
    const char *synopsis;  // operands and options after the name
    const char *summary;   // one line for the tool's help
    const char *help;      // the rest of `zvc450 NAME --help`
    std::vector<OptionSpec> options;
    int minOperands;
    int maxOperands;       // -1: any number
    int (*run)(Invocation &);
};

const std::vector<Command> &Commands();
const Command *FindCommand(const std::string &name);

void PrintToolHelp();
void PrintCommandHelp(const Command &command);

// Handlers (cmd_*.cpp).  The operand count is checked before they run.
int RunInfo(Invocation &inv);
int RunLs(Invocation &inv);
int RunCd(Invocation &inv);
int RunPwd(Invocation &inv);
int RunMkdir(Invocation &inv);
int RunRmdir(Invocation &inv);
int RunMv(Invocation &inv);
int RunPut(Invocation &inv);
int RunGet(Invocation &inv);
int RunRm(Invocation &inv);
int RunSwap(Invocation &inv);
int RunSort(Invocation &inv);
int RunSync(Invocation &inv);
int RunFormat(Invocation &inv);
int RunFirmware(Invocation &inv);
int RunFont(Invocation &inv);
int RunRaw(Invocation &inv);
int RunConvert(Invocation &inv);
int RunMount(Invocation &inv);  // mount/cmd_mount.cpp

}  // namespace cli
