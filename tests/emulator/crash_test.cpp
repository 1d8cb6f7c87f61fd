// The emulated player killed in the middle of its work: zvc450-emu with
// --kill-after-writes N dies right after its Nth write to an image, for every
// N a sequence of commands makes, and each image it leaves is judged by
// fsck.fat and mtools against the images before and after the command that
// was running.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "raw_host.h"

namespace emutest {
namespace {

const std::string kProgram = ZVC450_EMU_PROGRAM;

// What mtools sees on an image: every path ("dir/" for directories) with
// the bytes of each file.
using Tree = std::map<std::string, Bytes>;

void Walk(const std::string& root, const std::string& rel, Tree* out) {
  DIR* d = opendir((root + "/" + rel).c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = rel.empty() ? name : rel + "/" + name;
    struct stat st;
    if (stat((root + "/" + path).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      (*out)[path + "/"] = {};
      Walk(root, path, out);
    } else {
      std::ifstream f(root + "/" + path, std::ios::binary);
      (*out)[path] = Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
  }
  closedir(d);
}

Tree Snapshot(const std::string& image, const std::string& scratch) {
  RunTool("rm -rf '" + scratch + "' && mkdir -p '" + scratch + "'");
  std::string out;
  EXPECT_EQ(RunTool("mcopy -s -n -i '" + image + "' '::/*' '" + scratch + "/'", &out), 0) << out;
  Tree t;
  Walk(scratch, "", &t);
  // mtools writes an entry it finds twice under a second name; a listing of
  // the directories tells duplicates apart from distinct names.
  std::string listing;
  RunTool("mdir -/ -b -i '" + image + "' ::/", &listing);
  std::istringstream in(listing);
  std::map<std::string, int> seen;
  for (std::string line; std::getline(in, line);)
    if (++seen[line] == 2) t["(listed twice) " + line] = {};
  return t;
}

// What `fsck.fat -n` said (`out`) less what a kill between two writes is
// allowed to leave: the second FAT behind the first, and clusters no entry
// uses.  Empty when it found nothing else.
std::string Unexpected(const std::string& out) {
  auto starts = [](const std::string& s, const char* p) { return s.rfind(p, 0) == 0; };
  auto has = [](const std::string& s, const char* p) { return s.find(p) != std::string::npos; };
  std::istringstream in(out);
  std::string unexpected;
  for (std::string line; std::getline(in, line);) {
    const bool allowed = line.empty() || starts(line, "fsck.fat ") ||
                         line == "FATs differ but appear to be intact." || line == "  Using first FAT." ||
                         (starts(line, "Reclaimed ") && has(line, " unused cluster")) ||
                         line == "Leaving filesystem unchanged." ||
                         (has(line, ": ") && has(line, " files, ") && has(line, " clusters"));
    if (!allowed) unexpected += line + "\n";
  }
  return unexpected.empty() ? "" : out;
}

std::string Name(char c, int i, size_t length) {
  std::string s = std::string(1, c) + std::to_string(i) + " ";
  while (s.size() < length - 4) s += char('a' + (s.size() * 7 + size_t(i)) % 26);
  return s + ".mp3";
}

// The state folder the sequence starts from.  Internal memory, 4 MiB:
//   Song one.mp3, ROOT2.TXT
//   Full/   3 short names, then 24 names of 255 characters (21 slots each):
//           its one cluster holds 509 of its 512 slots
//   Two/    the same, then 24 more long names and SHORTA.TXT..SHORTC.TXT:
//           two clusters
//   Three/  like Two, then 8 short names that fill its second cluster
// Every free cluster holds old bytes (a deleted file filled the medium), so
// a cluster linked before it is written shows garbage.
void MakeStart(const std::string& folder) {
  emu::StateOptions so;
  so.folder = folder;
  so.internalBytes = 4ull << 20;
  so.cardBytes = 512 << 10;
  emu::PlayerState state(so);
  std::string err;
  ASSERT_TRUE(state.Prepare(&err)) << err;
  emu::FatVolume& v = *state.Internal().Volume();
  auto create = [&](const std::string& name, size_t size, uint32_t seed) {
    const Bytes set = EntrySet(name, uint32_t(size));
    const Bytes data = Pattern(size, seed);
    ASSERT_EQ(v.CreateFile(set.data(), set.size() / 32, data.data(), data.size()), 0) << name;
  };
  create("filler.bin", v.FreeBytes(), 99);
  ASSERT_EQ(v.Delete(0), 0);
  create("Song one.mp3", 20000, 1);
  create("ROOT2.TXT", 5, 2);
  uint32_t seed = 10;
  for (const char* dir : {"Full", "Two", "Three"}) {
    const Bytes set = EntrySet(dir, 0, 0x10);
    uint16_t key = 0;
    ASSERT_EQ(v.MakeDir(set.data(), set.size() / 32, &key), 0);
    ASSERT_EQ(v.ChangeDir(key), 0);
    for (int i = 1; i <= 3; ++i) create("SHORT" + std::to_string(i) + ".TXT", 100 * i, seed++);
    const int longNames = std::string(dir) == "Full" ? 24 : 48;
    for (int i = 0; i < longNames; ++i) create(Name(dir[0], i, 255), i % 4 ? 0 : (seed * 311) % 5000, seed), ++seed;
    if (std::string(dir) != "Full")
      for (char c : std::string("ABC")) create(std::string("SHORT") + c + ".TXT", 50, seed++);
    if (std::string(dir) == "Three")
      for (int i = 0; i < 5; ++i) create("FILL" + std::to_string(i) + ".TXT", 10, seed++);
    ASSERT_EQ(v.ChangeDir(0), 0);
  }
}

// The sequence: each step one command of the PC, then an identification as
// a barrier (the player has finished the command once it answers).  false
// when the player went away.
class Sequence {
 public:
  explicit Sequence(RawHost* host) : h_(host) {}

  // Files a step moves to another slot (they may be missing while it runs),
  // by step (1 on).
  std::vector<std::set<std::string>> moves{{}};

  bool Run(const std::function<void(int step)>& after) {
    int step = 0;
    auto done = [&](bool ok, std::set<std::string> moved = {}) {
      if (!ok) return false;
      moves.push_back(std::move(moved));
      h_->Plain('Y');
      if (h_->ReceiveAnswer().raw.empty()) return false;
      after(++step);
      return true;
    };
    const std::string longFolder = "A new folder whose name takes seven slots of the directory, no less";
    const std::string longName = Name('r', 1, 255);
    return Enter("Full") &&
           // mkdir in a full directory cluster: the directory grows
           done(Make(longFolder)) &&
           // a longer name for a file of the full first cluster
           done(Rename("SHORT1.TXT", longName)) && Enter("..") && Enter("Two") &&
           // longer names in the second cluster
           done(Rename("SHORTA.TXT", Name('s', 2, 200))) && done(Rename("SHORTB.TXT", "Bee with a name.txt")) &&
           // two neighbours across the first cluster's end exchange places
           done(SwapAt(26, 27), {"Two/" + Name('T', 23, 255), "Two/" + Name('T', 24, 255)}) &&
           // and two that are not neighbours
           done(SwapAt(3, 40), {"Two/" + Name('T', 0, 255), "Two/" + Name('T', 37, 255)}) && Enter("..") &&
           Enter("Three") &&
           // deletes, then a big file that needs their slots (compaction)
           done(Delete(Name('T', 30, 255))) && done(Delete(Name('T', 31, 255))) &&
           done(Put("A big recording with a long name.bcw", Pattern(4 * 16384 + 100, 5))) &&
           done(Delete("A big recording with a long name.bcw")) && Enter("..") &&
           // the root directory
           done(Rename("Song one.mp3", "Song one, renamed.mp3")) && done(Delete("ROOT2.TXT"));
  }

 private:
  std::vector<ListedEntry> Here() { return DecodeSlots(h_->List('M', true).slotBytes); }
  int IndexOf(const std::string& name) {
    int i = 0;
    for (const ListedEntry& e : Here()) {
      if (e.attr & 0x10) continue;
      if (e.name == name) return i;
      ++i;
    }
    ADD_FAILURE() << "no file " << name;
    return -1;
  }
  bool Enter(const std::string& name) {
    for (const ListedEntry& e : Here())
      if (e.name == name && e.directory())
        return h_->Exchange('M', "DC", {uint8_t(e.cluster >> 8), uint8_t(e.cluster)}).ok();
    return false;
  }
  bool Make(const std::string& name) {
    h_->Sized('M', "DM", EntrySet(name, 0, 0x10));
    return h_->ReceiveAnswer().ok();
  }
  bool Rename(const std::string& from, const std::string& to) {
    const int i = IndexOf(from);
    if (i < 0) return false;
    h_->Irregular('M', "N", h_->Index(i), EntrySet(to));
    return h_->ReceiveAnswer().ok();
  }
  bool Delete(const std::string& name) {
    const int i = IndexOf(name);
    return i >= 0 && h_->Exchange('M', "E", h_->Index(i)).ok();
  }
  bool SwapAt(int i, int j) {
    Bytes p = h_->Index(i), q = h_->Index(j);
    p.insert(p.end(), q.begin(), q.end());
    return h_->Exchange('M', "P", p).ok();
  }
  bool Put(const std::string& name, const Bytes& content) { return h_->DownloadEntries('M', name, content).ok(); }

  RawHost* h_;
};

// A host on the player's socket once the player listens there.
std::unique_ptr<RawHost> Connect(const std::string& path) {
  for (int i = 0; i < 250; ++i) {
    auto host = std::make_unique<RawHost>(path);
    if (host->connected()) return host;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

// What a crash leaves, as fat_volume.h states it, at every write of the
// sequence: fsck.fat's findings, what mtools sees against the trees before
// and after the step that was running (files it moves may be missing), no
// entry twice, and a repair by fsck.fat that changes nothing mtools sees but
// for recovered clusters.
TEST(Crash, EveryWriteOfASequenceLeavesAConsistentImage) {
  if (RunTool("which fsck.fat mcopy mdir") != 0) GTEST_SKIP() << "dosfstools or mtools missing";
  char tmpl[] = "/tmp/zvc450-crash-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  struct Remove {
    std::string dir;
    ~Remove() { RunTool("rm -rf '" + dir + "'"); }
  } removeAtTheEnd{dir};
  const std::string start = dir + "/start";
  MakeStart(start);
  if (HasFatalFailure()) return;

  // The run to the end, in a thread of the test: the trees between the
  // steps and the number of writes each step ends at.
  std::vector<Tree> trees;
  std::vector<uint64_t> writesAfter{0};
  std::vector<std::set<std::string>> moves;
  {
    RunTool("cp -r '" + start + "' '" + dir + "/whole'");
    emu::EmulatorOptions o;
    o.state.folder = dir + "/whole";
    o.socketPath = dir + "/whole.sock";
    emu::Emulator player(o);
    std::string err;
    ASSERT_TRUE(player.Start(&err)) << err;
    const std::string image = o.state.folder + "/internal.img";
    trees.push_back(Snapshot(image, dir + "/tree"));
    RawHost host(o.socketPath);
    Sequence sequence(&host);
    ASSERT_TRUE(sequence.Run([&](int) {
      writesAfter.push_back(player.State().ImageWrites().Writes());
      trees.push_back(Snapshot(image, dir + "/tree"));
    }));
    moves = sequence.moves;
    ASSERT_EQ(trees.size(), 13u);
    std::string report;
    EXPECT_TRUE(FsckClean(image, &report)) << report;
  }

  int checked = 0, clean = 0;
  for (uint64_t n = 1; n <= writesAfter.back(); ++n) {
    size_t step = 1;
    while (writesAfter[step] < n) ++step;
    SCOPED_TRACE("killed after write " + std::to_string(n) + ", in step " + std::to_string(step));
    const std::string state = dir + "/run", sock = dir + "/run.sock";
    RunTool("rm -rf '" + state + "' && cp -r '" + start + "' '" + state + "'");
    pid_t pid = fork();
    if (pid == 0) {
      const std::string kill = std::to_string(n);
      execl(kProgram.c_str(), kProgram.c_str(), "--state", state.c_str(), "--socket", sock.c_str(),
            "--kill-after-writes", kill.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    struct Reap {  // a player left running by a failed assertion is stopped
      pid_t* pid;
      ~Reap() {
        if (*pid > 0) kill(*pid, SIGKILL), waitpid(*pid, nullptr, 0);
      }
    } reap{&pid};
    {
      std::unique_ptr<RawHost> host = Connect(sock);
      ASSERT_TRUE(host);
      EXPECT_FALSE(Sequence(host.get()).Run([](int) {}));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    unlink(sock.c_str());

    const std::string image = state + "/internal.img";
    std::string findings;
    const bool fsckClean = FsckClean(image, &findings);
    EXPECT_EQ(Unexpected(findings), "");
    const Tree now = Snapshot(image, dir + "/tree");
    const Tree &before = trees[step - 1], &after = trees[step];
    for (const auto& [path, bytes] : now) {
      auto b = before.find(path), a = after.find(path);
      EXPECT_TRUE((b != before.end() && b->second == bytes) || (a != after.end() && a->second == bytes))
          << path << " is neither as before nor as after";
    }
    for (const auto& [path, bytes] : before) {
      auto a = after.find(path);
      if (a != after.end() && a->second == bytes && !moves[step].count(path)) {
        EXPECT_TRUE(now.count(path)) << path << " lost";
      }
    }
    EXPECT_LE(now.size(), std::max(before.size(), after.size())) << "an entry twice";
    ++checked;
    if (fsckClean) {
      ++clean;
    } else {
      // fsck.fat's repair changes nothing mtools sees, but for the clusters
      // of a lost entry that it keeps as FSCKnnnn.REC.
      const std::string copy = dir + "/repaired.img";
      RunTool("cp '" + image + "' '" + copy + "' && fsck.fat -a '" + copy + "'");
      std::string report;
      EXPECT_TRUE(FsckClean(copy, &report)) << report;
      const Tree repaired = Snapshot(copy, dir + "/tree");
      auto recovered = [](const std::string& path) {
        return path.size() == 12 && path.rfind("FSCK", 0) == 0 && path.compare(8, 4, ".REC") == 0;
      };
      for (const auto& [path, bytes] : repaired)
        EXPECT_TRUE((now.count(path) && now.at(path) == bytes) || recovered(path)) << "the repair changed " << path;
      for (const auto& entry : now) EXPECT_TRUE(repaired.count(entry.first)) << "the repair dropped " << entry.first;
    }
    if (HasFailure()) break;  // one image's story is enough
  }
  std::printf("crash: %d images checked, %d of them clean\n", checked, clean);
  EXPECT_EQ(checked, int(writesAfter.back()));
}

}  // namespace
}  // namespace emutest
