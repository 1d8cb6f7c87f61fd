// Entry sets: what the engine accepts from the PC and how it stores names.
#include <gtest/gtest.h>

#include <cstring>

#include "fat_names.h"
#include "fat_test_util.h"
#include "fat_volume.h"

namespace {

using emu::fatnames::ParsedSet;
using emu::fatnames::ParseEntrySet;

TEST(FatNames, ChecksumVectors) {
  struct Row {
    const char* name11;
    int sum;
  } rows[] = {{"README  TXT", 115}, {"VMLINUX    ", 44}, {"ABCDEFGHA  ", 98}};
  for (const Row& r : rows)
    EXPECT_EQ(emu::ShortNameChecksum(reinterpret_cast<const uint8_t*>(r.name11)), r.sum) << r.name11;
}

TEST(FatNames, EntrySetsBuiltLikeThePcLibrary) {
  struct Row {
    const char* name;
    size_t slots;
    const char* short11;
  } rows[] = {
      {"MUSIC.MP3", 1, "MUSIC   MP3"},          {"readme.txt", 2, "README  TXT"},
      {"REPORT", 1, "REPORT     "},             {"abcdefghijklmnopqrst", 3, "ABCDEFGH   "},
      {"thirteen_c.mp", 2, "THIRTEENMP "},     {"verylongname.text", 3, "VERYLONGTEX"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto set = emu::EntrySetFromLongName(r.name, 0x20, 0, 33, 0);
    ASSERT_EQ(set.size(), r.slots * 32);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&set[(r.slots - 1) * 32]), 11),
              std::string(r.short11).substr(0, 11));
    if (r.slots > 1) {
      EXPECT_EQ(set[0], 0x40 + r.slots - 1);
    }
    ParsedSet p;
    ASSERT_EQ(ParseEntrySet(set.data(), r.slots, &p), 0);
    EXPECT_EQ(emu::fatnames::Utf16ToUtf8(p.longName), r.slots > 1 ? r.name : "");
  }
  EXPECT_TRUE(emu::EntrySetFromLongName(".mp3", 0x20, 0, 0, 0).empty());
}

TEST(FatNames, EntrySetFrom83) {
  struct Row {
    const char* text;
    const char* short11;  // nullptr: refused
  } rows[] = {
      {"MUSIC.MP3", "MUSIC   MP3"}, {"song.mp3", "SONG    MP3"}, {"REPORT.", "REPORT     "},
      {"REPORT", "REPORT     "},    {"TOOLONGNAME.MP3", nullptr}, {"A.MPEG", nullptr},
      {".MP3", nullptr},            {"A*B.MP3", nullptr},         {"", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    const auto set = emu::EntrySetFrom83(r.text, 1234, 33, 0);
    if (!r.short11) {
      EXPECT_TRUE(set.empty());
      continue;
    }
    ASSERT_EQ(set.size(), 32u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(set.data()), 11), r.short11);
    EXPECT_EQ(set[11], 0x20);
    EXPECT_EQ(set[28] | (set[29] << 8), 1234);
  }
}

// Sets the PC could send that a FAT directory cannot hold.
TEST(FatNames, MalformedSetsAreRefused) {
  const auto good = emu::EntrySetFromLongName("a twenty char name.x", 0x20, 0, 33, 0);  // 3 slots
  ASSERT_EQ(good.size(), 96u);
  struct Row {
    const char* what;
    void (*mutate)(std::vector<uint8_t>&);
  } rows[] = {
      {"first slot lacks 0x40", [](std::vector<uint8_t>& s) { s[0] = 0x02; }},
      {"ordinals out of order", [](std::vector<uint8_t>& s) { s[32] = 0x02; }},
      {"long-name attribute lost", [](std::vector<uint8_t>& s) { s[32 + 11] = 0x20; }},
      {"short slot is a long-name slot", [](std::vector<uint8_t>& s) { s[64 + 11] = 0x0F; }},
      {"volume label", [](std::vector<uint8_t>& s) { s[64 + 11] = 0x08; }},
      {"slash in long name", [](std::vector<uint8_t>& s) { s[32 + 1] = '/'; }},
      {"control char in long name", [](std::vector<uint8_t>& s) { s[32 + 3] = 0x01; }},
      {"empty last slot", [](std::vector<uint8_t>& s) { s[32 + 1] = 0; s[32 + 2] = 0; std::memset(s.data() + 1, 0xFF, 10); s[1] = 0; s[2] = 0; }},
  };
  for (const Row& r : rows) {
    std::vector<uint8_t> s = good;
    r.mutate(s);
    ParsedSet p;
    EXPECT_EQ(ParseEntrySet(s.data(), 3, &p), emu::kInvalidName) << r.what;
  }
  ParsedSet p;
  EXPECT_EQ(ParseEntrySet(good.data(), 0, &p), emu::kInvalidName);
  EXPECT_EQ(ParseEntrySet(nullptr, 1, &p), emu::kInvalidName);
  // A short-only set with a byte no FAT takes.
  uint8_t bad[32] = {};
  std::memcpy(bad, "A?B     MP3", 11);
  bad[11] = 0x20;
  EXPECT_EQ(ParseEntrySet(bad, 1, &p), emu::kInvalidName);
  for (const char* name11 : {"A B     MP3", ".          ", "..         ", "   A    MP3"}) {
    std::memcpy(bad, name11, 11);
    EXPECT_EQ(ParseEntrySet(bad, 1, &p), emu::kInvalidName) << name11;
  }
}

// The PC library copies characters such as '+' or '.' into the 8.3 form and
// sends lower case "zvc450" for names without a base; the engine stores a
// proper alias and keeps what the PC meant as the long name.
TEST(FatNames, ImproperAliasesAreFixed) {
  struct Row {
    const char* short11;
    const char* alias;
    const char* longName;
  } rows[] = {
      {"A.B     MP3", "A_B     MP3", "A.B.MP3"},
      {"X+Y     WAV", "X_Y     WAV", "X+Y.WAV"},
      {"zvc450  MP3", "ZVC450  MP3", "zvc450.MP3"},
      {"\xE5OOK    TXT", "\x05OOK    TXT", ""},
      {"MUSIC   MP3", "MUSIC   MP3", ""},
  };
  for (const Row& r : rows) {
    uint8_t s[32] = {};
    std::memcpy(s, r.short11, 11);
    s[11] = 0x20;
    ParsedSet p;
    ASSERT_EQ(ParseEntrySet(s, 1, &p), 0) << r.short11;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.shortSlot), 11), r.alias);
    EXPECT_EQ(emu::fatnames::Utf16ToUtf8(p.longName), r.longName);
  }
}

}  // namespace
