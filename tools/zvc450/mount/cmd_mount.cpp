// cmd_mount.cpp - zvc450 mount: the player's memories as a folder, through
// FUSE 3.
//
// The kernel's requests arrive on several threads of libfuse's loop; the
// Filesystem answers them from its cached listings and hands the rest to its
// worker thread.  Signals are taken by a thread of their own, which unmounts
// (as `fusermount3 -u` would) so that the loop ends the ordinary way.

#define FUSE_USE_VERSION 35
#include <fuse.h>

#include "../commands.h"
#include "../device.h"
#include "../listing.h"
#include "cache.h"
#include "filesystem.h"
#include "log.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char **environ;

namespace cli {
namespace {

// What libfuse hands every operation: the file system, which comes to life
// only after the move to the background (its threads would not survive it).
struct Slot {
    mountfs::Filesystem *fs = nullptr;
};

mountfs::Filesystem &Fs() { return *static_cast<Slot *>(fuse_get_context()->private_data)->fs; }
mountfs::Handle *HandleOf(struct fuse_file_info *fi) { return fi ? reinterpret_cast<mountfs::Handle *>(fi->fh) : nullptr; }

void *OpInit(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    cfg->use_ino = 0;
    // Open files carry all the mount needs; a file deleted while open is
    // gone at once (the player has no place for hidden leftovers).
    cfg->nullpath_ok = 1;
    cfg->hard_remove = 1;
    cfg->entry_timeout = 1;
    cfg->attr_timeout = 1;
    cfg->negative_timeout = 0;
    cfg->kernel_cache = 0;
    // Cached files go to the kernel, and written data into drafts, without
    // copies through our memory.
    conn->want |= conn->capable & (FUSE_CAP_SPLICE_READ | FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE);
    return fuse_get_context()->private_data;
}

int OpGetattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    return -(fi ? Fs().GetAttr(HandleOf(fi), st) : Fs().GetAttr(path, st));
}

// With nullpath_ok, readdir gets no path: the open directory keeps its own.
int OpOpendir(const char *path, struct fuse_file_info *fi)
{
    fi->fh = reinterpret_cast<uint64_t>(new std::string(path));
    return 0;
}

int OpReleasedir(const char *, struct fuse_file_info *fi)
{
    delete reinterpret_cast<std::string *>(fi->fh);
    return 0;
}

int OpReaddir(const char *, void *buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info *fi,
              enum fuse_readdir_flags)
{
    std::vector<std::pair<std::string, struct stat>> entries;
    if (int e = Fs().ReadDir(reinterpret_cast<std::string *>(fi->fh)->c_str(), &entries))
        return -e;
    for (const auto &e : entries) {
        // "." and ".." carry no attributes of their own: the kernel looks
        // them up itself.
        const bool dots = e.first == "." || e.first == "..";
        if (filler(buf, e.first.c_str(), dots ? nullptr : &e.second, 0, dots ? fuse_fill_dir_flags(0) : FUSE_FILL_DIR_PLUS) != 0)
            break;
    }
    return 0;
}

// A file opened for writing only cannot be mapped: its writes come to the
// draft straight from the writer's buffer, without a copy in the kernel's
// cache of the file on the way.  (Opened for reading too, it can be mapped,
// and the cache is what a shared mapping needs.)
void WriteDirectWhenWriteOnly(struct fuse_file_info *fi)
{
    if ((fi->flags & O_ACCMODE) == O_WRONLY)
        fi->direct_io = 1;
}

int OpOpen(const char *path, struct fuse_file_info *fi)
{
    mountfs::Handle *h = nullptr;
    if (int e = Fs().Open(path, fi->flags, &h))
        return -e;
    fi->fh = reinterpret_cast<uint64_t>(h);
    // A recording's WAV size is an estimate until it has been made: the
    // kernel must not cut reads at it.
    if (h->content && h->item.kind != 0)
        fi->direct_io = 1;
    WriteDirectWhenWriteOnly(fi);
    return 0;
}

int OpCreate(const char *path, mode_t, struct fuse_file_info *fi)
{
    mountfs::Handle *h = nullptr;
    if (int e = Fs().Create(path, fi->flags, &h))
        return -e;
    fi->fh = reinterpret_cast<uint64_t>(h);
    WriteDirectWhenWriteOnly(fi);
    return 0;
}

int OpReadBuf(const char *, struct fuse_bufvec **out, size_t size, off_t offset, struct fuse_file_info *fi)
{
    int fd = -1;
    size_t n = 0;
    if (int e = Fs().Read(HandleOf(fi), uint64_t(offset), size, &fd, &n))
        return -e;
    auto *bv = static_cast<struct fuse_bufvec *>(std::malloc(sizeof(struct fuse_bufvec)));
    if (!bv)
        return -ENOMEM;
    *bv = FUSE_BUFVEC_INIT(n);
    bv->buf[0].flags = static_cast<enum fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
    bv->buf[0].fd = fd;
    bv->buf[0].pos = offset;
    *out = bv;
    return 0;
}

int OpWriteBuf(const char *, struct fuse_bufvec *buf, off_t offset, struct fuse_file_info *fi)
{
    const size_t size = fuse_buf_size(buf);
    size_t written = 0;
    const int e = Fs().Write(
        HandleOf(fi), uint64_t(offset), size,
        [&](int fd) -> long {
            struct fuse_bufvec dst = FUSE_BUFVEC_INIT(size);
            dst.buf[0].flags = static_cast<enum fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
            dst.buf[0].fd = fd;
            dst.buf[0].pos = offset;
            return long(fuse_buf_copy(&dst, buf, fuse_buf_copy_flags(0)));
        },
        &written);
    return e ? -e : int(written);
}

int OpFlush(const char *, struct fuse_file_info *fi) { return -Fs().Flush(HandleOf(fi)); }
int OpFsync(const char *, int, struct fuse_file_info *fi) { return -Fs().Flush(HandleOf(fi)); }

int OpRelease(const char *, struct fuse_file_info *fi)
{
    Fs().Release(HandleOf(fi));
    return 0;
}

int OpTruncate(const char *path, off_t size, struct fuse_file_info *fi)
{
    if (size < 0)
        return -EINVAL;
    return -Fs().Truncate(path, uint64_t(size), HandleOf(fi));
}

int OpUtimens(const char *path, const struct timespec tv[2], struct fuse_file_info *fi)
{
    return -Fs().SetTime(path, tv, HandleOf(fi));
}

// The player has no owners and no permission bits: like vfat mounted with
// "quiet", changing them is accepted and changes nothing.
int OpChmod(const char *path, mode_t, struct fuse_file_info *fi)
{
    struct stat st;
    return -(fi ? Fs().GetAttr(HandleOf(fi), &st) : Fs().GetAttr(path, &st));
}

int OpChown(const char *path, uid_t, gid_t, struct fuse_file_info *fi) { return OpChmod(path, 0, fi); }

int OpUnlink(const char *path) { return -Fs().Unlink(path); }
int OpMkdir(const char *path, mode_t) { return -Fs().MakeDirectory(path); }
int OpRmdir(const char *path) { return -Fs().RemoveDirectory(path); }
int OpRename(const char *from, const char *to, unsigned flags) { return -Fs().Rename(from, to, flags); }
int OpStatfs(const char *path, struct statvfs *st) { return -Fs().StatFs(path, st); }

struct fuse_operations Operations()
{
    struct fuse_operations ops = {};
    ops.init = OpInit;
    ops.getattr = OpGetattr;
    ops.opendir = OpOpendir;
    ops.readdir = OpReaddir;
    ops.releasedir = OpReleasedir;
    ops.open = OpOpen;
    ops.create = OpCreate;
    ops.read_buf = OpReadBuf;
    ops.write_buf = OpWriteBuf;
    ops.flush = OpFlush;
    ops.fsync = OpFsync;
    ops.release = OpRelease;
    ops.truncate = OpTruncate;
    ops.utimens = OpUtimens;
    ops.chmod = OpChmod;
    ops.chown = OpChown;
    ops.unlink = OpUnlink;
    ops.mkdir = OpMkdir;
    ops.rmdir = OpRmdir;
    ops.rename = OpRename;
    ops.statfs = OpStatfs;
    return ops;
}

// What `fusermount3 -u -z` does: detach the mount; the loop ends once the
// last open file on it is closed.
void Unmount(const std::string &mountpoint)
{
    if (::geteuid() == 0 && ::umount2(mountpoint.c_str(), MNT_DETACH) == 0)
        return;
    const char *argv[] = {"fusermount3", "-u", "-z", "-q", "--", mountpoint.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "fusermount3", nullptr, nullptr, const_cast<char **>(argv), environ) == 0) {
        int status;
        ::waitpid(pid, &status, 0);
    }
}

// Checks the player before the mount goes to the background, so that a
// missing player or card is said on the terminal.
bool CheckPlayer(const GlobalOptions &global, unsigned *firmware)
{
    Device device(global);
    if (!device.Open())
        return false;
    *firmware = device.firmware();
    if (global.memoryChosen) {
        Listing listing;
        if (!listing.Read(device)) {
            ReportError(std::string("mount: cannot list the ") + MemoryName(global.memory) + " memory");
            return false;
        }
    }
    return true;
}

}  // namespace

int RunMount(Invocation &inv)
{
    const std::string &given = inv.args.operands[0];
    const bool foreground = inv.args.Has("foreground");
    struct stat st;
    if (::stat(given.c_str(), &st) != 0)
        return Fail("mount: " + given + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return Fail("mount: " + given + ": not a folder");
    char real[PATH_MAX];
    if (!::realpath(given.c_str(), real))
        return Fail("mount: " + given + ": " + std::strerror(errno));
    const std::string mountpoint = real;
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return Fail(std::string("mount: /dev/fuse: ") + std::strerror(errno) + " (is FUSE available here?)");

    unsigned firmware = 0;
    if (!CheckPlayer(inv.global, &firmware))
        return kExitFailed;

    mountfs::CacheFolder cache;
    std::string error;
    if (!cache.Create(&error))
        return Fail("mount: cannot make the cache folder: " + error);

    std::vector<std::string> words = {"zvc450", "-o", "fsname=zvc450,subtype=zvc450,default_permissions"};
    if (inv.args.Has("debug"))
        words.push_back("-d");
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    struct fuse_args args = FUSE_ARGS_INIT(int(argv.size()), argv.data());
    const struct fuse_operations ops = Operations();
    mountfs::MountOptions options;
    options.global = inv.global;
    options.recordingsAsWav = inv.args.Has("recordings-as-wav");
    Slot slot;
    std::unique_ptr<mountfs::Filesystem> fs;
    struct fuse *fuse = fuse_new(&args, &ops, sizeof ops, &slot);
    fuse_opt_free_args(&args);
    if (!fuse)
        return Fail("mount: FUSE refused the mount options");
    if (fuse_mount(fuse, mountpoint.c_str()) != 0) {
        fuse_destroy(fuse);
        return Fail("mount: cannot mount on " + mountpoint);
    }
    std::fflush(nullptr);
    if (fuse_daemonize(foreground ? 1 : 0) != 0) {
        fuse_unmount(fuse);
        fuse_destroy(fuse);
        return Fail("mount: cannot go to the background");
    }
    cache.Adopt();

    // The library draws progress bars on a terminal; the mount's own
    // messages go to the terminal or to syslog.
    if (foreground) {
        const int log = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        mountfs::SetLogTarget(log);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    } else {
        mountfs::SetLogTarget(-1);
    }

    // Every thread started from here on leaves these signals to `signals`.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigaddset(&stops, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    signal(SIGPIPE, SIG_IGN);

    fs = std::make_unique<mountfs::Filesystem>(options, cache, firmware);
    slot.fs = fs.get();
    fs->SetAttributeInvalidator([fuse](const std::string &path) { fuse_invalidate_path(fuse, path.c_str()); });

    std::thread signals([&] {
        int sig = 0;
        sigwait(&stops, &sig);
        if (sig == SIGUSR1)
            return;  // the loop has ended by itself
        mountfs::Log("unmounting %s", mountpoint.c_str());
        Unmount(mountpoint);
    });

    struct fuse_loop_config loop = {};
    loop.clone_fd = 0;
    loop.max_idle_threads = 10;
    const int result = fuse_loop_mt(fuse, &loop);
    pthread_kill(signals.native_handle(), SIGUSR1);
    signals.join();
    fuse_unmount(fuse);
    fs->Shutdown();
    fuse_destroy(fuse);
    fs.reset();
    return result == 0 ? kExitOk : kExitFailed;
}

}  // namespace cli
