// ZVC450_DownloadEx with ZVC450_DOWNLOAD_KEEP_TIME: the copy carries the
// local file's modification time, on every firmware generation (the older
// announcement carries a date and time as the newer entry set does).

#include "fileops_fixture.h"

#include <sys/time.h>

#include <ctime>

using namespace fileops;

namespace {

class KeepTimeTest : public ::testing::TestWithParam<const char *> {};

}  // namespace

TEST_P(KeepTimeTest, TheCopyIsDatedLikeTheFile)
{
    EmuSession s(GetParam());
    TempDir local;
    struct tm when = {};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 10;
    when.tm_min = 17;
    when.tm_sec = 33;
    when.tm_isdst = -1;
    const time_t mtime = mktime(&when);
    for (const char *name : {"KEPT.BIN", "NOW.BIN"}) {
        WriteFile(local / name, Pattern(3000, 1));
        const struct timeval times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(::utimes((local / name).c_str(), times), 0);
    }
    ASSERT_TRUE(ZVC450_DownloadEx(nullptr, s.h, 0, (local / "KEPT.BIN").c_str(), ZVC450_DOWNLOAD_KEEP_TIME));
    ASSERT_TRUE(ZVC450_DownloadEx(nullptr, s.h, 0, (local / "NOW.BIN").c_str(), 0));
    EXPECT_FALSE(ZVC450_DownloadEx(nullptr, s.h, 0, (local / "NOW.BIN").c_str(), 2));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);

    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    ASSERT_EQ(l.files.size(), 2u) << "the refused call sent nothing";
    const ZVC450_DIRENTRY &kept = l.files[size_t(l.IndexOf("KEPT.BIN"))];
    EXPECT_EQ(kept.wWriteDate, (2021 - 1980) << 9 | 3 << 5 | 4);
    EXPECT_EQ(kept.wWriteTime, 10 << 11 | 17 << 5 | 33 / 2);
    EXPECT_NE(l.files[size_t(l.IndexOf("NOW.BIN"))].wWriteDate, kept.wWriteDate) << "dated when copied";

    // mtools reads the same date from the image.
    s.Close();
    std::string out;
    ASSERT_EQ(RunTool("mdir -i '" + s.Internal() + "' ::/KEPT.BIN", &out), 0);
    EXPECT_NE(out.find("2021-03-04  10:17"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Generations, KeepTimeTest, ::testing::Values("1.1", "1.30", "1.43"));
