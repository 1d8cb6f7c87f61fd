// qt_interface.h - what the library's Qt module offers the core.
//
// The core library does not link Qt: a command-line process would pay for
// loading the whole toolkit at start.  Everything that draws a Qt window lives
// in zvc450usb/libzvc450usb-qt.so next to the library; the core loads it only
// when the process already has Qt Widgets loaded (the desktop program), and
// otherwise uses its terminal backends.  The module hands over one table of plain C
// functions, so no C++ class crosses the boundary.  When the module's objects
// are linked straight into a program (the static test archive), the core
// finds the same table through zvc450qt_Interface directly.
#pragma once

extern "C" {

// Window kinds and text fields; the values are those of the core's
// detail::WindowKind and ProgressWindow::Field.
enum {
    kZvc450QtTransfer = 0,
    kZvc450QtDeleting = 1,
    kZvc450QtFormat = 2,
};
enum {
    kZvc450QtCaption = 0,
    kZvc450QtIndex = 1,
    kZvc450QtStatus = 2,
    kZvc450QtPercentage = 3,
    kZvc450QtSpeed = 4,
};

struct zvc450qt_Table {
    unsigned size;  // sizeof(zvc450qt_Table) of the module's build

    // A shown dialog of `kind` owned by owner (a QWidget* or null), or null
    // when the process has no QApplication.  Cancel, Esc and closing a
    // transfer window set cancelBit in *flags; the other kinds ignore them.
    void *(*createWindow)(int kind, void *owner, unsigned *flags, unsigned cancelBit, const char *caption,
                          const char *index, const char *status);
    void (*setText)(void *window, int field, const char *text);
    void (*setBar)(void *window, unsigned minimum, unsigned maximum, unsigned position);
    void (*destroyWindow)(void *window);

    // Handles the waiting events; 0 when there is no Qt event loop.
    int (*pumpEvents)(void);

    // Shows text in an application-modal "Error" box owned by owner and
    // returns 1 once it is closed; 0 (nothing shown) without a QApplication.
    int (*showErrorBox)(void *owner, const char *text);

    // As showErrorBox, with the caller's lines (detail, not empty) under the text.
    int (*showErrorBoxDetail)(void *owner, const char *text, const char *detail);
};

// The module's one export.
const zvc450qt_Table *zvc450qt_Interface(void);

}  // extern "C"
