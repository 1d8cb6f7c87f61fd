// names.h - the names, times and recording views of the mounted player.
//
// The player keeps a FAT file system, so the mount follows FAT's rules for
// the names it creates (as the kernel's vfat driver does) and FAT's local,
// two-second write times.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace mountfs {

// 0 when the player can store `name` as the name of a new file (or, with
// `directory`, a new directory) under firmware `firmware`; otherwise the
// errno the mount answers with: EINVAL for a name FAT cannot hold (':', '\',
// '*', '?', '<', '>', '|', '"', control characters, a trailing dot or space,
// invalid UTF-8, a name that is only a dot and an extension), ENAMETOOLONG
// for one that does not fit.  Firmware before 1.30 stores 8.3 names only.
int CheckNewName(const std::string &name, unsigned firmware, bool directory);

// FAT's case rule: ASCII letters compare without regard to case.
std::string Folded(const std::string &name);

// Recordings: the upload kind (ZVC450_UPLOAD_BCW2WAV or _BVF2WAV) of a file
// named like a recording, else ZVC450_UPLOAD_COPY.
int RecordingKind(const std::string &name);
// "MEMO01.BCW" -> "MEMO01.WAV".
std::string WavViewName(const std::string &name);
// The size of the WAV that a recording of `rawSize` bytes converts to, as
// well as it can be told without reading it: exact for BCW recordings the
// player wrote, an estimate for BVF (whose frame sizes vary).
uint64_t EstimatedWavSize(int kind, uint64_t rawSize);

// FAT stamps are local time with two-second steps.
time_t FatToUnix(uint16_t date, uint16_t time);
void UnixToFat(time_t when, uint16_t *date, uint16_t *time);

}  // namespace mountfs
