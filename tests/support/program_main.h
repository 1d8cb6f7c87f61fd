// program_main.h - main() of a Qt test of the whole program: its settings in a
// folder of the test's own, 8.3 names in the default code page, and the
// program's application object (it tells when the program is busy). The test
// object takes the application.
#pragma once

#include "MainFrm.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace zvc450test {

template <class Test>
int RunProgramTest(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("ZVC450_CODEPAGE", "");
    CTunedexApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    Test test(&app);
    return QTest::qExec(&test, argc, argv);
}

}  // namespace zvc450test
