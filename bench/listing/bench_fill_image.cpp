// bench_fill_image - an internal-memory image with one directory of many
// files, for benchmarks that run zvc450-emu as a process (bench/run lists it
// with `ls -l` through `zvc450 mount`).
//
//   bench_fill_image IMAGE DIRECTORY FILES [MIB]     default 64 MiB
#include "bench_common.h"

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_fill_image IMAGE DIRECTORY FILES [MIB]\n");
        return 2;
    }
    const uint64_t mib = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 64;
    return bench::FillImage(argv[1], mib << 20, argv[2], std::atoi(argv[3])) ? 0 : 1;
}
