// zvc450-emu as a library: the emulated player, started in a thread of the
// caller (tests) or in the foreground (the zvc450-emu program).
//
//   emu::EmulatorOptions opt;
//   opt.state.folder = dir;  opt.socketPath = dir + "/link";
//   emu::Emulator player(opt);
//   std::string err;
//   if (!player.Start(&err)) ...;       // serving in its own thread
//   setenv("ZVC450_VUSB", opt.socketPath.c_str(), 1);
//   ...                                  // talk to it
//   player.Stop();                       // also done by the destructor
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "firmware.h"
#include "host_link.h"
#include "player_state.h"

namespace emu {

struct EmulatorOptions {
    StateOptions state;
    std::string socketPath;
    FirmwareSettings firmware;
    LinkIdentity identity;
    uint32_t bytesPerSecond = 0;  // 0 unlimited
    uint64_t cutAfterBytes = 0;   // 0 never
    bool mute = false;
    int slowMs = 0;
    bool fullMedium = false;
    uint32_t corruptWrites = 0;                         // every Nth block of file data stored damaged; 0 never
    uint64_t shortWrite = 0;                            // the Nth file sent is stored without its end; 0 never
    std::vector<std::pair<std::string, int>> refusals;  // command bytes, internal error code
    uint64_t killAfterWrites = 0;                       // crash after this many image writes; 0 never
    bool initOnly = false;                              // prepare the state folder and exit
    bool verbose = false;
};

// "1" in this environment variable turns dirtyAnswers on in every player.
constexpr char kDirtyAnswersEnv[] = "ZVC450_EMU_DIRTY_ANSWERS";

// Full speed USB moves about 1 MB/s of bulk data.
constexpr uint32_t kFullSpeedBytesPerSecond = 1000000;

// Parses zvc450-emu's command line.  Returns 0 to go on, 1 when the program
// should exit successfully (--help: *message holds the usage text), 2 on a
// usage error (*message says why).
int ParseCommandLine(int argc, char **argv, EmulatorOptions *opt, std::string *message);
std::string UsageText();

class Emulator {
public:
    explicit Emulator(EmulatorOptions opt);
    ~Emulator();
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    // Creates the state folder (images formatted on first use) and listens on
    // the socket path (when one is set).
    bool Prepare(std::string *err);
    // Prepare, then serve in a new thread.
    bool Start(std::string *err);
    // Serves in the calling thread until Stop() (from another thread or a
    // signal handler's thread).
    void Run();
    void Stop();
    // Serves one connected socket (e.g. one end of a socketpair) in the
    // calling thread until the other end closes it.
    void ServeSocket(int fd);

    // Fault knobs, adjustable while the player runs.
    FirmwareFaults &Faults() { return firmwareFaults_; }
    LinkFaults &Link() { return linkFaults_; }
    // The player's storage.  Touch it only while no host is being served.
    PlayerState &State() { return *state_; }
    const Firmware &Player() const { return *firmware_; }

private:
    void Log(const std::string &line);

    EmulatorOptions opt_;
    FirmwareFaults firmwareFaults_;
    LinkFaults linkFaults_;
    std::unique_ptr<PlayerState> state_;
    std::unique_ptr<Firmware> firmware_;
    std::unique_ptr<LinkServer> server_;
    std::thread thread_;
};

}  // namespace emu
