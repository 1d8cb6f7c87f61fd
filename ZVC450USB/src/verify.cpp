// verify.cpp - reading a file back from the player and comparing it with a
// local file.
//
// Flash can fail quietly: a copy the player took without a complaint may
// read back different.  The player can send any of its files (the "R"
// command of an upload), so a copy is checked by reading it again and
// comparing it, chunk by chunk, with the file it was made from.  Nothing is
// written on the PC.  At the first difference the player is told to stop
// sending: the rest of the file does not change the verdict.

#include "data_phase.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace zvc450 {
namespace {

// Compares size bytes from the player with the local file fd.  Returns 1
// with *difference set (-1 when equal), or 0 with the library error set.
int compareWithPlayer(void *owner, HZVC450 h, int fd, int fileIndex, const char *shown, unsigned size,
                      long long *difference)
{
    TransferBuffer received;
    std::vector<uint8_t> local(size_t(received.size()));
    ProgressRecord rec = MakeProgressRecord(kStrVerifying, fileIndex, shown);
    PhaseWindow window(owner, &rec, size, DataPhaseOptions());
    uint64_t done = 0;
    while (done < size) {
        if (window.cancelRequested()) {
            abortTransfer(h);
            return fail(ZVS450USB_ERR_USERBREAK);
        }
        const int chunk = size - done < uint64_t(received.size()) ? int(size - done) : received.size();
        const int got = recvData(h, received.data(), roundUpToBlock(chunk));
        if (got <= 0) {
            abortTransfer(h);
            return fail(ZVC450USB_ERR_USB);
        }
        const size_t bytes = size_t(got < chunk ? got : chunk);
        const ssize_t have = readUpTo(fd, local.data(), bytes);
        if (have < 0) {
            const int err = errno;
            abortTransfer(h);
            return failSystem(err);
        }
        const size_t same = size_t(std::mismatch(local.begin(), local.begin() + have, received.data()).first -
                                   local.begin());
        if (same < bytes) {
            // A differing byte, or the local file ends here.
            *difference = static_cast<long long>(done + same);
            if (done + bytes < size)
                abortTransfer(h);
            else
                dropSurplus(h);
            return 1;
        }
        done += bytes;
        window.advance(done);
    }
    // Everything asked for matched; anything more the player sends is not
    // taken for the next answer.  The local file must end here too.
    dropSurplus(h);
    uint8_t extra;
    const ssize_t more = readUpTo(fd, &extra, 1);
    if (more < 0)
        return failSystem(errno);
    *difference = more > 0 ? static_cast<long long>(size) : -1;
    return 1;
}

}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_VerifyFile(void *owner, HZVC450 h, int memory, int fileIndex, const char *localPath,
                                 const char *displayName, unsigned size, long long *firstDifference)
{
    Payload number;
    if (!validMemory(memory) || !firstDifference || !number.fileNumber(fileIndex))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    // The local side first: a file that cannot be read costs no transfer.
    FileHandle file;
    struct stat st;
    if (int err = openSourceFile(localPath, &file, &st))
        return failSystem(err);

    if (!requestFile(h, memory, number))
        return 0;

    return compareWithPlayer(owner, h, file.get(), fileIndex, displayName ? displayName : localPath, size,
                             firstDifference);
}

}  // extern "C"
