// The library over the real virtual USB link against a scripted player that
// says what a damaged or hostile one could: folders with unusual attribute
// bits, refused listings with garbage in their padding, listing blocks that
// arrive short, answers shorter than their records, a missing answer, more
// file data than asked for.  Each test also checks that the next command
// still gets its own answer.

#include "fake_player.h"
#include "fileops_fixture.h"

#include <fcntl.h>

#include <set>

using namespace fileops;
using zvc450test::FakePlayer;

namespace {

constexpr const char *kIdentity = "BRIGHTFEN ZVC450 FILE SYSTEM MP3 PLAYER BY BRIGHTFEN ";

// The library opened on a scripted player that reports the given version.
class LinkSession {
public:
    explicit LinkSession(const std::string &version)
    {
        player.useForLibrary();
        ZVC450_SetExpectedFirmwareVersion(0);
        // Short, so that a step the library takes wrongly fails the test
        // quickly instead of hanging it.
        ZVC450_SetTimeout(2000, 2000);
        player.answerNext(zvc450test::framedAnswer(kIdentity + version));
        if (!ZVC450_Open(&h))
            ADD_FAILURE() << "the library did not open the scripted player";
    }
    ~LinkSession()
    {
        ZVC450_Close(h);
        ZVC450_Free(h);
    }
    // Bodies of the commands sent after the identification.
    std::vector<std::string> Commands()
    {
        std::vector<std::string> out;
        const std::vector<Bytes> all = player.outTransfers();
        for (size_t i = 1; i < all.size(); ++i)
            if (all[i].size() == size_t(zvc450::kPacketSize) && all[i][0] == '#')
                out.push_back(Body(all[i]));
        return out;
    }
    int ControlRequests()
    {
        int n = 0;
        for (const FakePlayer::Message &m : player.received())
            n += m.type == 'C';
        return n;
    }
    // The link is in step: a delete gets its own answer.
    void ExpectInStep()
    {
        player.answerNext(refusedAnswer(ZVC450INT_ERR_FILE_NOT_EXIST));
        EXPECT_FALSE(ZVC450_Delete(nullptr, h, 0, 7, "x"));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_FILE_NOT_EXIST) << "the answer was not the delete's";
    }

    FakePlayer player;
    HZVC450 h = nullptr;
};

std::vector<Bytes> HeaderAndBlocks(unsigned files, const std::vector<Bytes> &slots)
{
    std::vector<Bytes> out = {ListingHeader(files, unsigned(slots.size()))};
    for (const Bytes &b : Blocks(slots))
        out.push_back(b);
    return out;
}

std::vector<std::string> Names(const std::vector<ZVC450_DIRENTRY> &records, int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(NameOf(records[size_t(i)]));
    return out;
}

}  // namespace

// ---- Listing ---------------------------------------------------------------------

// A.MP3, a hidden folder, B.MP3, a system folder, an archive folder, C.MP3:
// the player numbers the three files 0, 1, 2, and deleting "B" must send 1.
TEST(LinkListing, FoldersWithOtherAttributeBitsAreNotFiles)
{
    const std::vector<Bytes> slots = {
        ShortSlot("A       MP3", 0x20, 3), LongSlot(0x41, "Hidden stuff"), ShortSlot("HIDDEN~1   ", 0x12, 4),
        ShortSlot("B       MP3", 0x20, 5), ShortSlot("SYSTEM     ", 0x16, 6), ShortSlot("ARCHIVE    ", 0x30, 7),
        ShortSlot("C       MP3", 0x20, 8)};
    for (const char *version : {"1.42", "1.43"}) {
        SCOPED_TRACE(version);
        LinkSession s(version);
        s.player.answerNext(HeaderAndBlocks(3, slots));
        std::vector<ZVC450_DIRENTRY> f(8), d(8);
        int nf = 8, nd = 8;
        ZVC450_SUMMARY sum{};
        ASSERT_TRUE(ZVC450_RefreshEx(s.h, 0, &sum, f.data(), &nf, d.data(), &nd));
        EXPECT_EQ(Names(f, nf), (std::vector<std::string>{"A.MP3", "B.MP3", "C.MP3"}));
        EXPECT_EQ(sum.dwFilesFound, 3u);
        if (std::string(version) == "1.43") {
            EXPECT_EQ(Names(d, nd), (std::vector<std::string>{"Hidden stuff", "SYSTEM", "ARCHIVE"}));
            EXPECT_EQ(sum.dwDirsFound, 3u);
        } else {
            EXPECT_EQ(nd, 0);
        }
        s.player.answerNext(okAnswer());
        ASSERT_TRUE(ZVC450_Delete(nullptr, s.h, 0, 1, "B.MP3"));
        EXPECT_EQ(s.Commands().back(), std::string("ME\0\1", 4));
    }
}

// The files-only listing skips folders; the long name of a skipped folder
// ends with it and never lands on the plain 8.3 file after it.
TEST(LinkListing, SkippedFolderTakesItsLongNameAlong)
{
    LinkSession s("1.42");
    s.player.answerNext(HeaderAndBlocks(
        2, {LongSlot(0x41, "My Music"), ShortSlot("MYMUSI~1   ", 0x10, 4), ShortSlot("PLAIN   MP3", 0x20, 5),
            LongSlot(0x41, "Label"), ShortSlot("VOLUME     ", 0x08), ShortSlot("OTHER   MP3", 0x20, 6)}));
    std::vector<ZVC450_DIRENTRY> f(4);
    int nf = 4;
    ASSERT_TRUE(ZVC450_Refresh(s.h, 0, nullptr, f.data(), &nf));
    ASSERT_EQ(nf, 2);
    for (int i = 0; i < nf; ++i) {
        EXPECT_STREQ(f[size_t(i)].szLongName, "") << i;
        EXPECT_EQ(f[size_t(i)].bLongNameStatus, 0) << i;
    }
    EXPECT_EQ(Names(f, nf), (std::vector<std::string>{"PLAIN.MP3", "OTHER.MP3"}));
}

// A refused listing fails with the player's reason.  Its counts are never
// read from what follows the terminator (a real player leaves old bytes
// there): here they would promise a block of slots that never comes.
TEST(LinkListing, RefusedListingIsAnError)
{
    for (const char *version : {"1.25", "1.43"}) {
        SCOPED_TRACE(version);
        LinkSession s(version);
        Bytes refusal = refusedAnswer(ZVC450INT_ERR_CARD_NOT_DETECTED);
        const uint8_t padding[] = {0x00, 0x03, 0x00, 0x10, 0x01, 0xF4, 0x00, 0x07};
        std::memcpy(refusal.data() + 7, padding, sizeof padding);
        s.player.answerNext(refusal);
        std::vector<ZVC450_DIRENTRY> f(4), d(4);
        int nf = 4, nd = 4;
        ZVC450_SUMMARY sum{};
        EXPECT_FALSE(ZVC450_RefreshEx(s.h, 1, &sum, f.data(), &nf, d.data(), &nd));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_CARD_NOT_DETECTED);
        s.ExpectInStep();
    }
}

// A block that arrives short carries only the slots in it: nothing from
// the block before it is listed again, and the summary shows that fewer
// files were found than the header announced.
TEST(LinkListing, ShortBlocksListOnlyWhatArrived)
{
    std::vector<Bytes> slots;
    for (int i = 0; i < 48; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "F%02d     MP3", i);
        slots.push_back(ShortSlot(name, 0x20, uint16_t(10 + i)));
    }
    std::vector<Bytes> replies = HeaderAndBlocks(48, slots);
    replies[2].resize(5 * 32);  // the second block: 5 of its 16 slots
    LinkSession s("1.43");
    s.player.answerNext(replies);
    std::vector<ZVC450_DIRENTRY> f(64), d(4);
    int nf = 64, nd = 4;
    ZVC450_SUMMARY sum{};
    ASSERT_TRUE(ZVC450_RefreshEx(s.h, 0, &sum, f.data(), &nf, d.data(), &nd));
    const std::vector<std::string> names = Names(f, nf);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "a file listed twice";
    EXPECT_EQ(nf, 16 + 5 + 16);
    EXPECT_EQ(sum.dwFileCount, 48u);
    EXPECT_EQ(sum.dwFilesFound, 37u) << "a caller tells an incomplete listing by these two";
    s.ExpectInStep();

    // A first block of two slots: exactly those two.
    Bytes twoSlots = slots[0];
    twoSlots.insert(twoSlots.end(), slots[1].begin(), slots[1].end());
    s.player.answerNext({ListingHeader(2, 16), twoSlots});
    nf = 64;
    ASSERT_TRUE(ZVC450_RefreshEx(s.h, 0, &sum, f.data(), &nf, d.data(), &nd));
    EXPECT_EQ(Names(f, nf), (std::vector<std::string>{"F00.MP3", "F01.MP3"}));
    s.ExpectInStep();
}

// ---- Medium information ------------------------------------------------------------

TEST(LinkMediumInfo, ShortAnswerAndRefusal)
{
    LinkSession s("1.43");
    ZVC450_MEDIUMINFO info{};
    // Status 0 and nothing else: the record would come from the terminator
    // and the padding ("file count 11776").
    s.player.answerNext(okAnswer());
    EXPECT_FALSE(ZVC450_GetMediumInfo(s.h, 0, &info));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), -1);
    EXPECT_EQ(info.wTotalFileCount, 0);
    // One byte short of the record.
    s.player.answerNext(okAnswer(Bytes(26, 1)));
    EXPECT_FALSE(ZVC450_GetMediumInfo(s.h, 0, &info));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    s.player.answerNext(okAnswer(Bytes(27, 1)));
    EXPECT_TRUE(ZVC450_GetMediumInfo(s.h, 0, &info));
    EXPECT_EQ(info.wTotalFileCount, 0x0101);

    // A refusal keeps the player's reason for the message.
    s.player.answerNext(refusedAnswer(ZVC450INT_ERR_CARD_NOT_DETECTED));
    EXPECT_FALSE(ZVC450_GetMediumInfo(s.h, 1, &info));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_CARD_NOT_DETECTED);
    s.ExpectInStep();
}

// ---- File numbers and names: refused before anything is sent ------------------------

TEST(LinkRefusals, NothingGoesOutForWhatThePlayerCannotTake)
{
    TempDir dir;
    WriteFile(dir / "AC\\DC - Thunder.mp3", Pattern(100, 1));
    WriteFile(dir / "Artist: Song.mp3", Pattern(100, 2));
    WriteFile(dir / "take 1.", Pattern(100, 3));
    LinkSession old("1.25");
    EXPECT_FALSE(ZVC450_Delete(nullptr, old.h, 0, 300, "x"));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(ZVC450_Upload(nullptr, old.h, 0, -1, (dir / "out").c_str(), nullptr, 10, 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(Exists(dir / "out"));
    for (const char *name : {"AC\\DC - Thunder.mp3", "Artist: Song.mp3", "take 1."}) {
        EXPECT_FALSE(ZVC450_Download(nullptr, old.h, 0, (dir / name).c_str())) << name;
        EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME) << name;
    }
    EXPECT_TRUE(old.Commands().empty());
    old.ExpectInStep();
}

// ---- Upload ----------------------------------------------------------------------

// Without the second answer the data never started: a link failure (4).
TEST(LinkUpload, MissingSecondAnswerIsALinkFailure)
{
    LinkSession s("1.43");
    TempDir dir;
    s.player.answerNext(okAnswer());
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, 0, (dir / "out.bin").c_str(), nullptr, 100, 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_FALSE(Exists(dir / "out.bin"));
}

// A copy that fails leaves the file that was there as it was, and no
// temporary file.
TEST(LinkUpload, FailedCopyKeepsTheOldFile)
{
    LinkSession s("1.43");
    TempDir dir;
    const std::string dest = dir / "song.mp3";
    WriteFile(dest, Pattern(5000, 9));
    ::chmod(dest.c_str(), 0640);
    s.player.answerNext({okAnswer(), okAnswer(), Pattern(16384, 1)});  // then nothing: the link is gone
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, 0, dest.c_str(), nullptr, 40000, 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_TRUE(ReadFile(dest) == Pattern(5000, 9));
    EXPECT_EQ(CountFiles(dir.path(), ""), 1);

    // A copy that completes replaces it, with the old file's permissions.
    s.player.answerNext({okAnswer(), okAnswer(), Pattern(1024, 2)});
    ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, 0, dest.c_str(), nullptr, 1000, 0));
    const Bytes want = Pattern(1024, 2);
    EXPECT_TRUE(ReadFile(dest) == Bytes(want.begin(), want.begin() + 1000));
    struct stat st;
    ASSERT_EQ(::stat(dest.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(CountFiles(dir.path(), ""), 1);

    // A file the user may not write is not replaced; the player is not asked.
    if (::geteuid() != 0) {
        ::chmod(dest.c_str(), 0440);
        const size_t commands = s.Commands().size();
        EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, 0, dest.c_str(), nullptr, 1000, 0));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
        EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(EACCES));
        EXPECT_EQ(s.Commands().size(), commands);
        EXPECT_TRUE(ReadFile(dest) == Bytes(want.begin(), want.begin() + 1000));
    }
}

// The player sends the whole file whatever size the caller asked for: what
// is left over is dropped, and the next command gets its own answer.
TEST(LinkUpload, SurplusDataIsDropped)
{
    TempDir dir;
    struct Row {
        unsigned size;
        std::vector<Bytes> data;  // what the player sends of its 40000-byte file
    };
    const Bytes a = Pattern(16384, 1), b = Pattern(16384, 2), c = Pattern(7168, 3);
    const Row rows[] = {
        {16384, {a, b, c}},  // the caller's size ends where a transfer ends
        {20000, {a, b, c}},  // ... or inside one
        {100, {a, b, c}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.size);
        LinkSession s("1.43");
        std::vector<Bytes> replies = {okAnswer(), okAnswer()};
        replies.insert(replies.end(), r.data.begin(), r.data.end());
        s.player.answerNext(replies);
        const std::string dest = dir / ("part" + std::to_string(r.size));
        const int ok = ZVC450_Upload(nullptr, s.h, 0, 0, dest.c_str(), nullptr, r.size, 0);
        if (ok) {
            Bytes all = a;
            all.insert(all.end(), b.begin(), b.end());
            EXPECT_TRUE(ReadFile(dest) == Bytes(all.begin(), all.begin() + r.size));
        } else {
            EXPECT_FALSE(Exists(dest));
        }
        s.ExpectInStep();
    }
}

// A FIFO (or a device) is refused before it is opened: opening a FIFO
// without a writer would block for good.
TEST(LinkDownload, OnlyRegularFilesAreSent)
{
    LinkSession s("1.43");
    TempDir dir;
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, fifo.c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, "/dev/zero"));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_TRUE(s.Commands().empty());
}
