// memory_link.h - the player's link in memory: an in-process Transport that
// records every OUT transfer and serves scripted IN transfers, and a handle
// on it, for byte-level checks of the library without any socket.
#pragma once

#include "protocol.h"

#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace zvc450test {

class MemoryLink final : public zvc450::Transport {
public:
    using Bytes = std::vector<uint8_t>;

    std::vector<Bytes> written;      // every OUT transfer, in order
    std::vector<int> readSizes;      // the length of every IN transfer asked for
    std::deque<Bytes> toRead;        // IN transfers still to come
    int controlRequests = 0;
    int drains = 0;
    int failWritesAfter = -1;        // fail every write after this many (-1: never)
    std::function<void(const Bytes &)> onWrite;  // sees every OUT transfer once it is recorded

    OpenStatus open(const std::vector<zvc450::UsbId> &, int *) override { return OpenStatus::Opened; }
    void close() override {}
    bool present(const std::vector<zvc450::UsbId> &) override { return true; }
    uint32_t linkId() const override { return 1; }
    uint32_t deviceId() const override { return 1; }
    int write(const void *buf, int len, unsigned) override
    {
        if (failWritesAfter >= 0 && int(written.size()) >= failWritesAfter)
            return -1;
        const auto *p = static_cast<const uint8_t *>(buf);
        written.emplace_back(p, p + len);
        if (onWrite)
            onWrite(written.back());
        return len;
    }
    int read(void *buf, int len, unsigned) override
    {
        readSizes.push_back(len);
        if (toRead.empty())
            return -1;
        Bytes next = std::move(toRead.front());
        toRead.pop_front();
        if (int(next.size()) > len)
            return -1;
        std::memcpy(buf, next.data(), next.size());
        return int(next.size());
    }
    int controlOut(const uint8_t *, unsigned) override
    {
        ++controlRequests;
        return 0;
    }
    void cancelPending(uint8_t, unsigned) override {}
    void drainIn(unsigned, unsigned, size_t) override
    {
        ++drains;
        toRead.clear();
    }
};

// A handle whose link is a MemoryLink (the record owns it).
struct MemoryHandle {
    zvc450::DeviceRecord record{1, 1, std::make_unique<MemoryLink>()};
    MemoryLink &link = static_cast<MemoryLink &>(*record.transport);
    HZVC450 h() { return &record; }
};

}  // namespace zvc450test
