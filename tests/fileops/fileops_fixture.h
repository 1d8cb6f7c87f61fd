// fileops_fixture.h - what the file-operation tests share.
//
// EmuSession: the emulated player in a thread of the test, on a fresh state
//   folder and socket, with the library opened on it (ZVC450_VUSB).
// ScriptLink: an in-process link that records what the library writes and
//   serves scripted reads, for byte-level checks without a player.
// Helpers for local files, listings and mtools.
#pragma once

#include "emulator.h"
#include "protocol.h"
#include "zvc450usb.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fileops {

using Bytes = std::vector<uint8_t>;

// ---- Local files -----------------------------------------------------------------

inline Bytes Pattern(size_t n, uint32_t seed)
{
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345;
        b[i] = uint8_t(x >> 16);
    }
    return b;
}

inline void WriteFile(const std::string &path, const Bytes &data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

inline Bytes ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f)
        return Bytes();
    Bytes b(size_t(f.tellg()));
    f.seekg(0);
    f.read(reinterpret_cast<char *>(b.data()), std::streamsize(b.size()));
    return b;
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

inline int RunTool(const std::string &command, std::string *output = nullptr)
{
    const std::string cmd = "MTOOLS_SKIP_CHECK=1 " + command + " 2>&1";
    FILE *f = popen(cmd.c_str(), "r");
    if (!f)
        return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const int status = pclose(f);
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A temporary folder removed with everything in it.
struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/zvc450-fileops-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { RunTool("rm -rf '" + path + "'"); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Files in a folder whose names start with prefix.
inline int CountFiles(const std::string &dir, const std::string &prefix)
{
    std::string out;
    RunTool("ls -A '" + dir + "'", &out);
    int n = 0;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos)
            end = out.size();
        if (out.compare(at, prefix.size(), prefix) == 0)
            ++n;
        at = end + 1;
    }
    return n;
}

// ---- The emulated player with the library open on it -------------------------------

struct EmuSession {
    TempDir dir;
    std::string socket;
    emu::EmulatorOptions options;
    std::unique_ptr<emu::Emulator> player;
    HZVC450 h = nullptr;

    explicit EmuSession(const std::string &version,
                        const std::function<void(emu::EmulatorOptions &)> &tweak = nullptr)
    {
        socket = dir / "link";
        options.state.folder = dir.path + "/state";
        // Small media keep the tests fast: 8 MiB is FAT12 with 512 blocks.
        options.state.internalBytes = 8ull << 20;
        options.state.cardBytes = 1ull << 20;
        options.socketPath = socket;
        options.firmware.versionText = version;
        if (tweak)
            tweak(options);
        player = std::make_unique<emu::Emulator>(options);
        std::string err;
        if (!player->Start(&err))
            ADD_FAILURE() << "player did not start: " << err;
        setenv(zvc450::kVusbEnv, socket.c_str(), 1);
        ZVC450_SetExpectedFirmwareVersion(0);
        Open();
    }
    ~EmuSession()
    {
        Close();
        player.reset();
    }
    void Open()
    {
        if (!h && !ZVC450_Open(&h))
            ADD_FAILURE() << "library did not open the player: error " << ZVC450_GetError();
    }
    void Close()
    {
        if (h) {
            ZVC450_Close(h);
            ZVC450_Free(h);
        }
        h = nullptr;
    }
    std::string Internal() const { return options.state.folder + "/internal.img"; }
    // Unplugs the player, lets offline work touch its images, plugs it in again.
    void Restart(const std::function<void()> &offline)
    {
        Close();
        player.reset();
        offline();
        player = std::make_unique<emu::Emulator>(options);
        std::string err;
        if (!player->Start(&err))
            ADD_FAILURE() << "player did not start again: " << err;
        Open();
    }
};

// ---- Listings ----------------------------------------------------------------------

inline std::string Trim(const char *field, size_t n)
{
    std::string s(field, strnlen(field, n));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The name the program shows: the long name, else BASE.EXT.
inline std::string NameOf(const ZVC450_DIRENTRY &e)
{
    if (e.szLongName[0])
        return e.szLongName;
    std::string base = Trim(e.szName, 8), ext = Trim(e.szExt, 3);
    return ext.empty() ? base : base + "." + ext;
}

struct Listing {
    ZVC450_SUMMARY summary{};
    std::vector<ZVC450_DIRENTRY> files, dirs;
    int IndexOf(const std::string &name) const
    {
        for (size_t i = 0; i < files.size(); ++i)
            if (NameOf(files[i]) == name)
                return int(i);
        return -1;
    }
    const ZVC450_DIRENTRY *Dir(const std::string &name) const
    {
        for (const ZVC450_DIRENTRY &d : dirs)
            if (NameOf(d) == name)
                return &d;
        return nullptr;
    }
};

// Lists a memory as the program does: grows the arrays in steps of 512
// records until everything fits.
inline bool List(HZVC450 h, int memory, Listing *out)
{
    int capacity = 512;
    for (;;) {
        out->files.assign(size_t(capacity), ZVC450_DIRENTRY{});
        out->dirs.assign(size_t(capacity), ZVC450_DIRENTRY{});
        int nFiles = capacity, nDirs = capacity;
        if (!ZVC450_RefreshEx(h, memory, &out->summary, out->files.data(), &nFiles, out->dirs.data(), &nDirs))
            return false;
        if (int(out->summary.dwFilesFound) > capacity || int(out->summary.dwDirsFound) > capacity) {
            capacity += 512;
            continue;
        }
        out->files.resize(size_t(nFiles));
        out->dirs.resize(size_t(nDirs));
        return true;
    }
}

// A file's bytes as mtools reads them from an image.
inline bool MtoolsRead(const std::string &image, const std::string &path, Bytes *content)
{
    TempDir tmp;
    const std::string dest = tmp / "out";
    if (RunTool("mcopy -n -o -i '" + image + "' '::" + path + "' '" + dest + "'") != 0)
        return false;
    *content = ReadFile(dest);
    return true;
}

// ---- A scripted link ---------------------------------------------------------------

class ScriptLink final : public zvc450::Transport {
public:
    std::vector<Bytes> written;   // every OUT transfer
    std::vector<int> readSizes;   // the length of every IN transfer asked for
    std::deque<Bytes> toRead;     // IN transfers still to come
    int controlRequests = 0;
    int drains = 0;
    std::function<void(const Bytes &)> onWrite;

    OpenStatus open(const std::vector<zvc450::UsbId> &, int *) override { return OpenStatus::Opened; }
    void close() override {}
    bool present(const std::vector<zvc450::UsbId> &) override { return true; }
    uint32_t linkId() const override { return 1; }
    uint32_t deviceId() const override { return 1; }
    int write(const void *buf, int len, unsigned) override
    {
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

// A handle on a ScriptLink with the given effective firmware version.
struct ScriptedPlayer {
    zvc450::DeviceRecord record{1, 1, std::make_unique<ScriptLink>()};
    ScriptLink &link = static_cast<ScriptLink &>(*record.transport);
    explicit ScriptedPlayer(unsigned firmware)
    {
        zvc450::g_lib.effectiveFw = firmware;
        ZVC450_SetError(0);
    }
    HZVC450 h() { return &record; }
    void Answer(const Bytes &a) { link.toRead.push_back(a); }
};

// A framed 512-byte answer: "#", L, ":", body, "." and zero padding.  A
// body that fills the packet has no room for the ".", as with the player.
inline Bytes Framed(const Bytes &body)
{
    Bytes p(zvc450::kPacketSize, 0);
    const unsigned L = unsigned(body.size()) + 2;
    p[0] = '#';
    p[1] = uint8_t(L >> 8);
    p[2] = uint8_t(L);
    p[3] = ':';
    std::memcpy(p.data() + 4, body.data(), body.size());
    if (4 + body.size() < p.size())
        p[4 + body.size()] = '.';
    return p;
}
inline Bytes Ok(Bytes fields = {})
{
    fields.insert(fields.begin(), 0);
    return Framed(fields);
}
inline Bytes Refused(uint8_t code) { return Framed(Bytes{1, code}); }

// ---- Listing wire: slots, blocks, headers ---------------------------------------------

// A 32-byte short slot.
inline Bytes ShortSlot(const char *name11, uint8_t attr, uint16_t cluster = 0, uint32_t size = 0)
{
    Bytes s(32, 0);
    std::memcpy(s.data(), name11, 11);
    s[11] = attr;
    zvc450::putLE16(s.data() + 26, cluster);
    zvc450::putLE32(s.data() + 28, size);
    return s;
}

// A long-name slot with ordinal byte ord holding up to 13 ASCII characters.
inline Bytes LongSlot(uint8_t ord, const std::string &part)
{
    static const int offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes s(32, 0);
    s[0] = ord;
    s[11] = 0x0F;
    for (int i = 0; i < 13; ++i) {
        uint16_t c = i < int(part.size()) ? uint8_t(part[size_t(i)]) : i == int(part.size()) ? 0 : 0xFFFF;
        s[size_t(offs[i])] = uint8_t(c);
        s[size_t(offs[i]) + 1] = uint8_t(c >> 8);
    }
    return s;
}

// Slot blocks of 512 bytes from a list of slots.
inline std::vector<Bytes> Blocks(const std::vector<Bytes> &slots)
{
    Bytes all;
    for (const Bytes &s : slots)
        all.insert(all.end(), s.begin(), s.end());
    all.resize((all.size() + 511) / 512 * 512, 0);
    std::vector<Bytes> out;
    for (size_t at = 0; at < all.size(); at += 512)
        out.emplace_back(all.begin() + long(at), all.begin() + long(at + 512));
    return out;
}

inline Bytes ListingHeader(unsigned files, unsigned slots, unsigned total = 500, unsigned used = 7)
{
    Bytes f(9, 0);  // after the status byte: byte 5, then 6..13
    zvc450::putBE16(f.data() + 1, files);
    zvc450::putBE16(f.data() + 3, slots);
    zvc450::putBE16(f.data() + 5, total);
    zvc450::putBE16(f.data() + 7, used);
    return Ok(f);
}

// The body of a command packet from offset 4 up to its terminator.
inline std::string Body(const Bytes &packet)
{
    const unsigned L = unsigned(packet[1]) << 8 | packet[2];
    return std::string(packet.begin() + 4, packet.begin() + 2 + long(L));
}

}  // namespace fileops
