// fake_player.h - a scripted player on the virtual USB link (and, through
// its includes, the in-memory link and the answer builder).
//
// FakePlayer: a scripted device on the virtual USB link.  It listens on a
//   temporary SOCK_SEQPACKET socket, greets every connection with "H" and its
//   ids, records what the host sends and answers each OUT transfer with the
//   next scripted IN transfers (or with a handler's answers).  Set
//   ZVC450_VUSB to path() (or call useForLibrary()) and the library's
//   connection test and open go to it.  A hook sees every message first and
//   may answer with anything, at any pace, or hang up: the misbehaving
//   players of the hostile-player tests.
#pragma once

#include "answers.h"
#include "memory_link.h"
#include "protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zvc450test {

class FakePlayer {
public:
    struct Message {
        uint8_t type;
        Bytes body;  // after the type byte (endpoint first for O and X)
    };
    // Answers for one OUT transfer; return an empty list to stay silent.
    using Handler = std::function<std::vector<Bytes>(const Bytes &out)>;

    // The connection as a hook sees it.  Sends give up when the host has
    // gone or the player is being destroyed, so a hook that trickles data
    // "forever" ends with the host.
    class Link {
    public:
        Link(int fd, const std::atomic<bool> &stop) : fd_(fd), stop_(stop) {}
        // One message of the virtual link: type, then (endpoint >= 0) the
        // endpoint byte, then data.  False once the host is gone.
        bool send(uint8_t type, const Bytes &data, int endpoint = -1)
        {
            Bytes msg{type};
            if (endpoint >= 0)
                msg.push_back(uint8_t(endpoint));
            msg.insert(msg.end(), data.begin(), data.end());
            while (!stop_ && !closed_) {
                if (::send(fd_, msg.data(), msg.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0)
                    return true;
                if (errno != EAGAIN && errno != EINTR)
                    break;
                struct pollfd p = {fd_, POLLOUT, 0};
                poll(&p, 1, 20);
            }
            closed_ = true;
            return false;
        }
        bool in(const Bytes &data) { return send('I', data, zvc450::kEndpointIn); }
        // Waits ms milliseconds; false when the host went away or the
        // player is being destroyed meanwhile, and with untilHostSpeaks as
        // soon as the host sends anything (an abort request, say: a player
        // stops its data then).
        bool pause(int ms, bool untilHostSpeaks = false)
        {
            struct pollfd p = {fd_, short(POLLRDHUP | (untilHostSpeaks ? POLLIN : 0)), 0};
            if (poll(&p, 1, ms) > 0) {
                if (p.revents & (POLLRDHUP | POLLHUP | POLLERR))
                    closed_ = true;
                return false;
            }
            return !stop_ && !closed_;
        }
        bool open() const { return !stop_ && !closed_; }
        // The process on the host side of the link.
        pid_t peer() const
        {
            struct ucred cred{};
            socklen_t len = sizeof cred;
            return getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 ? cred.pid : -1;
        }
        // Drops the connection, as an unplugged player does.
        void hangUp()
        {
            ::shutdown(fd_, SHUT_RDWR);
            closed_ = true;
        }

    private:
        int fd_;
        const std::atomic<bool> &stop_;
        std::atomic<bool> closed_{false};  // several threads may send
    };
    // Sees every message from the host (O, C and X) before the script and
    // the handler; returns true when it dealt with the message itself.
    // Runs on the player's thread.
    using Hook = std::function<bool(const Message &m, Link &link)>;

    explicit FakePlayer(uint16_t vid = zvc450::kBuiltinIdA.vid, uint16_t pid = zvc450::kBuiltinIdA.pid)
        : vid_(vid), pid_(pid)
    {
        char tmpl[] = "/tmp/zvc450-fake-XXXXXX";
        dir_ = mkdtemp(tmpl) ? tmpl : "/tmp";
        path_ = dir_ + "/player.sock";
        listen_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        struct sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
        if (bind(listen_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(listen_, 4) != 0)
            std::abort();
        if (pipe(wake_) != 0)
            std::abort();
        thread_ = std::thread([this] { serve(); });
    }

    ~FakePlayer()
    {
        stop_ = true;
        char c = 0;
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
        ::close(listen_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }

    const std::string &path() const { return path_; }
    void useForLibrary() const { setenv(zvc450::kVusbEnv, path_.c_str(), 1); }

    // Queues the IN transfers that answer the next OUT transfer.
    void answerNext(std::vector<Bytes> replies)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.push_back(std::move(replies));
    }
    void answerNext(Bytes reply) { answerNext(std::vector<Bytes>{std::move(reply)}); }
    // Answers every OUT transfer that the script does not cover.
    void setHandler(Handler h)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler_ = std::move(h);
    }
    void setHook(Hook h)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook_ = std::move(h);
    }
    // IN transfers of an aborted transfer sent before the "A" of a control request.
    void setStaleBeforeAck(int n) { staleBeforeAck_ = n; }
    // Sends an IN transfer now, unasked.
    void sendIn(const Bytes &data)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (conn_ >= 0)
            sendMsg(conn_, 'I', zvc450::kEndpointIn, data);
    }

    std::vector<Message> received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    // The bodies of the OUT transfers (without type and endpoint).
    std::vector<Bytes> outTransfers()
    {
        std::vector<Bytes> out;
        for (const Message &m : received())
            if (m.type == 'O' && !m.body.empty())
                out.emplace_back(m.body.begin() + 1, m.body.end());
        return out;
    }
    int connections() const { return connections_; }
    // True while a host is connected (until the player has seen it go).
    bool connected()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return conn_ >= 0;
    }

private:
    static void sendMsg(int fd, uint8_t type, int endpoint, const Bytes &data)
    {
        Bytes msg{type};
        if (endpoint >= 0)
            msg.push_back(uint8_t(endpoint));
        msg.insert(msg.end(), data.begin(), data.end());
        (void)!send(fd, msg.data(), msg.size(), MSG_NOSIGNAL);
    }

    void serve()
    {
        std::vector<uint8_t> buf(70000);
        while (!stop_) {
            struct pollfd fds[2] = {{wake_[0], POLLIN, 0}, {conn_ >= 0 ? conn_ : listen_, POLLIN, 0}};
            if (poll(fds, 2, -1) <= 0)
                continue;
            if (fds[0].revents)
                break;
            if (conn_ < 0) {
                int c = accept(listen_, nullptr, nullptr);
                if (c < 0)
                    continue;
                ++connections_;
                std::lock_guard<std::mutex> lock(mutex_);
                conn_ = c;
                sendMsg(conn_, 'H', -1, Bytes{uint8_t(vid_), uint8_t(vid_ >> 8), uint8_t(pid_), uint8_t(pid_ >> 8)});
                continue;
            }
            ssize_t r = recv(conn_, buf.data(), buf.size(), 0);
            std::unique_lock<std::mutex> lock(mutex_);
            if (r <= 0) {
                ::close(conn_);
                conn_ = -1;
                continue;
            }
            Message m{buf[0], Bytes(buf.begin() + 1, buf.begin() + r)};
            received_.push_back(m);
            if (Hook hook = hook_) {
                lock.unlock();
                Link link(conn_, stop_);
                if (hook(m, link))
                    continue;
                lock.lock();
            }
            if (m.type == 'O') {
                std::vector<Bytes> replies;
                if (!script_.empty()) {
                    replies = std::move(script_.front());
                    script_.pop_front();
                } else if (handler_) {
                    replies = handler_(Bytes(m.body.begin() + 1, m.body.end()));
                }
                for (const Bytes &in : replies)
                    sendMsg(conn_, 'I', zvc450::kEndpointIn, in);
            } else if (m.type == 'C') {
                for (int i = 0; i < staleBeforeAck_; ++i)
                    sendMsg(conn_, 'I', zvc450::kEndpointIn, Bytes(512, 0xEE));
                sendMsg(conn_, 'A', -1, {});
            }
        }
        if (conn_ >= 0)
            ::close(conn_);
    }

    uint16_t vid_, pid_;
    std::string dir_, path_;
    int listen_ = -1;
    int conn_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> staleBeforeAck_{0};
    std::mutex mutex_;
    std::deque<std::vector<Bytes>> script_;
    Handler handler_;
    Hook hook_;
    std::vector<Message> received_;
    std::thread thread_;
};

}  // namespace zvc450test
