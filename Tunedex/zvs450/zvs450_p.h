#pragma once
// State of the device session shared by its files (session, file operations,
// maintenance). Nothing outside Tunedex/zvs450 includes this.

#include "zvs450.h"

#include <QPointer>
#include <QWidget>

#include <vector>

namespace zvs450_detail {

inline constexpr int kMemorySlots = 2;
// Arrays grow in steps of this many entries; the first allocation is one step.
inline constexpr int kGrowStep = 512;
inline constexpr unsigned kBlockBytes = 16384;
// Status word when the medium information could not be read.
inline constexpr unsigned kStatusUnread = kZvs450DeviceIoGood | kZvs450FatValid | kZvs450StandardGeometry;

struct MemoryCache {
    // The records of the current directory; count = entries valid. The
    // vector's size is the capacity handed to the library.
    std::vector<ZVC450_DIRENTRY> files;
    int fileCount = 0;
    std::vector<ZVC450_DIRENTRY> dirs;
    int dirCount = 0;
    ZVC450_SUMMARY summary{};
    bool refreshNeeded = false;
    bool pathStale = false;
    char path[520] = {};
};

struct Session {
    bool initialized = false;  // the settings were read (and are written back at exit)
    HZVC450 handle = nullptr;  // open connection, null when closed
    HZVC450 spare = nullptr;   // a closed record kept for the next open
    unsigned recvTimeout = 0;
    unsigned sendTimeout = 0;
    unsigned formatTimeout = 0;
    int memoryCount = 0;
    MemoryCache memory[kMemorySlots];
    char firmwareVersion[64] = {};
    bool busy = false;            // an Operation holds the session
    bool refusalPending = false;  // an operation was refused meanwhile: tell the user
};

Session &session();

// Holds the session for one public operation (see "One operation at a time"
// in zvs450.h); the first thing every operation that talks to the player
// declares. When another operation holds the session, refused() is true and
// the caller must return at once, touching neither the player nor the
// library's state. The holder tells the user about refusals when it ends.
class Operation
{
public:
    enum class Refusal { Told, Silent };
    explicit Operation(QWidget *owner, Refusal refusal = Refusal::Told);
    ~Operation();
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

    bool refused() const { return m_refused; }

    // What an operation that needs the connection answers at once, 0 when it may
    // go on: kZvs450ErrBusy when refused, 3 (ZVC450USB_ERR_DEVICE_OPEN) when no
    // connection is open, which is shown to the owner unless NotOpen::Silent.
    enum class NotOpen { Shown, Silent };
    int unavailable(NotOpen notOpen = NotOpen::Shown) const;

private:
    QPointer<QWidget> m_owner;
    bool m_refused = false;
};

inline bool validMemory(int memory) { return memory >= 0 && memory < kMemorySlots; }

// Lists one memory into its cache. False with the library error set (4: the
// listing failed, 12: no medium).
bool refresh(int memory);
// Open handle, valid index, and a fresh cache when it was marked stale. While
// an operation runs a reader gets the cache as it is: listing the player then
// would cut into that operation.
bool validated(int memory);
// The refresh an operation makes before it touches the player; on failure the
// error is shown to owner and returned. 0 when the cache is fresh.
int refreshFirst(QWidget *owner, int memory);

void markStale(int memory);

// The name a view shows for a cached entry: the long name, else NAME.EXT. The
// short-name fields are trimmed in place.
QString displayName(ZVC450_DIRENTRY &entry);

// The library's message for error (as ZVC450_DispError shows it) with, under
// it, the file it concerns (when one is named) and the plain words of
// tunedeck::ErrorAdvice in the user's language.
void showLibraryError(QWidget *owner, int error, unsigned sysError, const QString &file = QString());

// The library's message for error 3 (showLibraryError); returns 3.
int reportNotOpen(QWidget *owner);
// Shows error with the library's system error unless it is 0 (or 14 when the
// cancel is silent), naming file when the failure is about one; returns error.
enum class Cancel { Silent, Shown };
int report(QWidget *owner, int error, Cancel cancel, const QString &file = QString());
// ZVC450_GetError(), shown as by report().
int reportLast(QWidget *owner, Cancel cancel);

// Refuses a file index outside the cached listing (error 13, shown to owner).
int checkFileIndex(QWidget *owner, int memory, int fileIndex);

// Refuses a name the player's file system cannot hold (zvs450_NameProblem):
// error 13, with the name and the reason shown to owner. 0 for a good name.
int checkName(QWidget *owner, const QString &name);

// Whether something is at path that a write would replace or go through: a file,
// a folder, or a symbolic link, also one whose target is gone (writing there
// would create the target, wherever the link points).
bool localEntryExists(const QString &path);

// Overwrite question (string 4006) about path (or a font's name): the path is
// the box's caption and is named again under the question, since many window
// setups show no caption.
Zvs450Ui::Answer askOverwrite(QWidget *owner, const QString &caption);

// folder + "/" + the device name made safe; the name alone without a folder.
QString localPathFor(const QString &folder, const QString &deviceName);

} // namespace zvs450_detail
