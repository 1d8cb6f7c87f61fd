// The player's end of the USB link.
//
// HostPipe is what the firmware sees of the USB: the bulk OUT endpoint 0x02
// as a stream of bytes (commands and data, however the host cut them into
// transfers), the bulk IN endpoint 0x83 as one transfer per Write, and the
// host's abort request (vendor control request 1) as an exception that stops
// whatever the firmware is doing.
//
// LinkServer carries that over the virtual USB link: an AF_UNIX
// SOCK_SEQPACKET socket where every message is one USB event:
//   host -> device   "O" ep data    bulk OUT transfer
//                    "C" setup[8]   control OUT request without data
//                    "X" ep         the host cancelled what was pending on ep
//   device -> host   "H" vid pid text   hello, first message of a connection
//                    "I" ep data    bulk IN transfer
//                    "A"            status stage of the last control request
// One host is served at a time; hosts that connect meanwhile get their hello
// at once (so a connection test sees the player) and wait their turn.  A
// host may disconnect at any point: the firmware's command ends, the next
// host is served.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

namespace emu {

// The host went away (socket closed, link cut by a fault, server stopping).
struct LinkClosed {};
// The host sent the abort request: the firmware stops the running command
// and calls AbortDone(), which completes the control request.
struct TransferAborted {};
// The host cancelled its pending read on 0x83: the firmware stops sending
// the running command's data (no status stage follows).
struct TransferCancelled {};

class HostPipe {
public:
    virtual ~HostPipe() = default;
    // Exactly n bytes from the OUT stream.
    virtual void Read(uint8_t *dst, size_t n) = 0;
    // One IN transfer.
    virtual void Write(const uint8_t *src, size_t n) = 0;
    // Completes the abort request after the firmware has stopped.
    virtual void AbortDone() = 0;
    // Waits ms milliseconds while still taking control requests (a slow
    // firmware can still be aborted).
    virtual void Pause(int ms) = 0;
};

// Link-level fault knobs; may be changed while the server runs.
struct LinkFaults {
    std::atomic<uint64_t> cutAfterBytes{0};   // close each connection after this many transfer bytes; 0 never
    std::atomic<uint32_t> bytesPerSecond{0};  // bus speed; 0 unlimited
};

struct LinkIdentity {
    uint16_t vendorId = 0x0419;
    uint16_t productId = 0xA001;
    std::string product = "ZVC450 MP3 Player";
};

class LinkServer : public HostPipe {
public:
    using Log = std::function<void(const std::string &)>;
    LinkServer(LinkIdentity identity, LinkFaults *faults, Log log);
    ~LinkServer() override;

    // Binds and listens at path (a stale socket file is replaced).
    bool Listen(const std::string &path, std::string *err);
    // Serves hosts one after the other until Stop(); serveOne runs the
    // firmware on the active connection and returns when it closes (it lets
    // LinkClosed escape).
    void Run(const std::function<void(HostPipe &)> &serveOne);
    // Thread-safe; makes Run return soon.
    void Stop();
    // Serves exactly one already connected socket (a socketpair end) and
    // returns when it closes; the fd is closed then.
    void ServeSocket(int fd, const std::function<void(HostPipe &)> &serveOne);

    // HostPipe
    void Read(uint8_t *dst, size_t n) override;
    void Write(const uint8_t *src, size_t n) override;
    void AbortDone() override;
    void Pause(int ms) override;

private:
    enum class Wait { kReadable, kWritable, kTimer };
    // Polls the active connection (and the listener, the waiting hosts, the
    // stop event) until the active one is readable/writable or the deadline
    // passes.  Accepts and greets new hosts on the way.
    bool WaitFor(Wait what, std::chrono::steady_clock::time_point deadline);
    // Receives one message from the active host, if one is queued, and acts
    // on it.  The data of an OUT transfer goes to `direct` as far as `room`
    // allows (the count is returned) and the rest to out_; -1 when nothing
    // was queued.
    ssize_t ReceiveOne(uint8_t *direct, size_t room);
    // True while transfers may skip the poll (see kDirectTurns).
    bool TakeDirectTurn();
    void DropOut();  // forgets every OUT byte not yet read
    void AcceptWaiting();
    bool SendHello(int fd);
    void CountBytes(size_t n);
    void Throttle(size_t n);
    void CloseActive();
    [[noreturn]] void Closed();

    LinkIdentity identity_;
    LinkFaults *faults_;
    Log log_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    int active_ = -1;
    std::deque<int> waiting_;
    std::string path_;
    std::atomic<bool> stopping_{false};
    // OUT bytes not yet read by the firmware: out_[outPos_ ..].  A flat buffer,
    // emptied whenever the firmware has read all of it, so file data is copied
    // once on its way from the socket to the image.
    std::vector<uint8_t> out_;
    size_t outPos_ = 0;
    bool writing_ = false;      // inside Write: a cancel of 0x83 stops it
    unsigned directTurns_ = 0;  // transfers moved since the last poll
    uint64_t transferred_ = 0;  // bytes moved on this connection
    std::chrono::steady_clock::time_point busFree_{};
    std::vector<uint8_t> rx_;
};

}  // namespace emu
