// fuzz_link.h - a player that says whatever the fuzzer gives it: the input
// cut into IN transfers of 512 bytes (the last one may be short) on an
// in-memory link, and a handle on it.
#pragma once

#include "fake_player.h"
#include "fuzz_util.h"

#include <algorithm>

namespace fuzzutil {

struct ScriptedHandle : zvc450test::MemoryHandle {
    ScriptedHandle(const uint8_t *data, size_t size)
    {
        for (size_t at = 0; at < size; at += zvc450::kPacketSize) {
            const size_t n = std::min(size - at, size_t(zvc450::kPacketSize));
            link.toRead.emplace_back(data + at, data + at + n);
        }
        // The packet buffer keeps what the last exchange left; start each
        // input from the same bytes so a finding replays.
        std::memset(zvc450::g_packet, 0xA5, sizeof zvc450::g_packet);
        ZVC450_SetError(0);
    }
};

}  // namespace fuzzutil
