// bench_listing - listing a directory of many files through the library and
// the emulated player.
//
//   bench_listing [files] [rounds]      default 10000 files, best of 5
//
// The files sit in a sub-directory BIG of the internal memory (a FAT16
// root holds only 512 entries).  One round is one ZVC450_Refresh of that
// directory: the listing command, every 32-byte slot over the link, and the
// library's decoding of the slots into ZVC450_DIRENTRY records.
// Prints "listing <files> files: <ms> ms (best of <rounds>), peak <KiB> KiB".
#include "bench_common.h"

int main(int argc, char **argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    zvc450test::TempDir dir("zvc450-bench-");
    const std::string state = dir.path() + "/state";
    const uint64_t bytes = 64ull << 20;
    if (!bench::FillState(state, bytes, files))
        return 1;

    bench::Player player(state, bytes);
    if (!bench::EnterDirectory(player.h, "BIG")) {
        std::fprintf(stderr, "cannot enter BIG: error %d\n", ZVC450_GetError());
        return 1;
    }
    std::vector<ZVC450_DIRENTRY> entries(size_t(files) + 16);
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        int count = int(entries.size());
        ZVC450_SUMMARY summary{};
        const auto start = bench::Clock::now();
        const int ok = ZVC450_Refresh(player.h, 0, &summary, entries.data(), &count);
        best = std::min(best, bench::Seconds(start));
        // The count includes "." and ".." of the sub-directory.
        if (!ok || summary.dwFilesFound != unsigned(files)) {
            std::fprintf(stderr, "listing failed: ok %d, files %u of %d, error %d/%d\n", ok,
                         summary.dwFilesFound, files, ZVC450_GetError(), ZVC450_GetInternalError());
            return 1;
        }
    }
    std::printf("listing %d files: %.1f ms (best of %d), peak %ld KiB\n", files, best * 1e3, rounds,
                bench::PeakKiB());
    return 0;
}
