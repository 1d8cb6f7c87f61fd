#include "error_advice.h"

#include "zvc450usb.h"

#include <cerrno>

// The catalogues' tools find the sentences by this mark; here it leaves them as they are.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace tunedeck {

namespace {

const char *playerAdvice(int internalCode)
{
    switch (internalCode) {
    case ZVC450INT_ERR_CARD_NOT_DETECTED:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player finds no memory card. Insert the card firmly, or work on the internal memory.");
    case ZVC450INT_ERR_CARD_CHANGED:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The memory card was changed while it was in use. Press F5 to read it again.");
    case ZVC450INT_ERR_NOT_FORMATTED:
    case ZVC450INT_ERR_INVALID_MBR:
    case ZVC450INT_ERR_INVALID_PBR:
    case ZVC450INT_ERR_INVALID_FAT:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player cannot read the file system of this memory. Formatting it makes it usable again, but deletes everything on it.");
    case ZVC450INT_ERR_INVALID_NAME:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player does not accept this name. Use a shorter name of letters, digits and spaces.");
    case ZVC450INT_ERR_FILE_EXIST:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "A file or directory of this name is already on the player. Rename or delete it first.");
    case ZVC450INT_ERR_TOTAL_FILE_NUM:
    case ZVC450INT_NO_EMPTY_ENTRY:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "This directory on the player holds as many files as it can. Delete some, or use another directory.");
    case ZVC450INT_ERR_FILE_NOT_EXIST:
    case ZVC450INT_ERR_NOT_FOUND:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player no longer has this file or directory. Press F5 to see what is there now.");
    case ZVC450INT_ERR_ROOT_DIR:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "This cannot be done in the top directory of the memory.");
    case ZVC450INT_ERR_LOCKED:
    case ZVC450INT_ERR_NOT_PERMITTED:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player does not allow this. If the memory card has a lock switch, slide it to unlocked.");
    case ZVC450INT_ERR_NO_EMPTY_BLOCK:
    case ZVC450INT_ERR_OUT_OF_MEMORY:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The memory of the player is full. Delete files on the player to make room.");
    case ZVC450INT_ERR_ECC:
    case ZVC450INT_ERR_INVALID_BLOCK:
    case ZVC450INT_ERR_FLASH_STATUS:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player's memory reported damaged data. Copy off what you need; formatting at low level may mend it.");
    case ZVC450INT_ERR_USB_SEND:
    case ZVC450INT_ERR_USB_RECEIVE:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The connection to the player was disturbed. Check the cable and try again.");
    case ZVC450INT_NOT_IMPLEMENTED:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player's firmware cannot do this. A newer firmware may.");
    default:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player refused the command. Press F5 and try again; if it keeps failing, unplug the player and plug it in again.");
    }
}

const char *systemAdvice(unsigned sysError)
{
    switch (sysError) {
    case ENOENT:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "A file or folder on this computer was not found. Check that it still exists.");
    case EACCES:
    case EPERM:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "You may not use this file or folder on this computer. Choose another folder or change its permissions.");
    case ENOSPC:
    case EDQUOT:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The disk of this computer is full. Make room, or choose a folder on another disk.");
    case EROFS:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The folder on this computer is read-only. Choose another folder.");
    case ENAMETOOLONG:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The name or path is too long for this computer. Choose a shorter name or a folder nearer the top.");
    case EISDIR:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "A folder is in the way where a file was to be written. Rename the folder or choose another name.");
    default:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "A file on this computer could not be read or written. Check that it exists and that you may use it.");
    }
}

} // namespace

const char *ErrorAdvice(int code, int internalCode, unsigned sysError)
{
    switch (code) {
    case ZVC450USB_ERR_NONE:
    case ZVS450USB_ERR_USERBREAK:
        return nullptr;
    case ZVC450USB_ERR_DEVICEDRIVER_OPEN:
    case ZVC450USB_ERR_DEVICEDRIVER_VERSION:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The USB system cannot be used. Check that you may use USB devices (the udev rule of the player is installed).");
    case ZVC450USB_ERR_DEVICE_OPEN:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "No player is connected. Plug the player in, switch it on and wait a moment.");
    case ZVC450USB_ERR_USB:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player did not answer in time. Check the cable; for large files or a slow card, raise the time-outs in Edit > Option.");
    case ZVC450USB_ERR_INTERNAL:
        return playerAdvice(internalCode);
    case ZVC450USB_ERR_WINDOWS:
        return systemAdvice(sysError);
    case ZVC450USB_ERR_MEMORY_ALLOC:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "This computer ran out of memory. Close other programs and try again.");
    case ZVC450USB_ERR_FILE_TOOBIG:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player cannot hold a file of 4 GB or more. Split the file or copy a smaller one.");
    case ZVC450USB_ERR_DISKFULL:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The memory of the player is full. Delete files on the player to make room.");
    case ZVC450USB_ERR_UNSUPPORTED:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player's firmware cannot do this. A newer firmware may; the expected version is set in Edit > Option.");
    case ZVC450USB_ERR_NODISK:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "There is no memory card in the player. Insert one, or work on the internal memory.");
    case ZVS450USB_ERR_INVALID_FILENAME:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "The player cannot store this name (for example ':' or '\\' in it). Rename the file or let TuneDeck use '_' instead.");
    default:
        return QT_TRANSLATE_NOOP("ErrorAdvice", "Something unexpected went wrong. Try again; if it keeps failing, unplug the player and plug it in again.");
    }
}

} // namespace tunedeck
