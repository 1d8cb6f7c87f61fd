#pragma once
// zvs450: the program's device session.
//
// There is one player and one session per process, so the session is a set of
// free functions over module-wide state. It owns the library handle, pushes
// the stored settings into the library, connects, and keeps a cached copy of
// each memory's medium summary and directory listing. Every operation that
// changes the player goes through one wrapper here: it checks the handle,
// brings the listing up to date where the operation needs it, calls one
// ZVC450_* function, shows a failure through the library's own message
// (ZVC450_DispError), marks the cached listing stale and returns the library
// error code, 0 for success. The views never call the library themselves.
//
// Memory index: 0 the internal memory, 1 the external memory (card).
// Everything here runs on the user-interface thread.

#include <zvc450usb.h>

#include "StringTable.h"
#include "playorder.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

class QWidget;
class HFileTransferList;

// Receives a listing: one call per cached entry, in the player's order.
// index is the entry's file index (files) or its position among the
// directories; firstCluster is the entry's key (its low 16 bits are the
// directory key of the directory commands).
class Zvs450ItemSink
{
public:
    virtual ~Zvs450ItemSink() = default;
    virtual void addItem(const QString &displayName, int index, quint32 size, quint32 firstCluster) = 0;
};

// Every question, file dialog and message box the session shows, and the
// start of the raw-data viewer. The program uses the Qt implementation
// (zvs450_QtUi); tests install scripted answers with zvs450_SetUi.
class Zvs450Ui
{
public:
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~Zvs450Ui() = default;
    // Yes/No/Cancel question with the question icon. caption may be empty
    // (the default caption).
    virtual Answer question(QWidget *owner, const QString &text, const QString &caption) = 0;
    // Message with an OK button and the warning icon.
    virtual void message(QWidget *owner, const QString &text, const QString &caption) = 0;
    // Open-file dialog for an existing file. filter is in Qt's form
    // ("Intel Hex File(*.hex);;All Files(*.*)"). Empty result: cancelled.
    virtual QString openFile(QWidget *owner, const QString &title, const QString &filter,
                             const QString &initialPath) = 0;
    // Starts program with the file as its only argument, detached.
    virtual bool startViewer(const QString &program, const QString &file) = 0;
};

// Result of an operation refused because another one was running (see
// "One operation at a time" below). Not a library error code.
inline constexpr int kZvs450ErrBusy = 100;

// Medium status word bits (zvs450_GetMediumStatus).
inline constexpr unsigned kZvs450MediumInfoRead = 1;  // ZVC450_GetMediumInfo answered
inline constexpr unsigned kZvs450DeviceIoGood = 2;    // the medium works
inline constexpr unsigned kZvs450FatValid = 4;        // it holds a FAT file system
inline constexpr unsigned kZvs450StandardGeometry = 8; // 512-byte sectors, 32 per cluster, 1 cluster per block

// Raw-data uploads must stay below this many 16 KB blocks: the upload's byte
// count is 32-bit, and 0x40000 blocks would be 4 GiB.
inline constexpr unsigned kZvs450RawDataMaxBlocks = 0x40000;

// ---- User interface --------------------------------------------------------

// Installs the question and dialog interface (null: back to the Qt one). The
// session does not own it.
void zvs450_SetUi(Zvs450Ui *ui);
Zvs450Ui &zvs450_GetUi();
// The Qt implementation: message boxes and QFileDialog with a QApplication;
// without one, messages go to stderr and questions are answered Cancel.
Zvs450Ui &zvs450_QtUi();
// Turns a filter of "description\npattern\n" pairs ended by an empty entry
// into Qt's "description (pattern);;..." form; "*.*" becomes "*", so that
// "All Files (*)" shows the files without an extension too.
QString zvs450_QtFilter(const QString &pairs);

// ---- One operation at a time -------------------------------------------------
// The library serves one operation at a time: it has one packet buffer and
// one error state, and the player follows one command at a time. Yet its
// progress windows, its error boxes and the session's own questions let the
// program's events run while an operation waits for the player, and a timer,
// a queued call or a drop handled there could start a second operation in the
// middle of the first one's data phase. So every operation below that talks
// to the player holds the session for as long as it runs. An operation that
// finds the session held does nothing: it returns kZvs450ErrBusy (false, 0 or
// the cached listing for the reads), touches neither the player nor the
// library's error state, and once the running operation has ended the user is
// told (text::kBusy) that something asked meanwhile was not done. Reads of
// the cached listing answer from the cache, and Connect keeps the connection
// as it is, without a message.

// True while an operation of the session runs.
bool zvs450_IsBusy();

// ---- Life cycle and connection --------------------------------------------

// Allocates the listing caches and pushes the stored time-outs, expected
// firmware version and USB ids into the library; fixes the memory count from
// the IntOnly setting. Once, at start.
void zvs450_Initialize();
// Saves the time-outs, closes and frees the handle, frees the caches. Once, at exit.
void zvs450_Terminate();
// Closes the connection (the cached listings stay until the next connect).
void zvs450_Close();
// Keeps a handle whose player still answers (nothing is re-listed, the
// outputs are left alone); otherwise opens a new connection and, with
// listNow, lists every memory below the memory count. *memoryCount and
// *presentMask (bit i: memory i listed) are set then; each may be null.
// True when a connection is open.
bool zvs450_Connect(bool listNow, int *memoryCount, int *presentMask);
bool zvs450_IsOpen();
// The library's connection test (is a player there?), for the device watcher.
// False, *present untouched, while an operation runs.
bool zvs450_TestConnection(bool *present);

// Time-outs in milliseconds; each output may be null. The format time-out is
// the receive time-out while formatting or upgrading firmware.
void zvs450_GetTimeouts(unsigned *recvMs, unsigned *sendMs, unsigned *formatMs);
void zvs450_SetTimeouts(unsigned recvMs, unsigned sendMs, unsigned formatMs);
// Number of memories listed: 1 or 2 (anything above 2 is 2).
void zvs450_SetMemoryCount(int count);
int zvs450_GetMemoryCount();
// The firmware version the library takes the player for (0: the one it
// reports) and the USB ids it looks for first (0, 0: none); both count from
// the next connection.
void zvs450_SetExpectedFirmwareVersion(unsigned version);
void zvs450_SetUserUsbId(unsigned vid, unsigned pid);
// The socket of the emulated player the library talks to instead of USB
// (ZVC450_VUSB), empty when it uses USB: the device watcher watches it.
QString zvs450_EmulatedPlayerSocket();

// ---- Cached listing ----------------------------------------------------------
// These read the cache, refreshing it first when an operation has marked it
// stale. They fail (false or 0) without a message when not connected, for a
// memory index other than 0 or 1, or when the refresh fails (ZVC450_GetError
// then says why: 4 listing failed, 12 no medium).

bool zvs450_GetCapacity(int memory, quint64 *totalBytes, quint64 *freeBytes);
// Medium status word: kZvs450* bits; 14 when the medium information could not
// be read.
unsigned zvs450_GetMediumStatus(int memory);
// Files in the current directory as the player counts them.
int zvs450_GetFileCount(int memory);
// The files the last listing found, and the number its header announced (the
// player's count). A listing that stopped early (found below announced) is
// shown as it arrived, but must not pass for the whole directory.
bool zvs450_GetListedFileCounts(int memory, int *found, int *announced);
int zvs450_GetDirectoryCount(int memory);
// Delivers the cached files (directories) to the sink; force re-lists first.
bool zvs450_EnumFiles(int memory, Zvs450ItemSink &sink, bool force);
bool zvs450_EnumDirectories(int memory, Zvs450ItemSink &sink, bool force);
// The current directory: "/" or "/A/B".
bool zvs450_GetCurrentDirectory(int memory, QString *path);
// What a device view shows of one memory, in one read of the cache.
struct Zvs450Listing {
    struct Item {
        QString name;               // display name
        int index = 0;              // file index (files), position among the directories
        quint32 size = 0;
        quint32 firstCluster = 0;   // the entry's key
    };
    std::vector<Item> files;        // in the player's order
    std::vector<Item> directories;  // "." and ".." included where the player lists them
    quint64 totalBytes = 0;
    quint64 freeBytes = 0;
    QString path;                   // the current directory
    unsigned status = 0;            // medium status word
    int fileCount = 0;              // as zvs450_GetFileCount
    int directoryCount = 0;         // as zvs450_GetDirectoryCount
    int filesFound = 0;             // as zvs450_GetListedFileCounts (0 and 0 when unknown)
    int filesAnnounced = 0;
};
// The directories, the files, the capacity, the path and the counts of the
// memory; force lists the player again first. False when the memory cannot
// be listed: *listing then says only what the medium information does, that
// is, for a medium without a file system (which can still be formatted) the
// status kZvs450MediumInfoRead | kZvs450DeviceIoGood and its size in
// totalBytes, and status 0 for anything else.
bool zvs450_ReadListing(int memory, bool force, Zvs450Listing *listing);
// Reads the medium-info record; 0 or the library error, no message (3 when
// not connected).
int zvs450_GetMediumInfo(int memory, ZVC450_MEDIUMINFO *info);
// The player's identification text, null when not connected.
const char *zvs450_GetFirmwareVersionString();

// ---- Files, directories, formatting ------------------------------------------
// Result: 0 for success, else the library error code. A user's cancel (14)
// is silent in transfers and in the directory commands and shown for delete
// and format. Operations without an owner show their messages unparented.

int zvs450_Delete(QWidget *owner, int memory, int fileIndex, const QString &fileName);
// One item of a transfer batch that arrived whole: its position in the list
// and the PC file it concerns (the file an upload wrote, the file a download read).
struct Zvs450Copied {
    int position = 0;
    QString localPath;
};
// Uploads the list's device files (name = display name, file index, size)
// into folder (empty: the current directory), asking before it overwrites a
// file and converting BCW and BVF recordings to WAV as the settings say.
// *copied (when given) receives the items that were written, in order.
int zvs450_Upload(QWidget *owner, int memory, const QString &folder, const HFileTransferList &list,
                  std::vector<Zvs450Copied> *copied = nullptr);
// Downloads the list's PC files (name = full path) in order; stops at the
// first failure. Before anything is sent it asks whether files whose names
// hold characters the player cannot store (':' and '\' among them) go with
// "_" in their place (Yes), stay on the PC (No) or whether nothing goes
// (Cancel: 14, silent); a name the player cannot hold at all (ending in a dot,
// say) stops the batch with error 13 and its reason. *copied (when given)
// receives the items the player lists whole (and that passed the check when
// copies are verified).
int zvs450_Download(QWidget *owner, int memory, const HFileTransferList &list,
                    std::vector<Zvs450Copied> *copied = nullptr);
// The two files exchange their places in the player's order.
int zvs450_Replace(int memory, int fileIndex, int otherFileIndex);
int zvs450_Rename(int memory, int fileIndex, const QString &newName);
int zvs450_Format(QWidget *owner, int memory);
int zvs450_FormatLow(QWidget *owner, int memory);
int zvs450_ChangeDirectory(int memory, unsigned key);
// 0 without doing anything when the current directory has no "..".
int zvs450_ChangeToParent(int memory);
int zvs450_MakeDirectory(int memory, const QString &name);
int zvs450_RemoveDirectory(int memory, unsigned key);
int zvs450_RenameDirectory(int memory, unsigned key, const QString &newName);

// ---- Play order ------------------------------------------------------------------

// Puts the files of the memory's current directory into the order of key (the
// rules of playorder.h) with the fewest exchanges of two files. progress(done,
// total) is called before every exchange and once after the last; when it
// returns false the sort stops there and returns 14 without a message. Every
// file stays intact however the sort ends. Failures are shown to owner.
int zvs450_SortFiles(QWidget *owner, int memory, playorder::Key key, const std::function<bool(int, int)> &progress);

// ---- Maintenance ---------------------------------------------------------------

// Asks for an image or Intel-hex file and writes it to the application
// (codec) area or the boot area; the player must be unplugged afterwards.
// *codeAreaTouched (when given) tells whether anything was sent to the player's
// code flash: false after a cancel and after a file refused before sending (a
// damaged Intel-hex file, an empty image, one too large for the area), which
// the session has already explained; the player's code is as it was then.
int zvs450_UpgradeApplicationCode(QWidget *owner, bool *codeAreaTouched = nullptr);
int zvs450_UpgradeBootCode(QWidget *owner, bool *codeAreaTouched = nullptr);
// Asks for a font file and stores it on the player (asking first when the
// player already has a font).
int zvs450_DownloadFont(QWidget *owner);
// Name and size of the player's font; a failure is shown.
int zvs450_GetFontInfo(ZVC450_FONTINFO *info);
int zvs450_EraseFont(QWidget *owner);
// Saves the player's font into folder under its own name.
int zvs450_UploadFont(QWidget *owner, const QString &folder);
// Saves the RawDataCount blocks from RawDataAddr of the memory to the file
// RawDataFileName and opens it in RawDataViewer; memory -1 only opens it.
int zvs450_RawData(QWidget *owner, int memory);

// ---- Names -----------------------------------------------------------------------

// Why the player's file system cannot hold name as the name of a file or a
// folder: "." and "..", a blank name, characters no FAT name can hold (':' and
// '\' among them, ordinary characters of a Linux name), a name ending in a
// dot or a space. Empty when it can.
QString zvs450_NameProblem(const QString &name);
// The characters of name that no FAT name can hold, each once, in order.
QString zvs450_UnstorableCharacters(const QString &name);
// name with each of those characters replaced by "_".
QString zvs450_StorableName(const QString &name);
// "':'", "':' and '\'", "'?', U+0007 and '*'": characters as the messages name them.
QString zvs450_DescribeCharacters(const QString &characters);

// A device file name made safe as one local file name, for names the user did
// not type, by the rule the command-line tool follows too (localname_core.h):
// "/", control characters and characters that reorder text become "_", and so
// does a leading "." (a player must not plant ".bashrc" or ".profile", nor
// hide a file), so the name can never lead out of the folder it is placed in;
// here "\" and ":" become "_" as well, ".." is "__" and a name left empty is "_".
QString zvs450_LocalFileName(const QString &deviceName);
