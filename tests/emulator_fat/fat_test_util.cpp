#include "fat_test_util.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "fat_volume.h"

namespace fattest {

TempDir::TempDir() {
  char tmpl[] = "/tmp/emufat-XXXXXX";
  const char* d = mkdtemp(tmpl);
  dir_ = d ? d : "/tmp";
}

TempDir::~TempDir() {
  std::string out;
  if (dir_ != "/tmp") Run("rm -rf " + Quote(dir_), &out);
}

bool HaveTool(const char* name) {
  std::string out;
  return Run(std::string("command -v ") + name, &out) == 0;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int Run(const std::string& cmd, std::string* out) {
  out->clear();
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int st = pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string FsckProblems(const std::string& image) {
  std::string out;
  const int rc = Run("fsck.fat -n " + Quote(image), &out);
  // A clean run prints its version and one summary line.
  std::istringstream in(out);
  std::string line, extra;
  while (std::getline(in, line))
    if (line.rfind("fsck.fat ", 0) != 0 && line.find(" files, ") == std::string::npos) extra += line + "\n";
  if (rc != 0 || !extra.empty()) return "fsck.fat exit " + std::to_string(rc) + ":\n" + out;
  return "";
}

std::vector<std::string> MtoolsPaths(const std::string& image) {
  std::string out;
  Run("MTOOLS_SKIP_CHECK=1 mdir -i " + Quote(image) + " -b -/ ::/", &out);
  std::vector<std::string> paths;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("::/", 0) == 0) paths.push_back(line);  // an empty volume reads "not found"
  return paths;
}

bool MtoolsRead(const std::string& image, const std::string& devicePath, std::vector<uint8_t>* out) {
  const std::string tmp = image + ".out";
  std::string msg;
  if (Run("MTOOLS_SKIP_CHECK=1 mcopy -n -o -i " + Quote(image) + " " + Quote(devicePath) + " " + Quote(tmp), &msg) != 0)
    return false;
  std::ifstream f(tmp, std::ios::binary | std::ios::ate);
  out->resize(static_cast<size_t>(f.tellg()));
  f.seekg(0);
  f.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(out->size()));
  unlink(tmp.c_str());
  return true;
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return v;
}

std::vector<uint8_t> Set(const std::string& utf8Name, uint32_t size, uint8_t attr) {
  // 2024-05-17 12:34:56
  return emu::EntrySetFromLongName(utf8Name, attr, size, (44 << 9) | (5 << 5) | 17, (12 << 11) | (34 << 5) | 28);
}

}  // namespace fattest
