// interrupt.h - Ctrl-C and termination signals.
//
// While a transfer runs, the library's progress window owns SIGINT and turns
// it into its Cancel button: the player is stopped and the call returns the
// user-break error.  Outside those windows our own handler is in place.  The
// first Ctrl-C only raises a flag that the commands look at between steps,
// so a file is never cut off in the middle; a second Ctrl-C (or SIGTERM,
// SIGHUP) ends the program at once, after removing the local file that was
// being written.
#pragma once

namespace cli {

void InstallInterruptHandlers();

// True once Ctrl-C was pressed outside a library transfer.
bool InterruptPending();

// The local file being written right now, removed if the program is killed
// by a signal; null clears it.  The path is copied.
void SetFileToRemoveOnSignal(const char *path);

}  // namespace cli
