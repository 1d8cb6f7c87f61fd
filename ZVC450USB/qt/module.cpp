// module.cpp - the table of libzvc450usb-qt.so: event pumping, the error box
// and the windows of progress_qt.cpp.

#include "qt_module.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace zvc450 {
namespace qt {

bool HasApplication() { return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr; }

namespace {

int PumpEvents() {
    if (QCoreApplication::instance() == nullptr)
        return 0;
    QCoreApplication::processEvents();
    return 1;
}

// The library's text is the box's main text; the caller's lines, when there
// are any, come under it as the box's explanation.
int ShowErrorBoxDetail(void *owner, const char *text, const char *detail) {
    if (!HasApplication())
        return 0;
    QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("ZVC450USB", "Error"), QString::fromUtf8(text), QMessageBox::Ok,
                    static_cast<QWidget *>(owner));
    box.setObjectName(QStringLiteral("zvc450-error"));
    box.setTextFormat(Qt::PlainText);
    if (detail != nullptr && *detail != '\0')
        box.setInformativeText(QString::fromUtf8(detail));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return 1;
}

int ShowErrorBox(void *owner, const char *text) { return ShowErrorBoxDetail(owner, text, nullptr); }

const zvc450qt_Table kTable = {
    sizeof(zvc450qt_Table), CreateWindow, SetText, SetBar, DestroyWindow, PumpEvents, ShowErrorBox, ShowErrorBoxDetail,
};

}  // namespace
}  // namespace qt
}  // namespace zvc450

extern "C" __attribute__((visibility("default"))) const zvc450qt_Table *zvc450qt_Interface(void) {
    return &zvc450::qt::kTable;
}
