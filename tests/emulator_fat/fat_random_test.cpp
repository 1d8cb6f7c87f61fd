// A long random sequence of player operations, checked after every step
// against a plain model of what the directories should hold, and judged by
// fsck.fat and mtools at the end.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "fat_test_util.h"
#include "fat_volume.h"

using namespace fattest;
using emu::FatVolume;

namespace {

struct Node {
  std::string name;
  bool dir = false;
  std::vector<uint8_t> data;
  uint16_t key = 0;
  std::vector<std::unique_ptr<Node>> kids;  // directory order
};

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

class Model {
 public:
  Node root;
  std::vector<Node*> path;
  Node* cur() { return path.empty() ? &root : path.back(); }
  std::vector<Node*> Files() {
    std::vector<Node*> out;
    for (auto& k : cur()->kids)
      if (!k->dir) out.push_back(k.get());
    return out;
  }
  std::vector<Node*> Dirs() {
    std::vector<Node*> out;
    for (auto& k : cur()->kids)
      if (k->dir) out.push_back(k.get());
    return out;
  }
  bool Taken(const std::string& name, const Node* self = nullptr) {
    for (auto& k : cur()->kids)
      if (k.get() != self && SameName(k->name, name)) return true;
    return false;
  }
  size_t IndexOf(Node* n) {
    auto& kids = cur()->kids;
    for (size_t i = 0; i < kids.size(); ++i)
      if (kids[i].get() == n) return i;
    return kids.size();
  }
};

// mdir -/ lists a directory's entries, then walks into its sub-directories.
void ExpectedPaths(const Node& dir, const std::string& prefix, std::vector<std::string>* out) {
  for (const auto& k : dir.kids) out->push_back(prefix + k->name + (k->dir ? "/" : ""));
  for (const auto& k : dir.kids)
    if (k->dir) ExpectedPaths(*k, prefix + k->name + "/", out);
}

std::string Shown(const emu::DirEntryInfo& e) { return e.longName.empty() ? e.shortName : e.longName; }

// Live (not deleted) slots of the current directory.
size_t LiveSlots(const FatVolume& v) {
  const auto s = v.CurrentSlots();
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += 32) n += s[i] != 0xE5;
  return n;
}

// With oneDirectory, everything happens in one sub-directory (no directory
// commands, no format): with `names` names to choose from it grows to
// several clusters.
void RunRandom(uint64_t imageBytes, uint16_t rootEntries, uint32_t seed, int steps, int names = 12,
               bool oneDirectory = false) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  TempDir t;
  const std::string img = t.Path("r.img");
  std::string err;
  emu::FormatOptions opt;
  opt.rootEntries = rootEntries;
  ASSERT_TRUE(FatVolume::Format(img, imageBytes, &err, opt)) << err;
  auto v = FatVolume::Open(img, &err);
  ASSERT_TRUE(v) << err;
  Model m;
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  auto fileName = [&]() -> std::string {
    const int i = pick(names);
    switch (pick(6)) {
      case 0: return "Song " + std::to_string(i) + ".mp3";
      case 1: return "song " + std::to_string(i) + ".MP3";  // same name, other case
      case 2: return "Track with a rather long title " + std::to_string(i) + ".mp3";  // aliases clash
      case 3: return "Caf\xC3\xA9 " + std::to_string(i) + ".mp3";
      case 4: return "\xEB\x85\xB8\xEB\x9E\x98 " + std::to_string(i) + ".mp3";
      default: return "ZZ" + std::to_string(i) + ".MP3";  // plain 8.3
    }
  };
  auto dirName = [&]() -> std::string {
    const int i = pick(6);
    return pick(2) ? "Album number " + std::to_string(i) : "DZ" + std::to_string(i);
  };
  const size_t sizes[] = {0, 1, 511, 512, 513, 16383, 16384, 16385, 40000};
  if (oneDirectory) {
    const auto set = Set("Work", 0, 0x10);
    auto n = std::make_unique<Node>();
    n->name = "Work";
    n->dir = true;
    ASSERT_EQ(v->MakeDir(set.data(), set.size() / 32, &n->key), 0);
    ASSERT_EQ(v->ChangeDir(n->key), 0);
    m.path.push_back(n.get());
    m.root.kids.push_back(std::move(n));
  }

  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int op = oneDirectory ? pick(68) : pick(100);
    auto files = m.Files();
    auto dirs = m.Dirs();
    if (op < 35) {  // create
      const std::string name = fileName();
      const size_t size = sizes[pick(9)];
      const auto data = Pattern(size, static_cast<uint32_t>(rng()));
      const auto set = Set(name);
      const uint64_t freeBytes = v->FreeBytes();
      const size_t live = LiveSlots(*v);
      int index = -1;
      const int e = v->CreateFile(set.data(), set.size() / 32, data.data(), data.size(), &index);
      if (m.Taken(name)) {
        ASSERT_EQ(e, emu::kFileExist) << name;
      } else if (e == emu::kOutOfMemory) {
        ASSERT_LT(freeBytes, (size + 16383) / 16384 * 16384 + 16384);
        ASSERT_EQ(v->FreeBytes(), freeBytes);
      } else if (e == emu::kNoEmptyEntry) {
        ASSERT_TRUE(m.path.empty());
        ASSERT_GT(live + set.size() / 32, rootEntries);
      } else {
        ASSERT_EQ(e, 0) << name;
        ASSERT_EQ(index, static_cast<int>(files.size()));
        auto n = std::make_unique<Node>();
        n->name = name;
        n->data = data;
        m.cur()->kids.push_back(std::move(n));
      }
    } else if (op < 48) {  // delete
      const int i = files.empty() ? 0 : pick(static_cast<int>(files.size()));
      const int e = v->Delete(i);
      if (files.empty()) {
        ASSERT_EQ(e, emu::kFileNotExist);
      } else {
        ASSERT_EQ(e, 0);
        m.cur()->kids.erase(m.cur()->kids.begin() + static_cast<long>(m.IndexOf(files[static_cast<size_t>(i)])));
      }
    } else if (op < 58) {  // rename
      if (files.empty()) continue;
      const int i = pick(static_cast<int>(files.size()));
      const std::string name = fileName();
      const auto set = Set(name);
      const int e = v->Rename(i, set.data(), set.size() / 32);
      if (m.Taken(name, files[static_cast<size_t>(i)])) {
        ASSERT_EQ(e, emu::kFileExist);
      } else if (e == emu::kNoEmptyEntry || e == emu::kOutOfMemory) {
        // a longer name that the directory cannot take any more
      } else {
        ASSERT_EQ(e, 0) << name;
        Node* n = files[static_cast<size_t>(i)];
        n->name = name;
        // A longer name that the directory's full first cluster cannot take
        // in place moves the file to the end of the directory.
        const auto now = v->Files();
        if (!now.empty() && Shown(now.back()) == name && n != m.Files().back()) {
          auto& kids = m.cur()->kids;
          const size_t at = m.IndexOf(n);
          std::unique_ptr<Node> moved = std::move(kids[at]);
          kids.erase(kids.begin() + static_cast<long>(at));
          kids.push_back(std::move(moved));
        }
      }
    } else if (op < 68) {  // swap
      if (files.empty()) continue;
      const int a = pick(static_cast<int>(files.size())), b = pick(static_cast<int>(files.size()));
      const int e = v->Swap(a, b);
      // Two files far apart across a sub-directory's first cluster, the
      // second with a name too long for the first's place, stay where they are.
      if (e == emu::kNoEmptyEntry || e == emu::kOutOfMemory) continue;
      ASSERT_EQ(e, 0);
      std::swap(m.cur()->kids[m.IndexOf(files[static_cast<size_t>(a)])],
                m.cur()->kids[m.IndexOf(files[static_cast<size_t>(b)])]);
    } else if (op < 76) {  // mkdir
      const std::string name = dirName();
      const auto set = Set(name, 0, 0x10);
      uint16_t key = 0;
      const int e = v->MakeDir(set.data(), set.size() / 32, &key);
      if (m.Taken(name)) {
        ASSERT_EQ(e, emu::kFileExist);
      } else if (e == emu::kOutOfMemory || e == emu::kNoEmptyEntry) {
        ASSERT_TRUE(e == emu::kNoEmptyEntry ? m.path.empty() : v->FreeBytes() < 2 * 16384);
      } else {
        ASSERT_EQ(e, 0);
        auto n = std::make_unique<Node>();
        n->name = name;
        n->dir = true;
        n->key = key;
        m.cur()->kids.push_back(std::move(n));
      }
    } else if (op < 81) {  // rmdir
      if (dirs.empty()) continue;
      Node* d = dirs[static_cast<size_t>(pick(static_cast<int>(dirs.size())))];
      const int e = v->RemoveDir(d->key);
      if (!d->kids.empty()) {
        ASSERT_EQ(e, emu::kNotPermitted);
      } else {
        ASSERT_EQ(e, 0);
        m.cur()->kids.erase(m.cur()->kids.begin() + static_cast<long>(m.IndexOf(d)));
      }
    } else if (op < 84) {  // rename a directory
      if (dirs.empty()) continue;
      Node* d = dirs[static_cast<size_t>(pick(static_cast<int>(dirs.size())))];
      const std::string name = dirName();
      const auto set = Set(name, 0, 0x10);
      const int e = v->RenameDir(d->key, set.data(), set.size() / 32);
      if (m.Taken(name, d)) {
        ASSERT_EQ(e, emu::kFileExist);
      } else if (e != emu::kNoEmptyEntry && e != emu::kOutOfMemory) {
        ASSERT_EQ(e, 0);
        d->name = name;
      }
    } else if (op < 95) {  // change directory: down, up by "..", or to the root
      const int how = pick(3);
      if (how == 0 && !dirs.empty()) {
        Node* d = dirs[static_cast<size_t>(pick(static_cast<int>(dirs.size())))];
        ASSERT_EQ(v->ChangeDir(d->key), 0);
        m.path.push_back(d);
      } else if (how == 1 && !m.path.empty()) {
        const auto vd = v->Directories();
        ASSERT_GE(vd.size(), 2u);
        ASSERT_EQ(vd[1].shortName, "..");
        ASSERT_EQ(v->ChangeDir(static_cast<uint16_t>(vd[1].firstCluster)), 0);
        m.path.pop_back();
      } else {
        ASSERT_EQ(v->ChangeDir(0), 0);
        m.path.clear();
      }
    } else if (op < 99) {  // read a file back
      if (files.empty()) continue;
      const int i = pick(static_cast<int>(files.size()));
      std::vector<uint8_t> got;
      ASSERT_EQ(v->ReadFile(i, &got), 0);
      ASSERT_EQ(got, files[static_cast<size_t>(i)]->data);
    } else {  // format
      ASSERT_EQ(v->Reformat(pick(2) == 1), 0);
      m.root.kids.clear();
      m.path.clear();
    }

    // The engine's view of the current directory equals the model's.
    std::vector<std::string> want, have;
    for (Node* n : m.Files()) want.push_back(n->name);
    for (const auto& f : v->Files()) have.push_back(Shown(f));
    ASSERT_EQ(have, want);
    want.clear();
    have.clear();
    for (Node* n : m.Dirs()) want.push_back(n->name);
    for (const auto& d : v->Directories()) {
      if (d.shortName != "." && d.shortName != "..") have.push_back(Shown(d));
    }
    ASSERT_EQ(have, want);
    ASSERT_EQ(v->AtRoot(), m.path.empty());
    if (step % 100 == 99) {
      ASSERT_EQ(FsckProblems(img), "");
    }
  }
  ASSERT_EQ(FsckProblems(img), "");
  std::vector<std::string> want;
  ExpectedPaths(m.root, "::/", &want);
  EXPECT_EQ(MtoolsPaths(img), want);
}

TEST(FatRandom, SmallFat12WithCrowdedRootMatchesModel) {
  if (!HaveTool("fsck.fat") || !HaveTool("mdir")) GTEST_SKIP() << "dosfstools or mtools missing";
  RunRandom(2 * 1024 * 1024, 64, 12345, 600);
}

// A sub-directory of several clusters: longer names, exchanges and
// compaction across its first cluster.
TEST(FatRandom, SubdirectoryOfSeveralClustersMatchesModel) {
  if (!HaveTool("fsck.fat") || !HaveTool("mdir")) GTEST_SKIP() << "dosfstools or mtools missing";
  RunRandom(32 * 1024 * 1024, 512, 4242, 3000, 400, true);
}

TEST(FatRandom, Fat16MatchesModel) {
  if (!HaveTool("fsck.fat") || !HaveTool("mdir")) GTEST_SKIP() << "dosfstools or mtools missing";
  RunRandom(64 * 1024 * 1024, 512, 777, 600);
}

}  // namespace
