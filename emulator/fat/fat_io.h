// Device I/O of the FAT engine: the image file, and the little-endian fields
// every on-disk structure of FAT is made of.  Internal to emulator/fat.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fat_volume.h"

namespace emu {
namespace fat {

constexpr uint32_t kSector = 512;

inline uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t *p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
inline void Put16(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t *p, uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// pread/pwrite of exactly `len` bytes (false on an error or at the end of
// the file).
bool ReadFull(int fd, void *buf, size_t len, uint64_t off);
bool WriteFull(int fd, const void *buf, size_t len, uint64_t off);

// The image file of an open volume.  Every write to it goes through Write:
// one call is one write of the crash model, the unit between which a crash
// can fall (WriteFaults counts them, fails them or kills the process there).
class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile &) = delete;
    ImageFile &operator=(const ImageFile &) = delete;

    // Takes `fd` over; it is closed with this object.
    void Adopt(int fd) { fd_ = fd; }
    int Fd() const { return fd_; }
    // Reads the file's size again (after it was formatted); false with errno.
    bool UpdateSize();
    uint64_t Size() const { return size_; }

    bool Read(void *buf, size_t len, uint64_t off) const { return ReadFull(fd_, buf, len, off); }
    bool Write(const void *buf, size_t len, uint64_t off);
    // Writes tried so far, failed ones included: what was read before may be
    // stale once this changes.
    uint64_t Writes() const { return writes_; }
    void Sync();

    void SetFaults(WriteFaults *faults) { faults_ = faults; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t writes_ = 0;
    WriteFaults *faults_ = nullptr;
};

}  // namespace fat
}  // namespace emu
