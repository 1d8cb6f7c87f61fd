// A long random sequence of file and directory operations over the link,
// checked against a simple model of the player's directories after every
// step, and against fsck.fat and mtools at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "raw_host.h"

namespace emutest {
namespace {

struct ModelFile {
  std::string name;
  Bytes content;
};
struct ModelDir {
  std::vector<ModelFile> files;  // in the player's file order
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(tolower(c)); });
  return s;
}

class RandomSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    host = fx.Connect();
    ASSERT_TRUE(host->connected());
  }

  ModelDir& Current() { return current.empty() ? root : dirs[current]; }
  bool Taken(const std::string& name, const std::string* except = nullptr) {
    for (const ModelFile& f : Current().files)
      if (Lower(f.name) == Lower(name) && !(except && *except == f.name)) return true;
    if (current.empty())
      for (const auto& d : dirs)
        if (Lower(d.first) == Lower(name)) return true;
    // An 8.3 name also meets the short aliases of the long names.
    for (const ListedEntry& e : Listing())
      if (Lower(e.shortName) == Lower(name) && !(except && *except == e.name)) return true;
    return false;
  }
  std::vector<ListedEntry> Listing() { return DecodeSlots(host->List('M', true).slotBytes); }
  uint16_t KeyOf(const std::string& dirName) {
    for (const ListedEntry& e : Listing())
      if (e.directory() && e.name == dirName) return uint16_t(e.cluster);
    ADD_FAILURE() << "no directory " << dirName;
    return 0;
  }
  Answer Enter(uint16_t key) { return host->Exchange('M', "DC", {uint8_t(key >> 8), uint8_t(key)}); }

  // The listing must show the model's files in order and its directories.
  void Check(const std::string& step) {
    std::vector<std::string> files, dirNames, expectedDirs;
    std::vector<uint32_t> sizes;
    for (const ListedEntry& e : Listing()) {
      if (e.directory()) {
        if (e.name != "." && e.name != "..") dirNames.push_back(e.name);
      } else {
        files.push_back(e.name);
        sizes.push_back(e.size);
      }
    }
    std::vector<std::string> expected;
    std::vector<uint32_t> expectedSizes;
    for (const ModelFile& f : Current().files) {
      expected.push_back(f.name);
      expectedSizes.push_back(uint32_t(f.content.size()));
    }
    if (current.empty())
      for (const auto& d : dirs) expectedDirs.push_back(d.first);
    std::sort(dirNames.begin(), dirNames.end());
    ASSERT_EQ(files, expected) << step;
    ASSERT_EQ(sizes, expectedSizes) << step;
    ASSERT_EQ(dirNames, expectedDirs) << step;
  }

  PlayerFixture fx{"1.43", [](emu::EmulatorOptions* o) { o->state.internalBytes = 16ull << 20; }};
  std::unique_ptr<RawHost> host;
  ModelDir root;
  std::map<std::string, ModelDir> dirs;  // one level below the root
  std::string current;                   // "" at the root
};

TEST_F(RandomSequence, FiveHundredOperations) {
  std::mt19937 rng(450);
  auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
  const std::vector<std::string> fileNames = {
      "Song 1.mp3", "song 1.MP3", "Song 2.mp3", "TRACK01.MP3", "track01.mp3", "Voice memo.bcw",
      "MEMO0001.BVF", "A rather long name for a file on the player.txt", "x", "README",
      "Mixed Case.Txt", "two.dots.in.name.mp3", "Song 3.mp3", "Song 4.mp3", "NOTES.TXT"};
  const std::vector<std::string> dirNamesPool = {"Music", "Voice", "Podcasts and talks", "DATA"};

  for (int step = 0; step < 500; ++step) {
    size_t roll = pick(100);
    std::string what;
    ModelDir& here = Current();
    if (roll < 35) {
      std::string name = fileNames[pick(fileNames.size())];
      Bytes content = Pattern(pick(4) == 0 ? 0 : pick(40000), uint32_t(step));
      what = "download " + name;
      bool taken = Taken(name);
      Answer a = host->DownloadEntries('M', name, content);
      if (taken) {
        ASSERT_EQ(a.code(), 16) << what;
      } else {
        ASSERT_TRUE(a.ok()) << what << " refused with " << a.code();
        size_t index = a.u16(6);
        ASSERT_LE(index, here.files.size()) << what;
        here.files.insert(here.files.begin() + long(index), ModelFile{name, content});
      }
    } else if (roll < 50) {
      size_t index = pick(here.files.size() + 2);
      what = "delete " + std::to_string(index);
      Answer a = host->Exchange('M', "E", {uint8_t(index >> 8), uint8_t(index)});
      if (index >= here.files.size()) {
        ASSERT_EQ(a.code(), 20) << what;
      } else {
        ASSERT_TRUE(a.ok()) << what;
        here.files.erase(here.files.begin() + long(index));
      }
    } else if (roll < 62) {
      if (here.files.empty()) continue;
      size_t index = pick(here.files.size());
      std::string name = fileNames[pick(fileNames.size())] + (pick(2) ? "" : " (2)");
      if (Lower(name) == Lower(here.files[index].name)) continue;
      what = "rename " + here.files[index].name + " to " + name;
      bool taken = Taken(name, &here.files[index].name);
      host->Irregular('M', "N", {uint8_t(index >> 8), uint8_t(index)},
                      EntrySet(name, uint32_t(here.files[index].content.size())));
      Answer a = host->ReceiveAnswer();
      if (taken) {
        ASSERT_EQ(a.code(), 16) << what;
      } else {
        ASSERT_TRUE(a.ok()) << what << " refused with " << a.code();
        // A longer name may need other slots: the file may move; the
        // others keep their order.
        ModelFile moved = here.files[index];
        moved.name = name;
        here.files.erase(here.files.begin() + long(index));
        std::vector<std::string> listed;
        for (const ListedEntry& e : Listing())
          if (!e.directory()) listed.push_back(e.name);
        size_t at = size_t(std::find(listed.begin(), listed.end(), name) - listed.begin());
        ASSERT_LE(at, here.files.size()) << what;
        here.files.insert(here.files.begin() + long(at), moved);
      }
    } else if (roll < 72) {
      if (here.files.size() < 2) continue;
      size_t a = pick(here.files.size()), b = pick(here.files.size());
      what = "replace " + std::to_string(a) + " " + std::to_string(b);
      ASSERT_TRUE(host->Exchange('M', "P", {uint8_t(a >> 8), uint8_t(a), uint8_t(b >> 8), uint8_t(b)}).ok())
          << what;
      std::swap(here.files[a], here.files[b]);
    } else if (roll < 80) {
      if (!current.empty()) continue;
      std::string name = dirNamesPool[pick(dirNamesPool.size())];
      what = "mkdir " + name;
      bool taken = Taken(name);
      host->Sized('M', "DM", EntrySet(name, 0, 0x10));
      Answer a = host->ReceiveAnswer();
      if (taken) {
        ASSERT_EQ(a.code(), 16) << what;
      } else {
        ASSERT_TRUE(a.ok()) << what;
        dirs[name];
      }
    } else if (roll < 85) {
      if (!current.empty() || dirs.empty()) continue;
      auto it = std::next(dirs.begin(), long(pick(dirs.size())));
      what = "rmdir " + it->first;
      uint16_t key = KeyOf(it->first);
      Answer a = host->Exchange('M', "DR", {uint8_t(key >> 8), uint8_t(key)});
      if (it->second.files.empty()) {
        ASSERT_TRUE(a.ok()) << what;
        dirs.erase(it);
      } else {
        ASSERT_EQ(a.code(), 24) << what;
      }
    } else if (roll < 95) {
      if (current.empty()) {
        if (dirs.empty()) continue;
        std::string name = std::next(dirs.begin(), long(pick(dirs.size())))->first;
        what = "cd " + name;
        ASSERT_TRUE(Enter(KeyOf(name)).ok()) << what;
        current = name;
      } else {
        what = "cd ..";
        ASSERT_TRUE(Enter(KeyOf("..")).ok()) << what;
        current.clear();
      }
    } else if (roll < 99) {
      if (here.files.empty()) continue;
      size_t index = pick(here.files.size());
      what = "upload " + here.files[index].name;
      Bytes back;
      ASSERT_TRUE(host->Upload('M', int(index), here.files[index].content.size(), &back)) << what;
      ASSERT_TRUE(back == here.files[index].content) << what;
    } else {
      what = "format";
      host->Command('M', "FD");
      for (Answer p = host->ReceiveAnswer(); p.ok() && p.raw[5] < 99; p = host->ReceiveAnswer()) {
      }
      ASSERT_TRUE(host->ReceiveAnswer().ok()) << what;
      root = ModelDir();
      dirs.clear();
      current.clear();
    }
    Check("step " + std::to_string(step) + ": " + what);
  }

  host.reset();
  std::string report;
  ASSERT_TRUE(FsckClean(fx.Internal(), &report)) << report;
  auto checkDir = [&](const std::string& path, const ModelDir& d, std::vector<std::string> extra) {
    std::vector<std::string> names = MtoolsNames(fx.Internal(), path), expected = extra;
    for (const ModelFile& f : d.files) expected.push_back(f.name);
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected) << path;
    for (const ModelFile& f : d.files) {
      Bytes content;
      std::string p = (path == "/" ? "" : path) + "/" + f.name;
      ASSERT_TRUE(MtoolsRead(fx.Internal(), p, &content)) << p;
      EXPECT_TRUE(content == f.content) << p;
    }
  };
  std::vector<std::string> dirEntries;
  for (const auto& d : dirs) dirEntries.push_back(d.first + "/");
  checkDir("/", root, dirEntries);
  for (const auto& d : dirs) checkDir("/" + d.first, d.second, {});
}

}  // namespace
}  // namespace emutest
