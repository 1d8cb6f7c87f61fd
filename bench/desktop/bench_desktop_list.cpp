// How long the desktop view takes to list, sort and paint a folder of many files.
// Usage: bench_desktop_list [files]   (default 20000; run with QT_QPA_PLATFORM=offscreen)
#include "DeskView.h"
#include "FileListCtrl.h"
#include "RegKeys.h"
#include "qt_bench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    bench::QtBench app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;

    QTemporaryDir dir;
    const char *const exts[] = {".mp3", ".wav", ".txt", ".jpg", ".bcw", ""};
    for (int i = 0; i < files; ++i) {
        QFile f(dir.path() + QStringLiteral("/track %1%2").arg(i, 6, 10, QLatin1Char('0')).arg(QLatin1String(exts[i % 6])));
        if (!f.open(QIODevice::WriteOnly) || !f.resize(i % 5000))
            return 1;
    }
    RegKeys::setLastDirectory(dir.path());

    HDesktopView view;
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();

    auto timeIt = [](const char *what, auto &&fn) {
        QElapsedTimer t;
        t.start();
        fn();
        std::printf("%-28s %8.1f ms\n", what, double(t.nsecsElapsed()) / 1e6);
    };
    timeIt("list folder", [&] { view.listCurrentPlace(); });
    timeIt("list folder again", [&] { view.listCurrentPlace(); });
    timeIt("sort by size", [&] { view.sortByColumnClick(1); });
    timeIt("sort by name", [&] { view.sortByColumnClick(0); });
    timeIt("sort by type", [&] { view.sortByColumnClick(2); });
    timeIt("paint list", [&] { view.list()->viewport()->grab(); });
    timeIt("select all + collect", [&] {
        view.list()->selectAll();
        HFileTransferList list;
        view.collectSelection(list);
    });
    std::printf("rows %d, type entries %d\n", view.model()->rowCount(), view.model()->typeCount());
    return 0;
}
