#pragma once
// The icon and type name of each kind of file in the explorer lists, looked up
// once per kind: a folder of many thousands of files costs one lookup per
// extension, not one per row. Both panes keep one.

#include <QHash>
#include <QIcon>
#include <QString>

#include <vector>

class HFileTypes
{
public:
    // How a name without a dot is typed. The device view gives it what the type
    // database says of the whole name used as an extension ("Makefile",
    // "README" may be known), as the player's PC software always did; the
    // desktop view gives every such name the one generic kind of data file.
    enum class Dotless { WholeName, Generic };

    explicit HFileTypes(Dotless dotless) : m_dotless(dotless) {}

    // The entry of a file by the extension of its name (the text from its last
    // "."), or the one entry of all folders; made at the first call for a kind.
    int typeFor(const QString &name, bool folder);
    // Empty for an entry that does not exist.
    QString name(int type) const;
    QIcon icon(int type) const;
    int count() const { return int(m_types.size()); }

private:
    struct Type {
        QString name;
        QIcon icon;
    };
    Dotless m_dotless;
    std::vector<Type> m_types;
    QHash<QString, int> m_index;
};
