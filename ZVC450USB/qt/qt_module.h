// qt_module.h - inside the library's Qt module (see src/qt_interface.h).
#pragma once

#include "qt_interface.h"

namespace zvc450 {
namespace qt {

bool HasApplication();  // a QApplication (not just a core application) exists

// The window functions of the table (progress_qt.cpp).
void *CreateWindow(int kind, void *owner, unsigned *flags, unsigned cancelBit, const char *caption,
                   const char *index, const char *status);
void SetText(void *window, int field, const char *text);
void SetBar(void *window, unsigned minimum, unsigned maximum, unsigned position);
void DestroyWindow(void *window);

}  // namespace qt
}  // namespace zvc450
