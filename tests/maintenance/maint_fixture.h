// maint_fixture.h - what the maintenance tests share: local files in a
// temporary folder, and the emulated player in a thread of the test with the
// library opened on it over the virtual link (both from tests/support).
#pragma once

#include "answers.h"
#include "emulated_player.h"
#include "protocol.h"
#include "temp_dir.h"
#include "zvc450usb.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace maint {

using zvc450test::Bytes;
using zvc450test::framedAnswer;
using zvc450test::TempDir;

// Deterministic bytes that differ from seed to seed and contain no long runs.
inline Bytes Noise(size_t n, uint32_t seed)
{
    Bytes b(n);
    uint32_t x = seed ^ 0x9E3779B9u;
    for (uint8_t &v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = uint8_t(x);
    }
    return b;
}

inline void Store(const std::string &path, const Bytes &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

inline Bytes Load(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The emulated player with small media and the library open on it.
struct Player : zvc450test::EmulatedPlayer {
    explicit Player(const std::string &version = "1.43", const Tweak &tweak = nullptr)
        : EmulatedPlayer(version, tweak, "zvc450-maint-")
    {
        if (!ok())
            ADD_FAILURE() << error;
    }
};

}  // namespace maint
