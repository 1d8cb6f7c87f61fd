// emulated_player.h - the emulated player in a thread of this process, on a
// fresh state folder and socket, with the library open on it over the
// virtual link (ZVC450_VUSB).  Small media keep tests fast: 8 MiB of
// internal memory (FAT12, 512 blocks) and a 1 MiB card, unless a tweak
// says otherwise.
//
//     zvc450test::EmulatedPlayer p("1.30");
//     ASSERT_TRUE(p.ok()) << p.error;
//     ZVC450_Download(nullptr, p.h, 0, path);
#pragma once

#include "emulator.h"
#include "temp_dir.h"
#include "zvc450usb.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace zvc450test {

class EmulatedPlayer {
public:
    using Tweak = std::function<void(emu::EmulatorOptions &)>;

    explicit EmulatedPlayer(const std::string &version = "1.43", const Tweak &tweak = nullptr,
                            const std::string &prefix = "zvc450-test-")
        : dir(prefix, "/tmp")  // never where a test pointed TMPDIR for the library's own files
    {
        options.state.folder = dir / "state";
        options.state.internalBytes = 8ull << 20;
        options.state.cardBytes = 1ull << 20;
        options.socketPath = dir / "link";
        options.firmware.versionText = version;
        if (tweak)
            tweak(options);
        if (StartEmulator()) {
            setenv("ZVC450_VUSB", options.socketPath.c_str(), 1);
            ZVC450_SetExpectedFirmwareVersion(0);
            Open();
        }
    }
    ~EmulatedPlayer()
    {
        Close();
        emulator.reset();
    }
    EmulatedPlayer(const EmulatedPlayer &) = delete;
    EmulatedPlayer &operator=(const EmulatedPlayer &) = delete;

    // True while the player runs and the library has it open; else error says why.
    bool ok() const { return running_ && h; }

    // Opens the library on the player (when not open); false with error set.
    bool Open()
    {
        if (!h && !ZVC450_Open(&h))
            error = "the library did not open the player: error " + std::to_string(ZVC450_GetError());
        return h != nullptr;
    }
    void Close()
    {
        if (h) {
            ZVC450_Close(h);
            ZVC450_Free(h);
        }
        h = nullptr;
    }
    // Unplugs the player, lets offline work touch its images, plugs it in again.
    bool Restart(const std::function<void()> &offline)
    {
        Close();
        emulator.reset();
        running_ = false;
        offline();
        return StartEmulator() && Open();
    }
    std::string StateFile(const std::string &name) const { return options.state.folder + "/" + name; }

    TempDir dir;
    emu::EmulatorOptions options;
    std::unique_ptr<emu::Emulator> emulator;
    HZVC450 h = nullptr;
    std::string error;  // why the player did not start or the library did not open

private:
    bool StartEmulator()
    {
        emulator = std::make_unique<emu::Emulator>(options);
        std::string why;
        running_ = emulator->Start(&why);
        if (!running_)
            error = "the player did not start: " + why;
        return running_;
    }

    bool running_ = false;
};

}  // namespace zvc450test
