/*
 * room.cpp - whether a WAV may be written before a byte of it is.
 *
 * A recording can describe far more sound than its own size suggests: one
 * byte of a BVF "no data" frame decodes to 320 bytes of PCM.  A conversion
 * is therefore refused up front when its WAV could not describe its own
 * size in the 32-bit RIFF fields, or would not fit the free space of the
 * destination - not after gigabytes have been written.
 */
#include "convert.h"
#include "wav.h"
#include "zvc450usb.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <string>

namespace zvc450 {

namespace {

/* Bytes the WAV may take in its folder: the free space there plus what a
 * file it replaces occupies now.  UINT64_MAX when the system cannot say. */
std::uint64_t FreeSpaceFor(const char *wavPath)
{
    const std::string path = wavPath;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return UINT64_MAX;
    std::uint64_t room = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    struct stat st {};
    if (::stat(wavPath, &st) == 0 && S_ISREG(st.st_mode))
        room += static_cast<std::uint64_t>(st.st_blocks) * 512;
    return room;
}

}  // namespace

bool WavFits(const char *wavPath, std::uint64_t fileBytes, std::uint64_t maxFileBytes, ConvertStatus *status)
{
    if (fileBytes > maxFileBytes)
        return Fail(status, ZVC450USB_ERR_FILE_TOOBIG);
    struct stat st {};
    /* A device (/dev/null) takes whatever it is given. */
    if (::stat(wavPath, &st) == 0 && !S_ISREG(st.st_mode))
        return true;
    if (fileBytes > FreeSpaceFor(wavPath))
        return Fail(status, ZVC450USB_ERR_WINDOWS, ENOSPC);
    return true;
}

}  // namespace zvc450
