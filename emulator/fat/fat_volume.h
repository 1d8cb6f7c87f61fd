// FAT engine of the emulated player (zvc450-emu).
//
// The player keeps each memory (internal NAND, external card) as a FAT12 or
// FAT16 file system with 512-byte sectors and 32 sectors per cluster, so one
// cluster is one 16 KiB "block" of the player.  This engine keeps such a file
// system in an image file that dosfstools and mtools read as a normal FAT
// volume: after every operation `fsck.fat -n` finds the image clean, and
// `mdir`/`mcopy`/`mtype` read back exactly what was written (long names
// included).
//
// The engine does what the player's firmware does below the USB protocol:
// it lists the current directory as raw 32-byte directory slots, creates files
// from the entry sets the PC sends (long-name slots followed by a short slot),
// reads, deletes, renames and reorders files addressed by their index in the
// current directory, and makes, removes, renames and enters directories
// addressed by their key (low 16 bits of the first cluster).
//
// Every call returns a FatErr: 0 on success, otherwise the player's internal
// error code that the firmware puts into its refusal answer.  Each mutating
// call writes its changes through to the image before it returns; a call
// refused for a reason of its own leaves the image as it was, one whose
// write fails (kInternal) leaves it as a crash at that write would, and the
// engine's memory as the image.
//
// What a crash leaves.  If the process dies between any two of the engine's
// writes to the image (one write: one pwrite; WriteFaults below kills it
// there for the tests), `fsck.fat -n` finds the image clean, or finds only
// that the second FAT lags the first and that clusters no entry uses are
// not free; no file or directory is there twice; every one the running
// call does not write, delete or move is there with its bytes; the one it
// does is as before the call, as after it, or missing - its clusters then
// belong to no entry, and fsck.fat's repair frees them or keeps them as
// FSCKnnnn.REC, changing nothing else.
// (An exchange of two files that runs from a sub-directory's first cluster
// into a later one moves both, one after the other.)  This holds for
// directories whose entry sets lie within one cluster each, as the engine
// writes them; tests/emulator/crash_test.cpp checks it at every write of a
// sequence of the player's commands.
//
// Not thread-safe: the emulated firmware serves one command at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// The player's internal error codes the engine reports.
enum FatErr : int {
    kOk = 0,
    kNotFormatted = 5,   // image holds no FAT12/FAT16 file system we can use
    kInvalidName = 9,    // malformed entry set or a name FAT cannot store
    kInvalidParam = 11,  // bad argument (index out of range of the call's own rules, ...)
    kInvalidBlock = 13,  // raw block beyond the end of the medium
    kFileExist = 16,     // a file or directory of that name exists
    kFileNotExist = 20,  // no file with that index in the current directory
    kNotFound = 21,      // no directory with that key in the current directory
    kRootDir = 22,       // the operation cannot apply to the root directory
    kNotPermitted = 24,  // removing a directory that is not empty; writer busy
    kOutOfMemory = 25,   // no free cluster left (disk full); nothing was changed
    kInternal = 27,      // I/O error on the image file
    kNoEmptyEntry = 39,  // the directory has no room for the entry set
};

// The player's medium-info record (host order here; the link server packs it
// big-endian onto the wire).
struct MediumInfo {
    uint16_t totalFiles = 0;      // regular files on the whole volume
    uint16_t totalBlocks = 0;     // data clusters (16 KiB blocks)
    uint16_t usedBlocks = 0;      // clusters in use (files, directories, bad)
    uint16_t physicalBlocks = 0;  // image size / 16 KiB
    uint16_t badBlocks = 0;       // clusters marked bad in the FAT
    uint8_t ioStatus = 1;         // 1 good
    uint8_t fatStatus = 1;        // 1 good
    uint8_t mediumType = 1;       // 1 NAND/SMC, 2 MMC/SD: the link server sets it per memory
    uint16_t fatStartSector = 0;  // = reserved sectors
    uint16_t fatSectorCount = 0;  // sectors of one FAT
    uint16_t rootStartSector = 0;
    uint8_t blockSizeCode = 0;  // 0: 16 KiB blocks
    uint16_t bytesPerSector = 512;
    uint8_t sectorsPerCluster = 32;
    uint8_t clustersPerBlock = 1;
    uint16_t rootEntryCount = 512;
    uint8_t fatType = 0;  // 1 FAT12, 2 FAT16
};

// One entry of the current directory, decoded (for the firmware's own use:
// sizes for uploads, names for logs).  The wire always gets raw slots.
struct DirEntryInfo {
    std::string longName;   // UTF-8; empty when the entry has no long name
    std::string shortName;  // "BASE.EXT" / "BASE" as stored (device code page bytes)
    uint8_t attr = 0;
    uint32_t firstCluster = 0;
    uint32_t size = 0;
    uint16_t writeDate = 0, writeTime = 0;
};

// Faults on the writes of open volumes to their images, for crash tests
// (the emulator's --kill-after-writes) and tests of failing writes.  One
// object may serve several volumes (the player's two memories) and counts
// the writes of all of them; a write is one pwrite of the engine, the unit
// between which a crash can fall.
class WriteFaults {
public:
    // The process is killed (SIGKILL) right after this many writes, as if the
    // player lost its power; 0: never.
    std::atomic<uint64_t> killAfter{0};
    // Writes after this many fail (EIO) without touching the image.
    static constexpr uint64_t kNever = UINT64_MAX;
    std::atomic<uint64_t> failAfter{kNever};

    uint64_t Writes() const { return writes_; }
    // The engine asks before each write (false: it fails) and reports each
    // write done.
    bool Admit() const;
    void Done();

private:
    std::atomic<uint64_t> writes_{0};
};

struct FormatOptions {
    uint16_t rootEntries = 512;  // multiple of 16, at most 4096
    bool lowLevel = false;       // also zero the whole data area (the player erases the medium)
    uint32_t volumeId = 0;       // 0: derived from the clock
};

class FatVolume {
public:
    // Creates (or overwrites) `image` with `bytes` bytes (rounded down to 512)
    // and an empty FAT12/FAT16 file system, the type chosen by cluster count as
    // mkfs.fat does.  Sizes from 256 KiB to 1 GiB (FAT16's limit at 16 KiB
    // clusters).  false with a message in *err on failure.
    static bool Format(const std::string &image, uint64_t bytes, std::string *err,
                       const FormatOptions &opt = FormatOptions());

    // Opens an existing image (ours or one made by `mkfs.fat -s 32 -S 512`).
    // Null with a message in *err when the file cannot be opened or holds no
    // usable FAT12/FAT16 file system (the firmware then reports kNotFormatted).
    static std::unique_ptr<FatVolume> Open(const std::string &image, std::string *err);

    ~FatVolume();
    FatVolume(const FatVolume &) = delete;
    FatVolume &operator=(const FatVolume &) = delete;

    // Re-creates the file system of the open image in place (same size, same
    // root entry count); the current directory goes back to the root.  An open
    // write (BeginWrite) is aborted.
    int Reformat(bool lowLevel);

    // ---- Listing -----------------------------------------------------------
    // Every 32-byte slot of the current directory in stored order, up to and
    // excluding the end-of-directory mark (the first slot starting with 0x00).
    // Sub-directories start with their "." and ".." slots; deleted slots
    // (0xE5) stay in place.  Size is always a multiple of 32.
    std::vector<uint8_t> CurrentSlots() const;
    // Regular files of the current directory: short entries without the
    // volume (0x08) and directory (0x10) bits.  File index i addresses the
    // i-th of them in directory order.
    int FileCount() const;
    std::vector<DirEntryInfo> Files() const;        // in file-index order
    std::vector<DirEntryInfo> Directories() const;  // includes "." and ".." in sub-directories
    uint32_t TotalBlocks() const;                   // data clusters
    uint32_t UsedBlocks() const;
    uint64_t FreeBytes() const;
    MediumInfo Info() const;
    int FatType() const;  // 12 or 16

    // Current path from the root down: for each component its long-name slots
    // (stored order) then its short slot, as found in its parent.  Empty at
    // the root.
    std::vector<uint8_t> CurrentPathEntries() const;
    bool AtRoot() const;

    // ---- Directories -------------------------------------------------------
    // key = low 16 bits of the first cluster.  ChangeDir looks the key up among
    // the directory entries of the current directory, "." and ".." included;
    // key 0 always means the root.  kNotFound when no such directory.
    int ChangeDir(uint16_t key);
    // Entry set as the host sends it: long-name slots (descending ordinals)
    // then the short slot; the short slot's attribute is forced to 0x10, its
    // dates are kept.  *newKey (optional) receives the key of the new directory.
    int MakeDir(const uint8_t *entrySet, size_t slots, uint16_t *newKey = nullptr);
    // Only empty sub-directories (just "." and "..") of the current directory
    // are removed: kNotPermitted otherwise (also for the current directory's
    // own key); key 0 is kRootDir; an unknown key kNotFound.
    int RemoveDir(uint16_t key);
    // New names from the set; cluster, size, attribute and dates stay those on
    // the medium (the host copies them from its listing anyway).
    int RenameDir(uint16_t key, const uint8_t *entrySet, size_t slots);

    // ---- Files (index = position among the current directory's files) --------
    // Whole file in one call: BeginWrite + WriteData + CommitWrite.
    // *index (optional) receives the new file's index.
    int CreateFile(const uint8_t *entrySet, size_t slots, const uint8_t *data, uint64_t size, int *index = nullptr);

    // Streaming write, for the download command: BeginWrite checks the name
    // (kFileExist, kInvalidName), reserves clusters for the size announced in
    // the short slot's size field (kOutOfMemory when they are not free) and
    // room in the directory (kNoEmptyEntry), and tells the index the file will
    // have.  WriteData appends (it may go past the announced size while space
    // lasts).  CommitWrite makes the file appear, sized to the bytes written;
    // AbortWrite (or any other mutating call, or Reformat) drops it and
    // leaves nothing behind.  One write at a time: kNotPermitted otherwise.
    int BeginWrite(const uint8_t *entrySet, size_t slots, int *index = nullptr);
    int WriteData(const uint8_t *data, size_t len);
    int CommitWrite();
    void AbortWrite();
    bool Writing() const;

    int ReadFile(int index, std::vector<uint8_t> *out) const;
    // Reads up to len bytes at offset; *got receives the count (0 at the end).
    // A read that goes on where the last one ended follows the cluster chain
    // from where that one stopped: a whole file costs one walk of its chain.
    int ReadAt(int index, uint64_t offset, uint8_t *out, size_t len, size_t *got) const;
    // FAT links followed so far, by reads and directory loads (for tests of
    // the above).
    uint64_t LinksFollowed() const;

    int Delete(int index);
    // New names from the set.  Cluster and size always stay those on the
    // medium.  With keepStamps (the 8.3-text rename of older firmware) the
    // attribute and dates on the medium are kept too; otherwise they come from
    // the set's short slot (the directory bit stays as it was).
    int Rename(int index, const uint8_t *entrySet, size_t slots, bool keepStamps = false);
    // Files a and b exchange their places (with their long-name slots) in the
    // directory order.  kFileNotExist when an index is out of range.
    int Swap(int a, int b);

    // ---- Raw blocks ------------------------------------------------------
    // The image's bytes [block*16384, +16384); past the end of the image
    // kInvalidBlock; a partial last block is padded with zeros.
    static constexpr uint32_t kBlockSize = 16384;
    uint32_t PhysicalBlocks() const;
    int ReadBlock(uint32_t block, uint8_t *out /* kBlockSize bytes */) const;

    // Writes are already on the image after each call; this syncs the file.
    void Flush();

    // Faults for this volume's writes (null: none); the object outlives it.
    void SetWriteFaults(WriteFaults *faults);

private:
    FatVolume();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// ---- Names (helpers for the firmware's older-protocol path and for tests) ----

// Short-name checksum over the 11 name bytes of a short slot.
uint8_t ShortNameChecksum(const uint8_t name11[11]);

// Entry set of exactly one short slot built from an 8.3 text name
// ("NAME.EXT", "NAME." or "NAME"; letters are upper-cased), attribute 0x20,
// the given size, creation/write date and time.  Empty when the text is not
// a valid 8.3 name (the firmware answers kInvalidName).
std::vector<uint8_t> EntrySetFrom83(const std::string &name83, uint32_t size, uint16_t date, uint16_t time);

// Entry set for a UTF-8 long name: long-name slots plus a short slot whose
// 8.3 name is derived as the PC library does (upper case, truncated), with
// the long-name slots only when the 8.3 form is not exact.  For tests and
// demo content.  Empty for an invalid name.
std::vector<uint8_t> EntrySetFromLongName(const std::string &utf8Name, uint8_t attr, uint32_t size, uint16_t date,
                                          uint16_t time);

}  // namespace emu
