// harness.h - runs the real zvc450 executable against a real zvc450-emu
// process on a temporary socket, with a temporary state folder.
#pragma once

#include "temp_dir.h"

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace clitest {

using Bytes = std::string;

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
    bool hung = false;  // killed by the run's hang guard
};

// How to run the tool beyond its arguments.
struct RunOptions {
    std::string input;                // on stdin (pipes only)
    bool terminal = false;            // stdin, stdout and stderr on a pseudo-terminal
    std::string trigger;              // interrupts count from when this text appeared (else from the start)
    std::vector<int> interruptsMs;    // SIGINT (Ctrl-C typed on a terminal) this long after that
    int hangGuardMs = 120000;         // then SIGKILL: a guard against hangs, never a speed check
    unsigned long long fileSizeLimit = 0;  // RLIMIT_FSIZE of the tool in bytes, 0 none
};

using zvc450test::TempDir;

// Paths of the programs under test (from the environment set by CMake).
std::string ToolPath();      // zvc450
std::string EmulatorPath();  // zvc450-emu
std::string MkrecPath();     // zvc450-mkrec

// Whether the built device library exports `name`: commands whose export
// has not landed yet are skipped, not failed.
bool LibraryExports(const char *name);

// An emulated player process.  Extra options go to zvc450-emu.
class Player {
public:
    Player(const TempDir &dir, const std::vector<std::string> &extra = {});
    ~Player();
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;
    const std::string &socket() const { return socket_; }
    std::string StateFile(const std::string &name) const { return state_ + "/" + name; }
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    std::string socket_;
    std::string state_;
};

// Runs zvc450 with `args` in `cwd`, ZVC450_VUSB set to `socket` and `input`
// on its stdin; stdout and stderr are pipes (not terminals).
Result Run(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
           const std::string &input = std::string());

// Runs zvc450 with stdin, stdout and stderr on a pseudo-terminal and types
// Ctrl-C once the terminal output contains `trigger`.  All terminal output
// lands in Result::out.
Result RunOnTerminalAndInterrupt(const std::string &socket, const std::vector<std::string> &args,
                                 const std::string &cwd, const std::string &trigger);

// Runs zvc450 as `options` say; on a terminal all output lands in Result::out.
Result RunWith(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
               const RunOptions &options);

// Runs zvc450 without a terminal and sends it SIGINT after `delayMs`.
Result RunAndSignal(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
                    int delayMs);

// Runs a shell command, returns its exit status.
int Shell(const std::string &command);

// The lines of a text, without their ends; whether it contains `part`.
std::vector<std::string> Lines(const std::string &text);
bool Has(const std::string &text, const std::string &part);

Bytes ReadFile(const std::string &path);
void WriteFile(const std::string &path, const Bytes &data);
bool Exists(const std::string &path);
std::vector<std::string> FolderEntries(const std::string &path);  // sorted, without . and ..
Bytes Pattern(size_t size, unsigned seed);

}  // namespace clitest
