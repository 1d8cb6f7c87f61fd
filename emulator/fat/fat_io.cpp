// Device I/O of the FAT engine: whole reads and writes of the image file, and
// the faults tests put on its writes.
#include "fat_io.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace emu {
namespace fat {

namespace {

// Repeats pread or pwrite until all `len` bytes are through.
template <typename Byte, typename Io>
bool Whole(Io io, int fd, Byte *p, size_t len, uint64_t off)
{
    while (len > 0) {
        const ssize_t n = io(fd, p, len, static_cast<off_t>(off));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        off += static_cast<uint64_t>(n);
        len -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool ReadFull(int fd, void *buf, size_t len, uint64_t off)
{
    return Whole(pread, fd, static_cast<uint8_t *>(buf), len, off);
}

bool WriteFull(int fd, const void *buf, size_t len, uint64_t off)
{
    return Whole(pwrite, fd, static_cast<const uint8_t *>(buf), len, off);
}

ImageFile::~ImageFile()
{
    if (fd_ >= 0)
        close(fd_);
}

bool ImageFile::UpdateSize()
{
    struct stat st;
    if (fstat(fd_, &st) != 0)
        return false;
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ImageFile::Write(const void *buf, size_t len, uint64_t off)
{
    ++writes_;
    if (faults_ && !faults_->Admit()) {
        errno = EIO;
        return false;
    }
    if (!WriteFull(fd_, buf, len, off))
        return false;
    if (faults_)
        faults_->Done();
    return true;
}

void ImageFile::Sync()
{
    if (fd_ >= 0)
        fsync(fd_);
}

}  // namespace fat

bool WriteFaults::Admit() const { return writes_ < failAfter; }

void WriteFaults::Done()
{
    const uint64_t n = ++writes_;
    if (n == killAfter)
        kill(getpid(), SIGKILL);
}

}  // namespace emu
