#include "FileTran.h"

#include <gtest/gtest.h>

namespace {

QStringList names(const HFileTransferList &list)
{
    QStringList out;
    for (const FileTransferItem &item : list)
        out << item.name;
    return out;
}

TEST(FileTransferList, ContainsComparesFileNamePartsWithoutCase)
{
    const struct {
        QStringList items;
        const char *path;
        bool expected;
    } rows[] = {
        {{QStringLiteral("A.MP3")}, R"(C:\Music\a.mp3)", true},
        {{QStringLiteral(R"(D:\x\A.Mp3)")}, R"(C:\Music\a.mp3)", true},
        {{QStringLiteral("a.mp3.bak")}, R"(C:\Music\a.mp3)", false},
        {{QStringLiteral("/home/u/Music/Song.mp3")}, "SONG.MP3", true},
        {{QStringLiteral("b.mp3"), QStringLiteral("/x/y\\a.mp3")}, "/music/A.mp3", true},
        {{QStringLiteral("/music/a.mp3")}, "/music/", false},
        {{}, "a.mp3", false},
    };
    for (const auto &row : rows) {
        HFileTransferList list;
        for (const QString &name : row.items)
            list.add(name, -1, 0);
        EXPECT_EQ(list.containsFileName(QString::fromLatin1(row.path)), row.expected)
            << row.path << " in " << row.items.join(QLatin1Char(',')).toStdString();
    }
}

TEST(FileTransferList, KeepsTheOrderOfAddingThroughRemovals)
{
    HFileTransferList list;
    list.add(QStringLiteral("one"), 0, 10);
    list.add(QStringLiteral("two"), 1, 20);
    list.add(QStringLiteral("three"), 2, 30, QStringLiteral("second"));
    list.removeAt(1);
    EXPECT_EQ(names(list), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));

    QString name;
    int index = 0;
    quint32 size = 0;
    std::optional<QString> second;
    ASSERT_TRUE(list.getAt(1, &name, &index, &size, &second));
    EXPECT_EQ(name, QStringLiteral("three"));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(second, QStringLiteral("second"));
    EXPECT_FALSE(list.getAt(2, &name));
    EXPECT_FALSE(list.getAt(-1, &name));
    list.removeAt(5); // outside: nothing happens
    EXPECT_EQ(list.count(), 2);

    list.removeAll();
    EXPECT_TRUE(list.isEmpty());
    list.add(QStringLiteral("again"), -1, 0);
    ASSERT_TRUE(list.getAt(0, &name, nullptr, nullptr, &second));
    EXPECT_EQ(name, QStringLiteral("again"));
    EXPECT_FALSE(second.has_value()) << "an item added without a second name has none";
}

} // namespace
