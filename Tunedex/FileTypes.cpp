#include "FileTypes.h"

#include <QCoreApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>

int HFileTypes::typeFor(const QString &name, bool folder)
{
    // Folders share the entry "/"; files share one entry per extension, lower case.
    QString key;
    if (folder) {
        key = QStringLiteral("/");
    } else {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            key = name.mid(dot).toLower();
        else if (m_dotless == Dotless::WholeName)
            key = name.toLower();
    }
    const auto it = m_index.constFind(key);
    if (it != m_index.cend())
        return it.value();

    const QMimeDatabase db;
    const QFileIconProvider provider;
    Type type;
    if (folder) {
        const QMimeType mime = db.mimeTypeForName(QStringLiteral("inode/directory"));
        type.name = mime.isValid() ? mime.comment() : QCoreApplication::translate("HFileTypes", "Folder");
        type.icon = provider.icon(QFileIconProvider::Folder);
    } else {
        // An extension is looked up on a name that has it ("x.mp3"); a whole name as it is.
        const QMimeType mime = key.isEmpty() ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
                               : key.startsWith(QLatin1Char('.'))
                                   ? db.mimeTypeForFile(QStringLiteral("x") + key, QMimeDatabase::MatchExtension)
                                   : db.mimeTypeForFile(key, QMimeDatabase::MatchExtension);
        type.name = mime.comment();
        const QIcon fallback = provider.icon(QFileIconProvider::File);
        type.icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    }
    const int index = int(m_types.size());
    m_types.push_back(std::move(type));
    m_index.insert(key, index);
    return index;
}

QString HFileTypes::name(int type) const
{
    return type >= 0 && size_t(type) < m_types.size() ? m_types[size_t(type)].name : QString();
}

QIcon HFileTypes::icon(int type) const
{
    return type >= 0 && size_t(type) < m_types.size() ? m_types[size_t(type)].icon : QIcon();
}
