// Deleting in the desktop pane with a freedesktop trash of the test's own
// (XDG_DATA_HOME in a temporary folder): Delete moves files to the trash, where
// the file manager finds them with their origin; Shift+Delete deletes for good
// after a question that says so; a file that cannot go to the trash is only
// deleted when the user agrees.
#include "DeskView.h"
#include "FileListCtrl.h"
#include "desk_fixture.h"

#include <QStandardPaths>

#include <sys/stat.h>

namespace {

struct ScriptedPrompter : HDeskPrompter {
    QList<bool> answers;
    QStringList questions;
    QList<int> errors;
    bool confirm(QWidget *, const QString &, const QString &text) override
    {
        questions << text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    void showSystemError(QWidget *, int error, const QString &) override { errors << error; }
    void openDocument(const QString &) override {}
    void showProperties(QWidget *, const QString &) override {}
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TrashTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeFolderSource> m_source;
    ScriptedPrompter m_prompter;
    std::unique_ptr<HDesktopView> m_view;
    int m_case = 0;

    QString trash() const { return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash"); }

    QString makeFolder(const QStringList &files)
    {
        const QString dir = m_dir.path() + QStringLiteral("/case%1").arg(++m_case);
        QDir().mkpath(dir);
        for (const QString &name : files) {
            if (name.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(dir + QLatin1Char('/') + name);
                continue;
            }
            QFile f(dir + QLatin1Char('/') + name);
            if (f.open(QIODevice::WriteOnly))
                f.write(name.toUtf8());
        }
        RegKeys::setLastDirectory(dir);
        m_view = std::make_unique<HDesktopView>(nullptr, &m_prompter);
        m_view->resize(600, 400);
        QCoreApplication::processEvents();
        return dir;
    }

    void select(const QStringList &names)
    {
        QList<int> rows;
        for (int r = 0; r < m_view->model()->rowCount(); ++r)
            if (names.contains(m_view->model()->row(r).name))
                rows << r;
        QCOMPARE(rows.size(), names.size());
        m_view->list()->selectRows(rows);
    }

private slots:
    void initTestCase()
    {
        m_source = std::make_unique<FakeFolderSource>(m_dir.path());
        HFolderSource::setInstance(m_source.get());
    }
    void cleanupTestCase() { HFolderSource::setInstance(nullptr); }
    void init()
    {
        clearSettings();
        m_prompter = ScriptedPrompter();
        QDir(trash()).removeRecursively();
    }
    void cleanup() { m_view.reset(); }

    void deleteKeyMovesToTheTrash_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("question");
        QTest::newRow("one file") << QStringList{"one.mp3"}
                                  << "Would delete file one.mp3 ?\nThe file will be moved to the trash.";
        QTest::newRow("two files") << QStringList{"a.mp3", "b b.mp3"}
                                   << "Would you delete the selected file?\nThe files will be moved to the trash.";
    }
    void deleteKeyMovesToTheTrash()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, question);
        const QString dir = makeFolder(names + QStringList{"stays.mp3"});
        select(names);
        m_prompter.answers = {true};
        QTest::keyClick(m_view->list(), Qt::Key_Delete);
        QCOMPARE(m_prompter.questions, QStringList{question});
        QVERIFY(m_prompter.errors.isEmpty());
        for (const QString &name : names) {
            QVERIFY(!QFile::exists(dir + QLatin1Char('/') + name));
            // In the trash with its content, and with the record that lets the
            // file manager put it back where it was.
            QCOMPARE(readAll(trash() + QStringLiteral("/files/") + name), name.toUtf8());
            const QByteArray info = readAll(trash() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
            QVERIFY2(info.startsWith("[Trash Info]\n"), info.constData());
            const qsizetype at = info.indexOf("\nPath=");
            QVERIFY2(at > 0, info.constData());
            const QByteArray origin = info.mid(at + 6, info.indexOf('\n', at + 6) - at - 6);
            QCOMPARE(QUrl::fromPercentEncoding(origin), dir + QLatin1Char('/') + name);
        }
        QCOMPARE(m_view->model()->rowCount(), 1);
    }

    void shiftDeleteDeletesForGoodAfterTheQuestion()
    {
        const QString dir = makeFolder({"gone.mp3", "stays.mp3"});
        select({"gone.mp3"});
        m_prompter.answers = {false};
        QTest::keyClick(m_view->list(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(m_prompter.questions,
                 QStringList{"Would delete file gone.mp3 ?\nThe file will be deleted for good: it cannot be recovered."});
        QVERIFY(QFile::exists(dir + QStringLiteral("/gone.mp3")));

        m_prompter.answers = {true};
        QTest::keyClick(m_view->list(), Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/gone.mp3")));
        QVERIFY(!QFile::exists(trash() + QStringLiteral("/files/gone.mp3")));
        QVERIFY(QFile::exists(dir + QStringLiteral("/stays.mp3")));
    }

    // Folders stay out of it, as before: the system's reason is shown and what
    // came before the folder has been done.
    void folderStopsTheTrashToo()
    {
        const QString dir = makeFolder({"a.mp3", "sub/"});
        select({"a.mp3", "sub"});
        m_prompter.answers = {true};
        m_view->deleteSelection(true);
        QCOMPARE(m_prompter.errors, QList<int>{EISDIR});
        QVERIFY(QFileInfo(dir + QStringLiteral("/sub")).isDir());
        QVERIFY(!QFile::exists(trash() + QStringLiteral("/files/sub")));
    }

    // A trash that cannot be made (its place is taken by a file): the user is asked
    // before anything is deleted for good.
    void noTrashAsksBeforeDeletingForGood()
    {
        QDir().mkpath(QFileInfo(trash()).path());
        QFile blocker(trash());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString dir = makeFolder({"x.mp3", "y.mp3"});
        select({"x.mp3", "y.mp3"});
        m_prompter.answers = {true, false};
        m_view->deleteSelection(true);
        QFile::remove(trash());
        QCOMPARE(m_prompter.questions.size(), 2);
        QVERIFY2(m_prompter.questions.at(1).startsWith(dir + QStringLiteral("/x.mp3 cannot be moved to the trash.")),
                 qPrintable(m_prompter.questions.at(1)));
        // No: nothing deleted, the batch ends there.
        QVERIFY(QFile::exists(dir + QStringLiteral("/x.mp3")));
        QVERIFY(QFile::exists(dir + QStringLiteral("/y.mp3")));
    }
};

// A home and a trash of the test's own; no test mode, so that the trash is
// found where every desktop looks for it.
int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TrashTest tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "trash_test.moc"
