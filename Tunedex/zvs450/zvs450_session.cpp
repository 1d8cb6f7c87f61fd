// The device session: handle, settings pushed into the library, connection,
// and the cached listing of each memory.

#include "zvs450_p.h"

#include "RegKeys.h"

#include <shortname.h>

#include <climits>
#include <cstring>
#include <new>

using namespace zvs450_detail;

namespace zvs450_detail {

Session &session()
{
    static Session s;
    return s;
}

Operation::Operation(QWidget *owner, Refusal refusal) : m_owner(owner)
{
    Session &s = session();
    if (s.busy) {
        m_refused = true;
        if (refusal == Refusal::Told)
            s.refusalPending = true;
        return;
    }
    s.busy = true;
}

Operation::~Operation()
{
    if (m_refused)
        return;
    Session &s = session();
    s.busy = false;
    // Told only now: a message box in the middle of the data phase would hold
    // the transfer up for as long as it stays open.
    if (s.refusalPending) {
        s.refusalPending = false;
        zvs450_GetUi().message(m_owner, text::tr(text::kBusy), QString());
    }
}

int Operation::unavailable(NotOpen notOpen) const
{
    if (m_refused)
        return kZvs450ErrBusy;
    if (session().handle)
        return ZVC450USB_ERR_NONE;
    return notOpen == NotOpen::Shown ? reportNotOpen(m_owner) : ZVC450USB_ERR_DEVICE_OPEN;
}

} // namespace zvs450_detail

namespace {

// Cuts the trailing spaces of a space-padded field in place.
void trimField(char *field, size_t width)
{
    field[width] = '\0';
    size_t end = std::strlen(field);
    while (end > 0 && field[end - 1] == ' ')
        --end;
    field[end] = '\0';
}

unsigned mediumStatus(const ZVC450_MEDIUMINFO &info)
{
    unsigned status = kZvs450MediumInfoRead;
    if (info.bDeviceIOStatus != 0)
        status |= kZvs450DeviceIoGood;
    if ((status & kZvs450DeviceIoGood) && info.bFATStatus != 0 && info.bFATType != 0)
        status |= kZvs450FatValid;
    if ((status & kZvs450FatValid) && info.wBytesPerSector == 512 && info.bSectorsPerCluster == 32
        && info.bClustersPerBlock == 1)
        status |= kZvs450StandardGeometry;
    return status;
}

// Grows entries to hold needed records, in steps of kGrowStep. A vector that
// cannot grow is dropped: those entries stay missing from the listing until a
// later refresh manages to grow it. True when it grew.
bool growFor(std::vector<ZVC450_DIRENTRY> &entries, int &count, quint32 needed)
{
    const size_t capacity = entries.size();
    if (needed <= capacity)
        return false;
    size_t grown = capacity;
    while (grown < needed)
        grown += kGrowStep;
    try {
        entries.resize(grown);
        return true;
    } catch (const std::bad_alloc &) {
        std::vector<ZVC450_DIRENTRY>().swap(entries);
        count = 0;
        return false;
    }
}

void allocate(std::vector<ZVC450_DIRENTRY> &entries, int &count)
{
    count = 0;
    try {
        entries.assign(kGrowStep, ZVC450_DIRENTRY{});
    } catch (const std::bad_alloc &) {
        // Left empty: the first refresh tries again to grow it.
        std::vector<ZVC450_DIRENTRY>().swap(entries);
    }
}

enum class ListResult { Failed, Grown, Done };

ListResult listOnce(int memory)
{
    Session &s = session();
    MemoryCache &c = s.memory[memory];

    unsigned status = kStatusUnread;
    ZVC450_MEDIUMINFO info{};
    if (ZVC450_GetMediumInfo(s.handle, memory, &info))
        status = mediumStatus(info);

    c.refreshNeeded = false;
    c.summary.dwStatus = 0;
    c.fileCount = static_cast<int>(c.files.size());
    c.dirCount = static_cast<int>(c.dirs.size());
    const int listed = ZVC450_RefreshEx(s.handle, memory, &c.summary, c.files.empty() ? nullptr : c.files.data(),
                                        &c.fileCount, c.dirs.empty() ? nullptr : c.dirs.data(), &c.dirCount);
    if (!listed || c.summary.dwTotalBlocks == 0) {
        // A player without a card refuses the listing with its reason; for
        // the program that is the missing medium.  Other refusals keep the
        // player's reason for the message.
        const bool noCard = !listed && ZVC450_GetError() == ZVC450USB_ERR_INTERNAL
                            && ZVC450_GetInternalError() == ZVC450INT_ERR_CARD_NOT_DETECTED;
        const int error = listed || noCard ? ZVC450USB_ERR_NODISK : ZVC450_GetError();
        c.summary = ZVC450_SUMMARY{};
        c.fileCount = 0;
        c.dirCount = 0;
        ZVC450_SetError(error != 0 ? error : ZVC450USB_ERR_USB);
        return ListResult::Failed;
    }
    // Never trust a count beyond what the arrays hold.
    c.fileCount = qBound(0, c.fileCount, static_cast<int>(c.files.size()));
    c.dirCount = qBound(0, c.dirCount, static_cast<int>(c.dirs.size()));

    // The summary counts every entry, also those that did not fit: grow and
    // list again so that the view shows them all.
    const bool filesGrew = growFor(c.files, c.fileCount, c.summary.dwFilesFound);
    const bool dirsGrew = growFor(c.dirs, c.dirCount, c.summary.dwDirsFound);
    if (filesGrew || dirsGrew)
        return ListResult::Grown;

    if (!ZVC450_GetCurrentDirectory(s.handle, memory, c.path, static_cast<int>(sizeof c.path)))
        c.path[0] = '\0';
    c.path[sizeof c.path - 1] = '\0';
    c.summary.dwStatus = status;
    return ListResult::Done;
}

} // namespace

namespace zvs450_detail {

bool refresh(int memory)
{
    // One growth is enough unless the directory grows while being listed;
    // a player that keeps reporting more entries is not followed forever.
    for (int pass = 0; pass < 4; ++pass) {
        switch (listOnce(memory)) {
        case ListResult::Failed:
            return false;
        case ListResult::Done:
            return true;
        case ListResult::Grown:
            break;
        }
    }
    return true;
}

bool validated(int memory)
{
    Session &s = session();
    if (!s.handle || !validMemory(memory))
        return false;
    return !s.memory[memory].refreshNeeded || s.busy || refresh(memory);
}

void markStale(int memory)
{
    if (validMemory(memory))
        session().memory[memory].refreshNeeded = true;
}

// The name a view shows for an entry: the long name, else NAME.EXT from the
// short name. The short name is trimmed in the cache itself, which is also
// how the ".." entry is found again.
QString displayName(ZVC450_DIRENTRY &entry)
{
    entry.szLongName[sizeof entry.szLongName - 1] = '\0';
    trimField(entry.szName, sizeof entry.szName - 1);
    trimField(entry.szExt, sizeof entry.szExt - 1);
    if (entry.szLongName[0] != '\0')
        return QString::fromUtf8(entry.szLongName);
    return QString::fromStdString(zvs450_ShortNameText(entry.szName, sizeof entry.szName - 1, entry.szExt,
                                                       sizeof entry.szExt - 1, '_'));
}

} // namespace zvs450_detail

// ---- Life cycle and connection ------------------------------------------------

void zvs450_Initialize()
{
    Session &s = session();
    for (MemoryCache &c : s.memory) {
        allocate(c.files, c.fileCount);
        allocate(c.dirs, c.dirCount);
    }
    RegKeys::getTimeouts(&s.recvTimeout, &s.sendTimeout, &s.formatTimeout);
    ZVC450_SetTimeout(s.recvTimeout, s.sendTimeout);
    zvs450_SetExpectedFirmwareVersion(RegKeys::expectedFirmwareVersion());
    unsigned vid = 0;
    unsigned pid = 0;
    RegKeys::getUserUsbId(&vid, &pid);
    zvs450_SetUserUsbId(vid, pid);
    s.memoryCount = RegKeys::internalOnly() ? 1 : 2;
    s.initialized = true;
}

void zvs450_Terminate()
{
    Session &s = session();
    // Without a start there are no time-outs to keep: zeros would replace the stored ones.
    if (s.initialized)
        RegKeys::setTimeouts(s.recvTimeout, s.sendTimeout, s.formatTimeout);
    s.initialized = false;
    if (s.handle) {
        ZVC450_Close(s.handle);
        ZVC450_Free(s.handle);
        s.handle = nullptr;
    }
    if (s.spare) {
        ZVC450_Free(s.spare);
        s.spare = nullptr;
    }
    for (MemoryCache &c : s.memory) {
        std::vector<ZVC450_DIRENTRY>().swap(c.files);
        std::vector<ZVC450_DIRENTRY>().swap(c.dirs);
        c.fileCount = 0;
        c.dirCount = 0;
    }
}

namespace {

void closeHandle()
{
    Session &s = session();
    if (!s.handle)
        return;
    // The closed record is kept and handed to the next open, which reuses it.
    HZVC450 old = s.handle;
    s.handle = nullptr;
    ZVC450_Close(old);
    if (s.spare && s.spare != old)
        ZVC450_Free(s.spare);
    s.spare = old;
}

} // namespace

void zvs450_Close()
{
    // Never from under a running operation.
    const Operation op(nullptr, Operation::Refusal::Silent);
    if (!op.refused())
        closeHandle();
}

bool zvs450_IsOpen() { return session().handle != nullptr; }

bool zvs450_IsBusy() { return session().busy; }

bool zvs450_TestConnection(bool *present)
{
    const Operation op(nullptr, Operation::Refusal::Silent);
    if (op.refused())
        return false;
    if (present)
        *present = ZVC450_TestConnection() != 0;
    return true;
}

bool zvs450_Connect(bool listNow, int *memoryCount, int *presentMask)
{
    Session &s = session();
    // A device change noticed while an operation runs waits for its end.
    const Operation op(nullptr, Operation::Refusal::Silent);
    if (op.refused())
        return s.handle != nullptr;
    if (s.handle && ZVC450_IsValidHandle(s.handle)) {
        // A working connection is kept as it is, listing and all.
        if (ZVC450_TestConnection())
            return true;
        closeHandle();
    } else {
        closeHandle();
        if (!ZVC450_TestConnection())
            return false;
    }

    HZVC450 record = s.spare;
    if (!ZVC450_Open(&record))
        return false;
    s.handle = record;
    s.spare = nullptr;

    if (!listNow) {
        if (memoryCount)
            *memoryCount = 0;
        if (presentMask)
            *presentMask = 0;
        return true;
    }
    for (MemoryCache &c : s.memory) {
        c.fileCount = 0;
        c.dirCount = 0;
        c.refreshNeeded = true;
        c.pathStale = true;
    }
    int present = 0;
    for (int memory = 0; memory < s.memoryCount; ++memory)
        if (refresh(memory))
            present |= 1 << memory;
    if (memoryCount)
        *memoryCount = s.memoryCount;
    if (presentMask)
        *presentMask = present;
    return s.handle != nullptr;
}

void zvs450_GetTimeouts(unsigned *recvMs, unsigned *sendMs, unsigned *formatMs)
{
    const Session &s = session();
    if (recvMs)
        *recvMs = s.recvTimeout;
    if (sendMs)
        *sendMs = s.sendTimeout;
    if (formatMs)
        *formatMs = s.formatTimeout;
}

void zvs450_SetTimeouts(unsigned recvMs, unsigned sendMs, unsigned formatMs)
{
    Session &s = session();
    s.recvTimeout = recvMs;
    s.sendTimeout = sendMs;
    s.formatTimeout = formatMs;
    ZVC450_SetTimeout(recvMs, sendMs);
}

void zvs450_SetMemoryCount(int count) { session().memoryCount = count > kMemorySlots ? kMemorySlots : count; }

int zvs450_GetMemoryCount() { return session().memoryCount; }

void zvs450_SetExpectedFirmwareVersion(unsigned version) { ZVC450_SetExpectedFirmwareVersion(version); }

void zvs450_SetUserUsbId(unsigned vid, unsigned pid) { ZVC450_SetUserUSBID(vid, pid); }

QString zvs450_EmulatedPlayerSocket() { return qEnvironmentVariable("ZVC450_VUSB"); }

// ---- Cached listing ---------------------------------------------------------------

bool zvs450_GetCapacity(int memory, quint64 *totalBytes, quint64 *freeBytes)
{
    if (!validated(memory))
        return false;
    const ZVC450_SUMMARY &summary = session().memory[memory].summary;
    const quint64 total = summary.dwTotalBlocks;
    const quint64 used = qMin<quint64>(summary.dwUsedBlocks, total);
    if (totalBytes)
        *totalBytes = total * kBlockBytes;
    if (freeBytes)
        *freeBytes = (total - used) * kBlockBytes;
    return true;
}

unsigned zvs450_GetMediumStatus(int memory)
{
    return validated(memory) ? session().memory[memory].summary.dwStatus : 0;
}

int zvs450_GetFileCount(int memory)
{
    if (!validated(memory))
        return 0;
    const ZVC450_SUMMARY &summary = session().memory[memory].summary;
    return summary.dwTotalBlocks > 0 ? static_cast<int>(summary.dwFileCount) : 0;
}

bool zvs450_GetListedFileCounts(int memory, int *found, int *announced)
{
    if (!validated(memory))
        return false;
    const ZVC450_SUMMARY &summary = session().memory[memory].summary;
    if (found)
        *found = static_cast<int>(qMin<quint32>(summary.dwFilesFound, INT_MAX));
    if (announced)
        *announced = static_cast<int>(qMin<quint32>(summary.dwFileCount, INT_MAX));
    return true;
}

int zvs450_GetDirectoryCount(int memory)
{
    if (!validated(memory))
        return 0;
    const MemoryCache &c = session().memory[memory];
    return c.summary.dwTotalBlocks > 0 ? c.dirCount : 0;
}

namespace {

bool enumerate(int memory, Zvs450ItemSink &sink, bool force, bool directories)
{
    Session &s = session();
    if (!s.handle || !validMemory(memory))
        return false;
    MemoryCache &c = s.memory[memory];
    if ((force || c.refreshNeeded) && !s.busy && !refresh(memory))
        return false;
    if (c.summary.dwTotalBlocks == 0)
        return false;
    std::vector<ZVC450_DIRENTRY> &entries = directories ? c.dirs : c.files;
    const int &count = directories ? c.dirCount : c.fileCount;
    // Bounds are read again every time: a sink may cause a refresh.
    for (int i = 0; i < count && i < static_cast<int>(entries.size()); ++i) {
        ZVC450_DIRENTRY &entry = entries[static_cast<size_t>(i)];
        sink.addItem(displayName(entry), i, entry.dwSize, entry.dwFirstCluster);
    }
    return true;
}

} // namespace

bool zvs450_EnumFiles(int memory, Zvs450ItemSink &sink, bool force) { return enumerate(memory, sink, force, false); }

bool zvs450_EnumDirectories(int memory, Zvs450ItemSink &sink, bool force)
{
    return enumerate(memory, sink, force, true);
}

bool zvs450_GetCurrentDirectory(int memory, QString *path)
{
    Session &s = session();
    if (!s.handle || !validMemory(memory))
        return false;
    MemoryCache &c = s.memory[memory];
    if (c.refreshNeeded && !s.busy && !refresh(memory))
        return false;
    if (c.pathStale && !s.busy) {
        if (!ZVC450_GetCurrentDirectory(s.handle, memory, c.path, static_cast<int>(sizeof c.path)))
            return false;
        c.path[sizeof c.path - 1] = '\0';
        c.pathStale = false;
    }
    if (path)
        *path = QString::fromUtf8(c.path);
    return true;
}

namespace {

class ListingSink final : public Zvs450ItemSink
{
public:
    explicit ListingSink(std::vector<Zvs450Listing::Item> *items) : m_items(items) {}
    void addItem(const QString &displayName, int index, quint32 size, quint32 firstCluster) override
    {
        m_items->push_back({displayName, index, size, firstCluster});
    }

private:
    std::vector<Zvs450Listing::Item> *m_items;
};

} // namespace

bool zvs450_ReadListing(int memory, bool force, Zvs450Listing *listing)
{
    Zvs450Listing read;
    ListingSink directories(&read.directories);
    ListingSink files(&read.files);
    // One forced listing is enough: the files come from the cache the directories just filled.
    const bool listed = zvs450_EnumDirectories(memory, directories, force) && zvs450_EnumFiles(memory, files, false)
                        && zvs450_GetCapacity(memory, &read.totalBytes, &read.freeBytes)
                        && zvs450_GetCurrentDirectory(memory, &read.path);
    if (!listed) {
        // A medium without a file system refuses its listing; the medium information
        // still says so, and the user must be able to format it.
        *listing = Zvs450Listing{};
        ZVC450_MEDIUMINFO info{};
        if (zvs450_IsOpen() && zvs450_GetMediumInfo(memory, &info) == 0 && info.bDeviceIOStatus
            && !(info.bFATStatus && info.bFATType)) {
            listing->status = kZvs450MediumInfoRead | kZvs450DeviceIoGood;
            const quint64 blocks = info.wTotalBlockCount ? info.wTotalBlockCount : info.wPhysicalBlockCount;
            listing->totalBytes = blocks * kBlockBytes;
        }
        return false;
    }
    read.status = zvs450_GetMediumStatus(memory);
    read.fileCount = zvs450_GetFileCount(memory);
    read.directoryCount = zvs450_GetDirectoryCount(memory);
    if (!zvs450_GetListedFileCounts(memory, &read.filesFound, &read.filesAnnounced))
        read.filesFound = read.filesAnnounced = 0;
    *listing = std::move(read);
    return true;
}

int zvs450_GetMediumInfo(int memory, ZVC450_MEDIUMINFO *info)
{
    Session &s = session();
    const Operation op(nullptr, Operation::Refusal::Silent);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    return ZVC450_GetMediumInfo(s.handle, memory, info) ? 0 : ZVC450_GetError();
}

const char *zvs450_GetFirmwareVersionString()
{
    const char *text = ZVC450_GetFirmwareVersionString();
    if (!text)
        return nullptr;
    char *buffer = session().firmwareVersion;
    std::strncpy(buffer, text, sizeof session().firmwareVersion - 1);
    buffer[sizeof session().firmwareVersion - 1] = '\0';
    return buffer;
}
