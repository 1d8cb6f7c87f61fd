// vusb_transport.cpp - the virtual USB link to the emulated player.
//
// One AF_UNIX SOCK_SEQPACKET connection; every message is one USB transfer,
// led by a type byte:
//   H  device->host  vid (LE16), pid (LE16), optional product text; first message
//   O  host->device  endpoint 0x02, then one bulk OUT transfer
//   I  device->host  endpoint 0x83, then one bulk IN transfer
//   C  host->device  8 setup bytes of a control OUT request without data
//   A  device->host  status stage of that request, sent once the device has
//                    stopped the transfer it aborts
//   X  host->device  endpoint: drop what is pending on it
// A closed socket is an unplugged player: every transfer fails.

#include "transport.h"

#include "interrupt.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zvc450 {
namespace {

constexpr uint8_t kMsgHello = 'H';
constexpr uint8_t kMsgOut = 'O';
constexpr uint8_t kMsgIn = 'I';
constexpr uint8_t kMsgControl = 'C';
constexpr uint8_t kMsgAck = 'A';
constexpr uint8_t kMsgCancel = 'X';

// The emulator greets right after it accepts; a device that is busy with
// another host does not, and we give up on it after this long.
constexpr int kHelloTimeoutMs = 3000;

int64_t nowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Deadline bookkeeping for poll(): timeout 0 means no limit.
class Deadline {
public:
    explicit Deadline(unsigned timeoutMs) : unlimited_(timeoutMs == 0), end_(nowMs() + timeoutMs) {}
    // The earlier of two deadlines.
    static Deadline earlier(const Deadline &a, const Deadline &b)
    {
        if (a.unlimited_)
            return b;
        if (b.unlimited_)
            return a;
        return a.end_ <= b.end_ ? a : b;
    }
    // Milliseconds left for poll(): -1 = forever, 0 = expired.
    int remaining() const
    {
        if (unlimited_)
            return -1;
        int64_t left = end_ - nowMs();
        return left > 0 ? int(left > 0x7fffffff ? 0x7fffffff : left) : 0;
    }
    bool expired() const { return !unlimited_ && nowMs() >= end_; }

private:
    bool unlimited_;
    int64_t end_;
};

// A wait for the player that Ctrl-C may end looks at it this often, so a
// Ctrl-C that another thread of the process received counts as well.
constexpr int kInterruptSliceMs = 100;

enum class Wait { Plain, Interruptible };

// Waits for events on fd; true when one of them is ready.  An interruptible
// wait also ends (false) when the user pressed Ctrl-C (interrupt.h).
bool waitFor(int fd, short events, const Deadline &deadline, Wait kind = Wait::Plain)
{
    const bool interruptible = kind == Wait::Interruptible;
    for (;;) {
        if (interruptible && WaitInterrupted())
            return false;
        int timeout = deadline.remaining();
        if (interruptible && (timeout < 0 || timeout > kInterruptSliceMs))
            timeout = kInterruptSliceMs;
        struct pollfd p = {fd, events, 0};
        int r = poll(&p, 1, timeout);
        if (r > 0)
            return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (r < 0 && errno != EINTR)
            return false;
        if (deadline.expired())
            return false;
    }
}

class VusbTransport final : public Transport {
public:
    explicit VusbTransport(std::string path) : path_(std::move(path)) {}
    ~VusbTransport() override { close(); }

    OpenStatus open(const std::vector<UsbId> &candidates, int *sysError) override
    {
        close();
        int err = 0;
        int fd = connectAndGreet(candidates, &err);
        if (fd < 0) {
            if (err == EACCES || err == EPERM) {
                if (sysError)
                    *sysError = err;
                return OpenStatus::SystemError;
            }
            return OpenStatus::NoDevice;
        }
        fd_ = fd;
        return OpenStatus::Opened;
    }

    void close() override
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool present(const std::vector<UsbId> &candidates) override
    {
        int err = 0;
        int fd = connectAndGreet(candidates, &err);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }

    uint32_t linkId() const override { return fd_ >= 0 ? uint32_t(fd_) + 1 : 0; }
    uint32_t deviceId() const override { return fd_ >= 0 ? 1 : 0; }

    int write(const void *buf, int len, unsigned timeoutMs) override
    {
        if (fd_ < 0 || len < 0 || (len > 0 && !buf))
            return -1;
        InterruptScope interrupts;
        uint8_t head[2] = {kMsgOut, kEndpointOut};
        struct iovec iov[2] = {{head, sizeof head}, {const_cast<void *>(buf), size_t(len)}};
        return sendMessage(iov, 2, Deadline(timeoutMs), Wait::Interruptible) ? len : -1;
    }

    int read(void *buf, int len, unsigned timeoutMs) override
    {
        if (fd_ < 0 || len < 0 || (len > 0 && !buf))
            return -1;
        InterruptScope interrupts;
        Deadline deadline(timeoutMs);
        for (;;) {
            // A transfer that is already queued is taken without waiting:
            // during a file's data phase nearly every one is.
            if (WaitInterrupted())
                return -1;
            uint8_t head[2] = {0, 0};
            struct iovec iov[2] = {{head, sizeof head}, {buf, size_t(len)}};
            struct msghdr msg{};
            msg.msg_iov = iov;
            msg.msg_iovlen = 2;
            ssize_t r = recvmsg(fd_, &msg, MSG_DONTWAIT);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN && waitFor(fd_, POLLIN, deadline, Wait::Interruptible))
                    continue;
                return -1;
            }
            if (r == 0)
                return -1;  // the player went away
            if (head[0] != kMsgIn) {
                // A late status stage or greeting: not ours.  However many
                // of them come, they do not extend the wait.
                if (deadline.expired())
                    return -1;
                continue;
            }
            if (msg.msg_flags & MSG_TRUNC)
                return -1;  // the device sent more than we asked for
            return r >= 2 ? int(r - 2) : 0;
        }
    }

    int controlOut(const uint8_t setup[8], unsigned timeoutMs) override
    {
        if (fd_ < 0)
            return -1;
        uint8_t msg[9] = {kMsgControl};
        std::memcpy(msg + 1, setup, 8);
        struct iovec iov = {msg, sizeof msg};
        Deadline deadline(timeoutMs);
        if (!sendMessage(&iov, 1, deadline))
            return -1;
        // Until the status stage comes, IN data belongs to the transfer the
        // request aborts: drop it so the next command starts in step.
        for (;;) {
            if (!waitFor(fd_, POLLIN, deadline))
                return -1;
            uint8_t type = 0;
            ssize_t r = recv(fd_, &type, 1, MSG_DONTWAIT | MSG_TRUNC);
            if (r < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                return -1;
            }
            if (r == 0)
                return -1;
            if (type == kMsgAck)
                return 0;
            if (deadline.expired())
                return -1;
        }
    }

    bool abortDropsQueuedIn() const override { return true; }

    void cancelPending(uint8_t endpoint, unsigned timeoutMs) override
    {
        if (fd_ < 0)
            return;
        uint8_t msg[2] = {kMsgCancel, endpoint};
        struct iovec iov = {msg, sizeof msg};
        if (!sendMessage(&iov, 1, Deadline(timeoutMs)))
            return;
        if (endpoint == kEndpointIn)
            dropQueuedIn();
    }

    void drainIn(unsigned quietMs, unsigned limitMs, size_t maxBytes) override
    {
        if (fd_ < 0)
            return;
        const Deadline overall(limitMs);
        size_t dropped = 0;
        while (dropped < maxBytes && !overall.expired()) {
            if (!waitFor(fd_, POLLIN, Deadline::earlier(Deadline(quietMs ? quietMs : 1), overall)))
                return;
            uint8_t type = 0;
            ssize_t r = recv(fd_, &type, 1, MSG_DONTWAIT | MSG_TRUNC);  // r: the whole message's length
            if (r <= 0 && !(r < 0 && (errno == EAGAIN || errno == EINTR)))
                return;
            if (r > 0)
                dropped += size_t(r);
        }
    }

private:
    // Connects to the socket and reads the greeting; returns the descriptor
    // when the device's ids match a candidate, else -1 with *err set to the
    // errno of a failed connect (0 for a device that does not match).
    int connectAndGreet(const std::vector<UsbId> &candidates, int *err)
    {
        *err = 0;
        struct sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path_.empty() || path_.size() >= sizeof addr.sun_path) {
            *err = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(addr.sun_path, path_.data(), path_.size());
        int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            *err = errno;
            return -1;
        }
        if (connect(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0 &&
            errno != EINPROGRESS) {
            *err = errno;
            ::close(fd);
            return -1;
        }
        uint8_t hello[256];
        Deadline deadline(kHelloTimeoutMs);
        ssize_t r = -1;
        while (waitFor(fd, POLLIN, deadline)) {
            r = recv(fd, hello, sizeof hello, MSG_DONTWAIT);
            if (r >= 0 || (errno != EAGAIN && errno != EINTR))
                break;
        }
        if (r < 5 || hello[0] != kMsgHello) {
            ::close(fd);
            return -1;
        }
        const unsigned vid = hello[1] | hello[2] << 8;
        const unsigned pid = hello[3] | hello[4] << 8;
        for (const UsbId &id : candidates)
            if (id.vid == vid && id.pid == pid)
                return fd;
        ::close(fd);
        return -1;
    }

    bool sendMessage(struct iovec *iov, int count, const Deadline &deadline, Wait kind = Wait::Plain)
    {
        struct msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = size_t(count);
        for (;;) {
            ssize_t r = sendmsg(fd_, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (r >= 0)
                return true;  // SOCK_SEQPACKET: all or nothing
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || !waitFor(fd_, POLLOUT, deadline, kind))
                return false;
        }
    }

    // Drops the IN transfers the device had already queued.
    void dropQueuedIn()
    {
        for (;;) {
            uint8_t type = 0;
            ssize_t r = recv(fd_, &type, 1, MSG_DONTWAIT | MSG_PEEK);
            if (r <= 0 || type != kMsgIn)
                return;
            recv(fd_, &type, 1, MSG_DONTWAIT | MSG_TRUNC);
        }
    }

    std::string path_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<Transport> makeVusbTransport(const std::string &socketPath)
{
    return std::make_unique<VusbTransport>(socketPath);
}

std::unique_ptr<Transport> makeTransport()
{
    const char *path = getenv(kVusbEnv);
    if (path && *path)
        return makeVusbTransport(path);
    return makeUsbTransport();
}

}  // namespace zvc450
