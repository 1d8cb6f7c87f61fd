#include "host_link.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>

namespace emu {

namespace {

constexpr size_t kCompactOutAt = 64 * 1024;

constexpr uint8_t kMsgHello = 'H', kMsgOut = 'O', kMsgIn = 'I', kMsgControl = 'C', kMsgAck = 'A', kMsgCancel = 'X';
constexpr uint8_t kEndpointIn = 0x83;
// The abort request: vendor, host to device, request 1, no data.
constexpr uint8_t kAbortRequestType = 0x40, kAbortRequest = 0x01;
// Largest message we expect: a 16 KiB transfer plus type and endpoint.
constexpr size_t kMaxMessage = 65536 + 16;
// Transfers that find the socket ready are moved without a poll, but every
// this many the server polls anyway: hosts that connect meanwhile get their
// hello, and a stop is seen.
constexpr unsigned kDirectTurns = 64;

using Clock = std::chrono::steady_clock;

}  // namespace

LinkServer::LinkServer(LinkIdentity identity, LinkFaults *faults, Log log)
    : identity_(std::move(identity)), faults_(faults), log_(std::move(log)), rx_(kMaxMessage)
{
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

LinkServer::~LinkServer()
{
    CloseActive();
    for (int fd : waiting_)
        close(fd);
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(path_.c_str());
    }
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

bool LinkServer::Listen(const std::string &path, std::string *err)
{
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) {
        *err = "socket path is empty or too long: " + path;
        return false;
    }
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = std::string("cannot create socket: ") + strerror(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    // A socket file left by an earlier run that nobody listens on is stale;
    // one that answers belongs to a player that is still running.
    int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    bool inUse = probe >= 0 && connect(probe, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (probe >= 0)
        close(probe);
    if (inUse) {
        *err = "another player is already listening on " + path;
        close(fd);
        return false;
    }
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0 || listen(fd, 8) < 0) {
        *err = "cannot listen on " + path + ": " + strerror(errno);
        close(fd);
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    return true;
}

void LinkServer::Stop()
{
    stopping_ = true;
    uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
        // The event is already signalled; nothing else to do.
    }
}

bool LinkServer::SendHello(int fd)
{
    std::vector<uint8_t> m = {kMsgHello, uint8_t(identity_.vendorId), uint8_t(identity_.vendorId >> 8),
                              uint8_t(identity_.productId), uint8_t(identity_.productId >> 8)};
    m.insert(m.end(), identity_.product.begin(), identity_.product.end());
    return send(fd, m.data(), m.size(), MSG_DONTWAIT | MSG_NOSIGNAL) == ssize_t(m.size());
}

void LinkServer::AcceptWaiting()
{
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (!SendHello(fd)) {
        close(fd);
        return;
    }
    waiting_.push_back(fd);
}

void LinkServer::CloseActive()
{
    if (active_ >= 0)
        close(active_);
    active_ = -1;
    DropOut();
}

void LinkServer::Closed()
{
    CloseActive();
    throw LinkClosed{};
}

void LinkServer::Run(const std::function<void(HostPipe &)> &serveOne)
{
    while (!stopping_) {
        // Idle: wait for a host (greeted on accept), drop those that left.
        std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (int fd : waiting_)
            fds.push_back({fd, 0, 0});
        if (waiting_.empty()) {
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                break;
            if (stopping_)
                break;
            if (fds[1].revents & POLLIN)
                AcceptWaiting();
            continue;
        }
        int fd = waiting_.front();
        waiting_.pop_front();
        pollfd check = {fd, 0, 0};
        if (poll(&check, 1, 0) > 0 && (check.revents & (POLLHUP | POLLERR))) {
            close(fd);
            continue;
        }
        active_ = fd;
        transferred_ = 0;
        busFree_ = Clock::now();
        log_("host connected");
        try {
            serveOne(*this);
        } catch (const LinkClosed &) {
        } catch (const std::exception &e) {
            // The player resets its USB side; the next host finds it working.
            log_(std::string("firmware failure: ") + e.what());
        }
        CloseActive();
        log_("host disconnected");
    }
}

void LinkServer::ServeSocket(int fd, const std::function<void(HostPipe &)> &serveOne)
{
    if (!SendHello(fd)) {
        close(fd);
        return;
    }
    active_ = fd;
    transferred_ = 0;
    busFree_ = Clock::now();
    try {
        serveOne(*this);
    } catch (const LinkClosed &) {
    }
    CloseActive();
}

bool LinkServer::WaitFor(Wait what, Clock::time_point deadline)
{
    for (;;) {
        if (stopping_)
            Closed();
        std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {active_, POLLIN, 0}};
        if (what == Wait::kWritable)
            fds[1].events |= POLLOUT;
        if (listenFd_ >= 0)
            fds.push_back({listenFd_, POLLIN, 0});
        size_t firstWaiting = fds.size();
        for (int fd : waiting_)
            fds.push_back({fd, 0, 0});

        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            timeout = int(std::min<long long>(left.count() + 1, 1 << 30));
        }
        int r = poll(fds.data(), fds.size(), timeout);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Closed();
        }
        if (fds[0].revents)
            Closed();
        if (listenFd_ >= 0 && (fds[2].revents & POLLIN))
            AcceptWaiting();
        for (size_t i = firstWaiting; i < fds.size(); ++i) {
            if (fds[i].revents & (POLLHUP | POLLERR)) {
                close(fds[i].fd);
                waiting_.erase(std::find(waiting_.begin(), waiting_.end(), fds[i].fd));
            }
        }
        short ev = fds[1].revents;
        if (ev & POLLIN) {
            if (what == Wait::kReadable)
                return true;
            ReceiveOne(nullptr, 0);
            continue;
        }
        if (ev & (POLLHUP | POLLERR | POLLNVAL))
            Closed();
        if ((ev & POLLOUT) && what == Wait::kWritable)
            return true;
        if (r == 0)
            return false;
    }
}

ssize_t LinkServer::ReceiveOne(uint8_t *direct, size_t room)
{
    // An OUT transfer's data lands in `direct` as far as it goes, the rest
    // (and every other message) in rx_.
    uint8_t head[2] = {0, 0};
    iovec iov[3] = {{head, sizeof head}, {direct, direct ? room : 0}, {rx_.data(), rx_.size()}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 3;
    ssize_t n = recvmsg(active_, &msg, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return -1;
    if (n <= 0)
        Closed();
    const size_t body = size_t(n) > sizeof head ? size_t(n) - sizeof head : 0;
    const size_t inDirect = std::min(body, iov[1].iov_len);
    if (head[0] == kMsgOut) {
        if (body > 0) {
            if (body > inDirect) {
                if (outPos_ >= kCompactOutAt) {  // keep the buffer from growing while read in pieces
                    out_.erase(out_.begin(), out_.begin() + long(outPos_));
                    outPos_ = 0;
                }
                out_.insert(out_.end(), rx_.begin(), rx_.begin() + long(body - inDirect));
            }
            CountBytes(body);
            Throttle(body);
        }
        return ssize_t(inDirect);
    }
    // The other messages are a few bytes long: put them together again.
    uint8_t m[16] = {head[0], head[1]};
    const size_t len = std::min(size_t(n), sizeof m);
    for (size_t i = sizeof head; i < len; ++i) {
        const size_t at = i - sizeof head;
        m[i] = at < inDirect ? direct[at] : rx_[at - inDirect];
    }
    switch (m[0]) {
    case kMsgControl:
        if (len >= 9 && m[1] == kAbortRequestType && m[2] == kAbortRequest) {
            log_("abort request");
            // What the host had sent for the aborted command is void.
            DropOut();
            throw TransferAborted{};
        } else {
            uint8_t ack = kMsgAck;  // a request we do not know: nothing to stop
            send(active_, &ack, 1, MSG_NOSIGNAL);
        }
        return 0;
    case kMsgCancel:
        if (len >= 2 && m[1] == kEndpointIn && writing_)
            throw TransferCancelled{};
        return 0;
    default:
        log_("ignored link message of type " + std::to_string(int(m[0])));
        return 0;
    }
}

bool LinkServer::TakeDirectTurn()
{
    if (stopping_)
        Closed();
    if (++directTurns_ < kDirectTurns)
        return true;
    directTurns_ = 0;
    return false;
}

void LinkServer::DropOut()
{
    out_.clear();
    outPos_ = 0;
}

void LinkServer::Read(uint8_t *dst, size_t n)
{
    if (active_ < 0)
        throw LinkClosed{};
    for (;;) {
        const size_t buffered = std::min(n, out_.size() - outPos_);
        if (buffered > 0) {
            std::memcpy(dst, out_.data() + outPos_, buffered);
            outPos_ += buffered;
            if (outPos_ == out_.size())
                DropOut();
            dst += buffered;
            n -= buffered;
        }
        if (n == 0)
            return;
        // Nothing is buffered now: a transfer that is already queued goes
        // straight to dst, without a copy and without waiting.
        if (TakeDirectTurn()) {
            const ssize_t got = ReceiveOne(dst, n);
            if (got >= 0) {
                dst += got;
                n -= size_t(got);
                continue;
            }
        }
        if (WaitFor(Wait::kReadable, Clock::time_point::max())) {
            const ssize_t got = ReceiveOne(dst, n);
            if (got > 0) {
                dst += got;
                n -= size_t(got);
            }
        }
    }
}

void LinkServer::Write(const uint8_t *src, size_t n)
{
    if (active_ < 0)
        throw LinkClosed{};
    struct Flag {
        bool &f;
        explicit Flag(bool &b) : f(b) { f = true; }
        ~Flag() { f = false; }
    } flag(writing_);
    // Take what the host sent meanwhile first: an abort must stop us before
    // the next transfer goes out.
    for (;;) {
        pollfd p = {active_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            break;
        ReceiveOne(nullptr, 0);
    }
    Throttle(n);
    uint8_t head[2] = {kMsgIn, kEndpointIn};
    iovec iov[2] = {{head, sizeof head}, {const_cast<uint8_t *>(src), n}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    // While the host takes the transfers as fast as they come, they go out
    // without a wait.
    for (bool wait = !TakeDirectTurn();; wait = true) {
        if (wait)
            WaitFor(Wait::kWritable, Clock::time_point::max());
        ssize_t r = sendmsg(active_, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (r == ssize_t(n + sizeof head))
            break;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        Closed();
    }
    CountBytes(n);
}

void LinkServer::AbortDone()
{
    if (active_ < 0)
        return;
    uint8_t ack = kMsgAck;
    if (send(active_, &ack, 1, MSG_NOSIGNAL) != 1)
        Closed();
}

void LinkServer::Pause(int ms)
{
    if (ms <= 0 || active_ < 0)
        return;
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline)
        WaitFor(Wait::kTimer, deadline);
}

void LinkServer::CountBytes(size_t n)
{
    transferred_ += n;
    uint64_t cut = faults_ ? faults_->cutAfterBytes.load() : 0;
    if (cut != 0 && transferred_ >= cut) {
        log_("cutting the link after " + std::to_string(transferred_) + " bytes");
        Closed();
    }
}

void LinkServer::Throttle(size_t n)
{
    uint32_t rate = faults_ ? faults_->bytesPerSecond.load() : 0;
    if (rate == 0)
        return;
    auto now = Clock::now();
    if (busFree_ < now)
        busFree_ = now;
    busFree_ += std::chrono::microseconds(uint64_t(n) * 1000000 / rate);
    std::this_thread::sleep_until(busFree_);
}

}  // namespace emu
