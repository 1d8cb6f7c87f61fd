// The FAT engine when writes to its image fail: what it keeps in memory
// must stay what the image says.
#include <gtest/gtest.h>

#include <functional>

#include "fat_test_util.h"
#include "fat_volume.h"

using namespace fattest;
using emu::FatVolume;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// A volume whose sub-directory "Full" has its one cluster full of
// short-named files (the dot entries and 510 files), current directory.
std::string FullClusterImage(const TempDir& t) {
  const std::string img = t.Path("base.img");
  std::string err;
  EXPECT_TRUE(FatVolume::Format(img, 8 * kMiB, &err)) << err;
  auto v = FatVolume::Open(img, &err);
  auto set = Set("Full", 0, 0x10);
  uint16_t key = 0;
  EXPECT_EQ(v->MakeDir(set.data(), set.size() / 32, &key), 0);
  EXPECT_EQ(v->ChangeDir(key), 0);
  for (int i = 0; i < 510; ++i) {
    const auto data = Pattern(i % 50 == 0 ? 20000 : 0, uint32_t(i));
    set = Set("F" + std::to_string(i) + ".TXT");
    EXPECT_EQ(v->CreateFile(set.data(), set.size() / 32, data.data(), data.size()), 0) << i;
  }
  EXPECT_EQ(v->CurrentSlots().size(), 512 * 32u);
  return img;
}

// The free space a fresh look at the image finds.
uint64_t FreeOnImage(const std::string& img) {
  std::string err;
  auto v = FatVolume::Open(img, &err);
  return v ? v->FreeBytes() : ~0ull;
}

// MakeDir and Rename in a full cluster allocate clusters (the new directory,
// the cluster the parent grows by).  When a write fails on the way, the
// clusters they took are free again in memory unless the FAT on the image
// took them: the next operation must not write out allocations that never
// happened (they would be lost clusters).
TEST(FatFaults, FailedWritesLeaveTheFatInMemoryAsOnTheImage) {
  if (!HaveTool("fsck.fat")) GTEST_SKIP() << "dosfstools missing";
  TempDir t;
  const std::string base = FullClusterImage(t);
  struct Case {
    const char* what;
    std::function<int(FatVolume&)> op;
  } const cases[] = {
      {"make a directory", [](FatVolume& v) {
         const auto set = Set("A new folder", 0, 0x10);
         return v.MakeDir(set.data(), set.size() / 32);
       }},
      {"rename to a longer name", [](FatVolume& v) {
         const auto set = Set("File number one with a much longer name.txt");
         return v.Rename(1, set.data(), set.size() / 32);
       }},
  };
  for (const Case& c : cases) {
    for (uint64_t good = 0; good < 5; ++good) {
      SCOPED_TRACE(std::string(c.what) + ", writes that succeed: " + std::to_string(good));
      const std::string img = t.Path("v.img");
      std::string out;
      ASSERT_EQ(fattest::Run("cp " + Quote(base) + " " + Quote(img), &out), 0) << out;
      std::string err;
      auto v = FatVolume::Open(img, &err);
      ASSERT_TRUE(v) << err;
      ASSERT_EQ(v->ChangeDir(static_cast<uint16_t>(v->Directories()[0].firstCluster)), 0);
      emu::WriteFaults faults;
      v->SetWriteFaults(&faults);
      faults.failAfter = good;
      const int e = c.op(*v);
      faults.failAfter = emu::WriteFaults::kNever;
      if (e != 0) {
        EXPECT_EQ(e, emu::kInternal);
      }
      EXPECT_EQ(v->FreeBytes(), FreeOnImage(img));
      // The next operation works and writes nothing stale.
      const auto set = Set("after.txt");
      const auto data = Pattern(40000, 7);
      ASSERT_EQ(v->CreateFile(set.data(), set.size() / 32, data.data(), data.size()), 0);
      EXPECT_EQ(v->FreeBytes(), FreeOnImage(img));
      if (good == 0) {
        EXPECT_EQ(FsckProblems(img), "");  // the failed call wrote nothing at all
      }
    }
  }
}

}  // namespace
