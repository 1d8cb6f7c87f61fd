// qt_app.h - a QApplication for one test of the library's Qt windows (each
// test runs in a process of its own; the platform is offscreen there).
#pragma once

#include <QApplication>

namespace zvc450test {

struct QtApp {
    int argc = 1;
    char name[16] = "zvc450-test";
    char *argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

}  // namespace zvc450test
