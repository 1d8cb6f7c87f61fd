#include "emulator.h"

#include "tunedeck_version.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace emu {

namespace {

bool ParseNumber(const std::string &text, uint64_t *value, int base = 10)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long v = strtoull(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || text[0] == '-')
        return false;
    *value = v;
    return true;
}

// "64" (MiB), "512K", "64M", "1G".
bool ParseSize(std::string text, uint64_t *bytes)
{
    uint64_t unit = 1ull << 20;
    if (!text.empty()) {
        switch (text.back()) {
        case 'k':
        case 'K':
            unit = 1ull << 10;
            text.pop_back();
            break;
        case 'm':
        case 'M':
            unit = 1ull << 20;
            text.pop_back();
            break;
        case 'g':
        case 'G':
            unit = 1ull << 30;
            text.pop_back();
            break;
        default:
            break;
        }
    }
    uint64_t n;
    if (!ParseNumber(text, &n) || n == 0 || n > (4ull << 30) / unit)
        return false;
    *bytes = n * unit;
    return *bytes >= (256ull << 10) && *bytes <= (1ull << 30);
}

}  // namespace

std::string UsageText()
{
    return R"(Usage: zvc450-emu --state DIR --socket PATH [options]

The emulated ZVC450 player: it answers the player's USB command protocol on a
virtual USB link (an AF_UNIX SOCK_SEQPACKET socket) and keeps its memories as
FAT image files in a state folder.  Point the library at it with
ZVC450_VUSB=PATH.

Storage:
  --state DIR            state folder: internal.img, card.img, font.bin,
                         font.name, boot.bin, app.bin; created (images
                         formatted) on first use
  --internal-size SIZE   size of a new internal memory image (default 64M;
                         a plain number is MiB, K/M/G suffixes accepted;
                         256K to 1G)
  --card-size SIZE       size of a new card image (default 32M)
  --no-card              no card in the slot: card commands are refused with
                         internal error 2 (card not detected)
  --unformatted          present both memories as unformatted (internal
                         error 5) until the host formats them; the images are
                         not touched before that
  --init                 create the state folder and exit

Link:
  --socket PATH          where to listen for hosts (one is served at a time)
  --vid HEX, --pid HEX   USB ids in the hello (default 0419 and A001)
  --product TEXT         product text in the hello
  --bus-speed SPEED      "unlimited" (default), "full" (about 1 MB/s, like the
                         real player) or bytes per second

Firmware:
  --firmware VERSION     version the player reports: 1.43 (default), 1.42,
                         1.30, 1.25, 1.20, 1.1 or any other; it selects the
                         protocol generation
  --identification TEXT  the whole identification answer instead of
                         "BRIGHTFEN ZVC450 FILE SYSTEM USB AUDIO PLAYER
                         FIRMWARE <version>"
  --no-erase-progress    answer the code-area erase with progress (0x03) with
                         a plain success, as players without it do; the host
                         then erases with 0x02
  --dirty-answers        leave bytes in every answer after its terminator
                         (and in byte 1 on firmware before 1.30), as a real
                         player's buffer does; also on when the environment
                         has ZVC450_EMU_DIRTY_ANSWERS=1

Faults:
  --refuse CMD=CODE      refuse every command CMD (its command bytes, e.g. W,
                         GG, DM, FD) with internal error CODE; repeatable
  --mute                 read commands but never answer (a hung player)
  --cut-after BYTES      close each host connection once this many bytes of
                         transfers have passed (an unplugged cable)
  --slow MS              wait MS milliseconds before every answer
  --full                 report every memory full and refuse new files and
                         directories with internal error 25
  --corrupt-writes N     store every Nth 16 KiB block of file data the host
                         writes with one bit flipped, silently (failing
                         flash); the count runs over all files
  --short-write N        store the Nth file the host sends without the data
                         of its last 16 KiB transfer, and answer as if it were
                         whole (failing flash); one smaller than 16 KiB is
                         stored empty
  --kill-after-writes N  die (SIGKILL) right after the Nth write to the
                         images, as a player that loses its power; for tests
                         of what such a crash leaves on the images

  --verbose              log every command on stderr
  --help                 this text
  --version              the version of the emulator
)";
}

int ParseCommandLine(int argc, char **argv, EmulatorOptions *opt, std::string *message)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        // "--name=value" is "--name value", as getopt_long reads it.
        std::string attached;
        bool hasAttached = false;
        if (a.compare(0, 2, "--") == 0 && a.find('=') != std::string::npos) {
            attached = a.substr(a.find('=') + 1);
            a.resize(a.find('='));
            hasAttached = true;
        }
        auto value = [&](std::string *out) {
            if (hasAttached) {
                *out = attached;
                hasAttached = false;
                return true;
            }
            if (i + 1 >= argc) {
                *message = a + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string v;
        uint64_t n = 0;
        if (a == "--help" || a == "-h") {
            *message = UsageText();
            return 1;
        } else if (a == "--version") {
            *message = std::string("zvc450-emu ") + TUNEDECK_VERSION + "\n";
            return 1;
        } else if (a == "--state") {
            if (!value(&opt->state.folder))
                return 2;
        } else if (a == "--socket") {
            if (!value(&opt->socketPath))
                return 2;
        } else if (a == "--internal-size" || a == "--card-size") {
            if (!value(&v))
                return 2;
            uint64_t &target = a == "--internal-size" ? opt->state.internalBytes : opt->state.cardBytes;
            if (!ParseSize(v, &target)) {
                *message = a + ": size must lie between 256K and 1G: " + v;
                return 2;
            }
        } else if (a == "--no-card") {
            opt->state.card = false;
        } else if (a == "--unformatted") {
            opt->state.unformatted = true;
        } else if (a == "--init") {
            opt->initOnly = true;
        } else if (a == "--vid" || a == "--pid") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &n, 16) || n > 0xFFFF) {
                *message = a + " takes four hexadecimal digits: " + v;
                return 2;
            }
            (a == "--vid" ? opt->identity.vendorId : opt->identity.productId) = uint16_t(n);
        } else if (a == "--product") {
            if (!value(&opt->identity.product))
                return 2;
        } else if (a == "--bus-speed") {
            if (!value(&v))
                return 2;
            if (v == "unlimited") {
                opt->bytesPerSecond = 0;
            } else if (v == "full") {
                opt->bytesPerSecond = kFullSpeedBytesPerSecond;
            } else if (ParseNumber(v, &n) && n > 0 && n <= 0xFFFFFFFFu) {
                opt->bytesPerSecond = uint32_t(n);
            } else {
                *message = "--bus-speed takes unlimited, full or bytes per second: " + v;
                return 2;
            }
        } else if (a == "--firmware") {
            if (!value(&opt->firmware.versionText))
                return 2;
            if (ParseVersionText(opt->firmware.versionText) == 0) {
                *message = "--firmware: not a version number: " + opt->firmware.versionText;
                return 2;
            }
        } else if (a == "--identification") {
            if (!value(&opt->firmware.identification))
                return 2;
            if (opt->firmware.identification.size() > 505) {
                *message = "--identification: the text must fit one answer packet";
                return 2;
            }
        } else if (a == "--no-erase-progress") {
            opt->firmware.eraseProgress = false;
        } else if (a == "--dirty-answers") {
            opt->firmware.dirtyAnswers = true;
        } else if (a == "--refuse") {
            if (!value(&v))
                return 2;
            size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0 || eq > 2 || !ParseNumber(v.substr(eq + 1), &n) || n > 255) {
                *message = "--refuse takes CMD=CODE (CMD one or two command characters, CODE 0-255): " + v;
                return 2;
            }
            opt->refusals.emplace_back(v.substr(0, eq), int(n));
        } else if (a == "--mute") {
            opt->mute = true;
        } else if (a == "--cut-after") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &n) || n == 0) {
                *message = "--cut-after takes a positive byte count: " + v;
                return 2;
            }
            opt->cutAfterBytes = n;
        } else if (a == "--slow") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &n) || n > 600000) {
                *message = "--slow takes milliseconds (at most 600000): " + v;
                return 2;
            }
            opt->slowMs = int(n);
        } else if (a == "--full") {
            opt->fullMedium = true;
        } else if (a == "--corrupt-writes") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &n) || n == 0 || n > 0xFFFFFFFFu) {
                *message = "--corrupt-writes takes a positive block count: " + v;
                return 2;
            }
            opt->corruptWrites = uint32_t(n);
        } else if (a == "--short-write") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &opt->shortWrite) || opt->shortWrite == 0) {
                *message = "--short-write takes a positive file count: " + v;
                return 2;
            }
        } else if (a == "--kill-after-writes") {
            if (!value(&v))
                return 2;
            if (!ParseNumber(v, &opt->killAfterWrites) || opt->killAfterWrites == 0) {
                *message = "--kill-after-writes takes a positive number of writes: " + v;
                return 2;
            }
        } else if (a == "--verbose" || a == "-v") {
            opt->verbose = true;
        } else {
            *message = "unknown option " + a + " (see --help)";
            return 2;
        }
        if (hasAttached) {
            *message = a + " takes no value";
            return 2;
        }
    }
    if (opt->state.folder.empty()) {
        *message = "--state DIR is required (see --help)";
        return 2;
    }
    if (opt->socketPath.empty() && !opt->initOnly) {
        *message = "--socket PATH is required (see --help)";
        return 2;
    }
    return 0;
}

Emulator::Emulator(EmulatorOptions opt) : opt_(std::move(opt))
{
    // Test suites run once more against players with dirty answers without
    // each fixture knowing about it.
    if (const char *dirty = std::getenv(kDirtyAnswersEnv); dirty && std::strcmp(dirty, "1") == 0)
        opt_.firmware.dirtyAnswers = true;
    firmwareFaults_.mute = opt_.mute;
    firmwareFaults_.slowMs = opt_.slowMs;
    firmwareFaults_.fullMedium = opt_.fullMedium;
    firmwareFaults_.CorruptWrites(opt_.corruptWrites);
    firmwareFaults_.ShortWrite(opt_.shortWrite);
    for (const auto &r : opt_.refusals)
        firmwareFaults_.Refuse(r.first, r.second);
    linkFaults_.bytesPerSecond = opt_.bytesPerSecond;
    linkFaults_.cutAfterBytes = opt_.cutAfterBytes;
    state_ = std::make_unique<PlayerState>(opt_.state);
    state_->ImageWrites().killAfter = opt_.killAfterWrites;
    auto log = [this](const std::string &line) { Log(line); };
    firmware_ = std::make_unique<Firmware>(opt_.firmware, state_.get(), &firmwareFaults_, log);
    server_ = std::make_unique<LinkServer>(opt_.identity, &linkFaults_, log);
}

Emulator::~Emulator() { Stop(); }

void Emulator::Log(const std::string &line)
{
    if (opt_.verbose)
        std::cerr << "zvc450-emu: " << line << std::endl;
}

bool Emulator::Prepare(std::string *err)
{
    if (!state_->Prepare(err))
        return false;
    if (!opt_.socketPath.empty() && !server_->Listen(opt_.socketPath, err))
        return false;
    return true;
}

bool Emulator::Start(std::string *err)
{
    if (!Prepare(err))
        return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Emulator::Run()
{
    server_->Run([this](HostPipe &pipe) { firmware_->Serve(pipe); });
}

void Emulator::Stop()
{
    server_->Stop();
    if (thread_.joinable())
        thread_.join();
}

void Emulator::ServeSocket(int fd)
{
    server_->ServeSocket(fd, [this](HostPipe &pipe) { firmware_->Serve(pipe); });
}

}  // namespace emu
