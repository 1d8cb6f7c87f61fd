#pragma once
// Plain words under the library's error texts. The library's texts are the
// codes' names ("ZVS450USB_ERR_INVALID_FILENAME"): exact, and what a user
// searches for, but no help to someone who just wants their music copied. The
// program and the command-line tool show one sentence more under them: what
// happened and what to do.
//
// The sentences are English; the program shows them in the user's language
// (they are marked for its catalogues under the context "ErrorAdvice").

namespace tunedeck {

// The advice for a library error code (with the player's internal code for
// code 5 and the system error number for code 6), or null where there is
// nothing to add (no error, a cancel the user asked for).
const char *ErrorAdvice(int code, int internalCode, unsigned sysError);

} // namespace tunedeck
