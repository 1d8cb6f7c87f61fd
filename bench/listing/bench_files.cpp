// bench_files - many small files through the library and the emulated
// player, against mtools copying the same files into and out of the same
// image.
//
//   bench_files [files] [KiB] [rounds]    default 500 files of 20 KiB, best of 3
//
// Library round: make directory MANY, download every file into it, list it,
// upload every file back, compare, delete them all.  mtools round: one mcopy
// of all files into ::MANY2 and one out of it (one process each way, its best
// case), compare, mdeltree.  Down and up are timed separately; the
// set-up steps (directory, listing, delete) are not.
#include "bench_common.h"

#include <sys/wait.h>

#include <fstream>
#include <map>

namespace {

bool Run(const std::string &command)
{
    const std::string cmd = "MTOOLS_SKIP_CHECK=1 " + command + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SameFile(const std::string &path, const std::vector<char> &want)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return got == want;
}

std::string Name(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "track %03d.mp3", i);
    return name;
}

struct Times {
    double down = 1e9, up = 1e9;
};

bool LibraryRound(HZVC450 h, const std::string &src, const std::string &back,
                  const std::vector<std::vector<char>> &data, Times *t)
{
    const int files = int(data.size());
    if (!ZVC450_MakeDirectory(h, 0, "MANY") || !bench::EnterDirectory(h, "MANY"))
        return false;
    auto start = bench::Clock::now();
    for (int i = 0; i < files; ++i)
        if (!ZVC450_Download(nullptr, h, 0, (src + "/" + Name(i)).c_str()))
            return false;
    t->down = std::min(t->down, bench::Seconds(start));

    std::vector<ZVC450_DIRENTRY> entries(size_t(files) + 16);
    int count = int(entries.size());
    if (!ZVC450_Refresh(h, 0, nullptr, entries.data(), &count))
        return false;
    std::map<std::string, int> index;  // name -> file index
    for (int i = 0, file = 0; i < count; ++i)
        if (!(entries[size_t(i)].bAttribute & 0x10))
            index[entries[size_t(i)].szLongName] = file++;
    if (int(index.size()) != files)
        return false;
    start = bench::Clock::now();
    for (int i = 0; i < files; ++i)
        if (!ZVC450_Upload(nullptr, h, 0, index[Name(i)], (back + "/" + Name(i)).c_str(), nullptr,
                           unsigned(data[size_t(i)].size()), 0))
            return false;
    t->up = std::min(t->up, bench::Seconds(start));
    for (int i = 0; i < files; ++i)
        if (!SameFile(back + "/" + Name(i), data[size_t(i)]))
            return false;

    for (int i = files - 1; i >= 0; --i)  // from the end: indexes stay valid
        if (!ZVC450_Delete(nullptr, h, 0, i, nullptr))
            return false;
    // Back to the root and remove the empty directory.
    std::vector<ZVC450_DIRENTRY> f(4), d(4);
    int nf = 4, nd = 4;
    if (!ZVC450_RefreshEx(h, 0, nullptr, f.data(), &nf, d.data(), &nd))
        return false;
    unsigned self = 0;
    for (int i = 0; i < nd; ++i) {
        if (std::strncmp(d[size_t(i)].szName, ".       ", 8) == 0)
            self = d[size_t(i)].dwFirstCluster & 0xFFFF;
        if (std::strncmp(d[size_t(i)].szName, "..      ", 8) == 0 &&
            !ZVC450_ChangeDirectory(h, 0, d[size_t(i)].dwFirstCluster & 0xFFFF))
            return false;
    }
    return self && ZVC450_RemoveDirectory(h, 0, self);
}

bool MtoolsRound(const std::string &image, const std::string &src, const std::string &back,
                 const std::vector<std::vector<char>> &data, Times *t)
{
    if (!Run("mmd -i '" + image + "' ::MANY2"))
        return false;
    auto start = bench::Clock::now();
    if (!Run("mcopy -i '" + image + "' '" + src + "'/* ::MANY2/"))
        return false;
    t->down = std::min(t->down, bench::Seconds(start));
    if (!Run("rm -f '" + back + "'/*"))
        return false;
    start = bench::Clock::now();
    if (!Run("mcopy -n -i '" + image + "' '::MANY2/*' '" + back + "/'"))
        return false;
    t->up = std::min(t->up, bench::Seconds(start));
    for (size_t i = 0; i < data.size(); ++i)
        if (!SameFile(back + "/" + Name(int(i)), data[i]))
            return false;
    return Run("mdeltree -i '" + image + "' ::MANY2");
}

}  // namespace

int main(int argc, char **argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 500;
    const unsigned kib = argc > 2 ? unsigned(std::atoi(argv[2])) : 20;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

    zvc450test::TempDir dir("zvc450-bench-");
    const std::string src = dir.path() + "/src", back = dir.path() + "/back", state = dir.path() + "/state";
    if (std::system(("mkdir -p '" + src + "' '" + back + "' '" + state + "'").c_str()) != 0)
        return 1;
    std::vector<std::vector<char>> data(size_t(files), std::vector<char>(kib * 1024));
    uint32_t x = 777;
    for (int i = 0; i < files; ++i) {
        for (char &c : data[size_t(i)]) {
            x = x * 1103515245u + 12345;
            c = char(x >> 16);
        }
        std::ofstream(src + "/" + Name(i), std::ios::binary)
            .write(data[size_t(i)].data(), std::streamsize(data[size_t(i)].size()));
    }

    const uint64_t bytes = 64ull << 20;
    Times lib, mt;
    bool ok = true;
    {
        bench::Player player(state, bytes);
        for (int r = 0; r < rounds && ok; ++r)
            ok = LibraryRound(player.h, src, back, data, &lib);
        if (!ok)
            std::fprintf(stderr, "library round failed: error %d/%d\n", ZVC450_GetError(),
                         ZVC450_GetInternalError());
    }
    const std::string image = state + "/internal.img";
    for (int r = 0; r < rounds && ok; ++r)
        ok = MtoolsRound(image, src, back, data, &mt);
    if (!ok) {
        std::fprintf(stderr, "a round failed\n");
        return 1;
    }
    // One line per figure: what, seconds, and the peer's seconds.
    std::printf("%d files of %u KiB, best of %d rounds\n", files, kib, rounds);
    std::printf("library download (PC->player) %.3f s, mtools copy into image %.3f s, ratio %.2f\n", lib.down,
                mt.down, mt.down / lib.down);
    std::printf("library upload (player->PC) %.3f s, mtools copy out of image %.3f s, ratio %.2f\n", lib.up,
                mt.up, mt.up / lib.up);
    std::printf("peak %ld KiB\n", bench::PeakKiB());
    return 0;
}
