// maint_fixture.h - what the maintenance tests share: local files in a
// temporary folder, and the emulated player in a thread of the test with the
// library opened on it over the virtual link.
#pragma once

#include "emulator.h"
#include "protocol.h"
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

using Bytes = std::vector<uint8_t>;

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

struct Scratch {
    std::string path;
    Scratch()
    {
        char tmpl[] = "/tmp/zvc450-maint-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// The emulated player with small media and the library open on it.
struct Player {
    Scratch dir;
    emu::EmulatorOptions options;
    std::unique_ptr<emu::Emulator> emulator;
    HZVC450 h = nullptr;

    explicit Player(const std::string &version = "1.43",
                    const std::function<void(emu::EmulatorOptions &)> &tweak = nullptr)
    {
        options.state.folder = dir / "state";
        options.state.internalBytes = 8ull << 20;
        options.state.cardBytes = 1ull << 20;
        options.socketPath = dir / "link";
        options.firmware.versionText = version;
        if (tweak)
            tweak(options);
        emulator = std::make_unique<emu::Emulator>(options);
        std::string err;
        if (!emulator->Start(&err))
            ADD_FAILURE() << "player did not start: " << err;
        setenv(zvc450::kVusbEnv, options.socketPath.c_str(), 1);
        ZVC450_SetExpectedFirmwareVersion(0);
        if (!ZVC450_Open(&h))
            ADD_FAILURE() << "library did not open the player: error " << ZVC450_GetError();
    }
    ~Player()
    {
        if (h) {
            ZVC450_Close(h);
            ZVC450_Free(h);
        }
        emulator.reset();
    }
    std::string StateFile(const std::string &name) const { return options.state.folder + "/" + name; }
};

// A framed 512-byte answer: "#", the 16-bit length field L, ":", body and
// "." at L + 2 when it fits.
inline Bytes Answer(const Bytes &body, int lengthField = -1)
{
    Bytes p(zvc450::kPacketSize, 0);
    const unsigned L = lengthField >= 0 ? unsigned(lengthField) : unsigned(body.size()) + 2;
    p[0] = '#';
    p[1] = uint8_t(L >> 8);
    p[2] = uint8_t(L);
    p[3] = ':';
    for (size_t i = 0; i < body.size() && 4 + i < p.size(); ++i)
        p[4 + i] = body[i];
    if (L + 2 < p.size())
        p[L + 2] = '.';
    return p;
}

}  // namespace maint
