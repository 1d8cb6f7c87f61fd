// bench_transfer - how fast a file moves through the library and the
// emulated player, measured against mtools moving the same file into and
// out of the same FAT image directly.
//
//   bench_transfer [MiB] [rounds]      default 32 MiB, best of 5 rounds
//
// The image is 32 MiB larger than the file, at most 1 GiB (the largest the
// player's FAT16 with 16 KiB clusters can be): 992 MiB is the 1 GiB image
// case, a file of some 63,500 clusters read back in 16 KiB transfers.
//
// Prints the times, the speeds and the ratios library / mtools (1.0 means
// as fast as mtools; the target is at least 0.5).

#include "emulated_player.h"
#include "protocol.h"
#include "temp_dir.h"
#include "zvc450usb.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool Run(const std::string &command)
{
    const std::string cmd = "MTOOLS_SKIP_CHECK=1 " + command + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SameFiles(const std::string &a, const std::string &b)
{
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), size_t(fa.gcount())) != 0)
            return false;
        if (fa.gcount() == 0)
            return true;
    }
}

struct Times {
    double down = 1e9, up = 1e9;
};

// One library round: download, find, upload, delete.  False on any failure.
bool LibraryRound(HZVC450 h, const std::string &src, const std::string &back, unsigned size, Times *t)
{
    auto start = Clock::now();
    if (!ZVC450_Download(nullptr, h, 0, src.c_str()))
        return false;
    t->down = std::min(t->down, Seconds(start));
    std::vector<ZVC450_DIRENTRY> files(64);
    int count = 64;
    if (!ZVC450_Refresh(h, 0, nullptr, files.data(), &count) || count < 1)
        return false;
    int index = -1;
    for (int i = 0; i < count; ++i)
        if (std::strncmp(files[size_t(i)].szName, "BENCH   ", 8) == 0)
            index = i;
    if (index < 0)
        return false;
    start = Clock::now();
    if (!ZVC450_Upload(nullptr, h, 0, index, back.c_str(), nullptr, size, 0))
        return false;
    t->up = std::min(t->up, Seconds(start));
    if (!SameFiles(src, back))
        return false;
    return ZVC450_Delete(nullptr, h, 0, index, "BENCH.BIN") != 0;
}

bool MtoolsRound(const std::string &image, const std::string &src, const std::string &back, Times *t)
{
    auto start = Clock::now();
    if (!Run("mcopy -o -i '" + image + "' '" + src + "' ::BENCH.BIN"))
        return false;
    t->down = std::min(t->down, Seconds(start));
    start = Clock::now();
    if (!Run("mcopy -n -o -i '" + image + "' ::BENCH.BIN '" + back + "'"))
        return false;
    t->up = std::min(t->up, Seconds(start));
    if (!SameFiles(src, back))
        return false;
    return Run("mdel -i '" + image + "' ::BENCH.BIN");
}

}  // namespace

int main(int argc, char **argv)
{
    const unsigned mib = argc > 1 ? unsigned(std::atoi(argv[1])) : 32;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (mib < 1 || mib > 992) {
        std::fprintf(stderr, "bench_transfer: the file is 1 to 992 MiB\n");
        return 2;
    }
    const unsigned size = mib << 20;

    const zvc450test::TempDir dir("zvc450-bench-");
    const std::string src = dir / "BENCH.BIN", back = dir / "back.bin";
    {
        std::ofstream out(src, std::ios::binary);
        std::vector<char> data(1 << 20);
        uint32_t x = 12345;
        for (unsigned m = 0; m < mib; ++m) {
            for (char &c : data) {
                x = x * 1103515245u + 12345;
                c = char(x >> 16);
            }
            out.write(data.data(), std::streamsize(data.size()));
        }
    }

    Times lib, mt;
    bool ok = true;
    const std::string state = dir / "state";
    {
        zvc450test::EmulatedPlayer player("1.43", [&](emu::EmulatorOptions &o) {
            o.state = emu::StateOptions();
            o.state.folder = state;
            o.state.internalBytes = uint64_t(std::min(mib + 32, 1024u)) << 20;
        });
        if (!player.ok()) {
            std::fprintf(stderr, "%s\n", player.error.c_str());
            return 1;
        }
        for (int r = 0; r < rounds && ok; ++r)
            ok = LibraryRound(player.h, src, back, size, &lib);
        if (!ok)
            std::fprintf(stderr, "library round failed: error %d/%d\n", ZVC450_GetError(), ZVC450_GetInternalError());
    }
    const std::string image = state + "/internal.img";
    for (int r = 0; r < rounds && ok; ++r)
        ok = MtoolsRound(image, src, back, &mt);
    if (!ok) {
        std::fprintf(stderr, "a round failed\n");
        return 1;
    }

    const double mb = double(size) / 1e6;
    std::printf("%u MiB, best of %d rounds\n", mib, rounds);
    std::printf("%-28s %8s %10s\n", "", "seconds", "MB/s");
    std::printf("%-28s %8.3f %10.1f\n", "library download (PC->player)", lib.down, mb / lib.down);
    std::printf("%-28s %8.3f %10.1f\n", "mtools copy into image", mt.down, mb / mt.down);
    std::printf("%-28s %8.3f %10.1f\n", "library upload (player->PC)", lib.up, mb / lib.up);
    std::printf("%-28s %8.3f %10.1f\n", "mtools copy out of image", mt.up, mb / mt.up);
    std::printf("ratio download: %.2f   ratio upload: %.2f   (library speed / mtools speed; target >= 0.5)\n",
                mt.down / lib.down, mt.up / lib.up);
    return 0;
}
