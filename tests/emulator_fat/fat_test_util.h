// Helpers for the FAT engine tests: scratch images and the outside tools
// (dosfstools, mtools) that judge them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fattest {

// A scratch folder removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

bool HaveTool(const char* name);
// Runs a shell command; returns its exit status, output (stdout+stderr) in *out.
int Run(const std::string& cmd, std::string* out);
std::string Quote(const std::string& s);

// "" when `fsck.fat -n` finds the image clean, else what it said.
std::string FsckProblems(const std::string& image);
// Every path on the image, recursively, as mtools names them ("::/a/b.mp3",
// directories end with "/"), in directory order.
std::vector<std::string> MtoolsPaths(const std::string& image);
// The bytes mtools reads for `devicePath` ("::/dir/name"); false if it fails.
bool MtoolsRead(const std::string& image, const std::string& devicePath, std::vector<uint8_t>* out);

std::vector<uint8_t> Pattern(size_t size, uint32_t seed);
std::vector<uint8_t> Set(const std::string& utf8Name, uint32_t size = 0, uint8_t attr = 0x20);

}  // namespace fattest
