// "Disk Medium Information": everything the player reports about one memory, read once
// when the dialog opens: the medium's state, type and block counts, and its FAT
// parameters. Read-only; a player that does not answer leaves every field empty.
#pragma once

#include "zvs450.h"  // the records the session reads from the player

#include <QDialog>
#include <QMap>

class QLineEdit;

class HDiskInfoDlg : public QDialog {
    Q_OBJECT
public:
    // Value fields by their control numbers, in the order the dialog lists them.
    static const QList<int> &fieldIds();

    explicit HDiskInfoDlg(QWidget *parent = nullptr);

    void setMemoryIndex(int memory) { m_memory = memory; }
    int memoryIndex() const { return m_memory; }
    // Reads the medium information of the memory and fills the fields (done once when
    // the dialog is first shown). False when the player gave none.
    bool load();
    QString fieldText(int id) const;

    // The sixteen texts of a medium-info record, by control number.
    static QMap<int, QString> fieldTexts(const ZVC450_MEDIUMINFO &info);
    // "%d (%d %s)": a block count and its size in KB below 1 MB, else in MB, rounded up.
    static QString blockText(unsigned blocks);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void setTexts(const QMap<int, QString> &texts);

    int m_memory = 0;
    bool m_loaded = false;
    QMap<int, QLineEdit *> m_fields;
};
