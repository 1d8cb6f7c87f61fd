// The LCD font area and the two code areas of the emulated player.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "raw_host.h"

namespace emutest {
namespace {

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(Font, DownloadDescribeUploadErase) {
  PlayerFixture fx;
  auto host = fx.Connect();
  Answer info = host->Exchange('U', "V");
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info.u16(1), 7);  // no name, size 0

  const std::string name = "Gothic12.fot";
  Bytes font = Pattern(70000, 12);
  Bytes p(name.begin(), name.end());
  p.insert(p.end(), {0x00, 0x01, 0x11, 0x70});
  ASSERT_TRUE(host->Exchange('U', "W", p).ok());
  for (size_t done = 0; done < font.size(); done += 16384) {
    Bytes chunk(font.begin() + long(done), font.begin() + long(std::min(font.size(), done + 16384)));
    chunk.resize((chunk.size() + 511) / 512 * 512, 0);
    host->SendOut(chunk);
  }
  info = host->Exchange('U', "V");
  ASSERT_TRUE(info.ok());
  size_t l = info.length();
  ASSERT_EQ(l, 7 + name.size());
  EXPECT_EQ(std::string(info.raw.begin() + 5, info.raw.begin() + long(l) - 2), name);
  EXPECT_EQ(uint32_t(info.raw[l - 2] << 24 | info.raw[l - 1] << 16 | info.raw[l] << 8 | info.raw[l + 1]), 70000u);
  EXPECT_EQ(info.raw[l + 2], '.');

  host->Command('U', "R");
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  Bytes back;
  while (back.size() < font.size()) {
    Bytes t = host->Receive();
    ASSERT_FALSE(t.empty());
    back.insert(back.end(), t.begin(), t.end());
  }
  back.resize(font.size());
  EXPECT_TRUE(back == font);
  EXPECT_TRUE(ReadFile(fx.dir + "/font.bin") == font);

  ASSERT_TRUE(host->Exchange('U', "E").ok());
  EXPECT_EQ(host->Exchange('U', "V").u16(1), 7);
  // A font larger than the area is refused before any data moves.
  EXPECT_EQ(host->Exchange('U', "W", {'x', 0x7F, 0, 0, 0}).code(), 25);
}

// Erase with progress: the announcement (step count, "." at 8), one report
// per step, the outcome.
void EraseWithProgress(RawHost* host, uint8_t area) {
  Answer a = host->Exchange('C', "\x03", {area});
  ASSERT_TRUE(a.ok());
  ASSERT_EQ(a.raw[5], 0);
  ASSERT_EQ(a.raw[8], '.');
  int steps = a.u16(6);
  EXPECT_GT(steps, 0);
  for (int s = 0; s < steps; ++s) {
    Answer r = host->ReceiveAnswer();
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.u16(6), s);
  }
  EXPECT_TRUE(host->ReceiveAnswer().ok());
}

Answer WriteArea(RawHost* host, uint8_t area, const Bytes& image) {
  size_t blocks = (image.size() + 511) / 512;
  Answer a = host->Exchange('C', "\x01", {area, uint8_t(blocks >> 8), uint8_t(blocks)});
  if (!a.ok()) return a;
  for (size_t b = 0; b < blocks; ++b) {
    Bytes block(512, 0);
    std::copy(image.begin() + long(b * 512), image.begin() + long(std::min(image.size(), b * 512 + 512)), block.begin());
    host->SendOut(block);
  }
  return host->ReceiveAnswer();
}

TEST(CodeAreas, SelectEraseWrite) {
  PlayerFixture fx;
  auto host = fx.Connect();
  EXPECT_TRUE(host->Exchange('G', "O", {0x10, 0x00}).ok());
  EraseWithProgress(host.get(), 'P');
  Bytes app = Pattern(1000, 77);
  ASSERT_TRUE(WriteArea(host.get(), 'P', app).ok());
  Bytes stored = ReadFile(fx.dir + "/app.bin");
  ASSERT_EQ(stored.size(), 1024u);  // whole blocks, the last one padded with zeros
  EXPECT_TRUE(Bytes(stored.begin(), stored.begin() + 1000) == app);
  // Flash is written only after an erase.
  EXPECT_EQ(host->Exchange('C', "\x01", {'P', 0, 1}).code(), 4);

  EraseWithProgress(host.get(), 'R');
  // The boot area holds 8192 bytes: 16 blocks fit, 17 do not.
  EXPECT_EQ(host->Exchange('C', "\x01", {'R', 0, 17}).code(), 35);
  ASSERT_TRUE(WriteArea(host.get(), 'R', Pattern(8192, 3)).ok());
  EXPECT_TRUE(ReadFile(fx.dir + "/boot.bin") == Pattern(8192, 3));
  EXPECT_EQ(host->Exchange('C', "\x02", {'X'}).code(), 11);
}

// Players without erase progress answer 0x03 with a plain success; the PC
// then erases with 0x02 and waits for its one answer.
TEST(CodeAreas, EraseWithoutProgress) {
  PlayerFixture fx("1.30", [](emu::EmulatorOptions* o) { o->firmware.eraseProgress = false; });
  auto host = fx.Connect();
  ASSERT_TRUE(WriteArea(host.get(), 'P', Pattern(600, 1)).ok());
  Answer a = host->Exchange('C', "\x03", {'P'});
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a.length(), 3u);  // status only: no announcement
  EXPECT_TRUE(host->Receive(100).empty());
  ASSERT_TRUE(host->Exchange('C', "\x02", {'P'}).ok());
  EXPECT_TRUE(ReadFile(fx.dir + "/app.bin").empty());
  EXPECT_TRUE(WriteArea(host.get(), 'P', Pattern(600, 2)).ok());
}

}  // namespace
}  // namespace emutest
