// Reading a copy back from the emulated player and comparing it with the
// local file (ZVC450_VerifyFile), against a player whose flash damages every
// Nth block it stores without saying so.

#include "fileops_fixture.h"

using namespace fileops;

namespace {

class VerifyTest : public ::testing::TestWithParam<const char *> {};

// Copies `path` to the player and returns its file number (-1 on failure).
int Put(EmuSession &s, const std::string &path, const std::string &name)
{
    if (!ZVC450_Download(nullptr, s.h, 0, path.c_str()))
        return -1;
    Listing l;
    return List(s.h, 0, &l) ? l.IndexOf(name) : -1;
}

long long Verify(EmuSession &s, int index, const std::string &path, unsigned size)
{
    long long difference = -2;
    EXPECT_TRUE(ZVC450_VerifyFile(nullptr, s.h, 0, index, path.c_str(), "shown", size, &difference))
        << "error " << ZVC450_GetError();
    return difference;
}

}  // namespace

// A copy stored as sent verifies; one whose second block was damaged is
// found at the damaged byte, although the copy itself reported success.
TEST_P(VerifyTest, FindsTheFirstDamagedByte)
{
    EmuSession s(GetParam());
    TempDir local;
    const size_t size = 40000;  // blocks of 16384, 16384 and 7232 bytes
    WriteFile(local / "GOOD.BIN", Pattern(size, 1));
    WriteFile(local / "BAD.BIN", Pattern(size, 2));

    const int good = Put(s, local / "GOOD.BIN", "GOOD.BIN");
    ASSERT_GE(good, 0);
    EXPECT_EQ(Verify(s, good, local / "GOOD.BIN", size), -1);

    s.emulator->Faults().CorruptWrites(2);
    const int bad = Put(s, local / "BAD.BIN", "BAD.BIN");
    ASSERT_GE(bad, 0) << "the damage goes unseen by the copy itself";
    // The middle byte of the second block has one bit turned over.
    const long long expected = 16384 + 16384 / 2;
    EXPECT_EQ(Verify(s, bad, local / "BAD.BIN", size), expected);
    // Unverified, the damaged copy reads back as if nothing happened.
    ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, bad, (local / "back").c_str(), nullptr, unsigned(size), 0));
    Bytes back = ReadFile(local / "back");
    ASSERT_EQ(back.size(), size);
    Bytes sent = Pattern(size, 2);
    EXPECT_EQ(back[size_t(expected)] ^ sent[size_t(expected)], 0x01);
    back[size_t(expected)] = sent[size_t(expected)];
    EXPECT_TRUE(back == sent) << "one bit and no more";
    // The first copy is still good: the player stays in step after a verdict.
    EXPECT_EQ(Verify(s, good, local / "GOOD.BIN", size), -1);
}

INSTANTIATE_TEST_SUITE_P(Generations, VerifyTest, ::testing::Values("1.1", "1.30", "1.43"));

// Where one file ends and the other goes on, the difference is at the end of
// the shorter; a difference in the first block of a large file stops the
// player, and the next command is answered as usual.
TEST(Verify, SizesAndEarlyDifferences)
{
    EmuSession s("1.43");
    TempDir local;
    const Bytes content = Pattern(100000, 3);
    WriteFile(local / "FILE.BIN", content);
    const int index = Put(s, local / "FILE.BIN", "FILE.BIN");
    ASSERT_GE(index, 0);

    Bytes longer = content;
    longer.push_back(0);
    WriteFile(local / "longer", longer);
    EXPECT_EQ(Verify(s, index, local / "longer", 100000), 100000);

    WriteFile(local / "shorter", Bytes(content.begin(), content.begin() + 5000));
    EXPECT_EQ(Verify(s, index, local / "shorter", 100000), 5000);

    Bytes first = content;
    first[0] ^= 0x80;
    WriteFile(local / "first", first);
    EXPECT_EQ(Verify(s, index, local / "first", 100000), 0);
    EXPECT_EQ(Verify(s, index, local / "FILE.BIN", 100000), -1);

    WriteFile(local / "empty", Bytes());
    EXPECT_EQ(Verify(s, index, local / "empty", 100000), 0);
}

// Refusals before anything is sent leave the player ready for the next
// command.
TEST(Verify, RefusesWhatItCannotCompare)
{
    EmuSession s("1.25");
    TempDir local;
    WriteFile(local / "A.BIN", Pattern(1000, 4));
    const int index = Put(s, local / "A.BIN", "A.BIN");
    ASSERT_GE(index, 0);
    long long difference = 7;
    struct Row {
        int memory;
        int index;
        std::string path;
        int error;
        unsigned sys;
    };
    const Row rows[] = {
        {0, 256, local / "A.BIN", ZVC450USB_ERR_UNSUPPORTED, 0},  // one byte carries 0..255 here
        {0, -1, local / "A.BIN", ZVC450USB_ERR_UNSUPPORTED, 0},
        {2, index, local / "A.BIN", ZVC450USB_ERR_UNSUPPORTED, 0},
        {0, index, local / "missing", ZVC450USB_ERR_WINDOWS, ENOENT},
        {0, index, local.path(), ZVC450USB_ERR_WINDOWS, EISDIR},
    };
    for (const Row &r : rows) {
        ZVC450_SetError(0);
        ZVC450_SetWindowsError(0);
        EXPECT_FALSE(ZVC450_VerifyFile(nullptr, s.h, r.memory, r.index, r.path.c_str(), nullptr, 1000, &difference));
        EXPECT_EQ(ZVC450_GetError(), r.error) << r.path;
        if (r.sys) {
            EXPECT_EQ(ZVC450_GetWindowsError(), r.sys) << r.path;
        }
    }
    EXPECT_EQ(difference, 7) << "untouched on failure";
    EXPECT_FALSE(ZVC450_VerifyFile(nullptr, s.h, 0, index, (local / "A.BIN").c_str(), nullptr, 1000, nullptr));
    // The player's own refusal: no such file.
    EXPECT_FALSE(ZVC450_VerifyFile(nullptr, s.h, 0, 5, (local / "A.BIN").c_str(), nullptr, 1000, &difference));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_FILE_NOT_EXIST);
    EXPECT_EQ(Verify(s, index, local / "A.BIN", 1000), -1);
}
