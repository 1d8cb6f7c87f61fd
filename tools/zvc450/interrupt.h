// interrupt.h - Ctrl-C and termination signals.
//
// Our handler raises a flag on the first Ctrl-C that the commands look at
// between steps, so a file is never cut off in the middle; a second Ctrl-C
// (or SIGTERM, SIGHUP) ends the program at once, after removing the local
// file that was being written.  While the library waits for the player or
// shows a transfer, it listens to Ctrl-C too: the wait ends, a transfer
// stops the player and fails with the user-break error, and the signal is
// passed on to our handler all the same (so the second Ctrl-C still quits).
// A format or a firmware upgrade cannot be stopped half-way: during one
// (UncancellableScope) the first Ctrl-C says so and the work goes on.
#pragma once

namespace cli {

void InstallInterruptHandlers();

// True once Ctrl-C was pressed.
bool InterruptPending();

// While it lives, a Ctrl-C says that `what` ("the format") cannot be
// cancelled; a second one still quits.
class UncancellableScope {
public:
    explicit UncancellableScope(const char *what);
    ~UncancellableScope();
    UncancellableScope(const UncancellableScope &) = delete;
    UncancellableScope &operator=(const UncancellableScope &) = delete;
};

// The local file being written right now, removed if the program is killed
// by a signal; null clears it.  The path is copied.
void SetFileToRemoveOnSignal(const char *path);

}  // namespace cli
