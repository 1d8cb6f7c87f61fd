// The file-system commands of every firmware generation, with the test
// playing the PC; afterwards fsck.fat and mtools look at the images.
#include <gtest/gtest.h>

#include <algorithm>

#include "raw_host.h"

namespace emutest {
namespace {

struct Gen {
  const char* version;
  bool progress, twoByte, info, listsDirs, dirs;
};
// 1.4201 stands for every version between 1.42 and 1.43: it lists folders
// ("GG") but has no directory commands.
const Gen kGenerations[] = {
    {"1.1", false, false, false, false, false}, {"1.20", true, false, false, false, false},
    {"1.25", true, false, false, false, false}, {"1.30", true, true, false, false, false},
    {"1.42", true, true, true, false, false},    {"1.4201", true, true, true, true, false},
    {"1.43", true, true, true, true, true}};

class Generations : public ::testing::TestWithParam<Gen> {
 protected:
  void SetUp() override {
    fx = std::make_unique<PlayerFixture>(GetParam().version);
    host = fx->Connect();
    ASSERT_TRUE(host->connected());
    host->indexWidth = GetParam().twoByte ? 2 : 1;
  }
  // A file copied in the way this generation names files; returns its index.
  int Put(const std::string& longName, const std::string& name83, const Bytes& content) {
    Answer a = GetParam().twoByte ? host->DownloadEntries('M', longName, content)
                                  : host->Download83('M', name83, content);
    EXPECT_TRUE(a.ok()) << longName << " refused with " << a.code();
    return GetParam().twoByte ? a.u16(6) : a.raw[6];
  }
  std::string NameOf(const std::string& longName, const std::string& name83) const {
    return GetParam().twoByte ? longName : name83;
  }
  std::vector<std::string> ListedNames(uint8_t target = 'M') {
    RawHost::Listing l = host->List(target, GetParam().listsDirs);
    std::vector<std::string> names;
    for (const ListedEntry& e : DecodeSlots(l.slotBytes))
      if (!e.directory()) names.push_back(e.name);
    EXPECT_EQ(int(names.size()), l.files);
    return names;
  }
  void ExpectImagesClean() {
    std::string report;
    EXPECT_TRUE(FsckClean(fx->Internal(), &report)) << report;
    EXPECT_TRUE(FsckClean(fx->Card(), &report)) << report;
  }
  std::unique_ptr<PlayerFixture> fx;
  std::unique_ptr<RawHost> host;
};

INSTANTIATE_TEST_SUITE_P(Emulator, Generations, ::testing::ValuesIn(kGenerations),
                         [](const auto& test) {
                           std::string v = test.param.version;
                           std::replace(v.begin(), v.end(), '.', '_');
                           return "v" + v;
                         });

// The PC reads the version as the fifth word after the signature.
TEST_P(Generations, IdentificationNamesTheVersion) {
  host->Plain('Y');
  Answer a = host->ReceiveAnswer();
  ASSERT_TRUE(a.framed(true));
  std::string text(a.raw.begin() + 4, a.raw.begin() + 4 + (a.raw[2] - 2));
  ASSERT_LE(text.size(), 63u);
  EXPECT_EQ(text.rfind("BRIGHTFEN ZVC450 FILE SYSTEM ", 0), 0u) << text;
  size_t pos = 29;
  for (int word = 0; word < 4; ++word) pos = text.find(' ', pos) + 1;
  EXPECT_EQ(text.substr(pos), GetParam().version);
}

// Commands of later generations are refused with "not implemented" (38).
TEST_P(Generations, LaterCommandsAreRefused) {
  struct Case {
    const char* key;
    Bytes payload;
    bool supported;
  } cases[] = {{"I", {}, GetParam().info},
               {"DG", {}, GetParam().dirs},
               {"DC", {0, 0}, GetParam().dirs},
               {"DR", {0x12, 0x34}, GetParam().dirs}};
  for (const Case& c : cases) {
    host->Command('M', c.key, c.payload);
    Answer a = host->ReceiveAnswer();
    ASSERT_TRUE(a.framed(!GetParam().twoByte)) << c.key;
    if (c.supported) {
      if (std::string(c.key) == "DG") host->ReceiveAnswer();  // root path: the final answer follows
      EXPECT_NE(a.code(), 38) << c.key;
    } else {
      EXPECT_EQ(a.status(), 1) << c.key;
      EXPECT_EQ(a.code(), 38) << c.key;
    }
  }
  host->Command('M', "GG");
  Answer gg = host->ReceiveAnswer();
  if (GetParam().listsDirs) {
    EXPECT_TRUE(gg.ok());  // an empty root: no slots follow
  } else {
    EXPECT_EQ(gg.code(), 38);
  }
  // The link is still in step.
  host->Plain('Y');
  EXPECT_EQ(host->ReceiveAnswer().raw[4], 'B');
}

// Transfer sizes around packet and transfer boundaries go in and come back
// byte for byte, over the link and through mtools.
TEST_P(Generations, FilesGoInAndComeBackIdentical) {
  const size_t sizes[] = {0, 1, 511, 512, 513, 16383, 16384, 16385, (1u << 20) + 7};
  std::vector<Bytes> contents;
  std::vector<std::string> names;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    contents.push_back(Pattern(sizes[i], uint32_t(i)));
    std::string longName = "Track " + std::to_string(i) + " of the demo.mp3";
    std::string name83 = "TRACK" + std::to_string(i) + ".MP3";
    EXPECT_EQ(Put(longName, name83, contents.back()), int(i));
    names.push_back(NameOf(longName, name83));
  }
  EXPECT_EQ(ListedNames(), names);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    Bytes back;
    ASSERT_TRUE(host->Upload('M', int(i), sizes[i], &back)) << i;
    EXPECT_TRUE(back == contents[i]) << "size " << sizes[i];
  }
  // The link is in step after the last upload.
  host->Plain('Y');
  EXPECT_EQ(host->ReceiveAnswer().raw[4], 'B');
  host.reset();
  ExpectImagesClean();
  EXPECT_EQ(MtoolsNames(fx->Internal()), names);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    Bytes viaMtools;
    ASSERT_TRUE(MtoolsRead(fx->Internal(), "/" + names[i], &viaMtools)) << names[i];
    EXPECT_TRUE(viaMtools == contents[i]) << names[i];
  }
}

TEST_P(Generations, DeleteRenameAndReplace) {
  Put("Alpha song.mp3", "ALPHA.MP3", Pattern(100, 1));
  Put("Beta song.mp3", "BETA.MP3", Pattern(20000, 2));
  Put("Gamma song.mp3", "GAMMA.MP3", Pattern(3, 3));
  std::string a = NameOf("Alpha song.mp3", "ALPHA.MP3"), b = NameOf("Beta song.mp3", "BETA.MP3"),
              g = NameOf("Gamma song.mp3", "GAMMA.MP3");

  // Replace: the two files exchange their places.
  Bytes pay = host->Index(0);
  Bytes second = host->Index(2);
  pay.insert(pay.end(), second.begin(), second.end());
  EXPECT_TRUE(host->Exchange('M', "P", pay).ok());
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{g, b, a}));

  // Rename the middle one, keeping its content.
  std::string renamed;
  if (GetParam().twoByte) {
    renamed = "The renamed Beta.mp3";
    host->Irregular('M', "N", host->Index(1), EntrySet(renamed, 20000));
  } else {
    renamed = "RENAMED.MP3";
    Bytes p = host->Index(1);
    p.insert(p.end(), renamed.begin(), renamed.end());
    host->Command('M', "N", p);
  }
  EXPECT_TRUE(host->ReceiveAnswer().ok());
  std::vector<std::string> listed = ListedNames();
  EXPECT_EQ(listed.size(), 3u);
  EXPECT_NE(std::find(listed.begin(), listed.end(), renamed), listed.end());

  // Renaming onto an existing name is refused (16).
  if (GetParam().twoByte) {
    host->Irregular('M', "N", host->Index(0), EntrySet(a, 3));
  } else {
    Bytes p = host->Index(0);
    p.insert(p.end(), a.begin(), a.end());
    host->Command('M', "N", p);
  }
  EXPECT_EQ(host->ReceiveAnswer().code(), 16);

  // Delete the first file; an index past the end is refused (20).
  EXPECT_TRUE(host->Exchange('M', "E", host->Index(0)).ok());
  EXPECT_EQ(host->Exchange('M', "E", host->Index(7)).code(), 20);
  listed = ListedNames();
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(std::find(listed.begin(), listed.end(), g), listed.end());

  host.reset();
  ExpectImagesClean();
  std::vector<std::string> viaMtools = MtoolsNames(fx->Internal());
  std::sort(viaMtools.begin(), viaMtools.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(viaMtools, listed);
  Bytes content;
  ASSERT_TRUE(MtoolsRead(fx->Internal(), "/" + renamed, &content));
  EXPECT_TRUE(content == Pattern(20000, 2));
}

// A file index of the wrong width is a malformed command (11), not a
// different file.
TEST_P(Generations, IndexWidthIsChecked) {
  Put("One.mp3", "ONE.MP3", Pattern(10, 1));
  Bytes wrong = GetParam().twoByte ? Bytes{0} : Bytes{0, 0};
  EXPECT_EQ(host->Exchange('M', "E", wrong).code(), 11);
  EXPECT_EQ(ListedNames().size(), 1u);
}

// The answer to a download numbers the new file in one byte before 1.30:
// the 257th file of a directory would come back as file 0, and every later
// command for "file 0" would hit another file.  The player refuses it with
// "total file number" (17) and keeps the 256 it can number.
TEST_P(Generations, NoFileBeyondTheLastNumber) {
  for (int i = 0; i < 256; ++i) {
    char name[16];
    snprintf(name, sizeof name, "F%03d.TXT", i);
    ASSERT_EQ(Put(name, name, {}), i);
  }
  Answer a = GetParam().twoByte ? host->DownloadEntries('M', "F256.TXT", Pattern(10, 1))
                                : host->Download83('M', "F256.TXT", Pattern(10, 1));
  if (GetParam().twoByte) {
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.u16(6), 256);
  } else {
    EXPECT_EQ(a.status(), 1);
    EXPECT_EQ(a.code(), 17);
  }
  host->Plain('Y');  // in step: the refused file's data was never expected
  EXPECT_EQ(host->ReceiveAnswer().raw[4], 'B');
  EXPECT_EQ(ListedNames().size(), GetParam().twoByte ? 257u : 256u);
  host.reset();
  ExpectImagesClean();
}

// A host set to the wrong generation sends names in the other form: the
// player refuses at once and stays in step.
TEST_P(Generations, NameFormOfAnotherGenerationIsRefused) {
  Answer a = GetParam().twoByte ? host->Download83('M', "OLDFORM.MP3", Pattern(10, 1))
                                : host->DownloadEntries('M', "New form.mp3", Pattern(10, 1));
  EXPECT_EQ(a.code(), 11);
  host->Plain('Y');
  EXPECT_EQ(host->ReceiveAnswer().raw[4], 'B');
  EXPECT_TRUE(ListedNames().empty());
}

TEST_P(Generations, FormatAnswersOnceOrWithProgress) {
  Put("Doomed.mp3", "DOOMED.MP3", Pattern(50000, 9));
  for (const char* kind : {"F", "L"}) {
    if (GetParam().progress) {
      host->Command('M', std::string(kind) + "D");
      int last = -1;
      for (;;) {
        Answer p = host->ReceiveAnswer();
        ASSERT_TRUE(p.ok()) << kind;
        ASSERT_GT(int(p.raw[5]), last);
        last = p.raw[5];
        if (last >= 99) break;
      }
      EXPECT_EQ(last, 99);  // the player's progress ends at 99
      EXPECT_TRUE(host->ReceiveAnswer().ok());
    } else {
      EXPECT_TRUE(host->Exchange('M', kind).ok());
    }
    EXPECT_TRUE(host->Receive(100).empty()) << "nothing follows the format's answers";
    RawHost::Listing l = host->List('M', GetParam().listsDirs);
    EXPECT_EQ(l.files, 0);
    EXPECT_EQ(l.usedBlocks, 0);
    EXPECT_GT(l.totalBlocks, 0);
  }
  host.reset();
  ExpectImagesClean();
  EXPECT_TRUE(MtoolsNames(fx->Internal()).empty());
}

// Files-only listings hide directories; with no files they send no slots.
TEST_P(Generations, ListingHeaderAndSlots) {
  ASSERT_EQ(RunTool("mmd -i '" + fx->Internal() + "' '::/A folder'"), 0);
  RawHost::Listing empty = host->List('M', false);
  EXPECT_EQ(empty.files, 0);
  EXPECT_EQ(empty.slots, 0);
  EXPECT_TRUE(host->Receive(100).empty());

  Put("Some file.txt", "SOME.TXT", Pattern(40000, 4));
  RawHost::Listing l = host->List('M', false);
  EXPECT_EQ(l.files, 1);
  EXPECT_EQ(l.usedBlocks, 3);  // the folder and two blocks of the file
  std::vector<ListedEntry> entries = DecodeSlots(l.slotBytes);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, NameOf("Some file.txt", "SOME.TXT"));
  EXPECT_EQ(entries[0].size, 40000u);
  if (GetParam().listsDirs) {
    RawHost::Listing all = host->List('M', true);
    entries = DecodeSlots(all.slotBytes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "A folder");
    EXPECT_TRUE(entries[0].directory());
  }
}

TEST_P(Generations, RawBlocksAreTheImage) {
  host->Command('M', "A", {0, 1, 0, 3});
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  Bytes got;
  for (int i = 0; i < 2; ++i) {
    Bytes b = host->Receive();
    ASSERT_EQ(b.size(), 16384u);
    got.insert(got.end(), b.begin(), b.end());
  }
  FILE* f = fopen(fx->Internal().c_str(), "rb");
  ASSERT_TRUE(f);
  Bytes image(2 * 16384);
  fseek(f, 16384, SEEK_SET);
  ASSERT_EQ(fread(image.data(), 1, image.size(), f), image.size());
  fclose(f);
  EXPECT_TRUE(got == image);
  // 4 MiB hold 256 blocks: a range past the end is refused (13).
  EXPECT_EQ(host->Exchange('M', "A", {0, 250, 1, 1}).code(), 13);
}

// ---- Dirty answers ------------------------------------------------------------------

// A player with dirty answers says the same things: each answer's fields up
// to its terminator are those of a clean player, the bytes after it are not
// zero (nor, before 1.30, byte 1), and the padding of a file's last transfer
// is not zero either.
TEST(DirtyAnswers, OnlyThePaddingChanges) {
  for (const char* version : {"1.25", "1.43"}) {
    SCOPED_TRACE(version);
    const bool oneByte = std::string(version) == "1.25";
    PlayerFixture clean(version);
    PlayerFixture dirty(version, [](emu::EmulatorOptions* o) { o->firmware.dirtyAnswers = true; });
    std::vector<Bytes> seen[2];
    int which = 0;
    for (PlayerFixture* fx : {&clean, &dirty}) {
      auto host = fx->Connect();
      host->indexWidth = oneByte ? 1 : 2;
      auto answer = [&](Answer a) {
        EXPECT_TRUE(a.framed(oneByte));
        seen[which].push_back(a.raw);
        return a;
      };
      host->Plain('Y');
      answer(host->ReceiveAnswer());
      answer(oneByte ? host->Download83('M', "SONG.MP3", Pattern(1000, 7))
                     : host->DownloadEntries('M', "SONG.MP3", Pattern(1000, 7)));
      answer(host->Exchange('M', "E", host->Index(5)));  // refused: no file 5
      host->Command('M', "R", host->Index(0));
      answer(host->ReceiveAnswer());
      answer(host->ReceiveAnswer());
      seen[which].push_back(host->Receive());  // the file, padded to 1024 bytes
      ++which;
    }
    ASSERT_EQ(seen[0].size(), seen[1].size());
    for (size_t i = 0; i < seen[0].size(); ++i) {
      const Bytes &c = seen[0][i], &d = seen[1][i];
      ASSERT_EQ(c.size(), d.size()) << i;
      const bool data = i + 1 == seen[0].size();
      const size_t end = data ? 1000 : Answer{c}.length(oneByte) + 3;  // through the "."
      for (size_t k = 0; k < d.size(); ++k) {
        if (k < end && !(k == 1 && oneByte && !data)) {
          ASSERT_EQ(c[k], d[k]) << "packet " << i << " byte " << k;
        } else {
          ASSERT_EQ(c[k], 0) << "packet " << i << " byte " << k;
          ASSERT_NE(d[k], 0) << "packet " << i << " byte " << k;
        }
      }
    }
  }
}

// The test suites turn the knob on through the environment.
TEST(DirtyAnswers, SwitchedOnByTheEnvironment) {
  setenv(emu::kDirtyAnswersEnv, "1", 1);
  PlayerFixture fx("1.43");
  unsetenv(emu::kDirtyAnswersEnv);
  auto host = fx.Connect();
  Answer a = host->Exchange('M', "E", {0, 0});
  ASSERT_TRUE(a.framed());
  EXPECT_NE(a.raw[a.length() + 3], 0);
  EXPECT_NE(a.raw[511], 0);
}

// ---- Medium information (1.42 on) ------------------------------------------------

TEST(MediumInformation, DescribesEachMemory) {
  PlayerFixture fx("1.42");
  auto host = fx.Connect();
  struct Case {
    uint8_t target;
    int type;
    int physical;
  } cases[] = {{'M', 1, 256}, {'S', 2, 64}};
  for (const Case& c : cases) {
    Answer a = host->Exchange(c.target, "I");
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.raw[32], '.');
    RawHost::Listing l = host->List(c.target, false);
    EXPECT_EQ(a.u16(7), l.totalBlocks);
    EXPECT_EQ(a.u16(11), c.physical);
    EXPECT_EQ(a.raw[15], 1);       // device I/O good
    EXPECT_EQ(a.raw[16], 1);       // FAT good
    EXPECT_EQ(a.raw[17], c.type);  // 1 NAND, 2 card
    EXPECT_EQ(a.u16(25), 512);     // bytes per sector
    EXPECT_EQ(a.raw[27], 32);      // sectors per cluster
    EXPECT_EQ(a.raw[28], 1);       // clusters per block
    EXPECT_EQ(a.raw[31], 1);       // FAT12 on these small media
  }
}

// An image whose size is not a whole number of 16 KiB blocks: its last,
// partial block is a physical block in the medium information and in raw
// reads alike (read back padded with zeros), formatted or not.
TEST(MediumInformation, PhysicalBlocksCountAsRawReadsCountThem) {
  for (bool unformatted : {false, true}) {
    SCOPED_TRACE(unformatted ? "unformatted" : "formatted");
    static bool showUnformatted;
    showUnformatted = unformatted;
    PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) {
      ASSERT_TRUE(emu::FatVolume::Format(o->state.folder + "/internal.img", (1u << 20) + 8192, nullptr));
      o->state.unformatted = showUnformatted;
    });
    auto host = fx.Connect();
    Answer info = host->Exchange('M', "I");
    ASSERT_TRUE(info.ok());
    const uint16_t physical = info.u16(11);
    EXPECT_EQ(physical, 65);
    host->Command('M', "A", {0, 64, uint8_t(physical >> 8), uint8_t(physical)});
    ASSERT_TRUE(host->ReceiveAnswer().ok());
    Bytes last = host->Receive();
    ASSERT_EQ(last.size(), 16384u);
    Bytes image;
    FILE* f = fopen(fx.Internal().c_str(), "rb");
    ASSERT_TRUE(f);
    fseek(f, 64 * 16384, SEEK_SET);
    image.resize(8192);
    ASSERT_EQ(fread(image.data(), 1, image.size(), f), image.size());
    fclose(f);
    image.resize(16384, 0);
    EXPECT_TRUE(last == image);
    EXPECT_EQ(host->Exchange('M', "A", {0, 64, 0, uint8_t(physical + 1)}).code(), 13);
  }
}

TEST(MediumInformation, DefaultInternalMemoryIsFat16) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->state.internalBytes = 64ull << 20; });
  auto host = fx.Connect();
  Answer a = host->Exchange('M', "I");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a.raw[31], 2);
  EXPECT_EQ(a.u16(11), 4096);
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
}

// ---- Directories (1.43) ---------------------------------------------------------------

class Directories : public ::testing::Test {
 protected:
  void SetUp() override {
    host = fx.Connect();
    ASSERT_TRUE(host->connected());
  }
  std::vector<ListedEntry> Here() { return DecodeSlots(host->List('M', true).slotBytes); }
  uint16_t KeyOf(const std::string& name) {
    for (const ListedEntry& e : Here())
      if (e.name == name && e.directory()) return uint16_t(e.cluster);
    ADD_FAILURE() << "no directory " << name;
    return 0xFFFF;
  }
  Answer Enter(uint16_t key) { return host->Exchange('M', "DC", {uint8_t(key >> 8), uint8_t(key)}); }
  Answer Make(const std::string& name) {
    host->Sized('M', "DM", EntrySet(name, 0, 0x10));
    return host->ReceiveAnswer();
  }
  // The current path as the PC puts it together from the entries.
  std::string Path() {
    host->Command('M', "DG");
    Answer first = host->ReceiveAnswer();
    EXPECT_TRUE(first.ok());
    size_t bytes = first.u16(5);
    Bytes entries(first.raw.begin() + 7, first.raw.end());
    while (entries.size() < bytes) {
      Bytes block = host->Receive();
      EXPECT_EQ(block.size(), 512u);
      if (block.empty()) break;
      entries.insert(entries.end(), block.begin(), block.end());
    }
    entries.resize(bytes);
    EXPECT_TRUE(host->ReceiveAnswer().ok()) << "final answer";
    std::string path;
    for (const ListedEntry& e : DecodeSlots(entries)) path += "/" + e.name;
    return path.empty() ? "/" : path;
  }
  PlayerFixture fx{"1.43"};
  std::unique_ptr<RawHost> host;
};

TEST_F(Directories, MakeEnterListRenameRemove) {
  ASSERT_TRUE(Make("Music").ok());
  EXPECT_EQ(Make("music").code(), 16);  // names compare without case
  uint16_t music = KeyOf("Music");
  ASSERT_TRUE(Enter(music).ok());
  EXPECT_EQ(Path(), "/Music");

  std::vector<ListedEntry> inside = Here();
  ASSERT_EQ(inside.size(), 2u);
  EXPECT_EQ(inside[0].name, ".");
  EXPECT_EQ(inside[1].name, "..");
  ASSERT_TRUE(host->DownloadEntries('M', "Inside song.mp3", Pattern(999, 5)).ok());
  RawHost::Listing l = host->List('M', true);
  EXPECT_EQ(l.files, 1);

  ASSERT_TRUE(Enter(KeyOf("..")).ok());
  EXPECT_EQ(Path(), "/");
  EXPECT_EQ(host->Exchange('M', "DR", {uint8_t(music >> 8), uint8_t(music)}).code(), 24);
  host->Irregular('M', "DN", {uint8_t(music >> 8), uint8_t(music)}, EntrySet("Songs and more", 0, 0x10));
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  EXPECT_EQ(KeyOf("Songs and more"), music);
  EXPECT_EQ(Enter(0x4321).code(), 21);

  host.reset();
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
  EXPECT_EQ(MtoolsNames(fx.Internal()), (std::vector<std::string>{"Songs and more/"}));
  EXPECT_EQ(MtoolsNames(fx.Internal(), "/Songs and more"), (std::vector<std::string>{"Inside song.mp3"}));
  Bytes content;
  ASSERT_TRUE(MtoolsRead(fx.Internal(), "/Songs and more/Inside song.mp3", &content));
  EXPECT_TRUE(content == Pattern(999, 5));

  host = fx.Connect();
  ASSERT_TRUE(Enter(music).ok());
  ASSERT_TRUE(host->Exchange('M', "E", {0, 0}).ok());
  ASSERT_TRUE(Enter(0).ok());
  EXPECT_TRUE(host->Exchange('M', "DR", {uint8_t(music >> 8), uint8_t(music)}).ok());
  EXPECT_TRUE(Here().empty());
  host.reset();
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
}

// A deep path does not fit the first answer: the rest follows in raw blocks,
// then the final answer.
TEST_F(Directories, DeepPathContinuesInBlocks) {
  std::string expected;
  for (int level = 0; level < 4; ++level) {
    std::string name = "Level " + std::to_string(level) + " with a rather long folder name";
    ASSERT_TRUE(Make(name).ok());
    ASSERT_TRUE(Enter(KeyOf(name)).ok());
    expected += "/" + name;
  }
  EXPECT_EQ(Path(), expected);
  host->Plain('Y');
  EXPECT_EQ(host->ReceiveAnswer().raw[4], 'B');
}

}  // namespace
}  // namespace emutest
