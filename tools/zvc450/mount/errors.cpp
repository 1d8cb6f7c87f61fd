// errors.cpp - library errors to errno values.

#include "errors.h"

#include <cerrno>

namespace mountfs {

int ErrnoFor(const cli::LibraryError &error)
{
    switch (error.code) {
    case ZVC450USB_ERR_NONE:
        return EIO;  // a failure that left no reason
    case ZVC450USB_ERR_DEVICEDRIVER_OPEN:
    case ZVC450USB_ERR_DEVICEDRIVER_VERSION:
    case ZVC450USB_ERR_DEVICE_OPEN:
        return error.sys == EACCES || error.sys == EPERM ? EACCES : ENODEV;
    case ZVC450USB_ERR_USB:
        return EIO;
    case ZVC450USB_ERR_WINDOWS:
        return error.sys != 0 ? int(error.sys) : EIO;
    case ZVC450USB_ERR_MEMORY_ALLOC:
        return ENOMEM;
    case ZVC450USB_ERR_FILE_TOOBIG:
        return EFBIG;
    case ZVC450USB_ERR_DISKFULL:
        return ENOSPC;
    case ZVC450USB_ERR_UNSUPPORTED:
        return EOPNOTSUPP;
    case ZVC450USB_ERR_NODISK:
        return ENOMEDIUM;
    case ZVS450USB_ERR_INVALID_FILENAME:
        return EINVAL;
    case ZVS450USB_ERR_USERBREAK:
        return ECANCELED;
    case ZVC450USB_ERR_INTERNAL:
        break;  // the player's own reason below
    default:
        return EIO;
    }
    switch (error.internal) {
    case ZVC450INT_ERR_CARD_NOT_DETECTED:
    case ZVC450INT_ERR_CARD_CHANGED:
    case ZVC450INT_ERR_NOT_FORMATTED:
        return ENOMEDIUM;
    case ZVC450INT_ERR_INVALID_NAME:
        return EINVAL;
    case ZVC450INT_ERR_FILE_OPENED:
        return EBUSY;
    case ZVC450INT_ERR_FILE_EXIST:
        return EEXIST;
    case ZVC450INT_ERR_TOTAL_FILE_NUM:
    case ZVC450INT_ERR_NO_EMPTY_BLOCK:
    case ZVC450INT_ERR_OUT_OF_MEMORY:
    case ZVC450INT_NO_EMPTY_ENTRY:
        return ENOSPC;
    case ZVC450INT_ERR_FILE_NOT_EXIST:
    case ZVC450INT_ERR_NOT_FOUND:
        return ENOENT;
    case ZVC450INT_ERR_LOCKED:
    case ZVC450INT_ERR_NOT_PERMITTED:
    case ZVC450INT_ERR_ROOT_DIR:
        return EPERM;
    case ZVC450INT_NOT_IMPLEMENTED:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

bool LinkFailed(const cli::LibraryError &error)
{
    return error.code == ZVC450USB_ERR_USB || error.code == ZVC450USB_ERR_DEVICE_OPEN ||
           (error.code == ZVC450USB_ERR_INTERNAL &&
            (error.internal == ZVC450INT_ERR_USB_SEND || error.internal == ZVC450INT_ERR_USB_RECEIVE));
}

}  // namespace mountfs
