// The tool bar's file-filter box: which files the desktop pane lists.
#pragma once

#include <QComboBox>

class HFileFilterBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kControlId = 150;

    explicit HFileFilterBox(QWidget *parent = nullptr);

    // Selects the entry for a stored filter: "*.mp3" (any case) is the MP3 entry, anything
    // else the all-files entry. Emits nothing.
    void setFilter(const QString &filter);
    QString filter() const;

signals:
    // The user chose an entry: "*.mp3" or "*.*".
    void filterChanged(const QString &filter);
};
