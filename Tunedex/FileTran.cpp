#include "FileTran.h"

#include <algorithm>

void HFileTransferList::add(const QString &name, int fileIndex, quint32 size,
                            std::optional<QString> secondName)
{
    m_items.append(FileTransferItem{fileIndex, size, name, std::move(secondName)});
}

bool HFileTransferList::getAt(int position, QString *name, int *fileIndex, quint32 *size,
                              std::optional<QString> *secondName) const
{
    if (position < 0 || position >= count())
        return false;
    const FileTransferItem &item = m_items.at(position);
    if (name)
        *name = item.name;
    if (fileIndex)
        *fileIndex = item.fileIndex;
    if (size)
        *size = item.size;
    if (secondName)
        *secondName = item.secondName;
    return true;
}

QString HFileTransferList::fileNamePart(const QString &path)
{
    // Paths may come from the device or from a dropped Windows-style text, so
    // both separators count.
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

bool HFileTransferList::containsFileName(const QString &path) const
{
    const QString wanted = fileNamePart(path);
    return std::any_of(m_items.cbegin(), m_items.cend(), [&wanted](const FileTransferItem &item) {
        return fileNamePart(item.name).compare(wanted, Qt::CaseInsensitive) == 0;
    });
}

void HFileTransferList::removeAt(int position)
{
    if (position >= 0 && position < count())
        m_items.removeAt(position);
}
