// local_file.cpp - the PC side of a transfer (see local_file.h).

#include "local_file.h"

#include <fcntl.h>
#include <sys/random.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zvc450 {
namespace {

// ".zvc450-" + 6 random letters + ".part" in folder (with its "/", or "").
std::string temporaryName(const std::string &folder)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t random[6];
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        const unsigned t = unsigned(now) ^ unsigned(getpid());
        for (size_t i = 0; i < sizeof random; ++i)
            random[i] = uint8_t(t >> (i * 5));
    }
    std::string name = folder + ".zvc450-";
    for (uint8_t r : random)
        name += kLetters[r % (sizeof kLetters - 1)];
    return name + ".part";
}

// The temporary folder: $TMPDIR when set, else /tmp (no trailing slash).
std::string tempFolder()
{
    const char *env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

}  // namespace

int createTempFile(const char *prefix, std::string *path)
{
    std::string tmpl = tempFolder() + "/" + prefix + "XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = mkstemp(buf.data());
    if (fd >= 0)
        *path = buf.data();
    return fd;
}


int openSourceFile(const char *path, FileHandle *file, struct stat *st)
{
    if (!path || !*path)
        return ENOENT;
    if (::stat(path, st) != 0)
        return errno;
    if (!S_ISREG(st->st_mode))
        return S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
    file->reset(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file->get() < 0)
        return errno;
    if (::fstat(file->get(), st) != 0)
        return errno;
    if (!S_ISREG(st->st_mode))
        return S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
    ::fcntl(file->get(), F_SETFL, ::fcntl(file->get(), F_GETFL) & ~O_NONBLOCK);
    return 0;
}

// ---- Local output ----------------------------------------------------------------

int LocalOutput::open(const char *dest, bool seekable)
{
    discard();
    direct_ = false;
    dest_ = dest;
    // Write through a symbolic link to the file it names, as opening the
    // link would.
    char resolved[PATH_MAX];
    struct stat st;
    const bool exists = ::stat(dest, &st) == 0;
    if (exists && ::realpath(dest, resolved))
        dest_ = resolved;
    if (exists && S_ISDIR(st.st_mode))
        return EISDIR;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a FIFO: written in place.  A FIFO cannot take a WAV
        // (its header is written last), and one without a reader must not
        // block us.
        if (seekable && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
            return ESPIPE;
        direct_ = true;
        path_ = dest_;
        if (seekable)
            return 0;  // the converter opens it itself
        const int fd = ::open(dest_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file_.reset(fd);
        return 0;
    }
    // A file the user may not write is not replaced behind its back, even
    // though its folder would let us.
    if (exists && ::access(dest_.c_str(), W_OK) != 0)
        return errno;
    const size_t slash = dest_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : dest_.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName(folder);
        // 0666: the umask applies as to any new file.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (exists)
            ::fchmod(fd, st.st_mode & 0777);
        path_ = name;
        file_.reset(fd);
        return 0;
    }
    return EEXIST;
}

bool LocalOutput::commit()
{
    if (path_.empty()) {
        errno = EBADF;
        return false;
    }
    if (!file_.close()) {
        const int err = errno;  // the last write-back failed (disk full on close)
        discard();
        errno = err;
        return false;
    }
    if (!direct_ && ::rename(path_.c_str(), dest_.c_str()) != 0) {
        const int err = errno;
        discard();
        errno = err;
        return false;
    }
    path_.clear();
    return true;
}

void LocalOutput::discard()
{
    file_.close();
    if (!direct_ && !path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

bool readFully(int fd, void *buf, size_t len)
{
    auto *p = static_cast<uint8_t *>(buf);
    while (len > 0) {
        const ssize_t r = ::read(fd, p, len);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            errno = ENODATA;  // the file is shorter than it was when we announced it
            return false;
        }
        p += r;
        len -= size_t(r);
    }
    return true;
}

bool writeFully(int fd, const void *buf, size_t len)
{
    const auto *p = static_cast<const uint8_t *>(buf);
    while (len > 0) {
        const ssize_t r = ::write(fd, p, len);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            errno = ENOSPC;
            return false;
        }
        p += r;
        len -= size_t(r);
    }
    return true;
}

ssize_t readUpTo(int fd, void *buf, size_t len)
{
    auto *p = static_cast<uint8_t *>(buf);
    size_t got = 0;
    while (got < len) {
        const ssize_t r = ::read(fd, p + got, len - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += size_t(r);
    }
    return ssize_t(got);
}

}  // namespace zvc450
