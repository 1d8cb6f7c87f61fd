// Names as the player's FAT file systems take them: which names cannot stand
// there at all, and the characters a name from the PC must lose on the way.

#include "zvs450.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

// No FAT name, short or long, can hold these; on Linux the first two are
// ordinary characters of a file name.
bool unstorable(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || QStringView(u":\\\"*<>?|/").contains(c);
}

// 'x' for a visible character, U+0001 for a control character.
QString quoted(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F)
        return QStringLiteral("U+%1").arg(unsigned(u), 4, 16, QLatin1Char('0')).toUpper();
    return QLatin1Char('\'') + c + QLatin1Char('\'');
}

} // namespace

QString zvs450_UnstorableCharacters(const QString &name)
{
    QString found;
    for (const QChar c : name)
        if (unstorable(c) && !found.contains(c))
            found += c;
    return found;
}

QString zvs450_StorableName(const QString &name)
{
    QString stored = name;
    for (QChar &c : stored)
        if (unstorable(c))
            c = QLatin1Char('_');
    return stored;
}

QString zvs450_DescribeCharacters(const QString &characters)
{
    QStringList parts;
    for (const QChar c : characters)
        parts << quoted(c);
    if (parts.size() < 2)
        return parts.join(QString());
    const QString last = parts.takeLast();
    return QCoreApplication::translate("TuneDeck", "%1 and %2", "the last of several characters")
        .arg(parts.join(QCoreApplication::translate("TuneDeck", ", ", "between characters")), last);
}

QString zvs450_NameProblem(const QString &name)
{
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QCoreApplication::translate("TuneDeck",
                                           "\".\" and \"..\" stand for a folder itself and the one above it; they cannot be names.");
    if (name.trimmed().isEmpty())
        return QCoreApplication::translate("TuneDeck", "A name cannot be blank.");
    const QString characters = zvs450_UnstorableCharacters(name);
    if (!characters.isEmpty())
        return (characters.size() == 1
                    ? QCoreApplication::translate("TuneDeck", "The player cannot store the character %1 in a name.")
                    : QCoreApplication::translate("TuneDeck", "The player cannot store the characters %1 in a name."))
            .arg(zvs450_DescribeCharacters(characters));
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QCoreApplication::translate("TuneDeck", "A name on the player cannot end in a dot or a space.");
    return QString();
}
