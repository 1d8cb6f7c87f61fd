/*
 * exports.cpp - the library's exported offline converters.
 *
 * The command-line tool converts recordings that are already on the PC
 * with these; the upload uses the converters directly (convert.h).
 */
#include "convert.h"
#include "zvc450usb.h"

namespace {

int Finish(bool ok, const zvc450::ConvertStatus &status)
{
    if (ok)
        return 1;
    if (status.error == ZVC450USB_ERR_WINDOWS)
        ZVC450_SetWindowsError(static_cast<unsigned>(status.sysError));
    else
        ZVC450_SetError(status.error);
    return 0;
}

}  // namespace

extern "C" ZVC450_API int ZVC450_ConvertBcwToWav(const char *src, const char *wav, ZVC450_PROGRESS_CB progress,
                                                 void *user)
{
    zvc450::ConvertStatus status;
    const bool ok = zvc450::ConvertBcwToWav(src, wav, progress, user, &status);
    return Finish(ok, status);
}

extern "C" ZVC450_API int ZVC450_ConvertBvfToWav(const char *src, const char *wav, ZVC450_PROGRESS_CB progress,
                                                 void *user)
{
    zvc450::ConvertStatus status;
    const bool ok = zvc450::ConvertBvfToWav(src, wav, progress, user, &status);
    return Finish(ok, status);
}
