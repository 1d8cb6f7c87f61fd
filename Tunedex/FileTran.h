#pragma once
// FileTran: the transfer list that carries a batch of chosen files from the
// pane where they were chosen to the pane that receives them, and on to the
// device session's uploads and downloads. Items run in the order they were
// added. A list lives only as long as the pane operation that runs the transfer.

#include <QList>
#include <QString>

#include <optional>

struct FileTransferItem {
    // Device file: its index in the memory's current directory. PC file: the
    // row in the desktop listing, or -1 for a file dropped from the shell.
    int fileIndex = -1;
    // Device file: its size in bytes; 0 for PC files.
    quint32 size = 0;
    // PC file: its full path. Device file: its display name.
    QString name;
    // Not set by the views.
    std::optional<QString> secondName;
};

class HFileTransferList
{
public:
    using const_iterator = QList<FileTransferItem>::const_iterator;

    void add(const QString &name, int fileIndex, quint32 size,
             std::optional<QString> secondName = std::nullopt);

    // Copies the item at position (0 = the first added) into the outputs that
    // are not null; false when the position is outside the list.
    bool getAt(int position, QString *name, int *fileIndex = nullptr, quint32 *size = nullptr,
               std::optional<QString> *secondName = nullptr) const;
    const FileTransferItem &at(int position) const { return m_items.at(position); }

    // True when the file-name part of path (the text after its last "\" or
    // "/") equals the file-name part of some item's name, ignoring case.
    bool containsFileName(const QString &path) const;

    // Removing outside the list does nothing.
    void removeAt(int position);
    void removeAll() { m_items.clear(); }

    int count() const { return static_cast<int>(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }
    const_iterator begin() const { return m_items.cbegin(); }
    const_iterator end() const { return m_items.cend(); }

    // The file-name part of a PC path or device name, as containsFileName sees it.
    static QString fileNamePart(const QString &path);

private:
    QList<FileTransferItem> m_items;
};
