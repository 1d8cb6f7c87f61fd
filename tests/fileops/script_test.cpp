// Byte-level exchanges against a scripted link: what the library sends and
// how it reads what comes back, where the emulated player cannot show it
// (refusals at odd moments, irregular long names, cut-short paths, local
// file faults).

#include "fileops_fixture.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <csignal>

using namespace fileops;


// ---- Listing -----------------------------------------------------------------------

TEST(ScriptListing, HeaderLimitsBlocksAndRecords)
{
    ScriptedPlayer p(0x14200);
    std::vector<Bytes> slots;
    for (const char *n : {"A          ", "B          ", "C          ", "D          ", "E          "})
        slots.push_back(ShortSlot(n, 0x20));
    p.Answer(ListingHeader(3, 48));
    for (const Bytes &b : Blocks(slots))
        p.Answer(b);
    p.Answer(Bytes(512, 0));
    p.Answer(Bytes(512, 0));
    p.Answer(Bytes(512, 0xAB));  // must stay unread
    std::vector<ZVC450_DIRENTRY> e(10);
    int count = 10;
    ZVC450_SUMMARY sum{};
    ASSERT_TRUE(ZVC450_Refresh(p.h(), 1, &sum, e.data(), &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(sum.dwFileCount, 3u);
    EXPECT_EQ(sum.dwFilesFound, 5u);
    EXPECT_EQ(sum.dwTotalBlocks, 500u);
    EXPECT_EQ(sum.dwUsedBlocks, 7u);
    EXPECT_EQ(p.link.toRead.size(), 1u);
    EXPECT_EQ(Body(p.link.written[0]), "SG");
}

TEST(ScriptListing, LongNameOrderDecidesTheStatus)
{
    struct Row {
        std::vector<uint8_t> order;
        const char *name;
        uint8_t status;
    };
    const Row rows[] = {
        {{0x43, 0x02, 0x01}, "abcdefghijklmnopqrstuvwxyz0123", 0},
        {{0x43, 0x01, 0x02}, nullptr, 1},
        {{0x02, 0x01}, nullptr, 0},         // no 0x40 mark, but a proper sequence
        {{0x42, 0x01, 0x40}, nullptr, 1},   // ordinal 0 is irregular
        {{0x42}, nullptr, 1},               // ends above ordinal 1
        {{}, "", 0},                        // no long name at all
    };
    const std::string full = "abcdefghijklmnopqrstuvwxyz0123";
    for (const Row &r : rows) {
        ScriptedPlayer p(0x14300);
        std::vector<Bytes> slots;
        for (uint8_t ord : r.order) {
            const int n = ord & 0x3F;
            const std::string part = n ? full.substr(size_t(n - 1) * 13, 13) : "";
            slots.push_back(LongSlot(ord, part));
        }
        slots.push_back(ShortSlot("ABCDEF~1TXT", 0x20, 9, 77));
        p.Answer(ListingHeader(1, unsigned(slots.size())));
        for (const Bytes &b : Blocks(slots))
            p.Answer(b);
        std::vector<ZVC450_DIRENTRY> f(4), d(4);
        int nf = 4, nd = 4;
        ASSERT_TRUE(ZVC450_RefreshEx(p.h(), 0, nullptr, f.data(), &nf, d.data(), &nd));
        ASSERT_EQ(nf, 1);
        EXPECT_EQ(f[0].bLongNameStatus, r.status) << int(r.order.empty() ? 0 : r.order[0]);
        if (r.name) {
            EXPECT_STREQ(f[0].szLongName, r.name);
        }
        EXPECT_EQ(f[0].dwSize, 77u);
        EXPECT_EQ(f[0].dwFirstCluster, 9u);
        EXPECT_EQ(Body(p.link.written[0]), "MGG");
    }
}

// A slot with the folder bit is a folder, whatever its other bits (hidden,
// system, archive): it goes to the directories, never among the files whose
// numbers address the player's files.
TEST(ScriptListing, FolderBitMakesAFolder)
{
    for (unsigned fw : {0x14200u, 0x14300u}) {
        ScriptedPlayer p(fw);
        std::vector<Bytes> slots = {ShortSlot("SUB        ", 0x10, 0x1234), ShortSlot("ODD        ", 0x30, 5),
                                    ShortSlot("VOLUME     ", 0x08), ShortSlot("FILE    MP3", 0x20, 6, 10),
                                    Bytes(32, 0xE5)};
        slots.back()[11] = 0x20;
        p.Answer(ListingHeader(2, unsigned(slots.size())));
        for (const Bytes &b : Blocks(slots))
            p.Answer(b);
        std::vector<ZVC450_DIRENTRY> f(4), d(4);
        int nf = 4, nd = 4;
        ZVC450_SUMMARY sum{};
        ASSERT_TRUE(ZVC450_RefreshEx(p.h(), 0, &sum, f.data(), &nf, d.data(), &nd));
        if (fw == 0x14200) {
            EXPECT_EQ(Body(p.link.written[0]), "MG");
            EXPECT_EQ(nd, 0);
            ASSERT_EQ(nf, 1);
            EXPECT_EQ(NameOf(f[0]), "FILE.MP3");
        } else {
            EXPECT_EQ(Body(p.link.written[0]), "MGG");
            ASSERT_EQ(nd, 2);
            EXPECT_EQ(d[0].dwFirstCluster, 0x1234u);
            EXPECT_EQ(NameOf(d[1]), "ODD");
            ASSERT_EQ(nf, 1);
            EXPECT_EQ(NameOf(f[0]), "FILE.MP3");
            EXPECT_EQ(sum.dwDirsFound, 2u);
            EXPECT_EQ(sum.dwFilesFound, 1u);
        }
    }
}

TEST(ScriptListing, MediumInformation)
{
    {
        ScriptedPlayer p(0x13000);
        ZVC450_MEDIUMINFO info{};
        EXPECT_FALSE(ZVC450_GetMediumInfo(p.h(), 0, &info));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
        EXPECT_TRUE(p.link.written.empty());
    }
    ScriptedPlayer p(0x14200);
    Bytes fields = {0x00, 0x20, 0x01, 0x00, 0x00, 0x05, 0x02, 0x00, 0x00, 0x01, 0x01, 0x01, 0x02,
                    0x00, 0x01, 0x00, 0x08, 0x00, 0x11, 0x00, 0x02, 0x00, 0x20, 0x01, 0x02, 0x00, 0x02};
    p.Answer(okAnswer(fields));
    ZVC450_MEDIUMINFO info{};
    ASSERT_TRUE(ZVC450_GetMediumInfo(p.h(), 1, &info));
    EXPECT_EQ(+info.wTotalFileCount, 32);
    EXPECT_EQ(+info.wTotalBlockCount, 256);
    EXPECT_EQ(+info.wUsedBlockCount, 5);
    EXPECT_EQ(+info.wPhysicalBlockCount, 512);
    EXPECT_EQ(+info.wBadBlockCount, 1);
    EXPECT_EQ(+info.bMediumType, 2);
    EXPECT_EQ(+info.wFATSectorCount, 8);
    EXPECT_EQ(+info.wRootStartSector, 17);
    EXPECT_EQ(+info.wBytesPerSector, 512);
    EXPECT_EQ(+info.bSectorsPerCluster, 32);
    EXPECT_EQ(+info.wRootEntryCount, 512);
    EXPECT_EQ(+info.bFATType, 2);
    EXPECT_EQ(Body(p.link.written[0]), "SI");
    // A refusal is the player's, with its reason (no card, say) for the message.
    p.Answer(refusedAnswer(2));
    EXPECT_FALSE(ZVC450_GetMediumInfo(p.h(), 1, &info));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), 2);
}

// ---- Current path --------------------------------------------------------------

namespace {

// The "DG" answer, its raw blocks and the final answer for a path.
void AnswerPath(ScriptedPlayer &p, const Bytes &path)
{
    Bytes first(2);
    zvc450::putBE16(first.data(), unsigned(path.size()));
    const size_t inFirst = std::min<size_t>(path.size(), 505);
    first.insert(first.end(), path.begin(), path.begin() + long(inFirst));
    p.Answer(okAnswer(first));
    Bytes rest(path.begin() + long(inFirst), path.end());
    rest.resize((rest.size() + 511) / 512 * 512, 0);
    for (size_t at = 0; at < rest.size(); at += 512)
        p.Answer(Bytes(rest.begin() + long(at), rest.begin() + long(at + 512)));
    p.Answer(okAnswer());
}

}  // namespace

TEST(ScriptPath, ComponentsLongNamesAndCutting)
{
    // 20 components with long names: 1280 path bytes, two raw blocks.
    Bytes longPath;
    std::string expectLong;
    for (int i = 0; i < 20; ++i) {
        const std::string name = "folder number " + std::to_string(10 + i);  // 16 characters
        Bytes l2 = LongSlot(0x42, name.substr(13)), l1 = LongSlot(0x01, name.substr(0, 13));
        Bytes s = ShortSlot("FOLDER~1   ", 0x10);
        longPath.insert(longPath.end(), l2.begin(), l2.end());
        longPath.insert(longPath.end(), l1.begin(), l1.end());
        longPath.insert(longPath.end(), s.begin(), s.end());
        expectLong += "/" + name;
    }
    struct Row {
        Bytes path;
        int size;
        std::string expected;
    };
    Bytes music = ShortSlot("MUSIC      ", 0x10), rock = ShortSlot("ROCK       ", 0x10);
    Bytes two = music;
    two.insert(two.end(), rock.begin(), rock.end());
    const Row rows[] = {
        {{}, 64, "/"},
        {two, 64, "/MUSIC/ROCK"},
        {two, 8, "/MUSIC/"},
        {two, 1, ""},
        {longPath, 1024, expectLong},
        {longPath, 40, expectLong.substr(0, 39)},  // cut short: the pending blocks are still read
    };
    for (const Row &r : rows) {
        ScriptedPlayer p(0x14300);
        AnswerPath(p, r.path);
        std::vector<char> buf(size_t(r.size), 'x');
        ASSERT_TRUE(ZVC450_GetCurrentDirectory(p.h(), 0, buf.data(), r.size)) << r.expected;
        EXPECT_EQ(std::string(buf.data()), r.expected);
        EXPECT_TRUE(p.link.toRead.empty()) << "the final answer was not the last thing read";
        EXPECT_EQ(Body(p.link.written[0]), "MDG");
    }
    // Older firmware: always the root, nothing sent.
    ScriptedPlayer old(0x14200);
    char buf[8];
    ASSERT_TRUE(ZVC450_GetCurrentDirectory(old.h(), 0, buf, sizeof buf));
    EXPECT_STREQ(buf, "/");
    EXPECT_TRUE(old.link.written.empty());
}

// ---- Download -----------------------------------------------------------------------

TEST(ScriptDownload, AnnouncementsOfBothGenerations)
{
    TempDir dir;
    WriteFile(dir / "readme.txt", Pattern(1000, 7));
    {
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer({0, 0x01, 0x2C}));
        ASSERT_TRUE(ZVC450_Download(nullptr, p.h(), 1, (dir / "readme.txt").c_str()));
        ASSERT_EQ(p.link.written.size(), 2u);
        const Bytes &a = p.link.written[0];
        EXPECT_EQ(Bytes(a.begin(), a.begin() + 8), (Bytes{'#', 0, 2, ':', 'S', 'W', 0, 0x41}));
        EXPECT_EQ(a[8], 0x41);  // the long-name slot
        EXPECT_EQ(std::string(a.begin() + 40, a.begin() + 51), "README  TXT");
        EXPECT_EQ(zvc450::getLE32(a.data() + 68), 1000u);
        EXPECT_EQ(a[72], '.');
        // One transfer of 1024 bytes: the file, then zeros.
        const Bytes &data = p.link.written[1];
        ASSERT_EQ(data.size(), 1024u);
        EXPECT_TRUE(Bytes(data.begin(), data.begin() + 1000) == Pattern(1000, 7));
        EXPECT_EQ(Bytes(data.begin() + 1000, data.end()), Bytes(24, 0));
    }
    {
        WriteFile(dir / "longfilename.mp3", Pattern(16384, 8));
        ScriptedPlayer p(0x12500);
        p.Answer(okAnswer({0, 5}));
        ASSERT_TRUE(ZVC450_Download(nullptr, p.h(), 0, (dir / "longfilename.mp3").c_str()));
        const Bytes &a = p.link.written[0];
        const std::string body = Body(a);
        ASSERT_EQ(body.size(), 2u + 12 + 8);
        EXPECT_EQ(body.substr(0, 14), "MWLONGFILE.MP3");
        EXPECT_EQ(zvc450::getBE32(reinterpret_cast<const uint8_t *>(body.data()) + 18), 16384u);
        ASSERT_EQ(p.link.written.size(), 2u);
        EXPECT_EQ(p.link.written[1].size(), 16384u);
    }
}

TEST(ScriptDownload, RefusalsAndLocalFaults)
{
    TempDir dir;
    WriteFile(dir / "A.MP3", Pattern(100, 1));
    struct Row {
        Bytes answer;
        int error;
    };
    const Row rows[] = {{refusedAnswer(25), ZVC450USB_ERR_DISKFULL}, {refusedAnswer(16), ZVC450USB_ERR_INTERNAL}};
    for (const Row &r : rows) {
        ScriptedPlayer p(0x14300);
        p.Answer(r.answer);
        EXPECT_FALSE(ZVC450_Download(nullptr, p.h(), 0, (dir / "A.MP3").c_str()));
        EXPECT_EQ(ZVC450_GetError(), r.error);
        EXPECT_EQ(p.link.written.size(), 1u);
    }
    ScriptedPlayer p(0x14300);
    EXPECT_FALSE(ZVC450_Download(nullptr, p.h(), 0, (dir / "missing.mp3").c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(ENOENT));
    EXPECT_FALSE(ZVC450_Download(nullptr, p.h(), 0, dir.path().c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    WriteFile(dir / ".mp3", Pattern(10, 1));
    EXPECT_FALSE(ZVC450_Download(nullptr, p.h(), 0, (dir / ".mp3").c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME);
    EXPECT_TRUE(p.link.written.empty());
}

// The file shrinks while it is sent: the missing bytes are an error, never
// padding sent as file content, and the player is told to stop.
TEST(ScriptDownload, ShortLocalReadIsAnError)
{
    TempDir dir;
    const std::string path = dir / "SHRINK.BIN";
    WriteFile(path, Pattern(40000, 9));
    ScriptedPlayer p(0x14300);
    p.Answer(okAnswer({0, 0, 1}));
    p.link.onWrite = [&](const Bytes &) {
        if (p.link.written.size() == 2)
            truncate(path.c_str(), 20000);
    };
    EXPECT_FALSE(ZVC450_Download(nullptr, p.h(), 0, path.c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(ENODATA));
    EXPECT_EQ(p.link.written.size(), 2u);  // announcement and the first 16 KiB only
    EXPECT_EQ(p.link.controlRequests, 1);
    EXPECT_EQ(p.link.drains, 1);
}

// ---- Upload -----------------------------------------------------------------------

TEST(ScriptUpload, AnswersAndSizes)
{
    TempDir dir;
    const std::string dest = dir / "out.bin";
    {
        // Kind 3 is refused before anything is sent.
        ScriptedPlayer p(0x14300);
        EXPECT_FALSE(ZVC450_Upload(nullptr, p.h(), 0, 1, dest.c_str(), nullptr, 10, 3));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
        EXPECT_TRUE(p.link.written.empty());
    }
    {
        // A number the command cannot carry, or a memory the player does not
        // have, is refused before anything is sent.
        struct Row {
            unsigned fw;
            int memory, number;
        } rows[] = {{0x12500, 0, 300}, {0x12500, 0, -1}, {0x14300, 0, 65536}, {0x14300, 2, 0}};
        for (const Row &r : rows) {
            ScriptedPlayer p(r.fw);
            EXPECT_FALSE(ZVC450_Upload(nullptr, p.h(), r.memory, r.number, dest.c_str(), nullptr, 10, 0));
            EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED) << r.number;
            EXPECT_TRUE(p.link.written.empty());
            EXPECT_FALSE(Exists(dest));
        }
    }
    {
        // 700 bytes: one read of 1024, 700 written; index 300 as two bytes.
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        p.Answer(okAnswer());
        Bytes data = Pattern(1024, 3);
        p.Answer(data);
        ASSERT_TRUE(ZVC450_Upload(nullptr, p.h(), 1, 300, dest.c_str(), "X", 700, 0));
        EXPECT_EQ(Body(p.link.written[0]), std::string("SR\x01\x2C", 4));
        EXPECT_EQ(p.link.readSizes.at(2), 1024);
        EXPECT_TRUE(ReadFile(dest) == Bytes(data.begin(), data.begin() + 700));
    }
    {
        // Size 0: two answers, an empty file; one-byte index on old firmware.
        ScriptedPlayer p(0x12000);
        p.Answer(okAnswer());
        p.Answer(okAnswer());
        ASSERT_TRUE(ZVC450_Upload(nullptr, p.h(), 0, 44, dest.c_str(), nullptr, 0, 0));
        EXPECT_EQ(Body(p.link.written[0]), "MR\x2C");
        EXPECT_TRUE(Exists(dest));
        EXPECT_TRUE(ReadFile(dest).empty());
    }
    {
        // No second answer: the link failed (4), not the player; no file.
        ::unlink(dest.c_str());
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        EXPECT_FALSE(ZVC450_Upload(nullptr, p.h(), 0, 1, dest.c_str(), nullptr, 10, 0));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
        EXPECT_FALSE(Exists(dest));
    }
    {
        // Data that stops coming: error 4, the partial file is gone.
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        p.Answer(okAnswer());
        p.Answer(Pattern(16384, 1));
        EXPECT_FALSE(ZVC450_Upload(nullptr, p.h(), 0, 1, dest.c_str(), nullptr, 40000, 0));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
        EXPECT_FALSE(Exists(dest));
    }
}

// The local file cannot be created or written: error 6 with the errno, no
// file left behind, and the player is never asked, or stopped so the link
// stays in step.
TEST(ScriptUpload, LocalFileFaults)
{
    TempDir dir;
    for (const std::string &dest : {dir / "no/such/dir.bin", dir.path()}) {
        ScriptedPlayer p(0x14300);
        EXPECT_FALSE(ZVC450_Upload(nullptr, p.h(), 0, 1, dest.c_str(), nullptr, 500, 0));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
        EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(dest == dir.path() ? EISDIR : ENOENT));
        EXPECT_TRUE(p.link.written.empty()) << "the player was asked for a file with nowhere to go";
    }
    {
        // A file size limit makes the write fail as a full disk would.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit lim = old;
        lim.rlim_cur = 20000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        p.Answer(okAnswer());
        for (int i = 0; i < 4; ++i)
            p.Answer(Pattern(16384, unsigned(i)));
        const std::string dest = dir / "full.bin";
        const int ok = ZVC450_Upload(nullptr, p.h(), 0, 1, dest.c_str(), nullptr, 65536, 0);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(ok);
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
        EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(EFBIG));
        EXPECT_FALSE(Exists(dest));
        EXPECT_EQ(p.link.controlRequests, 1);
    }
}

// ---- Delete, rename, directories, replace -------------------------------------------

TEST(ScriptFileOps, PayloadsOfEveryGeneration)
{
    ZVC450_DIRENTRY old{};
    old.bAttribute = 0x20;
    old.dwFirstCluster = 0x00030007;
    old.dwSize = 123456;
    old.wWriteDate = 0x5A21;
    old.bReserved = 0x18;  // the old 8.3 name was shown in lower case
    struct Row {
        const char *what;
        unsigned fw;
        std::function<int(HZVC450)> call;
        std::string body;  // "" = nothing may be sent
        int error;         // expected error when nothing is sent
    };
    const Row rows[] = {
        {"delete wide", 0x13000, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 1, 300, "x"); },
         std::string("SE\x01\x2C", 4), 0},
        {"delete narrow", 0x12500, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 0, 44, "x"); },
         "ME\x2C", 0},
        {"rename 8.3", 0x12500, [&](HZVC450 h) { return ZVC450_Rename(h, 0, 7, "MUSIC.MP3", &old); },
         std::string("MN\x07MUSIC.MP3"), 0},
        {"rename invalid", 0x12500, [&](HZVC450 h) { return ZVC450_Rename(h, 0, 7, ".mp3", &old); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"replace wide", 0x14300, [](HZVC450 h) { return ZVC450_Replace(h, 0, 0x102, 0x103); },
         std::string("MP\x01\x02\x01\x03", 6), 0},
        {"replace narrow", 0x11000, [](HZVC450 h) { return ZVC450_Replace(h, 0, 4, 5); }, "MP\x04\x05", 0},
        {"cd", 0x14300, [](HZVC450 h) { return ZVC450_ChangeDirectory(h, 0, 0x1234); }, "MDC\x12\x34", 0},
        {"rd", 0x14300, [](HZVC450 h) { return ZVC450_RemoveDirectory(h, 1, 0x0102); },
         std::string("SDR\x01\x02", 5), 0},
        {"md", 0x14300, [](HZVC450 h) { return ZVC450_MakeDirectory(h, 0, "ALBUMS"); }, "", 0},
        {"cd old", 0x14200, [](HZVC450 h) { return ZVC450_ChangeDirectory(h, 0, 1); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"md old", 0x14200, [](HZVC450 h) { return ZVC450_MakeDirectory(h, 0, "A"); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rd old", 0x14200, [](HZVC450 h) { return ZVC450_RemoveDirectory(h, 0, 1); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rn old", 0x14200, [&](HZVC450 h) { return ZVC450_RenameDirectory(h, 0, "B", &old); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        // A file number the command cannot carry is refused, never wrapped
        // onto another file (300 would be file 44 in one byte, -1 file 255).
        {"delete narrow 300", 0x12500, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 0, 300, "x"); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"delete narrow -1", 0x12500, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 0, -1, "x"); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"delete wide 65536", 0x13000, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 0, 65536, "x"); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rename narrow 256", 0x12500, [&](HZVC450 h) { return ZVC450_Rename(h, 0, 256, "MUSIC.MP3", &old); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rename wide -1", 0x14300, [&](HZVC450 h) { return ZVC450_Rename(h, 0, -1, "MUSIC.MP3", &old); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"replace narrow 256", 0x12500, [](HZVC450 h) { return ZVC450_Replace(h, 0, 255, 256); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"replace wide -1", 0x14300, [](HZVC450 h) { return ZVC450_Replace(h, 0, -1, 0); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"replace narrow 255", 0x12500, [](HZVC450 h) { return ZVC450_Replace(h, 0, 254, 255); },
         "MP\xFE\xFF", 0},
        // The library's own refusals are not the player's: no such memory
        // (2 would address the font area), no record to keep the stamps from.
        {"delete memory 2", 0x14300, [](HZVC450 h) { return ZVC450_Delete(nullptr, h, 2, 0, "x"); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"cd memory -1", 0x14300, [](HZVC450 h) { return ZVC450_ChangeDirectory(h, -1, 2); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"format memory 2", 0x14300, [](HZVC450 h) { return ZVC450_Format(nullptr, h, 2); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"list memory 2", 0x14300, [](HZVC450 h) { return ZVC450_Refresh(h, 2, nullptr, nullptr, nullptr); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"medium info memory -2", 0x14300, [](HZVC450 h) { return ZVC450_GetMediumInfo(h, -2, nullptr); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rename no record", 0x14300, [](HZVC450 h) { return ZVC450_Rename(h, 0, 1, "A.MP3", nullptr); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        {"rn no record", 0x14300, [](HZVC450 h) { return ZVC450_RenameDirectory(h, 0, "A", nullptr); }, "",
         ZVC450USB_ERR_UNSUPPORTED},
        // Names the player cannot store go nowhere.
        {"md a:b", 0x14300, [](HZVC450 h) { return ZVC450_MakeDirectory(h, 0, "a:b"); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"md ..", 0x14300, [](HZVC450 h) { return ZVC450_MakeDirectory(h, 0, ".."); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"rename 8.3 AC\\DC", 0x12500, [&](HZVC450 h) { return ZVC450_Rename(h, 0, 1, "AC\\DC.MP3", &old); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"rename trailing dot", 0x14300, [&](HZVC450 h) { return ZVC450_Rename(h, 0, 1, "song.", &old); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"rn blank", 0x14300, [&](HZVC450 h) { return ZVC450_RenameDirectory(h, 0, "  ", &old); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
        {"md too long", 0x14300,
         [](HZVC450 h) { return ZVC450_MakeDirectory(h, 0, std::string(190, 'x').c_str()); }, "",
         ZVS450USB_ERR_INVALID_FILENAME},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        ScriptedPlayer p(r.fw);
        p.Answer(okAnswer());
        const int ok = r.call(p.h());
        if (r.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(ZVC450_GetError(), r.error);
            EXPECT_TRUE(p.link.written.empty());
            continue;
        }
        EXPECT_TRUE(ok);
        ASSERT_EQ(p.link.written.size(), 1u);
        if (!r.body.empty()) {
            EXPECT_EQ(Body(p.link.written[0]), r.body);
        }
    }
    {
        // "DM" of a plain name: one entry with the directory attribute.
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        ASSERT_TRUE(ZVC450_MakeDirectory(p.h(), 0, "ALBUMS"));
        const Bytes &a = p.link.written[0];
        EXPECT_EQ(Bytes(a.begin() + 4, a.begin() + 9), (Bytes{'M', 'D', 'M', 0, 32}));
        EXPECT_EQ(std::string(a.begin() + 9, a.begin() + 20), "ALBUMS     ");
        EXPECT_EQ(a[9 + 11], 0x10);
        EXPECT_EQ(a[41], '.');
    }
    {
        // A lossy rename: entry set with the old cluster and size, irregular.
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        ASSERT_TRUE(ZVC450_Rename(p.h(), 0, 300, "new name.mp3", &old));
        const Bytes &a = p.link.written[0];
        EXPECT_EQ(Bytes(a.begin(), a.begin() + 10), (Bytes{'#', 0, 2, ':', 'M', 'N', 1, 0x2C, 0, 0x41}));
        const uint8_t *s = a.data() + 10 + 32;
        EXPECT_EQ(zvc450::getLE16(s + 20), 3u);
        EXPECT_EQ(zvc450::getLE16(s + 26), 7u);
        EXPECT_EQ(zvc450::getLE32(s + 28), 123456u);
        EXPECT_EQ(zvc450::getLE16(s + 24), 0x5A21u);
        EXPECT_EQ(s[12], 0) << "the new name shows as written, not in the old name's case";
    }
    {
        // Rename directory: the key comes from the record's cluster.
        ScriptedPlayer p(0x14300);
        p.Answer(okAnswer());
        ZVC450_DIRENTRY dir = old;
        dir.bAttribute = 0x10;
        ASSERT_TRUE(ZVC450_RenameDirectory(p.h(), 1, "NEW", &dir));
        const Bytes &a = p.link.written[0];
        EXPECT_EQ(Bytes(a.begin(), a.begin() + 11), (Bytes{'#', 0, 2, ':', 'S', 'D', 'N', 0, 7, 0, 33}));
        EXPECT_EQ(a[11 + 11], 0x10);
        EXPECT_EQ(a[11 + 12], 0);
    }
    {
        // A refusal is error 5 with the player's reason.
        ScriptedPlayer p(0x14300);
        p.Answer(refusedAnswer(16));
        EXPECT_FALSE(ZVC450_MakeDirectory(p.h(), 0, "ALBUMS"));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), 16);
    }
}

// ---- Format -------------------------------------------------------------------------

TEST(ScriptFormat, OneShotAndProgressAnswers)
{
    {
        ScriptedPlayer p(0x11FFF);
        p.Answer(okAnswer());
        ASSERT_TRUE(ZVC450_FormatLow(nullptr, p.h(), 1));
        const Bytes &a = p.link.written[0];
        EXPECT_EQ(Bytes(a.begin(), a.begin() + 7), (Bytes{'#', 0, 4, ':', 'S', 'L', '.'}));
        EXPECT_EQ(ZVC450_GetError(), 0);
    }
    {
        ScriptedPlayer p(0x12000);
        for (uint8_t pct : {uint8_t(10), uint8_t(50), uint8_t(99)})
            p.Answer(okAnswer({pct}));
        p.Answer(okAnswer());
        ZVC450_SetError(4);
        ASSERT_TRUE(ZVC450_Format(nullptr, p.h(), 0));
        EXPECT_EQ(Body(p.link.written[0]), "MFD");
        EXPECT_TRUE(p.link.toRead.empty());
        EXPECT_EQ(ZVC450_GetError(), 0);
    }
    {
        // A refused progress answer ends it; the final answer is not read.
        ScriptedPlayer p(0x12000);
        p.Answer(okAnswer({10}));
        p.Answer(refusedAnswer(29));
        p.Answer(okAnswer());
        EXPECT_FALSE(ZVC450_Format(nullptr, p.h(), 0));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), 29);
        EXPECT_EQ(p.link.toRead.size(), 1u);
    }
}
