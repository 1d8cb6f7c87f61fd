#pragma once
// State of the device session shared by its files (session, file operations,
// maintenance). Nothing outside Tunedex/zvs450 includes this.

#include "zvs450.h"

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
};

Session &session();

inline bool validMemory(int memory) { return memory >= 0 && memory < kMemorySlots; }

// Lists one memory into its cache. False with the library error set (4: the
// listing failed, 12: no medium).
bool refresh(int memory);
// Open handle, valid index, and a fresh cache when it was marked stale.
bool validated(int memory);
// The refresh an operation makes before it touches the player; on failure the
// error is shown to owner and returned. 0 when the cache is fresh.
int refreshFirst(QWidget *owner, int memory);

void markStale(int memory);

// ZVC450_DispError(owner, 3, 0); returns 3.
int reportNotOpen(QWidget *owner);
// Shows error with the library's system error unless it is 0 (or 14 when the
// cancel is silent); returns error.
enum class Cancel { Silent, Shown };
int report(QWidget *owner, int error, Cancel cancel);
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

// Overwrite question (string 4006) about path (or a font's name).
Zvs450Ui::Answer askOverwrite(QWidget *owner, const QString &caption);

// folder + "/" + the device name made safe; the name alone without a folder.
QString localPathFor(const QString &folder, const QString &deviceName);

} // namespace zvs450_detail
