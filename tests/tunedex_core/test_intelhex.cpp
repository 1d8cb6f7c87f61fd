#include "intelhex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// One record with a correct checksum.
std::string rec(unsigned type, unsigned address, const Bytes &data)
{
    Bytes raw{static_cast<unsigned char>(data.size()), static_cast<unsigned char>(address >> 8),
              static_cast<unsigned char>(address), static_cast<unsigned char>(type)};
    raw.insert(raw.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (unsigned char b : raw)
        sum += b;
    raw.push_back(static_cast<unsigned char>(-sum));
    std::string line = ":";
    static const char digits[] = "0123456789ABCDEF";
    for (unsigned char b : raw) {
        line += digits[b >> 4];
        line += digits[b & 15];
    }
    return line + "\n";
}

Bytes fill(unsigned char first, std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(first + i);
    return b;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const std::string kEnd = ":00000001FF\n";

class IntelHexFiles : public ::testing::Test
{
protected:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    void write(const QString &file, const std::string &text) const
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), qint64(text.size()));
    }

    static Bytes read(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        return Bytes(all.begin(), all.end());
    }

    bool convert(const std::string &hex, unsigned base, QString *error = nullptr)
    {
        write(path("in.hex"), hex);
        return zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                      QFile::encodeName(path("out.bin")).constData(), base, error);
    }

    QTemporaryDir m_dir;
};

struct GoodCase {
    const char *name;
    std::string hex;
    unsigned base;
    Bytes expected;
};

TEST_F(IntelHexFiles, ConvertsWellFormedFiles)
{
    const GoodCase cases[] = {
        {"empty input", "", 0x2000, {}},
        {"record below the base is dropped",
         rec(0, 0x0000, fill(0x10, 16)) + rec(0, 0x2000, fill(0x80, 16)) + kEnd, 0x2000, fill(0x80, 16)},
        {"gap is zero-filled",
         rec(0, 0x2000, fill(1, 16)) + rec(0, 0x2020, fill(0x40, 16)) + kEnd, 0x2000,
         concat({fill(1, 16), Bytes(16, 0), fill(0x40, 16)})},
        {"extended linear address",
         rec(4, 0, {0x00, 0x01}) + rec(0, 0x0000, fill(9, 4)) + kEnd, 0x2000,
         concat({Bytes(0x10000 - 0x2000, 0), fill(9, 4)})},
        {"extended segment address",
         rec(2, 0, {0x10, 0x00}) + rec(0, 0x0004, fill(9, 4)) + kEnd, 0,
         concat({Bytes(0x10004, 0), fill(9, 4)})},
        {"record across the base is cut", rec(0, 0x1FF8, fill(0, 16)) + kEnd, 0x2000, fill(8, 8)},
        {"later records overwrite, length never shrinks",
         rec(0, 0x10, fill(0xA0, 8)) + rec(0, 0x00, fill(0x50, 24)) + rec(0, 0x04, {0xEE, 0xEF}) + kEnd, 0,
         concat({fill(0x50, 4), {0xEE, 0xEF}, fill(0x56, 18)})},
        {"start address records are skipped",
         rec(3, 0, {0, 0, 0x20, 0}) + rec(5, 0, {0, 0, 0x20, 0}) + rec(0, 0, {7}) + kEnd, 0, {7}},
        {"input after the end record is not read", rec(0, 0, {1, 2}) + kEnd + "garbage\n", 0, {1, 2}},
        {"no end record", rec(0, 0, {1, 2}), 0, {1, 2}},
        {"blank lines, CR LF, lower case, surrounding blanks",
         "\n" + std::string(":0200000001ab52\r\n") + "  \r\n  :00000001ff  \r\n", 0, {0x01, 0xAB}},
        {"empty data record reaches its address", rec(0, 0x10, {}) + rec(0, 0, {3}) + kEnd, 0,
         concat({{3}, Bytes(15, 0)})},
        {"empty data record below the end changes nothing", rec(0, 0, fill(1, 8)) + rec(0, 4, {}) + kEnd, 0,
         fill(1, 8)},
        {"empty data record below the base", rec(0, 0x1000, {}) + rec(0, 0x2000, {5}) + kEnd, 0x2000, {5}},
    };
    for (const GoodCase &c : cases) {
        QString error;
        EXPECT_TRUE(convert(c.hex, c.base, &error)) << c.name << ": " << error.toStdString();
        EXPECT_EQ(read(path("out.bin")), c.expected) << c.name;
    }
}

TEST_F(IntelHexFiles, RefusesDamagedFilesAndDeletesTheOutput)
{
    std::string badChecksum = rec(0, 0x2000, fill(1, 16));
    badChecksum[badChecksum.size() - 2] ^= 1;
    const std::string good = rec(0, 0, fill(1, 16));
    const struct {
        const char *name;
        std::string hex;
        unsigned base;
    } cases[] = {
        {"wrong checksum", rec(0, 0x2000, fill(1, 16)) + badChecksum + kEnd, 0x2000},
        {"odd number of digits", good.substr(0, good.size() - 2) + "0\n" + kEnd, 0},
        {"record cut short", good.substr(0, 20) + "\n" + kEnd, 0},
        {"record with surplus bytes", good.substr(0, good.size() - 1) + "0000\n" + kEnd, 0},
        {"too short for a record", ":0000\n", 0},
        {"colon only", ":\n", 0},
        {"line that is not a record", good + "hello world\n" + kEnd, 0},
        {"record without colon", good.substr(1) + kEnd, 0},
        {"character that is not hex", ":01000000zz00\n" + kEnd, 0},
        {"blank inside a record", ":01000000 0100\n" + kEnd, 0},
        {"extended address without two bytes", rec(4, 0, {1}) + kEnd, 0},
        {"data past 4 GiB", rec(4, 0, {0xFF, 0xFF}) + rec(0, 0xFFF8, fill(0, 16)) + kEnd, 0},
        {"gap beyond the largest image", rec(4, 0, {0x10, 0x00}) + rec(0, 0, {1}) + kEnd, 0},
        {"endless line", std::string(":") + std::string(4000, '0') + "\n", 0},
    };
    for (const auto &c : cases) {
        write(path("out.bin"), "old contents");
        QString error;
        EXPECT_FALSE(convert(c.hex, c.base, &error)) << c.name;
        EXPECT_TRUE(error.startsWith(QStringLiteral("line "))) << c.name << ": " << error.toStdString();
        EXPECT_FALSE(QFile::exists(path("out.bin"))) << c.name;
    }
}

TEST_F(IntelHexFiles, ImageSizeIsBoundedByWhatThePlayerCanTake)
{
    // A record that ends exactly at the largest image converts; one byte more does not.
    const std::string last = rec(4, 0, {0x01, 0xFF}) + rec(0, 0xFFFF, {0x5A}) + kEnd; // byte at 0x1FFFFFF
    ASSERT_TRUE(convert(last, 0x2000000u - kIntelHexMaxImageBytes));
    EXPECT_EQ(QFileInfo(path("out.bin")).size(), qint64(kIntelHexMaxImageBytes));
    EXPECT_FALSE(convert(last, 0x2000000u - kIntelHexMaxImageBytes - 1));
}

TEST_F(IntelHexFiles, UnreadableInputOrOutputFails)
{
    write(path("out.bin"), "keep");
    QString error;
    EXPECT_FALSE(zvs450_ConvertIntelHex(QFile::encodeName(path("missing.hex")).constData(),
                                        QFile::encodeName(path("out.bin")).constData(), 0, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.hex"))) << error.toStdString();
    EXPECT_EQ(read(path("out.bin")), (Bytes{'k', 'e', 'e', 'p'})) << "output left alone";

    write(path("in.hex"), kEnd);
    EXPECT_FALSE(zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                        QFile::encodeName(path("in.hex")).constData(), 0, &error));
    EXPECT_EQ(read(path("in.hex")), Bytes(kEnd.begin(), kEnd.end())) << "input kept when it is also the output";
    EXPECT_FALSE(zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                        QFile::encodeName(path("no/such/dir/out.bin")).constData(), 0, &error));
}

TEST_F(IntelHexFiles, TemporaryImagesAreNamedAndCleanedUp)
{
    const QByteArray savedTmp = qgetenv("TMPDIR");
    QTemporaryDir tmp;
    qputenv("TMPDIR", tmp.path().toLocal8Bit());

    write(path("good.hex"), rec(0, 0x2000, fill(1, 4)) + kEnd);
    write(path("bad.hex"), rec(0, 0x2000, fill(1, 4)) + "junk\n");
    const QString image = zvs450_ConvertIntelHexToTemp(path("good.hex"), kIntelHexApplicationBase);
    QString error;
    const QString none = zvs450_ConvertIntelHexToTemp(path("bad.hex"), kIntelHexApplicationBase, &error);
    const QString missing = zvs450_ConvertIntelHexToTemp(path("nope.hex"), kIntelHexApplicationBase);

    if (savedTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);

    EXPECT_EQ(QFileInfo(image).absolutePath(), QDir(tmp.path()).absolutePath());
    EXPECT_TRUE(QFileInfo(image).fileName().startsWith(QStringLiteral("$450"))) << image.toStdString();
    EXPECT_EQ(read(image), fill(1, 4));
    EXPECT_TRUE(none.isEmpty());
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{QFileInfo(image).fileName()})
        << "failed conversions leave no temporary file";
}

// objcopy's Intel-hex writer is the oracle: random bytes placed at an address
// by objcopy must come back byte for byte, preceded by zeros from the base.
struct OracleCase {
    unsigned address;
    unsigned length;
    unsigned base;
};

class IntelHexOracle : public IntelHexFiles, public ::testing::WithParamInterface<OracleCase>
{
};

TEST_P(IntelHexOracle, MatchesObjcopy)
{
    const QString objcopy = QStringLiteral(TUNEDEX_OBJCOPY);
    if (objcopy.isEmpty() || !QFileInfo(objcopy).isExecutable())
        GTEST_SKIP() << "objcopy not found";
    const OracleCase c = GetParam();

    std::mt19937 random(c.address ^ c.length);
    Bytes original(c.length);
    for (unsigned char &b : original)
        b = static_cast<unsigned char>(random());
    QFile raw(path("raw.bin"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(reinterpret_cast<const char *>(original.data()), qint64(original.size()));
    raw.close();

    QProcess process;
    process.start(objcopy, {QStringLiteral("-I"), QStringLiteral("binary"), QStringLiteral("-O"),
                            QStringLiteral("ihex"), QStringLiteral("--change-addresses"),
                            QStringLiteral("0x%1").arg(c.address, 0, 16), path("raw.bin"), path("in.hex")});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    QString error;
    ASSERT_TRUE(zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                       QFile::encodeName(path("out.bin")).constData(), c.base, &error))
        << error.toStdString();
    EXPECT_EQ(read(path("out.bin")), concat({Bytes(c.address - c.base, 0), original}));
}

INSTANTIATE_TEST_SUITE_P(
    Images, IntelHexOracle,
    ::testing::Values(OracleCase{0x2000, 60 * 1024, kIntelHexApplicationBase}, // crosses 64 KiB: segment records
                      OracleCase{0x0, 8192, kIntelHexBootBase},
                      OracleCase{0xFF000, 12000, 0xF0000},     // crosses 1 MiB: segment then linear records
                      OracleCase{0x123457, 5000, 0x120000}));  // linear records, odd start

// A data record without bytes pads the image up to its address with zeros;
// objcopy does the same when told to pad to that address (it skips such a
// record itself).
TEST_F(IntelHexFiles, EmptyDataRecordPadsAsObjcopysPadTo)
{
    const QString objcopy = QStringLiteral(TUNEDEX_OBJCOPY);
    if (objcopy.isEmpty() || !QFileInfo(objcopy).isExecutable())
        GTEST_SKIP() << "objcopy not found";
    const unsigned base = kIntelHexApplicationBase, padTo = base + 0x1234;
    std::mt19937 random(7);
    std::string hex;
    for (unsigned at = base; at < base + 0x800; at += 16) {
        Bytes data(16);
        for (unsigned char &b : data)
            b = static_cast<unsigned char>(random());
        hex += rec(0, at, data);
    }
    write(path("data.hex"), hex + kEnd);
    write(path("in.hex"), hex + rec(0, padTo, {}) + kEnd);

    QProcess process;
    process.start(objcopy, {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"), QStringLiteral("binary"),
                            QStringLiteral("--gap-fill=0"), QStringLiteral("--pad-to=0x%1").arg(padTo, 0, 16),
                            path("data.hex"), path("reference.bin")});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const Bytes reference = read(path("reference.bin"));
    ASSERT_EQ(reference.size(), padTo - base);

    QString error;
    ASSERT_TRUE(zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                       QFile::encodeName(path("out.bin")).constData(), base, &error))
        << error.toStdString();
    EXPECT_TRUE(read(path("out.bin")) == reference);
}

} // namespace

namespace {

// The other way round: a 60 KiB application image written as hex records in
// shuffled order, with a hole and address records crossing 64 KiB, converted
// by us and by objcopy's Intel-hex reader; both flat images must agree.
TEST_F(IntelHexFiles, ShuffledRecordsMatchObjcopysReading)
{
    const QString objcopy = QStringLiteral(TUNEDEX_OBJCOPY);
    if (objcopy.isEmpty() || !QFileInfo(objcopy).isExecutable())
        GTEST_SKIP() << "objcopy not found";

    const unsigned base = kIntelHexApplicationBase, size = 60 * 1024;
    const unsigned holeFrom = base + 0x3000, holeTo = base + 0x3400;
    std::mt19937 random(60);
    std::vector<std::string> records;
    for (unsigned at = base; at < base + size;) {
        const unsigned n = std::min<unsigned>(16 + unsigned(random() % 17), base + size - at);
        if (at + n <= holeFrom || at >= holeTo) {
            Bytes data(n);
            for (unsigned char &b : data)
                b = static_cast<unsigned char>(random());
            records.push_back(rec(4, 0, {static_cast<unsigned char>(at >> 24), static_cast<unsigned char>(at >> 16)})
                              + rec(0, at & 0xFFFF, data));
        }
        at += n;
    }
    std::shuffle(records.begin(), records.end(), random);
    std::string hex = rec(5, 0, {0, 0, 0x20, 0});
    for (const std::string &r : records)
        hex += r;
    write(path("in.hex"), hex + kEnd);

    QProcess process;
    process.start(objcopy, {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"), QStringLiteral("binary"),
                            path("in.hex"), path("reference.bin")});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const Bytes reference = read(path("reference.bin"));
    ASSERT_EQ(reference.size(), size);

    QString error;
    ASSERT_TRUE(zvs450_ConvertIntelHex(QFile::encodeName(path("in.hex")).constData(),
                                       QFile::encodeName(path("out.bin")).constData(), base, &error))
        << error.toStdString();
    EXPECT_TRUE(read(path("out.bin")) == reference);
}

} // namespace
