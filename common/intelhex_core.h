#pragma once
// Intel-hex to flat image conversion for firmware upgrades, in plain C++ so
// the command-line tool uses it without loading Qt.
//
// Application code and boot code are often delivered as Intel-hex text, while
// the player's upgrade takes a flat image. The image starts at a base address
// (0x2000 for application code, 0 for boot code); byte k of the output holds
// address base + k, everything below the base is left out, and gaps between
// records are filled with zero bytes.
//
// A damaged file is refused rather than converted: flashing an image built
// from one can leave the player unable to start.

#include <string>

// Largest image the player's upgrade command can carry: it counts 512-byte
// blocks in 16 bits. A file that would convert to more is refused instead of
// filling the disk with zeros up to a stray high address.
inline constexpr unsigned kIntelHexMaxImageBytes = 65535u * 512u;

// Base addresses of the two code areas.
inline constexpr unsigned kIntelHexApplicationBase = 0x2000u;
inline constexpr unsigned kIntelHexBootBase = 0u;

// Converts the Intel-hex file inputPath into the flat image outputPath, which
// is created or truncated. Reads data (00), end of file (01), extended segment
// address (02) and extended linear address (04) records; start address records
// (03, 05) and unknown types are skipped. Blank lines are allowed; any other
// line that is not a well-formed record with a correct checksum fails the
// conversion. Records may come in any order; a later one overwrites an earlier
// one. Input after the end-of-file record is not read.
//
// Returns false on failure, with a reason in *error when error is not null;
// an output file that was opened is then deleted. An input that cannot be
// opened leaves the output alone.
bool zvs450_ConvertIntelHexFile(const char *inputPath, const char *outputPath, unsigned int base,
                                std::string *error = nullptr);

// Creates a new empty file named "$450" + a unique suffix in the temporary
// folder ($TMPDIR, else /tmp) and returns its path; empty on failure.
std::string zvs450_MakeTempFilePath();

// Converts inputPath into a new "$450" temporary file and returns its path;
// on failure returns an empty string and leaves no file behind. The caller
// deletes the file when done with it.
std::string zvs450_ConvertIntelHexToTempFile(const char *inputPath, unsigned int base,
                                             std::string *error = nullptr);
