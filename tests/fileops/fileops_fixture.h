// fileops_fixture.h - what the file-operation tests share.
//
// EmuSession: the emulated player in a thread of the test, on a fresh state
//   folder and socket, with the library opened on it (ZVC450_VUSB).
// ScriptedPlayer: a handle on an in-memory link, for byte-level checks
//   without a player.
// Helpers for local files, listings and mtools; the answer builder, the
// temporary folder and the links come from tests/support.
#pragma once

#include "answers.h"
#include "emulated_player.h"
#include "memory_link.h"
#include "protocol.h"
#include "temp_dir.h"
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

using zvc450test::Blocks;
using zvc450test::Body;
using zvc450test::Bytes;
using zvc450test::framedAnswer;
using zvc450test::ListingHeader;
using zvc450test::LongSlot;
using zvc450test::okAnswer;
using zvc450test::refusedAnswer;
using zvc450test::ShortSlot;
using zvc450test::TempDir;

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

struct EmuSession : zvc450test::EmulatedPlayer {
    explicit EmuSession(const std::string &version, const Tweak &tweak = nullptr)
        : EmulatedPlayer(version, tweak, "zvc450-fileops-")
    {
        if (!ok())
            ADD_FAILURE() << error;
    }
    std::string Internal() const { return StateFile("internal.img"); }
    void Restart(const std::function<void()> &offline)
    {
        if (!EmulatedPlayer::Restart(offline))
            ADD_FAILURE() << error;
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

// A handle on an in-memory link with the given effective firmware version.
struct ScriptedPlayer : zvc450test::MemoryHandle {
    explicit ScriptedPlayer(unsigned firmware)
    {
        zvc450::g_lib.effectiveFw = firmware;
        ZVC450_SetError(0);
    }
    void Answer(const Bytes &a) { link.toRead.push_back(a); }
};

}  // namespace fileops
