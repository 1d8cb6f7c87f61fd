// bench_device_view - refreshing the device memory view (HMp3MemView) on a
// directory of many files of the emulated player, through the device session.
//
//   bench_device_view [files] [rounds]    default 10000 files, best of 3
//
// One refresh is what the program does on F5: a forced listing of the
// directory through the session and the library, the rows rebuilt, sorted
// and shown.  The first paint of the list is timed apart.
#include "bench_common.h"

#include "Mp3MemVw.h"
#include "FileListCtrl.h"
#include "qt_bench.h"
#include "zvs450.h"

#include <QApplication>
#include <QElapsedTimer>

int main(int argc, char **argv)
{
    bench::QtBench app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    zvc450test::TempDir dir("zvc450-bench-");
    const std::string state = dir.path() + "/state";
    const uint64_t bytes = 64ull << 20;
    if (!bench::FillState(state, bytes, files))
        return 1;
    emu::EmulatorOptions opt;
    opt.state.folder = state;
    opt.state.internalBytes = bytes;
    opt.socketPath = state + "/link";
    emu::Emulator player(opt);
    std::string err;
    if (!player.Start(&err)) {
        std::fprintf(stderr, "emulator: %s\n", err.c_str());
        return 1;
    }
    qputenv("ZVC450_VUSB", QByteArray::fromStdString(opt.socketPath));
    zvs450_Initialize();
    int count = 0, mask = 0;
    if (!zvs450_Connect(true, &count, &mask) || zvs450_ChangeDirectory(0, bench::kFilledDirKey) != 0) {
        std::fprintf(stderr, "session: cannot connect or enter the directory\n");
        return 1;
    }

    HMp3MemView view;
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();
    double best = 1e9, paint = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        view.refresh(true, 0);
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
        if (r == 0) {
            t.restart();
            view.list()->viewport()->grab();
            paint = double(t.nsecsElapsed()) / 1e6;
        }
    }
    // Rows: the files and the "." and ".." of the sub-directory.
    const int rows = view.model()->rowCount();
    zvs450_Terminate();
    if (rows < files) {
        std::fprintf(stderr, "the view shows %d rows for %d files\n", rows, files);
        return 1;
    }
    std::printf("device view %d files: refresh %.1f ms (best of %d), first paint %.1f ms, rows %d, peak %ld KiB\n",
                files, best, rounds, paint, rows, bench::PeakKiB());
    return 0;
}
