// Firmware generations of the player and the quirks that set them apart.
//
// The PC software tells the generations apart by the version number in the
// identification text, read in hexadecimal digit positions ("1.43" is
// 0x14300).  Each behaviour below changed at one version; the emulated
// firmware asks these functions and never compares version numbers itself.
#pragma once

#include <cstdint>
#include <string>

namespace emu {

// Version number of a version text, digit positions read as hexadecimal:
// "1.43" -> 0x14300, "1.2" -> 0x12000, "2" -> 0x20000, "v1.43" -> 0.
uint32_t ParseVersionText(const std::string &text);

class Generation {
public:
    explicit Generation(const std::string &versionText = "1.43");

    const std::string &Text() const { return text_; }
    uint32_t Number() const { return number_; }

    // Before 1.20 a format is one command answered once when it is done; from
    // 1.20 on "FD"/"LD" send progress answers whose percentage stops at 99,
    // followed by one more answer with the outcome.
    bool FormatProgress() const { return number_ >= 0x12000; }

    // Before 1.30 the firmware numbers files with one byte, takes names as 8.3
    // text, and writes its answer length into one byte (offset 2): offset 1
    // keeps whatever the command packet left there.  From 1.30 on: two-byte
    // indexes (high byte first), 16-bit answer lengths, names as FAT
    // directory-entry sets in multi-packet ("irregular") commands.
    bool TwoByteIndexes() const { return number_ >= 0x13000; }
    bool EntrySetNames() const { return number_ >= 0x13000; }
    bool OneByteAnswerLength() const { return number_ < 0x13000; }
    int IndexWidth() const { return TwoByteIndexes() ? 2 : 1; }

    // Medium information ("I") exists from 1.42 on.
    bool MediumInfo() const { return number_ >= 0x14200; }

    // The listing with directories ("GG", "." and ".." included) is there on
    // every firmware newer than 1.42 (1.4201 has it); the directory commands
    // ("DG", "DC", "DM", "DR", "DN") came with 1.43.  Older firmware lists
    // files only and always works in the root.
    bool ListsDirectories() const { return number_ > 0x14200; }
    bool Directories() const { return number_ >= 0x14300; }

    // The file number a new file gets travels in one byte before 1.30 and in
    // two bytes from then on: a file beyond the last number cannot be made.
    int LastFileNumber() const { return TwoByteIndexes() ? 0xFFFF : 0xFF; }

private:
    std::string text_;
    uint32_t number_;
};

}  // namespace emu
