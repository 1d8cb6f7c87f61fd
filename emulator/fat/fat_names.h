// Names inside the FAT engine: entry sets as the PC sends them, long names,
// short-name aliases.  Internal to emulator/fat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace emu {
namespace fatnames {

constexpr size_t kSlot = 32;
constexpr uint8_t kAttrLfn = 0x0F;
constexpr uint8_t kAttrVolume = 0x08;
constexpr uint8_t kAttrDir = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr size_t kMaxLongName = 255;  // what Linux, mtools and fsck.fat accept

// An entry set taken apart and checked.
struct ParsedSet {
    uint8_t shortSlot[32];    // the short slot; name bytes already made a valid 8.3 alias
    std::u16string longName;  // empty when the name is the short name itself
};

// Takes apart the entry set the host sent (n-1 long-name slots in descending
// ordinal order, then the short slot) and normalises it:
//  - long-name slots must carry ordinals n-1 .. 1 with 0x40 on the first and a
//    name that fills the last slot; the checksum is not trusted (recomputed
//    when the set is stored);
//  - the short name must not hold bytes no FAT implementation accepts
//    (controls, 0x7F, * ? < > | " \ / :, a leading or embedded space);
//  - short-name characters that 8.3 aliases may not hold (lower case,
//    + , . ; = [ ]) are mapped to upper case or '_', and the original text is
//    kept as the long name when the set had none, so nothing of the name the
//    PC chose is lost.
// Returns 0 or the player's error code (kInvalidName).
int ParseEntrySet(const uint8_t *set, size_t slots, ParsedSet *out);

// The normalised set to store: long-name slots rebuilt from the name with the
// checksum of the short slot's name bytes, then the short slot.
std::vector<uint8_t> BuildEntrySet(const uint8_t shortSlot[32], const std::u16string &longName);

// Long name of the short slot at `shortPos` in a directory's bytes, from the
// long-name slots directly in front of it.  *firstSlot receives the index of
// the first slot that belongs to the set (== shortPos when there is no valid
// long name).  Broken or foreign-checksum long-name slots are not part of it.
std::u16string LongNameBefore(const uint8_t *dir, size_t shortPos, size_t *firstSlot);

// Text of a short slot's name ("BASE.EXT", "BASE"); a stored 0x05 reads 0xE5.
std::string ShortText(const uint8_t *slot);
// Same as UTF-16 (bytes >= 0x80 read as CP437), for name comparisons.
std::u16string ShortText16(const uint8_t *slot);

// ASCII-case-insensitive equality (FAT compares names that way).
bool SameName(const std::u16string &a, const std::u16string &b);

// Makes `name11` unique against `taken` by a numeric tail (BASE~1 .. ~999999),
// as FAT drivers do for aliases.  false if every tail is taken.
bool MakeUniqueAlias(uint8_t name11[11], const std::vector<std::string> &taken);

bool Utf8ToUtf16(const std::string &in, std::u16string *out);
std::string Utf16ToUtf8(const std::u16string &in);

}  // namespace fatnames
}  // namespace emu
