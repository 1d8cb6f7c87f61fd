// maintenance.h - what the font and raw-data uploads share.
#pragma once

#include "progress.h"
#include "protocol.h"

#include <cstdint>

namespace zvc450 {

// Creates (or truncates) the local file path and receives size bytes of the
// player's data into it in the window of rec.  The player must already be
// sending.  When anything fails after the file was created, the file is
// removed; the library error is set (4, 6 with errno, 14).
bool receiveIntoNewFile(void *owner, HZVC450 h, const char *path, uint64_t size, ProgressRecord *rec);

}  // namespace zvc450
