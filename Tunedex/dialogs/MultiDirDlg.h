// "Make Multiple Directory": a name pattern, a start index and a count for the device
// view's command that makes a run of numbered directories. The pattern last accepted is
// offered again for as long as the program runs.
#pragma once

#include <QDialog>

class QLineEdit;

class HMultiDirDlg : public QDialog {
    Q_OBJECT
public:
    explicit HMultiDirDlg(QWidget *parent = nullptr);

    QString pattern() const;
    int startIndex() const;
    int count() const;
    void setValues(const QString &pattern, int startIndex, int count);

    // The directory name for a number: "%d" in the pattern (also with a width and a
    // leading zero, "%03d") stands for the number and "%%" for "%"; every other
    // character, a lone "%" included, is kept as it is.
    static QString directoryName(const QString &pattern, int number);
    // The pattern the next opening starts with.
    static QString lastPattern();

    void accept() override;

private:
    QLineEdit *m_pattern = nullptr;
    QLineEdit *m_start = nullptr;
    QLineEdit *m_count = nullptr;
};
