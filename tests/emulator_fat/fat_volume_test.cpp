// The FAT engine against the tools that define what a good FAT image is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "fat_test_util.h"
#include "fat_volume.h"

using namespace fattest;
using emu::FatVolume;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

#define REQUIRE_TOOLS()                                                                   \
  do {                                                                                    \
    if (!HaveTool("fsck.fat") || !HaveTool("mdir") || !HaveTool("mcopy"))                 \
      GTEST_SKIP() << "dosfstools or mtools missing";                                      \
  } while (0)

std::unique_ptr<FatVolume> Fresh(const std::string& img, uint64_t bytes, uint16_t rootEntries = 512) {
  std::string err;
  emu::FormatOptions opt;
  opt.rootEntries = rootEntries;
  EXPECT_TRUE(FatVolume::Format(img, bytes, &err, opt)) << err;
  auto v = FatVolume::Open(img, &err);
  EXPECT_TRUE(v) << err;
  return v;
}

int Create(FatVolume& v, const std::string& name, const std::vector<uint8_t>& data, int* index = nullptr) {
  std::vector<uint8_t> set = Set(name);
  return v.CreateFile(set.data(), set.size() / 32, data.data(), data.size(), index);
}

std::vector<std::string> FileNames(const FatVolume& v) {
  std::vector<std::string> out;
  for (const auto& f : v.Files()) out.push_back(f.longName.empty() ? f.shortName : f.longName);
  return out;
}

TEST(FatFormat, ImagesAreCleanAndOfTheRightType) {
  REQUIRE_TOOLS();
  struct Row {
    uint64_t bytes;
    int type;
    uint32_t clusters;  // 0: not checked
  } rows[] = {
      {256 * 1024, 12, 0}, {1 * kMiB, 12, 62}, {32 * kMiB, 12, 0}, {64 * kMiB, 16, 4092}, {128 * kMiB, 16, 0},
      // between the two types: FAT12 that leaves the last clusters unused
      {130816 * 512, 12, 4084}, {130912 * 512, 16, 4087},
  };
  TempDir t;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.bytes);
    const std::string img = t.Path("f.img");
    auto v = Fresh(img, r.bytes);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->FatType(), r.type);
    if (r.clusters) {
      EXPECT_EQ(v->TotalBlocks(), r.clusters);
    }
    EXPECT_EQ(v->UsedBlocks(), 0u);
    EXPECT_EQ(v->FreeBytes(), uint64_t{v->TotalBlocks()} * 16384);
    EXPECT_EQ(FsckProblems(img), "");
    const emu::MediumInfo i = v->Info();
    EXPECT_EQ(i.fatType, r.type == 12 ? 1 : 2);
    EXPECT_EQ(i.sectorsPerCluster, 32);
    EXPECT_EQ(i.rootEntryCount, 512);
    EXPECT_EQ(i.rootStartSector, i.fatStartSector + 2 * i.fatSectorCount);
    EXPECT_EQ(i.physicalBlocks, r.bytes / 16384);
  }
  std::string err;
  EXPECT_FALSE(FatVolume::Format(t.Path("tiny.img"), 64 * 1024, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(FatVolume::Format(t.Path("huge.img"), 2048 * kMiB, &err));
}

TEST(FatFormat, OpensMkfsImagesAndRefusesOthers) {
  REQUIRE_TOOLS();
  if (!HaveTool("mkfs.fat")) GTEST_SKIP() << "mkfs.fat missing";
  TempDir t;
  for (int kib : {1024, 65536}) {
    const std::string img = t.Path("m.img");
    std::string out;
    unlink(img.c_str());
    ASSERT_EQ(fattest::Run("mkfs.fat -C -s 32 -S 512 " + Quote(img) + " " + std::to_string(kib), &out), 0) << out;
    std::string err;
    auto v = FatVolume::Open(img, &err);
    ASSERT_TRUE(v) << err;
    EXPECT_EQ(v->FatType(), kib == 1024 ? 12 : 16);
    ASSERT_EQ(Create(*v, "from the engine.txt", Pattern(40000, 1)), 0);
    EXPECT_EQ(FsckProblems(img), "");
    std::vector<uint8_t> back;
    ASSERT_TRUE(MtoolsRead(img, "::/from the engine.txt", &back));
    EXPECT_EQ(back, Pattern(40000, 1));
    // Reformat in place keeps the size and empties the volume.
    ASSERT_EQ(v->Reformat(false), 0);
    EXPECT_EQ(v->FileCount(), 0);
    EXPECT_EQ(FsckProblems(img), "");
  }
  std::string err;
  const std::string junk = t.Path("junk.img");
  std::string out;
  fattest::Run("head -c 1048576 /dev/zero > " + Quote(junk), &out);
  EXPECT_FALSE(FatVolume::Open(junk, &err));
  EXPECT_NE(err.find("FAT"), std::string::npos) << err;
  EXPECT_FALSE(FatVolume::Open(t.Path("missing.img"), &err));
  // A FAT32 volume is not something the player can use.
  fattest::Run("mkfs.fat -C -F 32 -S 512 " + Quote(t.Path("f32.img")) + " 65536", &out);
  EXPECT_FALSE(FatVolume::Open(t.Path("f32.img"), &err));
}

TEST(FatFiles, MtoolsReadsBackNamesAndContents) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 64 * kMiB);
  struct Row {
    const char* name;
    size_t size;
  } rows[] = {
      {"MUSIC.MP3", 0},         {"readme.txt", 1},       {"Café.mp3", 63},
      {"노래.mp3", 64},         {"thirteen_c.mp", 500},  {"a name of twenty .mp3", 511},
      {"verylongname.text", 512}, {"b.c.d.txt", 513},     {"x+y,z;w=1.wav", 16383},
      {"Song 01.mp3", 16384},   {"Song 02.mp3", 16385},  {"big file.bin", 3 * 1000 * 1000 + 7},
  };
  int i = 0;
  for (const Row& r : rows) {
    int index = -1;
    ASSERT_EQ(Create(*v, r.name, Pattern(r.size, i), &index), 0) << r.name;
    EXPECT_EQ(index, i);
    ++i;
  }
  EXPECT_EQ(FsckProblems(img), "");
  std::vector<std::string> expect;
  for (const Row& r : rows) expect.push_back(std::string("::/") + r.name);
  EXPECT_EQ(MtoolsPaths(img), expect);
  i = 0;
  for (const Row& r : rows) {
    std::vector<uint8_t> back;
    ASSERT_TRUE(MtoolsRead(img, std::string("::/") + r.name, &back)) << r.name;
    EXPECT_EQ(back, Pattern(r.size, i)) << r.name;
    std::vector<uint8_t> own;
    ASSERT_EQ(v->ReadFile(i, &own), 0);
    EXPECT_EQ(own, Pattern(r.size, i)) << r.name;
    ++i;
  }
  // Short-name aliases are proper 8.3 names even when the PC sent odd ones.
  const auto files = v->Files();
  EXPECT_EQ(files[0].shortName, "MUSIC.MP3");
  EXPECT_EQ(files[0].longName, "");
  EXPECT_EQ(files[7].shortName, "B_C_D.TXT");
  EXPECT_EQ(files[7].longName, "b.c.d.txt");
  EXPECT_EQ(v->FileCount(), static_cast<int>(std::size(rows)));
  EXPECT_EQ(v->Info().totalFiles, std::size(rows));
  // Characters beyond the BMP travel as surrogate pairs (mtools 4.0.32 shows
  // them as "_", so only the engine reads this one back).
  const std::string emoji = "\xF0\x9F\x8E\xB5 emoji.mp3";
  ASSERT_EQ(Create(*v, emoji, {}), 0);
  EXPECT_EQ(v->Files().back().longName, emoji);
  EXPECT_EQ(FsckProblems(img), "");
}

TEST(FatFiles, ReadAtStreamsAcrossClusters) {
  TempDir t;
  auto v = Fresh(t.Path("v.img"), 4 * kMiB);
  const auto data = Pattern(50000, 9);
  ASSERT_EQ(Create(*v, "stream.bin", data), 0);
  std::vector<uint8_t> got;
  uint8_t buf[7000];
  size_t n = 0;
  for (uint64_t off = 0;; off += n) {
    ASSERT_EQ(v->ReadAt(0, off, buf, sizeof buf, &n), 0);
    if (n == 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(v->ReadAt(1, 0, buf, sizeof buf, &n), emu::kFileNotExist);
}

// A file read from start to end in the player's 16 KiB transfers follows
// each link of its chain about once, not once per transfer (a 1 GiB file
// has 65,000 clusters).  Reads that jump back or skip ahead, and reads
// after the directory changed, still find the right bytes.
TEST(FatFiles, ReadingAFileWalksItsChainOnce) {
  TempDir t;
  auto v = Fresh(t.Path("v.img"), 32 * kMiB);
  const auto data = Pattern(600 * 16384 + 100, 4);
  ASSERT_EQ(Create(*v, "first.bin", Pattern(3 * 16384, 1)), 0);
  ASSERT_EQ(Create(*v, "long.bin", data), 0);
  const uint64_t before = v->LinksFollowed();
  std::vector<uint8_t> got(data.size());
  size_t n = 0;
  for (uint64_t off = 0; off < data.size(); off += n) {
    ASSERT_EQ(v->ReadAt(1, off, got.data() + off, 16384, &n), 0);
    ASSERT_GT(n, 0u);
  }
  EXPECT_TRUE(got == data);
  EXPECT_LE(v->LinksFollowed() - before, 2 * 601u);

  uint8_t buf[100];
  struct Read {
    int index;
    uint64_t offset;
  } const jumps[] = {{1, 500 * 16384 + 7}, {1, 3}, {0, 2 * 16384 + 5}, {1, 599 * 16384}, {1, 16384 - 50}};
  for (const Read& r : jumps) {
    ASSERT_EQ(v->ReadAt(r.index, r.offset, buf, sizeof buf, &n), 0);
    const auto& want = r.index == 1 ? data : Pattern(3 * 16384, 1);
    ASSERT_EQ(n, sizeof buf);
    EXPECT_TRUE(std::equal(buf, buf + n, want.begin() + long(r.offset))) << r.index << " @" << r.offset;
  }
  // The file read last is deleted and another takes its number.
  ASSERT_EQ(v->ReadAt(1, 300 * 16384, buf, sizeof buf, &n), 0);
  ASSERT_EQ(v->Delete(1), 0);
  const auto other = Pattern(400 * 16384, 9);
  ASSERT_EQ(Create(*v, "other.bin", other), 0);
  ASSERT_EQ(v->ReadAt(1, 300 * 16384, buf, sizeof buf, &n), 0);
  EXPECT_TRUE(std::equal(buf, buf + n, other.begin() + 300 * 16384));
  ASSERT_EQ(v->ReadAt(1, 400 * 16384, buf, sizeof buf, &n), 0);
  EXPECT_EQ(n, 0u);
}

TEST(FatFiles, NameCollisions) {
  TempDir t;
  auto v = Fresh(t.Path("v.img"), 4 * kMiB);
  ASSERT_EQ(Create(*v, "Song title part 1.mp3", {}), 0);
  ASSERT_EQ(Create(*v, "MUSIC.MP3", {}), 0);
  struct Row {
    const char* name;
    int err;
  } rows[] = {
      {"Song title part 1.mp3", emu::kFileExist},
      {"SONG TITLE PART 1.MP3", emu::kFileExist},  // FAT names ignore case
      {"music.mp3", emu::kFileExist},              // long name against a short name
      {"MUSIC.MP3", emu::kFileExist},
      {"SONGTITL.MP3", emu::kFileExist},           // the other file's alias
      {"Song title part 2.mp3", 0},                // same 8.3 form: gets a numeric tail
      {"Song title part 3.mp3", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(Create(*v, r.name, {}), r.err) << r.name;
  const auto files = v->Files();
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0].shortName, "SONGTITL.MP3");
  EXPECT_EQ(files[2].shortName, "SONGTI~1.MP3");
  EXPECT_EQ(files[3].shortName, "SONGTI~2.MP3");
  EXPECT_EQ(FileNames(*v), (std::vector<std::string>{"Song title part 1.mp3", "MUSIC.MP3",
                                                      "Song title part 2.mp3", "Song title part 3.mp3"}));
}

TEST(FatFiles, DeleteRenameSwapShowInMdir) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 8 * kMiB);
  for (const char* n : {"one.mp3", "TWO.MP3", "three with a long name.mp3", "four.mp3"})
    ASSERT_EQ(Create(*v, n, Pattern(20000, n[1])), 0);
  const uint64_t freeBefore = v->FreeBytes();

  ASSERT_EQ(v->Delete(1), 0);
  EXPECT_EQ(v->FreeBytes(), freeBefore + 2 * 16384);
  EXPECT_EQ(MtoolsPaths(img),
            (std::vector<std::string>{"::/one.mp3", "::/three with a long name.mp3", "::/four.mp3"}));
  EXPECT_EQ(v->Delete(3), emu::kFileNotExist);
  EXPECT_EQ(v->Delete(-1), emu::kFileNotExist);

  // Rename keeps data and place; a longer name needs more slots than before.
  const auto oldInfo = v->Files()[0];
  auto set = Set("first track with a much longer name than before.mp3", 999, 0x20);
  ASSERT_EQ(v->Rename(0, set.data(), set.size() / 32), 0);
  const auto renamed = v->Files()[0];
  EXPECT_EQ(renamed.firstCluster, oldInfo.firstCluster);
  EXPECT_EQ(renamed.size, oldInfo.size);  // not the 999 the host claimed
  set = Set("four.mp3");
  EXPECT_EQ(v->Rename(0, set.data(), set.size() / 32), emu::kFileExist);
  set = Set("FOUR.MP3");
  EXPECT_EQ(v->Rename(2, set.data(), set.size() / 32), 0);  // its own name in another case

  ASSERT_EQ(v->Swap(0, 2), 0);
  ASSERT_EQ(v->Swap(1, 1), 0);
  EXPECT_EQ(v->Swap(0, 3), emu::kFileNotExist);
  EXPECT_EQ(MtoolsPaths(img), (std::vector<std::string>{"::/FOUR.MP3", "::/three with a long name.mp3",
                                                        "::/first track with a much longer name than before.mp3"}));
  std::vector<uint8_t> back;
  ASSERT_TRUE(MtoolsRead(img, "::/FOUR.MP3", &back));
  EXPECT_EQ(back, Pattern(20000, 'o'));
  ASSERT_TRUE(MtoolsRead(img, "::/first track with a much longer name than before.mp3", &back));
  EXPECT_EQ(back, Pattern(20000, 'n'));
  EXPECT_EQ(FsckProblems(img), "");
}

TEST(FatDirs, MakeChangeRemoveRename) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 8 * kMiB);
  uint16_t music = 0, rock = 0, empty = 0;
  auto set = Set("Music", 0, 0x10);
  ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &music), 0);
  EXPECT_EQ(v->MakeDir(set.data(), set.size() / 32), emu::kFileExist);
  set = Set("EMPTY", 0, 0x10);
  ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &empty), 0);
  EXPECT_EQ(v->FileCount(), 0);
  ASSERT_EQ(v->ChangeDir(music), 0);
  EXPECT_FALSE(v->AtRoot());
  set = Set("ROCK", 0, 0x10);
  ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &rock), 0);
  ASSERT_EQ(v->ChangeDir(rock), 0);
  ASSERT_EQ(Create(*v, "deep song.mp3", Pattern(100, 3)), 0);
  // Path: "Music" (long-name slot + short slot), then "ROCK" (short slot only).
  const auto path = v->CurrentPathEntries();
  ASSERT_EQ(path.size(), 3 * 32u);
  EXPECT_EQ(path[11], 0x0F);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&path[32]), 11), "MUSIC      ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&path[64]), 11), "ROCK       ");
  // The listing starts with "." and ".."; ".." leads back up by its key.
  const auto slots = v->CurrentSlots();
  ASSERT_GE(slots.size(), 3 * 32u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&slots[0]), 11), ".          ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&slots[32]), 11), "..         ");
  const auto dirs = v->Directories();
  ASSERT_EQ(dirs.size(), 2u);
  EXPECT_EQ(dirs[1].firstCluster, music);
  ASSERT_EQ(v->ChangeDir(static_cast<uint16_t>(dirs[1].firstCluster)), 0);
  EXPECT_EQ(v->CurrentPathEntries().size(), 2 * 32u);
  EXPECT_EQ(v->ChangeDir(0x7777), emu::kNotFound);
  EXPECT_EQ(v->RemoveDir(rock), emu::kNotPermitted);  // not empty
  set = Set("Rock and Roll", 0, 0x10);
  ASSERT_EQ(v->RenameDir(rock, set.data(), set.size() / 32), 0);
  ASSERT_EQ(v->ChangeDir(0), 0);
  EXPECT_TRUE(v->AtRoot());
  EXPECT_EQ(v->RemoveDir(0), emu::kRootDir);
  EXPECT_EQ(v->RemoveDir(0x7777), emu::kNotFound);
  ASSERT_EQ(v->RemoveDir(empty), 0);
  EXPECT_EQ(MtoolsPaths(img), (std::vector<std::string>{"::/Music/", "::/Music/Rock and Roll/",
                                                        "::/Music/Rock and Roll/deep song.mp3"}));
  std::vector<uint8_t> back;
  ASSERT_TRUE(MtoolsRead(img, "::/Music/Rock and Roll/deep song.mp3", &back));
  EXPECT_EQ(back, Pattern(100, 3));
  EXPECT_EQ(FsckProblems(img), "");
}

TEST(FatDirs, SubdirectoryWithMoreThan512Files) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 64 * kMiB);
  uint16_t key = 0;
  auto set = Set("Many files", 0, 0x10);
  ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &key), 0);
  ASSERT_EQ(v->ChangeDir(key), 0);
  const int kFiles = 530;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "Track number " + std::to_string(i) + ".mp3";
    const std::vector<uint8_t> data(static_cast<size_t>(i % 3), static_cast<uint8_t>(i));
    int index = -1;
    ASSERT_EQ(Create(*v, name, data, &index), 0) << name;
    ASSERT_EQ(index, i);
  }
  EXPECT_EQ(v->FileCount(), kFiles);
  EXPECT_GT(v->CurrentSlots().size(), 16384u);  // grew past one cluster
  EXPECT_EQ(FsckProblems(img), "");
  const auto paths = MtoolsPaths(img);
  ASSERT_EQ(paths.size(), kFiles + 1u);
  EXPECT_EQ(paths[1], "::/Many files/Track number 0.mp3");
  EXPECT_EQ(paths[kFiles], "::/Many files/Track number 529.mp3");
  std::vector<uint8_t> back;
  ASSERT_TRUE(MtoolsRead(img, "::/Many files/Track number 529.mp3", &back));
  EXPECT_EQ(back, std::vector<uint8_t>(529 % 3, static_cast<uint8_t>(529)));
}

// In a sub-directory of two clusters, whose first cluster (the one its key
// and its parent point at) is only ever rewritten in place: a name that
// needs more slots stays in its place when its cluster has deleted slots to
// spare, else the file moves to the end; files exchange places across the
// clusters.  Each case starts from the same image: 510 short names fill the
// first cluster, 5 more are in the second.
TEST(FatDirs, RenamesAndExchangesAcrossTheFirstCluster) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string base = t.Path("base.img");
  std::vector<std::string> names;
  uint16_t key = 0;
  {
    auto v = Fresh(base, 8 * kMiB);
    auto set = Set("D", 0, 0x10);
    ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &key), 0);
    ASSERT_EQ(v->ChangeDir(key), 0);
    for (int i = 0; i < 515; ++i) {
      names.push_back((i < 510 ? "F" : "G") + std::to_string(i < 510 ? i : i - 510) + ".TXT");
      ASSERT_EQ(Create(*v, names.back(), Pattern(i % 100 ? 0 : 3000, uint32_t(i))), 0);
    }
  }
  const std::string longName = "A name that needs four slots.txt";
  struct Case {
    const char* what;
    std::function<int(FatVolume&)> op;
    std::function<void(std::vector<std::string>&)> expect;
  } const cases[] = {
      {"longer name, first cluster full: to the end",
       [&](FatVolume& v) { auto s = Set(longName); return v.Rename(3, s.data(), s.size() / 32); },
       [&](std::vector<std::string>& n) { n.erase(n.begin() + 3), n.push_back(longName); }},
      {"longer name, deleted slots beside it: in place",
       [&](FatVolume& v) {
         for (int i = 0; i < 3; ++i)
           if (int e = v.Delete(1)) return e;
         auto s = Set(longName);
         return v.Rename(0, s.data(), s.size() / 32);
       },
       [&](std::vector<std::string>& n) { n.erase(n.begin() + 1, n.begin() + 4), n[0] = longName; }},
      {"longer name in the second cluster: in place",
       [&](FatVolume& v) { auto s = Set(longName); return v.Rename(511, s.data(), s.size() / 32); },
       [&](std::vector<std::string>& n) { n[511] = longName; }},
      {"neighbours across the clusters",
       [&](FatVolume& v) { return v.Swap(509, 510); },
       [&](std::vector<std::string>& n) { std::swap(n[509], n[510]); }},
      {"the first file and one of the second cluster",
       [&](FatVolume& v) { return v.Swap(0, 512); },
       [&](std::vector<std::string>& n) { std::swap(n[0], n[512]); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string img = t.Path("v.img");
    std::string out;
    ASSERT_EQ(fattest::Run("cp " + Quote(base) + " " + Quote(img), &out), 0) << out;
    std::string err;
    auto v = FatVolume::Open(img, &err);
    ASSERT_TRUE(v) << err;
    ASSERT_EQ(v->ChangeDir(key), 0);
    ASSERT_EQ(c.op(*v), 0);
    std::vector<std::string> want = names;
    c.expect(want);
    EXPECT_EQ(FileNames(*v), want);
    EXPECT_EQ(FsckProblems(img), "");
    std::vector<uint8_t> back;
    ASSERT_TRUE(MtoolsRead(img, "::/D/F100.TXT", &back));
    EXPECT_EQ(back, Pattern(3000, 100));
  }
}

TEST(FatLimits, DiskFullAndRootFullLeaveTheImageAsItWas) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 1 * kMiB, 16);  // 62 clusters, 16 root slots
  const uint64_t total = v->FreeBytes();
  ASSERT_EQ(Create(*v, "filler.bin", Pattern(total - 2 * 16384, 1)), 0);
  const auto slotsBefore = v->CurrentSlots();
  EXPECT_EQ(Create(*v, "too big.bin", Pattern(3 * 16384, 2)), emu::kOutOfMemory);
  EXPECT_EQ(v->FreeBytes(), 2 * 16384u);
  EXPECT_EQ(v->CurrentSlots(), slotsBefore);
  EXPECT_EQ(FsckProblems(img), "");
  // A streaming write that outgrows what it announced runs into the same wall.
  auto set = Set("grows.bin", 16384);
  ASSERT_EQ(v->BeginWrite(set.data(), set.size() / 32), 0);
  const auto chunk = Pattern(16384, 3);
  EXPECT_EQ(v->WriteData(chunk.data(), chunk.size()), 0);
  EXPECT_EQ(v->WriteData(chunk.data(), chunk.size()), 0);
  EXPECT_EQ(v->WriteData(chunk.data(), 1), emu::kOutOfMemory);
  v->AbortWrite();
  EXPECT_EQ(v->FreeBytes(), 2 * 16384u);
  EXPECT_EQ(FsckProblems(img), "");
  // A directory can not be made without a cluster for it either.
  ASSERT_EQ(Create(*v, "last.bin", Pattern(2 * 16384, 4)), 0);
  set = Set("Dir", 0, 0x10);
  EXPECT_EQ(v->MakeDir(set.data(), set.size() / 32), emu::kOutOfMemory);
  ASSERT_EQ(v->Delete(1), 0);
  ASSERT_EQ(v->Delete(0), 0);
  // Root directory full: 16 slots, short names take one each.
  int made = 0;
  for (int i = 0; i < 20; ++i) {
    const int e = Create(*v, "F" + std::to_string(i) + ".TXT", {});
    if (e == emu::kNoEmptyEntry) break;
    ASSERT_EQ(e, 0);
    ++made;
  }
  EXPECT_EQ(made, 16);  // deleted slots were reused by compaction
  EXPECT_EQ(FsckProblems(img), "");
}

// The listing tells the host a directory's slot count in 16 bits: a
// sub-directory takes entries up to 65,535 slots and refuses the next one
// (39) instead of growing to 65,536, which the host would read as 0.  The
// directory is written straight into a FAT16 image: 128 full clusters, the
// last with `used` slots in use.
TEST(FatLimits, SubdirectoryStopsAt65535Slots) {
  REQUIRE_TOOLS();
  for (size_t lastUsed : {510, 511}) {
    SCOPED_TRACE(lastUsed);
    TempDir t;
    const std::string img = t.Path("v.img");
    uint16_t key = 0;
    emu::MediumInfo info;
    {
      auto v = Fresh(img, 64 * kMiB);
      auto set = Set("Big", 0, 0x10);
      ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &key), 0);
      info = v->Info();
    }
    // 24 long names (21 slots each) and 8 short ones per cluster; "." and
    // ".." in place of two short ones in the first.
    std::vector<uint8_t> dir(128 * 16384, 0);
    std::vector<uint8_t> dots(64);
    FILE* f = fopen(img.c_str(), "r+b");
    ASSERT_TRUE(f);
    const uint64_t dataStart = (uint64_t{info.rootStartSector} + info.rootEntryCount * 32 / 512) * 512;
    fseek(f, long(dataStart + uint64_t{key - 2u} * 16384), SEEK_SET);
    ASSERT_EQ(fread(dots.data(), 1, 64, f), 64u);
    size_t at = 0, n = 0;
    for (size_t c = 0; c < 128; ++c) {
      const size_t end = c == 127 ? lastUsed : 512;
      if (c == 0) {
        std::copy(dots.begin(), dots.end(), dir.begin());
        at = 2;
      }
      for (int i = 0; i < 24 && at + 21 <= c * 512 + end; ++i, ++n) {
        auto set = Set("Track " + std::to_string(n) + std::string(240, 'x') + ".mp3");
        // A short name of its own (the PC's alias would be the same for all).
        char alias[12];
        snprintf(alias, sizeof alias, "T%07zuMP3", n);
        std::copy(alias, alias + 11, set.end() - 32);
        for (size_t k = 0; k + 32 < set.size(); k += 32) set[k + 13] = emu::ShortNameChecksum(&*(set.end() - 32));
        std::copy(set.begin(), set.end(), dir.begin() + long(at * 32));
        at += set.size() / 32;
      }
      for (; at < c * 512 + end; ++n) {
        const auto set = Set("S" + std::to_string(n) + ".TXT");
        std::copy(set.begin(), set.end(), dir.begin() + long(at * 32));
        ++at;
      }
      at = (c + 1) * 512;
    }
    fseek(f, long(dataStart + uint64_t{key - 2u} * 16384), SEEK_SET);
    ASSERT_EQ(fwrite(dir.data(), 1, dir.size(), f), dir.size());
    for (int copy = 0; copy < 2; ++copy) {  // the chain: key, key+1, ..., key+127
      for (uint32_t c = key; c < key + 128u; ++c) {
        const uint16_t next = c + 1 < key + 128u ? uint16_t(c + 1) : 0xFFFF;
        fseek(f, long((info.fatStartSector + copy * info.fatSectorCount) * 512u + c * 2), SEEK_SET);
        ASSERT_EQ(fwrite(&next, 2, 1, f), 1u);
      }
    }
    fclose(f);
    ASSERT_EQ(FsckProblems(img), "");

    std::string err;
    auto v = FatVolume::Open(img, &err);
    ASSERT_TRUE(v) << err;
    ASSERT_EQ(v->ChangeDir(key), 0);
    ASSERT_EQ(v->CurrentSlots().size() / 32, 127 * 512 + lastUsed);
    const int files = v->FileCount();
    const int first = Create(*v, "ONE.TXT", {});
    if (lastUsed == 510) {
      EXPECT_EQ(first, 0);
      EXPECT_EQ(Create(*v, "TWO.TXT", {}), emu::kNoEmptyEntry);
    } else {
      EXPECT_EQ(first, emu::kNoEmptyEntry);
    }
    EXPECT_EQ(v->CurrentSlots().size() / 32, 65535u);
    EXPECT_EQ(v->FileCount(), files + (first == 0));
    EXPECT_EQ(FsckProblems(img), "");
  }
}

// A FAT12 volume filled to the last cluster with fragmented chains: FAT12
// entries straddle bytes and sectors (entry 341 spans the first two), and
// the chains hop over clusters in use.
TEST(FatFiles, FragmentedChainsOnAFullFat12Volume) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 16 * kMiB);
  ASSERT_EQ(v->FatType(), 12);
  const uint32_t total = v->TotalBlocks();
  ASSERT_GT(total, 700u);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(Create(*v, "piece " + std::to_string(i), Pattern(3 * 16384 - i, i)), 0);
  for (int i = 38; i >= 0; i -= 2) ASSERT_EQ(v->Delete(i), 0);  // every other one
  const uint64_t rest = v->FreeBytes();
  const auto big = Pattern(rest, 77);
  ASSERT_EQ(Create(*v, "fills the gaps.bin", big), 0);
  EXPECT_EQ(v->FreeBytes(), 0u);
  EXPECT_EQ(v->UsedBlocks(), total);
  EXPECT_EQ(FsckProblems(img), "");
  std::vector<uint8_t> back;
  ASSERT_TRUE(MtoolsRead(img, "::/fills the gaps.bin", &back));
  EXPECT_TRUE(back == big);
  ASSERT_TRUE(MtoolsRead(img, "::/piece 39", &back));
  EXPECT_TRUE(back == Pattern(3 * 16384 - 39, 39));
  ASSERT_EQ(v->Delete(20), 0);
  EXPECT_EQ(v->FreeBytes(), rest);
  EXPECT_EQ(FsckProblems(img), "");
}

TEST(FatFiles, StreamingWriteCommitsWhatArrivedAndAbortLeavesNothing) {
  REQUIRE_TOOLS();
  TempDir t;
  const std::string img = t.Path("v.img");
  auto v = Fresh(img, 4 * kMiB);
  const uint64_t freeBytes = v->FreeBytes();
  auto set = Set("partial.mp3", 100000);
  int index = -1;
  ASSERT_EQ(v->BeginWrite(set.data(), set.size() / 32, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(v->Writing());
  EXPECT_EQ(v->BeginWrite(set.data(), set.size() / 32), emu::kNotPermitted);
  EXPECT_EQ(v->FileCount(), 0);  // not there until committed
  const auto data = Pattern(30000, 5);
  ASSERT_EQ(v->WriteData(data.data(), 10000), 0);
  ASSERT_EQ(v->WriteData(data.data() + 10000, 20000), 0);
  ASSERT_EQ(v->CommitWrite(), 0);
  EXPECT_FALSE(v->Writing());
  EXPECT_EQ(v->Files()[0].size, 30000u);
  EXPECT_EQ(v->FreeBytes(), freeBytes - 2 * 16384);

  set = Set("aborted.mp3", 50000);
  ASSERT_EQ(v->BeginWrite(set.data(), set.size() / 32), 0);
  ASSERT_EQ(v->WriteData(data.data(), data.size()), 0);
  v->AbortWrite();
  EXPECT_EQ(v->FileCount(), 1);
  EXPECT_EQ(v->FreeBytes(), freeBytes - 2 * 16384);
  // Another command in the middle of a write drops the write too.
  ASSERT_EQ(v->BeginWrite(set.data(), set.size() / 32), 0);
  ASSERT_EQ(v->WriteData(data.data(), data.size()), 0);
  ASSERT_EQ(v->Delete(0), 0);
  EXPECT_FALSE(v->Writing());
  EXPECT_EQ(v->FreeBytes(), freeBytes);
  EXPECT_EQ(FsckProblems(img), "");
  EXPECT_EQ(MtoolsPaths(img), std::vector<std::string>());
}

TEST(FatRaw, BlocksAreTheImageBytes) {
  TempDir t;
  auto v = Fresh(t.Path("v.img"), 1 * kMiB + 1000);  // partial last block
  std::vector<uint8_t> b(FatVolume::kBlockSize);
  ASSERT_EQ(v->ReadBlock(0, b.data()), 0);
  EXPECT_EQ(b[510], 0x55);
  EXPECT_EQ(b[511], 0xAA);
  EXPECT_EQ(b[0x36], 'F');
  EXPECT_EQ(v->PhysicalBlocks(), 65u);
  ASSERT_EQ(v->ReadBlock(64, b.data()), 0);
  EXPECT_TRUE(std::all_of(b.begin() + 512, b.end(), [](uint8_t x) { return x == 0; }));
  EXPECT_EQ(v->ReadBlock(65, b.data()), emu::kInvalidBlock);
}

}  // namespace
