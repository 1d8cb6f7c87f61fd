// cache.cpp - cache folder and cached file contents.

#include "cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace mountfs {
namespace {

// How often a reader that waits for the next bytes of a file looks again.
constexpr auto kArrivalPoll = std::chrono::milliseconds(1);

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }

bool MakeFolder(const std::string &path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string CacheHome()
{
    const char *xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache";
}

// Folders of earlier mounts whose process has gone (a crash, a kill -9).
void SweepAbandoned(const std::string &parent)
{
    DIR *d = ::opendir(parent.c_str());
    if (!d)
        return;
    while (struct dirent *e = ::readdir(d)) {
        unsigned long pid = 0;
        char rest[64];
        if (std::sscanf(e->d_name, "mount-%lu-%63s", &pid, rest) != 2 || pid == 0)
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno == EPERM)
            continue;  // still running
        RemoveTree(parent + "/" + e->d_name);
    }
    ::closedir(d);
}

}  // namespace

void RemoveTree(const std::string &path)
{
    if (!path.empty())
        ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

CacheFolder::~CacheFolder() { RemoveTree(path_); }

bool CacheFolder::Create(std::string *error)
{
    const std::string home = CacheHome();
    const std::string parent = home + "/zvc450";
    if (!MakeFolder(home) || !MakeFolder(parent)) {
        *error = parent + ": " + std::strerror(errno);
        return false;
    }
    SweepAbandoned(parent);
    std::string tmpl = parent + "/mount-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(&tmpl[0])) {
        *error = parent + ": " + std::strerror(errno);
        return false;
    }
    path_ = tmpl;
    return true;
}

void CacheFolder::Adopt()
{
    const size_t slash = path_.rfind('/');
    const size_t dash = path_.rfind('-');
    if (slash == std::string::npos || dash == std::string::npos || dash < slash)
        return;
    const std::string renamed = path_.substr(0, slash) + "/mount-" + std::to_string(::getpid()) + path_.substr(dash);
    if (renamed != path_ && ::rename(path_.c_str(), renamed.c_str()) == 0)
        path_ = renamed;
}

std::string CacheFolder::NewPath(const char *prefix)
{
    return path_ + "/" + prefix + std::to_string(next_.fetch_add(1));
}

Content::Content(std::string folder, bool streamable) : folder_(std::move(folder)), streamable_(streamable)
{
    MakeFolder(folder_);
}

Content::~Content()
{
    if (fd_ >= 0)
        ::close(fd_);
    for (int fd : retired_)
        ::close(fd);
    RemoveTree(folder_);
}

void Content::Finish(int error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    error_ = error;
    if (error == 0) {
        // The complete file is Destination(); a descriptor opened on the
        // file while it grew may name another file (one the library wrote
        // under a temporary name and moved into place).
        struct stat final, open;
        if (::stat(Destination().c_str(), &final) == 0 &&
            (fd_ < 0 || ::fstat(fd_, &open) != 0 || open.st_ino != final.st_ino)) {
            const int fd = ::open(Destination().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                if (fd_ >= 0)
                    retired_.push_back(fd_);
                fd_ = fd;
            }
        }
        if (fd_ < 0)
            error_ = EIO;
        else if (::fstat(fd_, &final) == 0)
            bytes_ = uint64_t(final.st_size);
    }
    changed_.notify_all();
}

uint64_t Content::AvailableLocked()
{
    if (fd_ < 0) {
        if (!streamable_ && !done_)
            return 0;
        // The library writes Destination(), or a temporary file beside it
        // that it renames when done: whichever file the folder holds.
        fd_ = ::open(Destination().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            if (DIR *d = ::opendir(folder_.c_str())) {
                while (struct dirent *e = ::readdir(d)) {
                    if (e->d_name[0] == '.' && (e->d_name[1] == '\0' || std::strcmp(e->d_name, "..") == 0))
                        continue;
                    fd_ = ::open((folder_ + "/" + e->d_name).c_str(), O_RDONLY | O_CLOEXEC);
                    if (fd_ >= 0)
                        break;
                }
                ::closedir(d);
            }
        }
        if (fd_ < 0)
            return 0;
    }
    struct stat st;
    return ::fstat(fd_, &st) == 0 ? uint64_t(st.st_size) : 0;
}

int Content::WaitFor(uint64_t end)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (done_)
            return error_ != 0 && (fd_ < 0 || AvailableLocked() < end) ? error_ : 0;
        if (streamable_ && AvailableLocked() >= end)
            return 0;
        changed_.wait_for(lock, kArrivalPoll);
    }
}

int Content::Descriptor(uint64_t *available)
{
    std::lock_guard<std::mutex> lock(mutex_);
    *available = AvailableLocked();
    return fd_;
}

bool Content::Complete(uint64_t *size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!done_ || error_ != 0)
        return false;
    *size = bytes_;
    return true;
}

}  // namespace mountfs
