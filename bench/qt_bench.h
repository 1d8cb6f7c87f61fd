// qt_bench.h - the QApplication of a benchmark of the program's views: the
// program's settings in a temporary folder, Qt's test mode, and the
// offscreen platform unless the caller names another.
#pragma once

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace bench {

class QtBench {
public:
    QtBench(int &argc, char **argv) : ready_(Prepare(home_)), app_(argc, argv) {}

private:
    static bool Prepare(const QTemporaryDir &home)
    {
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QStandardPaths::setTestModeEnabled(true);
        return true;
    }

    QTemporaryDir home_;
    bool ready_;
    QApplication app_;
};

}  // namespace bench
