// zvc450 - the player from the command line.
//
//   zvc450 [--internal|--external] [--quiet] [--timeout SECONDS] COMMAND ...
//
// Every command opens the player, does one thing and closes it again; the
// player keeps its current directories in between.  All device work goes
// through libzvc450usb's C interface.

#include "args.h"
#include "commands.h"
#include "interrupt.h"

#include <cstdio>
#include <iostream>

using namespace cli;

int main(int argc, char **argv)
{
    InstallInterruptHandlers();

    GlobalOptions global;
    int next = 0;
    bool help = false;
    bool version = false;
    std::string error;
    if (!ParseGlobal(argc, argv, &global, &next, &help, &version, &error))
        return UsageError(std::string(), error);
    if (version) {
        std::printf("zvc450 %s\n", ZVC450_TOOL_VERSION);
        return kExitOk;
    }
    if (next >= argc) {
        if (help) {
            PrintToolHelp();
            return kExitOk;
        }
        return UsageError(std::string(), "no command given");
    }

    const std::string name = argv[next];
    if (name == "help") {
        if (next + 1 >= argc) {
            PrintToolHelp();
            return kExitOk;
        }
        const Command *command = FindCommand(argv[next + 1]);
        if (!command)
            return UsageError(std::string(), std::string("no command named '") + argv[next + 1] + "'");
        PrintCommandHelp(*command);
        return kExitOk;
    }
    const Command *command = FindCommand(name);
    if (!command)
        return UsageError(std::string(), "unknown command '" + name + "'");
    if (help) {
        PrintCommandHelp(*command);
        return kExitOk;
    }

    Invocation inv;
    inv.command = name;
    inv.global = global;
    bool commandHelp = false;
    if (!ParseCommand(std::vector<std::string>(argv + next + 1, argv + argc), command->options, &inv.global,
                      &inv.args, &commandHelp, &error))
        return UsageError(name, error);
    if (commandHelp) {
        PrintCommandHelp(*command);
        return kExitOk;
    }
    const int operands = static_cast<int>(inv.args.operands.size());
    if (operands < command->minOperands)
        return UsageError(name, command->minOperands == 1 && operands == 0 ? "missing operand" : "too few operands");
    if (command->maxOperands >= 0 && operands > command->maxOperands)
        return UsageError(name, "too many operands");

    const int status = command->run(inv);
    std::cout.flush();
    // Whatever failed after a Ctrl-C failed because of it.
    return status != kExitOk && status != kExitUsage && InterruptPending() ? kExitCancelled : status;
}
