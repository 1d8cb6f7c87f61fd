// maintenance.h - what the font and raw-data uploads share.
#pragma once

#include "progress.h"
#include "protocol.h"

#include <cstdint>

namespace zvc450 {

// Receives size bytes of the player's data into the local file path in the
// window of rec.  The player must already be sending.  The data goes into a
// temporary file that replaces path only when all of it has arrived; on
// failure path is as it was.  The library error is set (4, 6 with errno, 14).
bool receiveIntoNewFile(void *owner, HZVC450 h, const char *path, uint64_t size, ProgressRecord *rec);

}  // namespace zvc450
