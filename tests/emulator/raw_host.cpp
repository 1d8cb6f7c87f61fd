#include "raw_host.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "fat_volume.h"

namespace emutest {

bool Answer::framed(bool oneByte) const {
  if (raw.size() != 512 || raw[0] != '#' || raw[3] != ':') return false;
  size_t l = length(oneByte);
  return l >= 3 && (l + 2 >= 512 || raw[l + 2] == '.');
}

RawHost::RawHost(const std::string& socketPath) {
  fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    Close();
    return;
  }
  pollfd p = {fd_, POLLIN, 0};
  if (poll(&p, 1, 3000) != 1) return;
  hello_.resize(512);
  ssize_t n = recv(fd_, hello_.data(), hello_.size(), 0);
  hello_.resize(n > 0 ? size_t(n) : 0);
}

RawHost::~RawHost() { Close(); }

void RawHost::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool RawHost::SendOut(const Bytes& bytes) {
  Bytes m = {'O', 0x02};
  m.insert(m.end(), bytes.begin(), bytes.end());
  return fd_ >= 0 && send(fd_, m.data(), m.size(), MSG_NOSIGNAL) == ssize_t(m.size());
}

static Bytes Frame(const Bytes& body) {
  Bytes p(512, 0xAA);  // bytes after the terminator have no meaning
  p[0] = '#';
  p[1] = uint8_t((body.size() + 2) >> 8);
  p[2] = uint8_t(body.size() + 2);
  p[3] = ':';
  std::copy(body.begin(), body.end(), p.begin() + 4);
  p[4 + body.size()] = '.';
  return p;
}

void RawHost::Plain(uint8_t cmd, const Bytes& payload) {
  Bytes body = {cmd};
  body.insert(body.end(), payload.begin(), payload.end());
  SendOut(Frame(body));
}

void RawHost::Command(uint8_t target, const std::string& key, const Bytes& payload) {
  Bytes body = {target};
  body.insert(body.end(), key.begin(), key.end());
  body.insert(body.end(), payload.begin(), payload.end());
  SendOut(Frame(body));
}

void RawHost::Sized(uint8_t target, const std::string& key, const Bytes& payload) {
  Bytes body = {target};
  body.insert(body.end(), key.begin(), key.end());
  body.push_back(uint8_t(payload.size() >> 8));
  body.push_back(uint8_t(payload.size()));
  body.insert(body.end(), payload.begin(), payload.end());
  SendOut(Frame(body));
}

void RawHost::Irregular(uint8_t target, const std::string& key, const Bytes& params,
                        const Bytes& data) {
  Bytes s = {'#', 0x00, 0x02, ':', target};
  s.insert(s.end(), key.begin(), key.end());
  s.insert(s.end(), params.begin(), params.end());
  s.push_back(uint8_t((data.size() + 1) >> 8));
  s.push_back(uint8_t(data.size() + 1));
  s.insert(s.end(), data.begin(), data.end());
  s.push_back('.');
  s.resize((s.size() + 511) / 512 * 512, 0x55);
  for (size_t at = 0; at < s.size(); at += 512) SendOut(Bytes(s.begin() + long(at), s.begin() + long(at + 512)));
}

Bytes RawHost::Index(int i) const {
  if (indexWidth == 1) return {uint8_t(i)};
  return {uint8_t(i >> 8), uint8_t(i)};
}

Bytes RawHost::Receive(int timeoutMs) {
  if (fd_ < 0) return {};
  for (;;) {
    pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return {};
    Bytes m(70000);
    ssize_t n = recv(fd_, m.data(), m.size(), 0);
    if (n <= 0) {
      Close();
      return {};
    }
    m.resize(size_t(n));
    if (m.size() >= 2 && m[0] == 'I') return Bytes(m.begin() + 2, m.end());
    // Anything else ("A" of an earlier request) is not data.
  }
}

Answer RawHost::ReceiveAnswer(int timeoutMs) {
  Answer a;
  a.raw = Receive(timeoutMs);
  if (a.raw.size() != 512) a.raw.clear();
  return a;
}

bool RawHost::Abort(int timeoutMs) { return Control({0x40, 0x01, 0, 0, 0, 0, 0, 0}, timeoutMs); }

bool RawHost::Control(const Bytes& setup, int timeoutMs) {
  Bytes c = {'C'};
  c.insert(c.end(), setup.begin(), setup.end());
  if (fd_ < 0 || send(fd_, c.data(), c.size(), MSG_NOSIGNAL) != ssize_t(c.size())) return false;
  for (;;) {
    pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    uint8_t m[70000];
    ssize_t n = recv(fd_, m, sizeof m, 0);
    if (n <= 0) return false;
    if (m[0] == 'A') return true;
  }
}

void RawHost::CancelIn() {
  uint8_t x[2] = {'X', 0x83};
  send(fd_, x, 2, MSG_NOSIGNAL);
}

bool RawHost::Closed(int timeoutMs) {
  if (fd_ < 0) return true;
  for (;;) {
    pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    uint8_t m[70000];
    if (recv(fd_, m, sizeof m, 0) <= 0) return true;
  }
}

Answer RawHost::Exchange(uint8_t target, const std::string& key, const Bytes& payload) {
  Command(target, key, payload);
  return ReceiveAnswer();
}

RawHost::Listing RawHost::List(uint8_t target, bool withDirectories) {
  Listing l;
  Command(target, withDirectories ? "GG" : "G");
  l.header = ReceiveAnswer();
  if (l.header.raw.empty()) return l;
  l.files = l.header.u16(6);
  l.slots = l.header.u16(8);
  l.totalBlocks = l.header.u16(10);
  l.usedBlocks = l.header.u16(12);
  if (!withDirectories && l.files == 0) return l;
  for (int b = 0; b < (l.slots + 15) / 16; ++b) {
    Bytes block = Receive();
    if (block.size() != 512) break;
    l.slotBytes.insert(l.slotBytes.end(), block.begin(), block.end());
  }
  return l;
}

static void SendData(RawHost* h, const Bytes& content) {
  for (size_t done = 0; done < content.size();) {
    size_t chunk = std::min<size_t>(16384, content.size() - done);
    Bytes t(content.begin() + long(done), content.begin() + long(done + chunk));
    t.resize((chunk + 511) / 512 * 512, 0);
    h->SendOut(t);
    done += chunk;
  }
}

Answer RawHost::DownloadEntries(uint8_t target, const std::string& name, const Bytes& content) {
  Irregular(target, "W", {}, EntrySet(name, uint32_t(content.size())));
  Answer a = ReceiveAnswer();
  if (a.ok()) SendData(this, content);
  return a;
}

Answer RawHost::Download83(uint8_t target, const std::string& name83, const Bytes& content) {
  Bytes p(name83.begin(), name83.end());
  uint16_t date = (44 << 9) | (5 << 5) | 17, time = (12 << 11) | (30 << 5);
  uint32_t size = uint32_t(content.size());
  p.insert(p.end(), {uint8_t(date), uint8_t(date >> 8), uint8_t(time), uint8_t(time >> 8),
                     uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
  Command(target, "W", p);
  Answer a = ReceiveAnswer();
  if (a.ok()) SendData(this, content);
  return a;
}

bool RawHost::Upload(uint8_t target, int index, size_t size, Bytes* content) {
  Command(target, "R", Index(index));
  if (!ReceiveAnswer().ok() || !ReceiveAnswer().ok()) return false;
  content->clear();
  while (content->size() < size) {
    size_t chunk = std::min<size_t>(16384, size - content->size());
    Bytes t = Receive();
    if (t.size() != (chunk + 511) / 512 * 512) return false;
    content->insert(content->end(), t.begin(), t.begin() + long(chunk));
  }
  return true;
}

// ---- Listing decoder -------------------------------------------------------------

static void AppendUtf8(std::string* s, uint32_t c) {
  if (c < 0x80) {
    *s += char(c);
  } else if (c < 0x800) {
    *s += char(0xC0 | c >> 6);
    *s += char(0x80 | (c & 0x3F));
  } else {
    *s += char(0xE0 | c >> 12);
    *s += char(0x80 | ((c >> 6) & 0x3F));
    *s += char(0x80 | (c & 0x3F));
  }
}

std::vector<ListedEntry> DecodeSlots(const Bytes& slots) {
  std::vector<ListedEntry> out;
  std::u16string parts[64];
  bool haveLong = false;
  for (size_t at = 0; at + 32 <= slots.size(); at += 32) {
    const uint8_t* s = &slots[at];
    if (s[0] == 0 || s[0] == 0xE5) {
      haveLong = false;
      continue;
    }
    if (s[11] == 0x0F) {
      int ord = s[0] & 0x3F;
      if (s[0] & 0x40) {
        for (auto& p : parts) p.clear();
      }
      std::u16string part;
      static const int offs[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
      for (int o : offs) part += char16_t(s[o] | s[o + 1] << 8);
      if (ord > 0 && ord < 64) parts[ord] = part;
      haveLong = true;
      continue;
    }
    ListedEntry e;
    e.attr = s[11];
    e.cluster = uint32_t(s[20] | s[21] << 8) << 16 | uint32_t(s[26] | s[27] << 8);
    e.size = uint32_t(s[28] | s[29] << 8 | s[30] << 16 | uint32_t(s[31]) << 24);
    for (int i = 0; i < 8 && s[i] != ' '; ++i) e.shortName += char(i == 0 && s[i] == 0x05 ? 0xE5 : s[i]);
    if (s[8] != ' ') {
      e.shortName += '.';
      for (int i = 8; i < 11 && s[i] != ' '; ++i) e.shortName += char(s[i]);
    }
    if (haveLong) {
      for (int o = 1; o < 64; ++o)
        for (char16_t c : parts[o]) {
          if (c == 0) goto done;
          AppendUtf8(&e.name, c);
        }
    done:;
    } else {
      e.name = e.shortName;
    }
    for (auto& p : parts) p.clear();
    haveLong = false;
    out.push_back(e);
  }
  return out;
}

Bytes EntrySet(const std::string& name, uint32_t size, uint8_t attr) {
  return emu::EntrySetFromLongName(name, attr, size, (44 << 9) | (3 << 5) | 9, (8 << 11) | (15 << 5));
}

// ---- Fixture ---------------------------------------------------------------------------

PlayerFixture::PlayerFixture(const std::string& version, void (*tweak)(emu::EmulatorOptions*)) {
  char tmpl[] = "/tmp/zvc450-emu-test-XXXXXX";
  dir = mkdtemp(tmpl);
  socket = dir + "/link";
  options.state.folder = dir;
  // Small media keep the tests fast; FAT16 is covered by a test of its own.
  options.state.internalBytes = 4ull << 20;
  options.state.cardBytes = 1ull << 20;
  options.socketPath = socket;
  options.firmware.versionText = version;
  if (tweak) tweak(&options);
  player = std::make_unique<emu::Emulator>(options);
  std::string err;
  if (!player->Start(&err)) fprintf(stderr, "player did not start: %s\n", err.c_str());
}

PlayerFixture::~PlayerFixture() {
  player.reset();
  RunTool("rm -rf '" + dir + "'");
}

// ---- Outside tools ----------------------------------------------------------------

int RunTool(const std::string& command, std::string* output) {
  std::string cmd = "MTOOLS_SKIP_CHECK=1 " + command + " 2>&1";
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  int status = pclose(f);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool FsckClean(const std::string& image, std::string* report) {
  return RunTool("fsck.fat -n '" + image + "'", report) == 0;
}

std::vector<std::string> MtoolsNames(const std::string& image, const std::string& dir) {
  std::string out;
  std::vector<std::string> names;
  if (RunTool("mdir -b -i '" + image + "' '::" + dir + "'", &out) != 0) return names;
  std::istringstream in(out);
  std::string line;
  std::string prefix = "::" + dir + (dir.back() == '/' ? "" : "/");
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) names.push_back(line.substr(prefix.size()));
  }
  return names;
}

bool MtoolsRead(const std::string& image, const std::string& path, Bytes* content) {
  char tmpl[] = "/tmp/zvc450-emu-mcopy-XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) return false;
  close(fd);
  bool ok = RunTool("mcopy -n -o -i '" + image + "' '::" + path + "' '" + tmpl + "'") == 0;
  if (ok) {
    std::ifstream f(tmpl, std::ios::binary);
    content->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  unlink(tmpl);
  return ok;
}

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = uint8_t(x);
  }
  return b;
}

}  // namespace emutest
