// The virtual USB link: hello, one host at a time, hosts that leave in the
// middle, the abort request, and the fault knobs.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "raw_host.h"

namespace emutest {
namespace {

using Clock = std::chrono::steady_clock;

bool InStep(RawHost* host) {
  host->Plain('Y');
  Answer a = host->ReceiveAnswer();
  return a.framed() && a.raw[4] == 'B';
}

TEST(Link, HelloCarriesTheIds) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) {
    o->identity.vendorId = 0x04E8;
    o->identity.productId = 0x1003;
    o->identity.product = "Test player";
  });
  auto host = fx.Connect();
  EXPECT_EQ(host->hello(), (Bytes{'H', 0xE8, 0x04, 0x03, 0x10, 'T', 'e', 's', 't', ' ', 'p', 'l', 'a', 'y', 'e', 'r'}));
}

// A second host is greeted at once (a connection test sees the player) and
// served when the first one leaves.
TEST(Link, OneHostAtATime) {
  PlayerFixture fx;
  auto first = fx.Connect();
  ASSERT_TRUE(InStep(first.get()));
  auto second = fx.Connect();
  ASSERT_FALSE(second->hello().empty());
  second->Plain('Y');
  EXPECT_TRUE(second->Receive(200).empty());
  EXPECT_TRUE(InStep(first.get()));
  first.reset();
  EXPECT_EQ(second->ReceiveAnswer().raw[4], 'B');
  // A host that left while waiting is skipped.
  auto third = fx.Connect();
  auto fourth = fx.Connect();
  third.reset();
  second.reset();
  EXPECT_TRUE(InStep(fourth.get()));
}

// A 2 MiB file whose upload has begun: both answers are in.
void StartBigUpload(RawHost* host) {
  ASSERT_TRUE(host->DownloadEntries('M', "Big.bin", Pattern(2 << 20, 1)).ok());
  host->Command('M', "R", {0, 0});
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  ASSERT_TRUE(host->ReceiveAnswer().ok());
}

TEST(Link, AbortDuringUpload) {
  PlayerFixture fx;
  auto host = fx.Connect();
  StartBigUpload(host.get());
  ASSERT_EQ(host->Receive().size(), 16384u);
  ASSERT_TRUE(host->Abort());
  EXPECT_TRUE(InStep(host.get()));
  // An abort with nothing running is completed at once.
  ASSERT_TRUE(host->Abort());
  EXPECT_TRUE(InStep(host.get()));
}

TEST(Link, CancelOfTheInPipeStopsTheData) {
  PlayerFixture fx;
  auto host = fx.Connect();
  StartBigUpload(host.get());
  host->CancelIn();
  // Drop whatever was already queued, then the link must be in step again.
  while (!host->Receive(200).empty()) {
  }
  EXPECT_TRUE(InStep(host.get()));
}

// An aborted download leaves the file with what had arrived.
TEST(Link, AbortDuringDownload) {
  PlayerFixture fx;
  auto host = fx.Connect();
  host->Irregular('M', "W", {}, EntrySet("Partial file.bin", 100000));
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  Bytes data = Pattern(32768, 3);
  host->SendOut(Bytes(data.begin(), data.begin() + 16384));
  host->SendOut(Bytes(data.begin() + 16384, data.end()));
  ASSERT_TRUE(host->Abort());
  EXPECT_TRUE(InStep(host.get()));
  std::vector<ListedEntry> files = DecodeSlots(host->List('M', true).slotBytes);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].size, 32768u);
  host.reset();
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
  Bytes content;
  ASSERT_TRUE(MtoolsRead(fx.Internal(), "/Partial file.bin", &content));
  EXPECT_TRUE(content == data);
}

// The player reads the OUT stream, not transfers: data cut at any length
// (one byte, across its own 16 KiB steps, a transfer that ends a file and
// starts nothing) and a control request it does not know in the middle
// leave the file exactly as sent.
TEST(Link, TransfersOfAnyLengthMakeTheSameFile) {
  PlayerFixture fx;
  auto host = fx.Connect();
  const Bytes data = Pattern(50000, 8);
  host->Irregular('M', "W", {}, EntrySet("Odd pieces.bin", uint32_t(data.size())));
  ASSERT_TRUE(host->ReceiveAnswer().ok());
  Bytes padded = data;
  padded.resize(50176, 0);  // whole 512-byte blocks
  const size_t pieces[] = {1, 511, 20000, 3, 29661};
  size_t at = 0;
  for (size_t n : pieces) {
    ASSERT_TRUE(host->SendOut(Bytes(padded.begin() + long(at), padded.begin() + long(at + n))));
    at += n;
    if (at == 512) {  // answered, and nothing stops
      ASSERT_TRUE(host->Control({0x40, 0x07, 0, 0, 0, 0, 0, 0}));
    }
  }
  ASSERT_EQ(at, padded.size());
  EXPECT_TRUE(InStep(host.get()));
  host.reset();
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
  Bytes content;
  ASSERT_TRUE(MtoolsRead(fx.Internal(), "/Odd pieces.bin", &content));
  EXPECT_TRUE(content == data);
}

// Hosts that vanish in the middle of any phase leave a player that serves
// the next host and images that are clean.
TEST(Link, HostLeavesAnywhere) {
  PlayerFixture fx;
  {
    auto host = fx.Connect();
    ASSERT_TRUE(host->DownloadEntries('M', "Whole.bin", Pattern(300000, 1)).ok());
  }
  {
    auto host = fx.Connect();  // gone in the middle of a download
    host->Irregular('M', "W", {}, EntrySet("Cut short.bin", 100000));
    ASSERT_TRUE(host->ReceiveAnswer().ok());
    host->SendOut(Pattern(16384, 2));
  }
  {
    auto host = fx.Connect();  // gone in the middle of an upload
    host->Command('M', "R", {0, 0});
    ASSERT_TRUE(host->ReceiveAnswer().ok());
  }
  {
    auto host = fx.Connect();  // gone in the middle of an irregular command
    // Only the first packet of it: the header and the start of the entry set.
    Bytes set = EntrySet(std::string(200, 'n') + ".txt", 5);
    const uint8_t head[] = {'#', 0, 2, ':', 'M', 'W', uint8_t((set.size() + 1) >> 8), uint8_t(set.size() + 1)};
    Bytes s(512, 0);
    std::copy(std::begin(head), std::end(head), s.begin());
    std::copy_n(set.begin(), std::min(set.size(), s.size() - sizeof head), s.begin() + sizeof head);
    host->SendOut(s);
  }
  auto host = fx.Connect();
  ASSERT_TRUE(InStep(host.get()));
  std::vector<ListedEntry> files = DecodeSlots(host->List('M', true).slotBytes);
  ASSERT_GE(files.size(), 1u);
  EXPECT_EQ(files[0].name, "Whole.bin");
  host.reset();
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
}

TEST(Link, SocketPairWithoutListener) {
  emu::EmulatorOptions opt;
  char tmpl[] = "/tmp/zvc450-emu-pair-XXXXXX";
  opt.state.folder = mkdtemp(tmpl);
  opt.state.internalBytes = 1 << 20;
  opt.state.card = false;
  emu::Emulator player(opt);
  std::string err;
  ASSERT_TRUE(player.Prepare(&err)) << err;
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv), 0);
  std::thread serve([&] { player.ServeSocket(sv[1]); });
  uint8_t hello[64];
  EXPECT_GT(recv(sv[0], hello, sizeof hello, 0), 4);
  close(sv[0]);
  serve.join();
  RunTool(std::string("rm -rf ") + opt.state.folder);
}

// ---- Fault knobs ------------------------------------------------------------------

TEST(Faults, CutAfterBytes) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->cutAfterBytes = 700; });
  auto host = fx.Connect();
  host->Plain('Y');  // 512 bytes out, 512 in: the link goes down
  host->ReceiveAnswer(500);
  EXPECT_TRUE(host->Closed());
  fx.player->Link().cutAfterBytes = 0;
  auto again = fx.Connect();
  EXPECT_TRUE(InStep(again.get()));
}

TEST(Faults, MuteSlowRefuseFull) {
  PlayerFixture fx;
  auto host = fx.Connect();
  fx.player->Faults().mute = true;
  host->Plain('Y');
  EXPECT_TRUE(host->Receive(300).empty());
  fx.player->Faults().mute = false;
  EXPECT_TRUE(InStep(host.get()));

  fx.player->Faults().slowMs = 150;
  auto start = Clock::now();
  EXPECT_TRUE(InStep(host.get()));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  fx.player->Faults().slowMs = 0;

  fx.player->Faults().Refuse("GG", 27);
  RawHost::Listing l = host->List('M', true);
  EXPECT_EQ(l.header.status(), 1);
  EXPECT_EQ(l.header.code(), 27);
  EXPECT_EQ(l.files, 0);
  EXPECT_EQ(l.slots, 0);
  fx.player->Faults().ClearRefusals();

  fx.player->Faults().fullMedium = true;
  l = host->List('M', true);
  EXPECT_EQ(l.usedBlocks, l.totalBlocks);
  EXPECT_EQ(host->DownloadEntries('M', "No room.mp3", Pattern(10, 1)).code(), 25);
  host->Sized('M', "DM", EntrySet("No room", 0, 0x10));
  EXPECT_EQ(host->ReceiveAnswer().code(), 25);
}

// Flash that loses the end of a file: only the second file sent is short,
// by its last transfer, and every answer says success all the same.
TEST(Faults, ShortWriteLosesTheEndOfOneFile) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->shortWrite = 2; });
  auto host = fx.Connect();
  struct File {
    const char* name;
    size_t sent, stored;
  } const files[] = {{"one.bin", 40000, 40000}, {"two.bin", 40000, 32768}, {"three.bin", 1000, 1000}};
  for (const File& f : files) ASSERT_TRUE(host->DownloadEntries('M', f.name, Pattern(f.sent, 1)).ok()) << f.name;
  EXPECT_TRUE(InStep(host.get()));
  const std::vector<ListedEntry> listed = DecodeSlots(host->List('M', true).slotBytes);
  ASSERT_EQ(listed.size(), std::size(files));
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, files[i].name);
    EXPECT_EQ(listed[i].size, files[i].stored) << files[i].name;
  }
  host.reset();
  std::string report;
  EXPECT_TRUE(FsckClean(fx.Internal(), &report)) << report;
  Bytes two;
  ASSERT_TRUE(MtoolsRead(fx.Internal(), "/two.bin", &two));
  const Bytes sent = Pattern(40000, 1);
  EXPECT_TRUE(two == Bytes(sent.begin(), sent.begin() + 32768));
}

TEST(Faults, NoCard) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->state.card = false; });
  auto host = fx.Connect();
  RawHost::Listing l = host->List('S', true);
  EXPECT_EQ(l.header.code(), 2);
  EXPECT_EQ(l.totalBlocks, 0);  // the PC reads this as "no medium"
  EXPECT_EQ(host->DownloadEntries('S', "x.mp3", Pattern(10, 1)).code(), 2);
  EXPECT_EQ(host->Exchange('S', "I").code(), 2);
  EXPECT_TRUE(host->List('M', true).header.ok());
}

TEST(Faults, UnformattedUntilFormatted) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->state.unformatted = true; });
  auto host = fx.Connect();
  RawHost::Listing l = host->List('M', true);
  EXPECT_EQ(l.header.code(), 5);
  EXPECT_EQ(l.totalBlocks, 256);  // a medium is there
  Answer info = host->Exchange('M', "I");
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info.raw[16], 0);  // FAT invalid
  EXPECT_EQ(host->DownloadEntries('M', "x.mp3", Pattern(10, 1)).code(), 5);
  ASSERT_TRUE(host->Exchange('M', "F").ok());
  EXPECT_TRUE(host->List('M', true).header.ok());
  EXPECT_TRUE(host->DownloadEntries('M', "x.mp3", Pattern(10, 1)).ok());
}

TEST(Faults, FullSpeedBus) {
  PlayerFixture fx("1.43", [](emu::EmulatorOptions* o) { o->bytesPerSecond = emu::kFullSpeedBytesPerSecond; });
  auto host = fx.Connect();
  auto start = Clock::now();
  ASSERT_TRUE(host->DownloadEntries('M', "Timed.bin", Pattern(200000, 1)).ok());
  EXPECT_TRUE(InStep(host.get()));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(180));
}

}  // namespace
}  // namespace emutest
