#include "MemPrompter.h"

#include "dialogs/DiskInfoDlg.h"
#include "dialogs/MultiDirDlg.h"
#include "errorsys.h"

#include <QMessageBox>

bool HMemPrompter::confirm(QWidget *owner, const QString &caption, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Information, caption, text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void HMemPrompter::message(QWidget *owner, const QString &caption, const QString &text, Icon icon)
{
    QMessageBox::Icon i = QMessageBox::Information;
    if (icon == Icon::Warning)
        i = QMessageBox::Warning;
    else if (icon == Icon::Stop)
        i = QMessageBox::Critical;
    QMessageBox box(i, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void HMemPrompter::showSystemError(QWidget *owner, int error, const QString &path)
{
    errorsys_Show(error, owner, path);
}

bool HMemPrompter::askMultipleDirectories(QWidget *owner, QString *pattern, int *startIndex, int *count)
{
    HMultiDirDlg dlg(owner);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *pattern = dlg.pattern();
    *startIndex = dlg.startIndex();
    *count = dlg.count();
    return true;
}

void HMemPrompter::showDiskProperties(QWidget *owner, int memory)
{
    HDiskInfoDlg dlg(owner);
    dlg.setMemoryIndex(memory);
    dlg.exec();
}
