// "ZVC450 LCD Font Information": the name and size of the font stored on the player.
#pragma once

#include "zvs450.h"  // the records the session reads from the player

#include <QDialog>

class QLineEdit;

class HFontInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit HFontInfoDlg(QWidget *parent = nullptr);

    // Reads the font record from the player; false (the session has shown why) when
    // there is none: the record is cleared.
    bool load();
    void setInfo(const ZVC450_FONTINFO &info);
    const ZVC450_FONTINFO &info() const { return m_info; }
    QString sizeText() const;
    QString nameText() const;

    // Reads the record first; without one the dialog is not shown and the result is 0.
    int exec() override;

private:
    ZVC450_FONTINFO m_info{};
    QLineEdit *m_size = nullptr;
    QLineEdit *m_name = nullptr;
};
