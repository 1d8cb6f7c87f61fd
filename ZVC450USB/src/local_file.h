// local_file.h - the PC side of a transfer: the files it reads and writes.
//
// Everything here has errno semantics and retries on EINTR; nothing touches
// the player or the library's error state.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace zvc450 {

// Closes a descriptor when the operation ends, whatever the path.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int get() const { return fd_; }
    // Closes what it held and takes fd.
    void reset(int fd)
    {
        close();
        fd_ = fd;
    }
    // Closes now; false with errno when the close reported a write error.
    bool close()
    {
        if (fd_ < 0)
            return true;
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 || errno == EINTR;
    }

private:
    int fd_;
};

// Opens the regular file path for reading into file and fills st; 0 or an
// errno (ENOENT for a null or empty path, EISDIR for a folder, EINVAL for
// anything else that is no regular file).  Only a regular file has a size to announce: a FIFO without a
// writer would block the open for good, and opening a device may act on it,
// so neither is opened.  The look before the open and the non-blocking open
// cover a swap between the two.
int openSourceFile(const char *path, FileHandle *file, struct stat *st);

// Where a transfer from the player writes its local file.  A regular file,
// new or existing, is written under a temporary name in its own folder
// (".zvc450-XXXXXX.part") and moved over the destination only by commit():
// a transfer that fails or is cancelled leaves the file that was there as
// it was and no partial file.  The new file gets the old one's permissions,
// or those of any new file.  An existing device or FIFO (/dev/null, a pipe
// with a reader) is written directly and never removed.
//
//     LocalOutput out;
//     if (int err = out.open(localPath, true)) return failSystem(err);
//     ... receiveFileData(owner, h, out.fd(), size, &rec) ...
//     if (!out.commit()) return failSystem(errno);
class LocalOutput {
public:
    LocalOutput() = default;
    ~LocalOutput() { discard(); }
    LocalOutput(const LocalOutput &) = delete;
    LocalOutput &operator=(const LocalOutput &) = delete;

    // Prepares the output for dest; 0 or an errno (EISDIR for a folder,
    // ESPIPE for a FIFO when seekable output is asked for).  Nothing is
    // changed at dest yet.
    int open(const char *dest, bool seekable = false);
    int fd() const { return file_.get(); }
    // Where the bytes go now: the temporary file, or dest when written directly.
    const std::string &path() const { return path_; }
    // Closes the descriptor (for writers that open path() themselves).
    bool closeFile() { return file_.close(); }
    // Closes and moves the file into place; false with errno set (the
    // temporary file is removed then).
    bool commit();
    // Removes the temporary file; dest is untouched.
    void discard();

private:
    FileHandle file_;
    std::string dest_;
    std::string path_;
    bool direct_ = false;
};

// A new file in the temporary folder ($TMPDIR, else /tmp) whose name begins
// with prefix, opened for writing; the descriptor, or -1 with errno.
int createTempFile(const char *prefix, std::string *path);

// Reads exactly len bytes; false with errno set (ENODATA when the file ended early).
bool readFully(int fd, void *buf, size_t len);
// Reads up to len bytes, fewer only at the end of the file; -1 with errno.
ssize_t readUpTo(int fd, void *buf, size_t len);
// Writes exactly len bytes; false with errno set.
bool writeFully(int fd, const void *buf, size_t len);

}  // namespace zvc450
