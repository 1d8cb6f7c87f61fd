// errors.h - the library's errors as the errno values that programs print.
#pragma once

#include "../device.h"

namespace mountfs {

// The errno for a failed library call: ENOSPC for a full player, EEXIST,
// ENOENT and ENOTEMPTY for the player's refusals, EINVAL for a name it
// cannot store, EACCES for a device this user may not open, EIO for a
// failed transfer, and so on.
int ErrnoFor(const cli::LibraryError &error);

// True when the error means the link itself failed (unplugged, hung,
// reset), so the connection must be opened anew before the next command.
bool LinkFailed(const cli::LibraryError &error);

}  // namespace mountfs
