// A host that speaks to the emulated player with raw packets, built byte by
// byte the way the PC library builds them, plus the fixtures the emulator
// tests share: a player in a thread on a temporary state folder, and the
// outside tools (fsck.fat, mtools) that check its images.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator.h"

namespace emutest {

using Bytes = std::vector<uint8_t>;

// One framed answer from the player.
struct Answer {
  Bytes raw;  // the 512 bytes (empty when nothing came)
  bool ok() const { return raw.size() == 512 && raw[4] == 0; }
  int status() const { return raw.size() == 512 ? raw[4] : -1; }
  int code() const { return raw.size() == 512 ? raw[5] : -1; }
  uint16_t u16(size_t at) const { return uint16_t(raw[at] << 8 | raw[at + 1]); }
  // Length field: 16 bits, or byte 2 alone for older firmware.
  size_t length(bool oneByte = false) const {
    return oneByte ? raw[2] : size_t(raw[1] << 8 | raw[2]);
  }
  bool framed(bool oneByte = false) const;
};

class RawHost {
 public:
  // Connects and reads the hello.
  explicit RawHost(const std::string& socketPath);
  ~RawHost();
  bool connected() const { return fd_ >= 0; }
  const Bytes& hello() const { return hello_; }
  void Close();

  // Index width the commands use: 1 (older firmware) or 2.
  int indexWidth = 2;

  // Builders (the library's forms).
  void Plain(uint8_t cmd, const Bytes& payload = {});
  void Command(uint8_t target, const std::string& key, const Bytes& payload = {});
  void Sized(uint8_t target, const std::string& key, const Bytes& payload);
  void Irregular(uint8_t target, const std::string& key, const Bytes& params, const Bytes& data);
  Bytes Index(int i) const;

  // Sends raw OUT bytes as one transfer.
  bool SendOut(const Bytes& bytes);
  // The next IN transfer, or empty after timeoutMs (or when the link is gone).
  Bytes Receive(int timeoutMs = 3000);
  Answer ReceiveAnswer(int timeoutMs = 3000);
  // A control request without data ("C" and its 8 setup bytes), then drop
  // IN transfers until its status stage "A" arrives.  false when none came.
  bool Control(const Bytes& setup, int timeoutMs = 3000);
  // The abort request (vendor request 1) through Control.
  bool Abort(int timeoutMs = 3000);
  void CancelIn();
  // True when the player closed the link.
  bool Closed(int timeoutMs = 1000);

  // Whole exchanges.
  Answer Exchange(uint8_t target, const std::string& key, const Bytes& payload = {});
  struct Listing {
    Answer header;
    int files = 0, slots = 0, totalBlocks = 0, usedBlocks = 0;
    Bytes slotBytes;
  };
  Listing List(uint8_t target, bool withDirectories);
  // Download with entry sets (1.30 on) or 8.3 text; returns the first answer.
  Answer DownloadEntries(uint8_t target, const std::string& name, const Bytes& content);
  Answer Download83(uint8_t target, const std::string& name83, const Bytes& content);
  // Upload of size bytes; the content, or nothing when an answer failed.
  bool Upload(uint8_t target, int index, size_t size, Bytes* content);

 private:
  int fd_ = -1;
  Bytes hello_;
};

// Names of a listing's slots, decoded as the PC does it: long name when
// there is one, else the 8.3 text; "." and ".." as themselves.
struct ListedEntry {
  std::string name;
  std::string shortName;  // the 8.3 text of the short slot
  uint8_t attr = 0;
  uint32_t cluster = 0;
  uint32_t size = 0;
  bool directory() const { return attr == 0x10; }
};
std::vector<ListedEntry> DecodeSlots(const Bytes& slots);

// Entry set for a name (long-name slots when the 8.3 form is not exact).
Bytes EntrySet(const std::string& name, uint32_t size = 0, uint8_t attr = 0x20);

// A player in a thread on a fresh temporary state folder.
struct PlayerFixture {
  explicit PlayerFixture(const std::string& version = "1.43",
                         void (*tweak)(emu::EmulatorOptions*) = nullptr);
  ~PlayerFixture();
  std::string dir, socket;
  emu::EmulatorOptions options;
  std::unique_ptr<emu::Emulator> player;
  std::unique_ptr<RawHost> Connect() { return std::make_unique<RawHost>(socket); }
  std::string Internal() const { return dir + "/internal.img"; }
  std::string Card() const { return dir + "/card.img"; }
};

// Outside tools.
int RunTool(const std::string& command, std::string* output = nullptr);
bool FsckClean(const std::string& image, std::string* report = nullptr);
// mtools: long names of a directory (":: /path"), and a file's content.
std::vector<std::string> MtoolsNames(const std::string& image, const std::string& dir = "/");
bool MtoolsRead(const std::string& image, const std::string& path, Bytes* content);

Bytes Pattern(size_t n, uint32_t seed);

}  // namespace emutest
