// verified.h - checking copies by reading them back from the player
// (put --verify, get --verify).
//
// Flash memory can fail quietly: the player takes a file without a
// complaint and later reads back something else.  The player can send any
// of its files again, so a copy to it is checked by reading it back and
// comparing it with the file it came from; a copy from it by reading it a
// second time and comparing the two reads.
#pragma once

#include <string>

namespace cli {

class Device;
struct Entry;

// Compares the player's file `entry` with the local file `path`.  Returns
// kExitOk when they hold the same bytes.  Otherwise prints why (the first
// byte that differs, or the library's reason) as "zvc450: CONTEXT: ..." and
// returns the exit status; `what` is the sentence that says what the
// difference means ("the copy on the player differs from the file").
int CompareWithPlayer(const Device &device, const Entry &entry, const std::string &path,
                      const std::string &context, const std::string &what);

// "byte 24576 (0x6000)"
std::string ByteOffsetText(long long offset);

}  // namespace cli
