// interrupt.h - Ctrl-C on a terminal.
//
// Without Qt windows (the command-line tool, scripts) the library listens
// to SIGINT itself while it waits for the player and while a transfer
// window is open.  A Ctrl-C then
//   - ends a wait for the player at once, unless the running operation
//     cannot stop half-way (format, firmware: see UncancellableScope), and
//   - is the Cancel button of the open transfer window.
// It never swallows the program's own handling: every Ctrl-C is passed on
// to a handler the program installed (the tool's own "stop after this step,
// quit on the second"), and with no handler the second Ctrl-C gets the
// default disposition, which ends the process.  So a second Ctrl-C always
// quits, whatever the player does.
//
// A process started with SIGINT ignored (a background job) keeps ignoring it.
#pragma once

namespace zvc450 {

// Listens to SIGINT while it lives; scopes nest and share one handler.  The
// first scope forgets an earlier Ctrl-C.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;
};

// While one lives, the running operation cannot be stopped (a format, a
// firmware upgrade): a Ctrl-C does not end waits.  It still reaches the
// program, which can say so, and a second one still quits.
class UncancellableScope {
public:
    UncancellableScope();
    ~UncancellableScope();
    UncancellableScope(const UncancellableScope &) = delete;
    UncancellableScope &operator=(const UncancellableScope &) = delete;
};

// For the transports, after a wait was interrupted by a signal: true when it
// was a Ctrl-C that should end the wait.  Leaves the Ctrl-C pending.
bool WaitInterrupted();

// True once when a Ctrl-C came since the last call (the transfer windows
// fold it into their Cancel bit).
bool TakeInterrupt();

}  // namespace zvc450
