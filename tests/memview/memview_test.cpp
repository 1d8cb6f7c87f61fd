// The device memory view and the dialogs, offscreen, against the emulated player running
// in a thread of the test: the view's states and title texts, delete, reorder, in-place
// directories, drops from the file manager, and the dialogs' values.

#include "ConfigDlg.h"
#include "DiskInfoDlg.h"
#include "FileListCtrl.h"
#include "FileTran.h"
#include "FontInfoDlg.h"
#include "Mp3MemVw.h"
#include "MultiDirDlg.h"
#include "PaintedIcon.h"
#include "ProgressDlg.h"
#include "RegKeys.h"
#include "emulator.h"
#include "zvs450.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QRadioButton>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <cstdlib>
#include <memory>

namespace {

// Answers the view's questions as told and remembers what it was asked.
class TestPrompter : public HMemPrompter {
public:
    bool answer = true;
    QStringList confirms;  // caption + "|" + text
    QStringList messages;
    QList<int> systemErrors;
    QStringList systemErrorPaths;
    QString pattern;
    int start = 0;
    int count = 0;

    bool confirm(QWidget *, const QString &caption, const QString &text, Icon) override
    {
        confirms << caption + QLatin1Char('|') + text;
        return answer;
    }
    void message(QWidget *, const QString &, const QString &text, Icon) override { messages << text; }
    void showSystemError(QWidget *, int error, const QString &path) override
    {
        systemErrors << error;
        systemErrorPaths << path;
    }
    bool askMultipleDirectories(QWidget *, QString *p, int *s, int *c) override
    {
        *p = pattern;
        *s = start;
        *c = count;
        return true;
    }
    void showDiskProperties(QWidget *, int) override {}
};

// Any modal box (the device library's error message) would stop the test: it is closed
// and its text kept, so that the test can fail with it.
class ModalGuard : public QObject {
public:
    QStringList seen;
    ModalGuard()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            // Progress windows are modal while their operation runs; closing one would cancel it.
            if (w && w->objectName() != QLatin1String("zvc450-progress") && !w->inherits("HProgressDlg")) {
                seen << w->windowTitle();
                w->close();
            }
        });
        m_timer.start(50);
    }

private:
    QTimer m_timer;
};

// The session's own messages and questions (the library's go through ModalGuard).
class SessionUi : public Zvs450Ui {
public:
    QStringList messages;
    QStringList questions;
    Answer answer = Answer::Cancel;
    Answer question(QWidget *, const QString &text, const QString &) override
    {
        questions << text;
        return answer;
    }
    void message(QWidget *, const QString &text, const QString &) override { messages << text; }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
    bool startViewer(const QString &, const QString &) override { return true; }
};

class ScriptedConfigDlg : public HConfigDlg {
public:
    QString saveAnswer, openAnswer, lastInitial;
    QStringList problems;
    void showInputProblems(const QString &text) override { problems << text; }
    QString chooseSaveFile(const QString &initial) override
    {
        lastInitial = initial;
        return saveAnswer;
    }
    QString chooseOpenFile(const QString &initial) override
    {
        lastInitial = initial;
        return openAnswer;
    }
};

QStringList rowNames(const HMp3MemView &view)
{
    QStringList names;
    for (const MemItemData &d : view.model()->rows())
        names << d.name;
    return names;
}

QList<int> selectedFileIndices(const HMp3MemView &view)
{
    QList<int> indices;
    for (int r : view.list()->selectedRows())
        indices << view.model()->rows()[size_t(r)].fileIndex;
    std::sort(indices.begin(), indices.end());
    return indices;
}

int rowOfFile(const HMp3MemView &view, int fileIndex)
{
    const auto &rows = view.model()->rows();
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].fileIndex == fileIndex)
            return int(r);
    return -1;
}

int rowNamed(const HMp3MemView &view, const QString &name)
{
    return int(rowNames(view).indexOf(name));
}

MemItemData fileRow(const QString &name, int index, quint32 size)
{
    MemItemData d;
    d.name = name;
    d.fileIndex = index;
    d.size = size;
    return d;
}

MemItemData dirRow(const QString &name, quint32 key)
{
    MemItemData d;
    d.name = name;
    d.key = key;
    return d;
}

} // namespace

class MemViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<emu::Emulator> m_player;
    emu::EmulatorOptions m_options;
    TestPrompter m_prompter;
    SessionUi m_ui;
    std::unique_ptr<ModalGuard> m_guard;

    QString local(const QString &name) const { return m_dir->filePath(QStringLiteral("pc/") + name); }

    QString writeLocal(const QString &name, qsizetype size)
    {
        QFile f(local(name));
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write(QByteArray(size, 'm'));
        return f.fileName();
    }

    // Starts the player (an 8 MiB internal memory, a 1 MiB card) and connects.
    bool startPlayer(bool unformatted = false)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_dir->filePath(QStringLiteral("pc")));
        m_options = emu::EmulatorOptions();
        m_options.state.folder = m_dir->filePath(QStringLiteral("player")).toStdString();
        m_options.state.internalBytes = 8u << 20;
        m_options.state.cardBytes = 1u << 20;
        m_options.state.unformatted = unformatted;
        m_options.socketPath = m_dir->filePath(QStringLiteral("link")).toStdString();
        m_player = std::make_unique<emu::Emulator>(m_options);
        std::string error;
        if (!m_player->Start(&error)) {
            qWarning("player did not start: %s", error.c_str());
            return false;
        }
        qputenv("ZVC450_VUSB", QByteArray::fromStdString(m_options.socketPath));
        zvs450_Initialize();
        int count = 0, mask = 0;
        return zvs450_Connect(true, &count, &mask);
    }

    // Downloads files named F0.MP3 ... into the internal memory; their file indices are
    // their numbers.
    bool downloadFiles(int n)
    {
        HFileTransferList list;
        for (int i = 0; i < n; ++i)
            list.add(writeLocal(QStringLiteral("F%1.MP3").arg(i), 100 + i), -1, 0);
        return zvs450_Download(nullptr, 0, list) == 0;
    }

    std::unique_ptr<HMp3MemView> makeView()
    {
        auto view = std::make_unique<HMp3MemView>(nullptr, &m_prompter);
        view->setTitle(QString::fromLatin1(text::kInternalMemory));
        view->resize(500, 300);
        view->show();
        view->refresh(true, 0);
        return view;
    }

private slots:
    void init()
    {
        QSettings().clear();
        m_prompter = TestPrompter();
        m_ui = SessionUi();
        m_guard = std::make_unique<ModalGuard>();
    }
    void cleanup()
    {
        zvs450_SetUi(nullptr);
        zvs450_Terminate();
        if (m_player)
            m_player->Stop();
        m_player.reset();
        m_dir.reset();
        QVERIFY2(m_guard->seen.isEmpty(), qPrintable(m_guard->seen.join(QLatin1Char(','))));
        m_guard.reset();
    }

    // ---- Texts and sorting, no player ----

    void statusText_data()
    {
        QTest::addColumn<bool>("usable");
        QTest::addColumn<unsigned>("status");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("free");
        QTest::addColumn<QString>("expected");
        QTest::newRow("not connected") << false << 0u << quint64(0) << quint64(0) << "Not Connected";
        QTest::newRow("i/o failed") << false << 1u << quint64(1 << 20) << quint64(0) << "Not Connected";
        QTest::newRow("not formatted") << false << 3u << quint64(8 << 20) << quint64(0) << "Not Formated, Total 8MB";
        QTest::newRow("read only") << false << 7u << quint64(1048575) << quint64(1023)
                                   << "Read Only - Total 1024KB,  Remain 1KB,  2 File(s), 1 Directory(s)";
        QTest::newRow("1048575 bytes") << true << 15u << quint64(1048575) << quint64(0)
                                       << "Total 1024KB,  Remain 0KB,  2 File(s), 1 Directory(s)";
        QTest::newRow("1048576 bytes") << true << 15u << quint64(1048576) << quint64(1)
                                       << "Total 1MB,  Remain 1KB,  2 File(s), 1 Directory(s)";
        QTest::newRow("1048577 bytes") << true << 15u << quint64(1048577) << quint64(1048577)
                                       << "Total 2MB,  Remain 2MB,  2 File(s), 1 Directory(s)";
        QTest::newRow("medium info unread") << true << 14u << quint64(16384) << quint64(16384)
                                            << "Total 16KB,  Remain 16KB,  2 File(s), 1 Directory(s)";
    }
    void statusText()
    {
        QFETCH(bool, usable);
        QFETCH(unsigned, status);
        QFETCH(quint64, total);
        QFETCH(quint64, free);
        QFETCH(QString, expected);
        QCOMPARE(HMp3MemView::statusText(usable, status, total, free, 2, 1), expected);
    }

    // A listing that stopped before the player's count is not shown as the whole
    // directory: the title strip says how much of it arrived.
    void incompleteListing_data()
    {
        QTest::addColumn<int>("found");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 100 << 100 << "";
        QTest::newRow("empty directory") << 0 << 0 << "";
        QTest::newRow("stopped early") << 16 << 100 << ",  incomplete listing (16 of 100 files)";
        QTest::newRow("nothing arrived") << 0 << 3 << ",  incomplete listing (0 of 3 files)";
        // More entries than announced: the player's count limits what is kept.
        QTest::newRow("more than announced") << 5 << 4 << "";
    }
    void incompleteListing()
    {
        QFETCH(int, found);
        QFETCH(int, announced);
        QFETCH(QString, text);
        QCOMPARE(HMp3MemView::incompleteListingText(found, announced), text);
    }

    void stateFor_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<unsigned>("status");
        QTest::addColumn<int>("state");
        QTest::newRow("read failed") << false << 15u << int(HMp3MemView::State::Empty);
        QTest::newRow("no i/o") << true << 13u << int(HMp3MemView::State::Empty);
        QTest::newRow("no fat") << true << 11u << int(HMp3MemView::State::NotFormatted);
        QTest::newRow("odd geometry") << true << 7u << int(HMp3MemView::State::ReadOnly);
        QTest::newRow("usable") << true << 15u << int(HMp3MemView::State::Usable);
        QTest::newRow("old firmware") << true << 14u << int(HMp3MemView::State::Usable);
    }
    void stateFor()
    {
        QFETCH(bool, listed);
        QFETCH(unsigned, status);
        QFETCH(int, state);
        QCOMPARE(int(HMp3MemView::stateFor(listed, status)), state);
    }

    void sortRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("name up") << 0 << true << QStringList{"a", "b", "a.mp3", "c.wav", "d"};
        QTest::newRow("name down") << 0 << false << QStringList{"d", "c.wav", "a.mp3", "b", "a"};
        // Directories compare equal on Number and Size: they keep their order.
        QTest::newRow("number up") << 1 << true << QStringList{"b", "a", "d", "c.wav", "a.mp3"};
        QTest::newRow("size up") << 2 << true << QStringList{"b", "a", "d", "c.wav", "a.mp3"};
        QTest::newRow("size down") << 2 << false << QStringList{"a.mp3", "c.wav", "d", "b", "a"};
    }
    void sortRules()
    {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        QFETCH(QStringList, order);
        HMemListModel model;
        std::vector<MemItemData> rows{fileRow("a.mp3", 2, 5000), fileRow("c.wav", 1, 3000),
                                      fileRow("d", 0, 10), dirRow("b", 7), dirRow("a", 9)};
        for (MemItemData &d : rows)
            d.type = d.isDirectory() ? 0 : model.typeFor(d.name, false);
        model.setRows(rows);
        model.sortRows(column, ascending);
        QStringList got;
        for (const MemItemData &d : model.rows())
            got << d.name;
        QCOMPARE(got, order);
    }

    void listTexts()
    {
        HMemListModel model;
        std::vector<MemItemData> rows{fileRow("ONE", 0, 1), fileRow("BIG.MP3", 1, 1048577), dirRow("DIR", 5)};
        model.setRows(rows);
        QCOMPARE(model.columnText(0, HMemListModel::ColSize), QStringLiteral("1KB"));
        QCOMPARE(model.columnText(1, HMemListModel::ColSize), QStringLiteral("1025KB"));
        QCOMPARE(model.columnText(1, HMemListModel::ColNumber), QStringLiteral("1"));
        QCOMPARE(model.columnText(2, HMemListModel::ColNumber), QString());
        QCOMPARE(model.columnText(2, HMemListModel::ColSize), QString());
    }

    // Ten thousand files of three kinds cost three type lookups, and a listing that
    // finds what is shown does not reset the list.
    void manyFilesShareTheirTypes()
    {
        HMemListModel model;
        std::vector<MemItemData> rows;
        const char *ext[] = {".mp3", ".wav", ".MP3"};
        for (int i = 0; i < 10000; ++i) {
            MemItemData d = fileRow(QStringLiteral("T%1").arg(i) + QLatin1String(ext[i % 3]), i, quint32(i));
            d.type = model.typeFor(d.name, false);
            rows.push_back(d);
        }
        QCOMPARE(model.typeCount(), 3);  // the folder entry, .mp3 (either case), .wav
        QVERIFY(model.setRows(rows));
        QVERIFY(!model.setRows(rows));
        model.sortRows(HMemListModel::ColName, false);
        QCOMPARE(model.rows().front().name, QStringLiteral("T9999.mp3"));
    }

    void diskInfoTexts()
    {
        ZVC450_MEDIUMINFO info{};
        info.bMediumType = 1;
        info.bBlockSizeCode = 1;
        info.wTotalBlockCount = 1024;
        info.wUsedBlockCount = 0;
        info.wPhysicalBlockCount = 64;
        info.wBadBlockCount = 3;
        info.bDeviceIOStatus = 1;
        info.wFATStartSector = 0x1f;
        info.wBytesPerSector = 512;
        info.bFATType = 2;
        QMap<int, QString> t = HDiskInfoDlg::fieldTexts(info);
        QCOMPARE(t.size(), 16);
        QCOMPARE(t[1029], QStringLiteral("Good"));
        QCOMPARE(t[1030], QStringLiteral("NAND/SMC (128 KB/block)"));
        QCOMPARE(t[1032], QStringLiteral("1024 (16 MB)"));
        QCOMPARE(t[1031], QStringLiteral("0 (0 KB)"));
        QCOMPARE(t[1033], QStringLiteral("64 (1 MB)"));
        QCOMPARE(t[1034], QStringLiteral("3 (48 KB)"));
        QCOMPARE(t[1035], QStringLiteral("Invalid"));
        QCOMPARE(t[1036], QStringLiteral("FAT16"));
        QCOMPARE(t[1038], QStringLiteral("0x001F"));
        QCOMPARE(t[1042], QStringLiteral("512 (bytes/sector)"));
        info.bMediumType = 3;
        QCOMPARE(HDiskInfoDlg::fieldTexts(info)[1030], QStringLiteral("Unknown Medium"));
        info.bMediumType = 1;
        info.bBlockSizeCode = 7;
        QCOMPARE(HDiskInfoDlg::fieldTexts(info)[1030], QStringLiteral("NAND/SMC (??? bytes/page)"));
    }

    void directoryNames_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "Track%d" << 1 << "Track1";
        QTest::newRow("no number") << "Same" << 4 << "Same";
        QTest::newRow("zero padded") << "CD%03d" << 7 << "CD007";
        QTest::newRow("percent") << "100%% %d" << 2 << "100% 2";
        // Anything but a number conversion is text, never handed to printf.
        QTest::newRow("string conversion") << "A%sB%n" << 3 << "A%sB%n";
        QTest::newRow("trailing percent") << "X%" << 3 << "X%";
    }
    void directoryNames()
    {
        QFETCH(QString, pattern);
        QFETCH(int, number);
        QFETCH(QString, name);
        QCOMPARE(HMultiDirDlg::directoryName(pattern, number), name);
    }

    void progressPercentages()
    {
        HProgressDlg progress;
        QCOMPARE(progress.percentText(), QStringLiteral(" 0 %"));
        progress.setRange(0, 3);
        QStringList seen;
        for (int i = 0; i < 3; ++i) {
            progress.setPos(i);
            seen << progress.percentText();
        }
        QCOMPARE(seen, (QStringList{"0%", "33%", "66%"}));
        progress.setRange(0, 0);
        QCOMPARE(progress.percentText(), QStringLiteral("0%"));
    }

    // ---- Configuration dialog ----

    void configLoadsAndStores_data()
    {
        QTest::addColumn<unsigned>("expVer");
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<unsigned>("storedVer");
        QTest::newRow("automatic") << 0u << 0 << 0u;
        QTest::newRow("1.43") << 0x14300u << 1 << 0x14300u;
        QTest::newRow("1.30") << 0x13000u << 3 << 0x13000u;
        QTest::newRow("not listed above 1.20") << 0x12600u << 0 << 0u;
        QTest::newRow("old") << 0x11000u << 6 << 0x11FFFu;
    }
    void configLoadsAndStores()
    {
        QFETCH(unsigned, expVer);
        QFETCH(int, shownIndex);
        QFETCH(unsigned, storedVer);
        zvs450_Initialize();
        RegKeys::setExpectedFirmwareVersion(expVer);
        RegKeys::setRomSelect(2);
        RegKeys::setAdpcmConvert(1);
        RegKeys::setRawDataFileName(QStringLiteral("/tmp/a/rather/long/folder/name/") + QString(120, QLatin1Char('x')) + ".dat");
        RegKeys::setRawDataRange(5, 9);
        RegKeys::setUserUsbId(0x1A, 0xBEEF);
        RegKeys::setInternalOnly(true);
        zvs450_SetTimeouts(1000, 2000, 3000);

        ScriptedConfigDlg dlg;
        const HConfigDlg::Controls &c = dlg.controls();
        QCOMPARE(c.firmware->currentIndex(), shownIndex);
        QCOMPARE(c.recvTimeout->text(), QStringLiteral("1000"));
        QCOMPARE(c.formatTimeout->text(), QStringLiteral("3000"));
        QVERIFY(c.romMds->isChecked());
        QVERIFY(c.adpcmBinary->isChecked());
        QVERIFY(c.bvfWav->isChecked());
        QCOMPARE(c.rawFile->text(), RegKeys::rawDataFileName());
        QCOMPARE(c.rawAddr->text(), QStringLiteral("5"));
        QCOMPARE(c.rawCount->text(), QStringLiteral("9"));
        QCOMPARE(c.userVid->text(), QStringLiteral("001A"));
        QCOMPARE(c.userPid->text(), QStringLiteral("BEEF"));
        QVERIFY(c.internalOnly->isChecked());
        QCOMPARE(dlg.pageCaption(), QStringLiteral(" Setting Timeout "));

        c.recvTimeout->setText(QStringLiteral(" 250,000"));
        c.romStandAlone->setChecked(true);
        c.bvfBinary->setChecked(true);
        c.rawAddr->setText(QStringLiteral("0x10"));
        c.rawCount->setText(QStringLiteral("\t 16"));
        c.userVid->clear();
        c.userPid->setText(QStringLiteral("0000"));
        c.internalOnly->setChecked(false);
        dlg.saveAnswer = QStringLiteral("/tmp/raw.dat");
        dlg.browseRawFile();
        QCOMPARE(dlg.lastInitial, RegKeys::rawDataFileName());
        dlg.browseViewer();  // cancelled: the edit keeps its text
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.problems.isEmpty());

        unsigned recv = 0, send = 0, format = 0;
        zvs450_GetTimeouts(&recv, &send, &format);
        QCOMPARE(recv, 250000u);
        QCOMPARE(send, 2000u);
        QCOMPARE(RegKeys::romSelect(), 0);
        QCOMPARE(RegKeys::adpcmConvert(), 1);
        QCOMPARE(RegKeys::bvfConvert(), 1);
        QCOMPARE(RegKeys::rawDataFileName(), QStringLiteral("/tmp/raw.dat"));
        unsigned addr = 0, count = 0;
        RegKeys::getRawDataRange(&addr, &count);
        QCOMPARE(addr, 16u);
        QCOMPARE(count, 16u);
        QCOMPARE(RegKeys::expectedFirmwareVersion(), storedVer);
        QCOMPARE(ZVC450_GetExpectedFirmwareVersion(), storedVer);
        unsigned vid = 1, pid = 1;
        RegKeys::getUserUsbId(&vid, &pid);
        QCOMPARE(vid, 0u);
        QCOMPARE(pid, 0u);
        QVERIFY(!RegKeys::internalOnly());
        QCOMPARE(zvs450_GetMemoryCount(), 2);

        // The next opening shows what was stored.
        ScriptedConfigDlg again;
        QVERIFY(again.controls().romStandAlone->isChecked());
        again.showPage(4);
        QCOMPARE(again.pageCaption(), QStringLiteral(" Raw Data Read Configuration "));
        ZVC450_SetExpectedFirmwareVersion(0);
    }

    // A time-out field takes whole milliseconds from one second up to what the library
    // holds; a USB id exactly four hexadecimal digits (empty: none). Anything else keeps
    // the old value, says why, and leaves the dialog open on the field.
    void configRefusesValuesItCannotUse_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint64>("stored");
        QTest::newRow("empty time-out") << "recv" << "" << false << quint64(1000);
        QTest::newRow("no limit") << "recv" << "0" << false << quint64(1000);
        QTest::newRow("below a second") << "send" << "999" << false << quint64(2000);
        QTest::newRow("one second") << "send" << "1000" << true << quint64(1000);
        QTest::newRow("grouped as the hint") << "recv" << "300,000" << true << quint64(300000);
        QTest::newRow("the largest") << "format" << "4294967295" << true << quint64(4294967295u);
        QTest::newRow("one past the largest") << "format" << "4294967296" << false << quint64(500);
        QTest::newRow("letters") << "recv" << "30s" << false << quint64(1000);
        // A value set before these limits stays what it was, without a word.
        QTest::newRow("old value below a second") << "format" << "500" << true << quint64(500);
        QTest::newRow("id cleared") << "vid" << "" << true << quint64(0);
        QTest::newRow("id of four digits") << "vid" << "04e8" << true << quint64(0x04E8);
        QTest::newRow("id too short") << "vid" << "12" << false << quint64(0x001A);
        QTest::newRow("id not hexadecimal") << "pid" << "zzzz" << false << quint64(0xBEEF);
    }
    void configRefusesValuesItCannotUse()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(quint64, stored);
        zvs450_Initialize();
        zvs450_SetTimeouts(1000, 2000, 500);
        RegKeys::setUserUsbId(0x1A, 0xBEEF);
        const auto value = [&] {
            unsigned t[3] = {};
            zvs450_GetTimeouts(&t[0], &t[1], &t[2]);
            unsigned ids[2] = {};
            RegKeys::getUserUsbId(&ids[0], &ids[1]);
            const QStringList names{"recv", "send", "format", "vid", "pid"};
            const int i = int(names.indexOf(field));
            return quint64(i < 3 ? t[i] : ids[i - 3]);
        };

        ScriptedConfigDlg dlg;
        const HConfigDlg::Controls &c = dlg.controls();
        QLineEdit *edit = field == "recv" ? c.recvTimeout : field == "send" ? c.sendTimeout
                          : field == "format" ? c.formatTimeout : field == "vid" ? c.userVid : c.userPid;
        const QString old = edit->text();
        dlg.showPage(1);
        edit->setText(text);
        dlg.accept();
        if (valid) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(dlg.problems.isEmpty());
            QCOMPARE(value(), stored);
            return;
        }
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.problems.size(), 1);
        QVERIFY2(dlg.problems.first().contains(QStringLiteral("The old value %1 is kept.").arg(old)),
                 qPrintable(dlg.problems.first()));
        QCOMPARE(edit->text(), old);
        QCOMPARE(dlg.currentPage(), field.size() == 3 ? 5 : 0);
        QCOMPARE(value(), stored);  // nothing changed yet
        // OK again takes the old value.
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(value(), stored);
    }

    // Fields, strips and rows follow the font: a value as long as the field takes is
    // seen whole (not "3000000" as ":000000"), and the title and path strips hold a line
    // of their font.
    void sizedFromTheFont_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::newRow("usual") << 9;
        QTest::newRow("large") << 22;
    }
    void sizedFromTheFont()
    {
        QFETCH(int, pointSize);
        const QFont before = QApplication::font();
        QFont big = before;
        big.setPointSize(pointSize);
        QApplication::setFont(big);
        zvs450_Initialize();
        {
            HConfigDlg dlg;
            const HConfigDlg::Controls &c = dlg.controls();
            const QList<QPair<QLineEdit *, QString>> widest = {
                {c.recvTimeout, QStringLiteral("4,294,967,295")}, {c.sendTimeout, QStringLiteral("4,294,967,295")},
                {c.formatTimeout, QStringLiteral("4,294,967,295")}, {c.userVid, QStringLiteral("FFFF")},
                {c.userPid, QStringLiteral("FFFF")},  {c.rawAddr, QStringLiteral("0xFFFFFFFF")},
                {c.rawCount, QStringLiteral("4294967295")},
            };
            for (int page : {0, 4, 5}) {
                dlg.showPage(page);
                dlg.show();
                QVERIFY(QTest::qWaitForWindowExposed(&dlg));
                for (const auto &[edit, text] : widest) {
                    if (!edit->isVisible())
                        continue;
                    const int room = edit->contentsRect().width() - edit->textMargins().left() - edit->textMargins().right() - 4;
                    QVERIFY2(room >= edit->fontMetrics().horizontalAdvance(text),
                             qPrintable(QStringLiteral("%1: %2 < %3").arg(text).arg(room).arg(edit->fontMetrics().horizontalAdvance(text))));
                }
            }
        }
        {
            HMp3MemView view;
            view.resize(400, 300);
            const int line = QFontMetrics(view.font()).height();
            QVERIFY(view.titleHeight() >= line + 4);
            QVERIFY(view.pathBottom() - view.titleHeight() >= line + 4);
            QVERIFY(view.list()->y() >= view.pathBottom());
            QVERIFY(view.upButton()->height() >= line);
            // Row icons grow with the font, in the sizes icon themes draw.
            const int icon = view.list()->iconSize().height();
            QVERIFY(icon == 16 || icon == 24 || icon == 32);
            QVERIFY(icon >= line - 4);
        }
        QApplication::setFont(before);
    }

    // Our own pictures are drawn in the palette's ink (legible on a dark theme as on a
    // light one) and at the pixels asked for (sharp at 200 %, not a blown-up 24).
    void paintedIconsFollowThePaletteAndScale()
    {
        const QIcon icon = hPaintedIcon(24, [](QPainter &p, const QPalette &pal) {
            p.fillRect(QRectF(4, 4, 16, 16), pal.color(QPalette::WindowText));
        });
        const QPalette before = QApplication::palette();
        for (const QColor &ink : {QColor(Qt::black), QColor(0xee, 0xee, 0xee)}) {
            QPalette pal = before;
            pal.setColor(QPalette::WindowText, ink);
            QApplication::setPalette(pal);
            const QImage img = icon.pixmap(QSize(24, 24), 2.0).toImage();
            QCOMPARE(img.size(), QSize(48, 48));
            QCOMPARE(img.devicePixelRatio(), 2.0);
            QCOMPARE(img.pixelColor(24, 24).rgb(), ink.rgb());
            // A hard edge, not a smear: the pixel just outside the square is untouched.
            QCOMPARE(img.pixelColor(7, 24).alpha(), 0);
            QCOMPARE(img.pixelColor(8, 24).rgb(), ink.rgb());
        }
        QApplication::setPalette(before);
    }

    // The Browse buttons' real file dialogs: every file can be seen and chosen, and naming
    // an existing file to save raw data into asks nothing yet (the question comes when
    // the data is about to be written, Download Raw Data).
    void configBrowseDialogsShowEveryFile()
    {
        zvs450_Initialize();
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("dump"));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        HConfigDlg dlg;
        QStringList filters;
        QString selected;
        const auto answer = [&](bool choose) {
            QTimer::singleShot(0, &dlg, [&, choose] {
                auto *fd = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(fd);
                filters = fd->nameFilters();
                selected = fd->selectedNameFilter();
                if (choose) {
                    fd->selectFile(existing);
                    static_cast<QDialog *>(fd)->accept();
                } else {
                    fd->reject();
                }
            });
        };
        answer(true);
        dlg.browseRawFile();
        QCOMPARE(filters, (QStringList{"Data File (*.dat)", "All Files (*)"}));
        QCOMPARE(dlg.controls().rawFile->text(), existing);

        answer(false);
        dlg.browseViewer();
        QCOMPARE(filters, (QStringList{"Executable File (*.exe)", "All Files (*)"}));
        QCOMPARE(selected, QStringLiteral("All Files (*)"));
    }

    void configCancelChangesNothing()
    {
        zvs450_Initialize();
        zvs450_SetTimeouts(1000, 2000, 3000);
        ScriptedConfigDlg dlg;
        dlg.controls().recvTimeout->setText(QStringLiteral("5"));
        dlg.controls().romMds->setChecked(true);
        dlg.reject();
        unsigned recv = 0;
        zvs450_GetTimeouts(&recv, nullptr, nullptr);
        QCOMPARE(recv, 1000u);
        QCOMPARE(RegKeys::romSelect(), 0);
    }

    // "Verify copies to the player": off on a first run, stored at OK only,
    // shown as stored the next time.
    void configVerifyCopies()
    {
        zvs450_Initialize();
        QVERIFY(!RegKeys::verifyCopies());
        {
            ScriptedConfigDlg dlg;
            QVERIFY(!dlg.controls().verifyCopies->isChecked());
            dlg.controls().verifyCopies->setChecked(true);
            dlg.reject();
        }
        QVERIFY(!RegKeys::verifyCopies());
        {
            ScriptedConfigDlg dlg;
            dlg.controls().verifyCopies->setChecked(true);
            dlg.accept();
        }
        QVERIFY(RegKeys::verifyCopies());
        QCOMPARE(QSettings().value(QStringLiteral("TuneDeck/VerifyCopies")).toInt(), 1);
        ScriptedConfigDlg again;
        QVERIFY(again.controls().verifyCopies->isChecked());
    }

    // ---- The view against the player ----

    void emptyViewWithoutMemory()
    {
        HMp3MemView view(nullptr, &m_prompter);
        view.setTitle(QStringLiteral("External Memory"));
        view.refresh(true);
        QCOMPARE(view.state(), HMp3MemView::State::Empty);
        QCOMPARE(view.titleText(), QStringLiteral(" External Memory - Not Connected"));
        QVERIFY(view.list()->isHidden());
        QVERIFY(view.upButton()->isHidden());
        QVERIFY(!view.isCommandEnabled(Mp3MemCmd::Format));
        QVERIFY(view.isCommandEnabled(Mp3MemCmd::Refresh));
        QVERIFY(view.isCommandEnabled(Mp3MemCmd::DiskProperties));
        QVERIFY(!view.isCommandEnabled(Mp3MemCmd::MakeDirectory));
    }

    void usableViewAndItsTitle()
    {
        QVERIFY(startPlayer());
        auto view = makeView();
        QCOMPARE(view->state(), HMp3MemView::State::Usable);
        QVERIFY(view->isUsable());
        QVERIFY(!view->list()->isHidden());
        QVERIFY(!view->upButton()->isHidden());
        QVERIFY(view->acceptDrops());
        QVERIFY(view->canDrop());
        quint64 total = 0, free = 0;
        QVERIFY(zvs450_GetCapacity(0, &total, &free));
        QCOMPARE(view->titleText(), QStringLiteral(" Internal Memory - ")
                                        + HMp3MemView::statusText(true, 15, total, free, 0, 0));
        QVERIFY(view->titleText().endsWith(QStringLiteral("0 File(s), 0 Directory(s)")));
        QCOMPARE(view->currentPath(), QStringLiteral("/"));
        QCOMPARE(view->model()->rowCount(), 0);

        // The context menu in its order, with the rules of an empty usable memory.
        std::unique_ptr<QMenu> menu(view->createContextMenu(nullptr));
        QStringList enabled;
        QStringList all;
        for (QAction *a : menu->actions()) {
            // Compared without the mnemonic markers: the words are the specified ones.
            all << (a->isSeparator() ? QStringLiteral("-") : cmd::plainText(a->text()));
            if (a->isEnabled() && !a->isSeparator())
                enabled << cmd::plainText(a->text());
        }
        QCOMPARE(all, (QStringList{"Delete", "Up", "Down", "Sort By Name", "Natural Order", "-", "Refresh", "Format", "Low Level Format", "Rename",
                                   "-", "Change Directory", "Make Directory", "Make Multiple Directory (Debug Only)",
                                   "Remove Directory", "Rename Directory", "-", "Download Raw Data",
                                   "Disk Properties"}));
        QCOMPARE(enabled, (QStringList{"Refresh", "Format", "Low Level Format", "Make Directory",
                                       "Make Multiple Directory (Debug Only)", "Download Raw Data",
                                       "Disk Properties"}));

        // The player goes away: the next refresh shows it.
        zvs450_Close();
        view->refresh(true);
        QCOMPARE(view->state(), HMp3MemView::State::Empty);
        QCOMPARE(view->titleText(), QStringLiteral(" Internal Memory - Not Connected"));
        QVERIFY(!view->acceptDrops());
    }

    void unformattedMediumCanBeFormatted()
    {
        QVERIFY(startPlayer(true));
        auto view = makeView();
        QCOMPARE(view->state(), HMp3MemView::State::NotFormatted);
        QVERIFY(view->titleText().startsWith(QStringLiteral(" Internal Memory - Not Formated, Total ")));
        QVERIFY(view->titleText().endsWith(QStringLiteral("MB")));
        QVERIFY(view->list()->isHidden());
        QVERIFY(view->upButton()->isHidden());
        QVERIFY(!view->acceptDrops());
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::Format));
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::MakeDirectory));

        m_prompter.answer = false;
        QVERIFY(!view->format(false));
        QCOMPARE(m_prompter.confirms, QStringList{"Format|All file will be deleted.\nAre you sure?"});
        m_prompter.answer = true;
        QVERIFY(view->format(false));
        QCOMPARE(view->state(), HMp3MemView::State::Usable);
    }

    void deleteFiles3_5_7()
    {
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(9));
        auto view = makeView();
        QCOMPARE(view->model()->rowCount(), 9);
        view->list()->selectRows({rowOfFile(*view, 3), rowOfFile(*view, 5), rowOfFile(*view, 7)});
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::Delete));
        view->runCommand(Mp3MemCmd::Delete);
        QCOMPARE(m_prompter.confirms, QStringList{"Confirm file deleting|Would you delete the selected file?\n"
                                               "The player has no trash: deleted files cannot be recovered."});
        QStringList names = rowNames(*view);
        names.sort();
        QCOMPARE(names, (QStringList{"F0.MP3", "F1.MP3", "F2.MP3", "F4.MP3", "F6.MP3", "F8.MP3"}));
        QVERIFY(view->titleText().contains(QStringLiteral("6 File(s)")));

        // One file: named in the question; answered No, nothing goes.
        m_prompter.answer = false;
        view->list()->selectRows({rowNamed(*view, "F4.MP3")});
        view->deleteSelection(true);
        QCOMPARE(m_prompter.confirms.last(), QStringLiteral("Confirm file deleting|Would delete file F4.MP3 ?\n"
                                                                "The player has no trash: deleted files cannot be recovered."));
        QCOMPARE(view->model()->rowCount(), 6);
    }

    void deleteKeyWithDirectoryDeletesNothing()
    {
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(2));
        QCOMPARE(zvs450_MakeDirectory(0, QStringLiteral("SUB")), 0);
        auto view = makeView();
        QCOMPARE(view->model()->rowCount(), 3);
        view->list()->selectRows({0, 1, 2});
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::Delete));
        view->list()->setFocus();
        QTest::keyClick(view->list(), Qt::Key_Delete);
        QCOMPARE(m_prompter.confirms.size(), 1);
        QCOMPARE(view->model()->rowCount(), 3);
    }

    void upAndDownKeepTheSelection()
    {
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(5));
        auto view = makeView();
        view->list()->selectRows({rowOfFile(*view, 2), rowOfFile(*view, 3)});
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::Up));
        view->runCommand(Mp3MemCmd::Up);
        QCOMPARE(selectedFileIndices(*view), (QList<int>{1, 2}));
        QCOMPARE(view->model()->rows()[size_t(rowOfFile(*view, 1))].name, QStringLiteral("F2.MP3"));
        QCOMPARE(view->model()->rows()[size_t(rowOfFile(*view, 2))].name, QStringLiteral("F3.MP3"));
        QCOMPARE(view->model()->rows()[size_t(rowOfFile(*view, 3))].name, QStringLiteral("F1.MP3"));

        // File 0 cannot go up, the last file cannot go down.
        view->list()->selectRows({rowOfFile(*view, 0), rowOfFile(*view, 1)});
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::Up));
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::Down));
        view->list()->selectRows({rowOfFile(*view, 4)});
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::Down));
        view->runCommand(Mp3MemCmd::Down);
        QCOMPARE(view->model()->rows()[size_t(rowOfFile(*view, 4))].name, QStringLiteral("F4.MP3"));

        view->list()->selectRows({rowOfFile(*view, 3)});
        view->runCommand(Mp3MemCmd::Down);
        QCOMPARE(selectedFileIndices(*view), QList<int>{4});
        QCOMPARE(view->model()->rows()[size_t(rowOfFile(*view, 4))].name, QStringLiteral("F1.MP3"));
    }

    // Sort By Name and Natural Order ask first, then put the player's files in that order
    // and show the list in the player's order.
    void sortPlayOrder()
    {
        QVERIFY(startPlayer());
        HFileTransferList list;
        for (const char *name : {"10 Song.mp3", "2 Song.mp3", "1 song.mp3", "b.mp3"})
            list.add(writeLocal(QString::fromLatin1(name), 10), -1, 0);
        QVERIFY(zvs450_Download(nullptr, 0, list) == 0);
        auto view = makeView();
        auto playOrder = [&] {
            QStringList names;
            for (int i = 0; i < 4; ++i)
                names << view->model()->rows()[size_t(rowOfFile(*view, i))].name;
            return names;
        };
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::SortByName));
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::NaturalOrder));

        m_prompter.answer = false;
        view->runCommand(Mp3MemCmd::NaturalOrder);
        QCOMPARE(m_prompter.confirms, QStringList{QStringLiteral("Natural Order|")
                                                  + QString::fromLatin1(text::kNaturalOrderQuestion)});
        QCOMPARE(playOrder(), (QStringList{"10 Song.mp3", "2 Song.mp3", "1 song.mp3", "b.mp3"}));

        m_prompter.answer = true;
        view->runCommand(Mp3MemCmd::NaturalOrder);
        QCOMPARE(playOrder(), (QStringList{"1 song.mp3", "2 Song.mp3", "10 Song.mp3", "b.mp3"}));
        // Shown in the player's order.
        QCOMPARE(view->list()->header()->sortIndicatorSection(), int(HMemListModel::ColNumber));
        QCOMPARE(rowNames(*view), playOrder());

        view->runCommand(Mp3MemCmd::SortByName);
        QCOMPARE(m_prompter.confirms.last(),
                 QStringLiteral("Sort By Name|") + QString::fromLatin1(text::kSortByNameQuestion));
        QCOMPARE(playOrder(), (QStringList{"1 song.mp3", "10 Song.mp3", "2 Song.mp3", "b.mp3"}));
    }

    void newFolderEdit()
    {
        QVERIFY(startPlayer());
        auto view = makeView();
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::MakeDirectory));

        // Cancelled: the temporary row goes, nothing is made.
        view->runCommand(Mp3MemCmd::MakeDirectory);
        QCOMPARE(view->model()->pendingRow(), 0);
        auto *editor = qobject_cast<QLineEdit *>(view->list()->indexWidget(view->model()->index(0, 0)));
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("New Folder"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_COMPARE(view->model()->pendingRow(), -1);
        QCOMPARE(view->model()->rowCount(), 0);
        QCOMPARE(zvs450_GetDirectoryCount(0), 0);

        // Named: the directory is made and listed.
        view->runCommand(Mp3MemCmd::MakeDirectory);
        editor = qobject_cast<QLineEdit *>(view->list()->indexWidget(view->model()->index(0, 0)));
        QVERIFY(editor);
        editor->setText(QStringLiteral("Music"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rowNames(*view), QStringList{"Music"});
        QCOMPARE(view->model()->pendingRow(), -1);

        // Entered with a double click; ".." leads back up, and the up button too.
        view->list()->selectRows({0});
        QVERIFY(view->isCommandEnabled(Mp3MemCmd::ChangeDirectory));
        view->runCommand(Mp3MemCmd::ChangeDirectory);
        QCOMPARE(view->currentPath(), QStringLiteral("/Music"));
        QVERIFY(rowNames(*view).contains(QStringLiteral("..")));
        view->list()->selectRows({rowNamed(*view, "..")});
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::RemoveDirectory));
        QVERIFY(!view->isCommandEnabled(Mp3MemCmd::Rename));
        view->upButton()->click();
        QCOMPARE(view->currentPath(), QStringLiteral("/"));

        // Removed without a question.
        view->list()->selectRows({rowNamed(*view, "Music")});
        view->runCommand(Mp3MemCmd::RemoveDirectory);
        QCOMPARE(view->model()->rowCount(), 0);
        QVERIFY(m_prompter.confirms.isEmpty());
    }

    void renameInPlace()
    {
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(1));
        auto view = makeView();
        view->list()->selectRows({0});
        view->runCommand(Mp3MemCmd::Rename);
        auto *editor = qobject_cast<QLineEdit *>(view->list()->indexWidget(view->model()->index(0, 0)));
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("F0.MP3"));
        editor->setText(QStringLiteral("Renamed song.mp3"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rowNames(*view), QStringList{"Renamed song.mp3"});
    }

    // A name the player's file system cannot hold: the session says why and the edit
    // stays open with what was typed, to be corrected (new folder) or cancelled (rename).
    void editsKeepNamesThePlayerCannotHoldOpen()
    {
        zvs450_SetUi(&m_ui);
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(1));
        auto view = makeView();
        const auto editorAt = [&view](int row) {
            return qobject_cast<QLineEdit *>(view->list()->indexWidget(view->model()->index(row, 0)));
        };
        view->runCommand(Mp3MemCmd::MakeDirectory);
        const int pending = view->model()->pendingRow();
        QVERIFY(pending >= 0);
        const QStringList refused{"..", "Live: 1999"};
        for (const QString &name : refused) {
            QLineEdit *editor = editorAt(pending);
            QVERIFY2(editor, qPrintable(name));
            editor->setText(name);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_COMPARE(m_ui.messages.size(), int(refused.indexOf(name)) + 1);
            QVERIFY2(m_ui.messages.last().startsWith(QLatin1Char('"') + name + QStringLiteral("\"\n")),
                     qPrintable(m_ui.messages.last()));
            QTRY_VERIFY(editorAt(pending));
            QCOMPARE(editorAt(pending)->text(), name);
            QCOMPARE(view->model()->pendingRow(), pending);
        }
        QCOMPARE(zvs450_GetDirectoryCount(0), 0);
        editorAt(pending)->setText(QStringLiteral("Live 1999"));
        QTest::keyClick(editorAt(pending), Qt::Key_Return);
        QTRY_VERIFY(rowNames(*view).contains(QStringLiteral("Live 1999")));
        QCOMPARE(view->model()->pendingRow(), -1);

        // Rename: refused, still open; Escape leaves the file as it was.
        const int row = rowNamed(*view, "F0.MP3");
        view->list()->selectRows({row});
        view->runCommand(Mp3MemCmd::Rename);
        QVERIFY(editorAt(row));
        editorAt(row)->setText(QStringLiteral("Why?.mp3"));
        QTest::keyClick(editorAt(row), Qt::Key_Return);
        QTRY_VERIFY(m_ui.messages.last().contains(QStringLiteral("'?'")));
        QTRY_VERIFY(editorAt(row));
        QCOMPARE(editorAt(row)->text(), QStringLiteral("Why?.mp3"));
        QTest::keyClick(editorAt(row), Qt::Key_Escape);
        QTRY_VERIFY(!editorAt(row));
        QTest::qWait(20);
        QVERIFY(rowNames(*view).contains(QStringLiteral("F0.MP3")));
        QCOMPARE(m_ui.messages.size(), refused.size() + 1);
    }

    void multipleDirectories()
    {
        QVERIFY(startPlayer());
        auto view = makeView();
        m_prompter.pattern = QStringLiteral("Track%d");
        m_prompter.count = 0;
        view->runCommand(Mp3MemCmd::MakeMultipleDirectory);
        QCOMPARE(view->model()->rowCount(), 0);
        m_prompter.start = 1;
        m_prompter.count = 3;
        view->runCommand(Mp3MemCmd::MakeMultipleDirectory);
        QStringList names = rowNames(*view);
        names.sort();
        QCOMPARE(names, (QStringList{"Track1", "Track2", "Track3"}));
        QVERIFY(view->titleText().endsWith(QStringLiteral("3 Directory(s)")));

        // Cancel in the progress window: the first pump sees it, nothing more is made.
        m_prompter.pattern = QStringLiteral("More%d");
        m_prompter.count = 50;
        QTimer::singleShot(0, view.get(), [&view] {
            auto *progress = view->findChild<HProgressDlg *>();
            QVERIFY(progress);
            progress->reject();
        });
        view->runCommand(Mp3MemCmd::MakeMultipleDirectory);
        QCOMPARE(view->model()->rowCount(), 3);
        QVERIFY(!view->findChild<HProgressDlg *>());
    }

    // A desktop link names its target as a URL or, as file managers also write it,
    // as a plain path; either way the drop takes the target, as the desktop pane does.
    void droppedDesktopLinksStandForTheirTargets()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("song.mp3"));
        const struct {
            const char *name;
            QString url;
        } rows[] = {{"url.desktop", QUrl::fromLocalFile(target).toString()}, {"path.desktop", target},
                    {"UPPER.DESKTOP", target}};
        for (const auto &row : rows) {
            QFile f(dir.filePath(QString::fromLatin1(row.name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(("[Desktop Entry]\nType=Link\nURL=" + row.url + "\n").toUtf8());
            f.close();
            QCOMPARE(HMp3MemView::resolveDroppedPath(f.fileName()), target);
        }
    }

    void dropOfLinkDownloadsItsTarget()
    {
        QVERIFY(startPlayer());
        auto view = makeView();
        const QString target = writeLocal(QStringLiteral("song.mp3"), 3000);
        const QString link = local(QStringLiteral("shortcut.mp3"));
        QVERIFY(QFile::link(target, link));
        QCOMPARE(HMp3MemView::resolveDroppedPath(link), target);

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(link)});
        QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(rowNames(*view), QStringList{"song.mp3"});
        QCOMPARE(view->list()->selectedRows(), QList<int>{0});
        QCOMPARE(view->model()->rows()[0].size, 3000u);
    }

    void refusedDropsTransferNothing()
    {
        QVERIFY(startPlayer());
        auto view = makeView();
        HFileTransferList folder;
        folder.add(local(QString()), -1, 0);
        QVERIFY(!view->acceptDrop(folder, true));
        QCOMPARE(m_prompter.messages,
                 QStringList{local(QString()) + "\nCannot download/upload the directory."});
        HFileTransferList missing;
        missing.add(writeLocal(QStringLiteral("ok.mp3"), 10), -1, 0);
        missing.add(local(QStringLiteral("gone.mp3")), -1, 0);
        QVERIFY(!view->acceptDrop(missing, true));
        QCOMPARE(m_prompter.systemErrors, QList<int>{ENOENT});
        QCOMPARE(m_prompter.systemErrorPaths, QStringList{local(QStringLiteral("gone.mp3"))});
        QCOMPARE(view->model()->rowCount(), 0);
        QCOMPARE(zvs450_GetFileCount(0), 0);
    }

    void settingsOfTheView()
    {
        QVERIFY(startPlayer());
        QVERIFY(downloadFiles(3));
        {
            auto view = makeView();
            // Stored sort: ascending by name at first; a click on Size sorts ascending,
            // a second click reverses it.
            QCOMPARE(rowNames(*view), (QStringList{"F0.MP3", "F1.MP3", "F2.MP3"}));
            view->list()->header()->sectionClicked(2);
            QCOMPARE(RegKeys::sortKey(0), 2);
            QVERIFY(RegKeys::sortAscendent(0));
            view->list()->header()->sectionClicked(2);
            QVERIFY(!RegKeys::sortAscendent(0));
            QCOMPARE(rowNames(*view), (QStringList{"F2.MP3", "F1.MP3", "F0.MP3"}));
            view->list()->setColumnWidth(1, 57);
        }
        QCOMPARE(RegKeys::columnWidth(0, 1), 57);
        QCOMPARE(RegKeys::readInt(QStringLiteral("Mp3Mem_0"), QStringLiteral("SubItemWidth_1"), 0), 57);
        auto view = makeView();
        QCOMPARE(view->list()->columnWidth(1), 57);
        QCOMPARE(rowNames(*view), (QStringList{"F2.MP3", "F1.MP3", "F0.MP3"}));
    }

    // Without a font on the player the session reports it and no dialog opens.
    void fontInfoWithoutFont()
    {
        QVERIFY(startPlayer());
        HFontInfoDlg dlg;
        QCOMPARE(dlg.exec(), 0);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.nameText(), QString());
        m_guard->seen.clear();
    }

    void diskInfoDialog()
    {
        QVERIFY(startPlayer());
        HDiskInfoDlg dlg;
        dlg.setMemoryIndex(1);
        QVERIFY(dlg.load());
        QCOMPARE(dlg.fieldText(1029), QStringLiteral("Good"));
        QCOMPARE(dlg.fieldText(1030), QStringLiteral("MMC/SD"));
        QCOMPARE(dlg.fieldText(1043), QStringLiteral("32 (sectors/cluster)"));
        zvs450_Close();
        HDiskInfoDlg unplugged;
        QVERIFY(!unplugged.load());
        for (int id : HDiskInfoDlg::fieldIds())
            QVERIFY(unplugged.fieldText(id).isEmpty());
    }
};

int main(int argc, char **argv)
{
    // Settings go to a folder of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("ZVC450_CODEPAGE", "");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(RegKeys::kOrganization));
    QApplication::setApplicationName(QString::fromLatin1(RegKeys::kApplication));
    MemViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "memview_test.moc"
