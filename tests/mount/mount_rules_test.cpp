// mount_rules_test.cpp - what the mount decides without the player: which
// names it lets through, FAT times, the size a recording shows as WAV, and
// the errno for each of the library's errors.

#include "mount/errors.h"
#include "mount/names.h"

#include <gtest/gtest.h>

#include <zvc450usb.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace mountfs;

namespace {

constexpr unsigned kFw143 = 0x14300;
constexpr unsigned kFw120 = 0x12000;

std::string Repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(MountNames, WhatThePlayerCanStore)
{
    struct Row {
        std::string name;
        unsigned firmware;
        bool directory;
        int expected;
    };
    const Row rows[] = {
        {"song.mp3", kFw143, false, 0},
        {"Café – Überraschung.flac", kFw143, false, 0},
        {".song.mp3.AbC123", kFw143, false, 0},  // rsync's temporary names
        {"README", kFw143, false, 0},
        {"AC\\DC.mp3", kFw143, false, EINVAL},
        {"Artist: Song.mp3", kFw143, false, EINVAL},
        {"what?.mp3", kFw143, false, EINVAL},
        {"a\"b", kFw143, false, EINVAL},
        {"tab\there", kFw143, false, EINVAL},
        {"ends.", kFw143, false, EINVAL},
        {"ends ", kFw143, false, EINVAL},
        {".mp3", kFw143, false, EINVAL},       // only a dot and an extension
        {".bashrc", kFw143, false, EINVAL},
        {"", kFw143, false, EINVAL},
        {".", kFw143, true, EINVAL},
        {"..", kFw143, true, EINVAL},
        {"bad\xC3\x28utf8", kFw143, false, EINVAL},
        {"overlong\xC0\xAF", kFw143, false, EINVAL},
        {"surrogate\xED\xA0\x80", kFw143, false, EINVAL},
        {"cut\xE2\x82", kFw143, false, EINVAL},
        {Repeat("a", 255), kFw143, false, 0},
        {Repeat("a", 256), kFw143, false, ENAMETOOLONG},
        {Repeat("\xF0\x9F\x8E\xB5", 127), kFw143, false, 0},  // 254 UTF-16 units
        {Repeat("\xF0\x9F\x8E\xB5", 128), kFw143, false, ENAMETOOLONG},
        {Repeat("d", 182), kFw143, true, 0},  // 15 entries: one command packet
        {Repeat("d", 183), kFw143, true, ENAMETOOLONG},
        {Repeat("d", 183), kFw143, false, 0},
        {"SONG.MP3", kFw120, false, 0},
        {"song.mp3", kFw120, false, 0},
        {"NOEXT", kFw120, false, 0},
        {"LONGNAME9.MP3", kFw120, false, ENAMETOOLONG},
        {"A.MPEG", kFw120, false, ENAMETOOLONG},
        {"A B.MP3", kFw120, false, EINVAL},
        {"A.B.C", kFw120, false, EINVAL},
        {"A+B.MP3", kFw120, false, EINVAL},
    };
    for (const Row &row : rows)
        EXPECT_EQ(CheckNewName(row.name, row.firmware, row.directory), row.expected) << "'" << row.name << "'";
}

TEST(MountNames, RecordingViews)
{
    EXPECT_EQ(RecordingKind("MEMO0001.BCW"), ZVC450_UPLOAD_BCW2WAV);
    EXPECT_EQ(RecordingKind("notes.bvf"), ZVC450_UPLOAD_BVF2WAV);
    EXPECT_EQ(RecordingKind("song.mp3"), ZVC450_UPLOAD_COPY);
    EXPECT_EQ(RecordingKind("BCW"), ZVC450_UPLOAD_COPY);
    EXPECT_EQ(WavViewName("Meeting notes.bvf"), "Meeting notes.WAV");
    EXPECT_EQ(Folded("Straße.Mp3"), "STRAßE.MP3");
}

// FAT keeps local time in two-second steps; a round trip keeps what FAT can.
TEST(MountNames, FatTimes)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    struct Row {
        uint16_t date, time;
    };
    const Row rows[] = {{(44 << 9) | (5 << 5) | 6, (7 << 11) | (8 << 5) | 5},    // 2024-05-06 07:08:10
                        {(41 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},  // 2021-12-31 23:59:58
                        {(1 << 5) | 1, 0}};                                         // 1980-01-01 00:00:00
    for (const Row &row : rows) {
        uint16_t date = 0, time = 0;
        UnixToFat(FatToUnix(row.date, row.time), &date, &time);
        EXPECT_EQ(date, row.date);
        EXPECT_EQ(time, row.time);
    }
    uint16_t date, time;
    UnixToFat(FatToUnix(rows[0].date, rows[0].time) + 1, &date, &time);  // an odd second
    EXPECT_EQ(time, rows[0].time);
    UnixToFat(0, &date, &time);  // before FAT's epoch
    EXPECT_EQ(date, (1 << 5) | 1);
    EXPECT_EQ(FatToUnix(0, 0), FatToUnix((1 << 5) | 1, 0));  // an unset stamp
}

// The size a BCW recording shows before it is read is the size of the WAV
// the library makes of it.
TEST(MountNames, BcwEstimateIsTheConvertersSize)
{
    char dir[] = "/tmp/zvc450-rules-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string bcw = std::string(dir) + "/r.BCW", wav = std::string(dir) + "/r.wav";
    for (int frames : {0, 1, 3, 40}) {
        std::string data;
        for (int f = 0; f < frames; ++f)
            data += std::string(4, '\x7F') + std::string(256, char(f * 7 + 1));
        data += "\x01\x02";  // the player may leave up to 3 bytes after the last frame
        FILE *out = std::fopen(bcw.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(data.data(), 1, data.size(), out);
        std::fclose(out);
        ASSERT_NE(ZVC450_ConvertBcwToWav(bcw.c_str(), wav.c_str(), nullptr, nullptr), 0);
        FILE *in = std::fopen(wav.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        std::fseek(in, 0, SEEK_END);
        EXPECT_EQ(uint64_t(std::ftell(in)), EstimatedWavSize(ZVC450_UPLOAD_BCW2WAV, data.size())) << frames;
        std::fclose(in);
    }
    std::remove(bcw.c_str());
    std::remove(wav.c_str());
    rmdir(dir);
    // A BVF estimate counts whole speech frames and never more than there are.
    EXPECT_EQ(EstimatedWavSize(ZVC450_UPLOAD_BVF2WAV, 9), 44u);
    EXPECT_EQ(EstimatedWavSize(ZVC450_UPLOAD_BVF2WAV, 9 + 137), 44u + 10 * 320);
}

TEST(MountErrors, ErrnoOfEachLibraryError)
{
    struct Row {
        int code, internal;
        unsigned sys;
        int expected;
    };
    const Row rows[] = {
        {ZVC450USB_ERR_DISKFULL, 0, 0, ENOSPC},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_OUT_OF_MEMORY, 0, ENOSPC},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_NO_EMPTY_ENTRY, 0, ENOSPC},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_FILE_EXIST, 0, EEXIST},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_FILE_NOT_EXIST, 0, ENOENT},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_CARD_NOT_DETECTED, 0, ENOMEDIUM},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_NOT_PERMITTED, 0, EPERM},
        {ZVC450USB_ERR_INTERNAL, ZVC450INT_ERR_ECC, 0, EIO},
        {ZVS450USB_ERR_INVALID_FILENAME, 0, 0, EINVAL},
        {ZVC450USB_ERR_DEVICE_OPEN, 0, EACCES, EACCES},
        {ZVC450USB_ERR_DEVICE_OPEN, 0, 0, ENODEV},
        {ZVC450USB_ERR_USB, 0, 0, EIO},
        {ZVC450USB_ERR_NODISK, 0, 0, ENOMEDIUM},
        {ZVC450USB_ERR_WINDOWS, 0, ENOENT, ENOENT},
        {ZVC450USB_ERR_FILE_TOOBIG, 0, 0, EFBIG},
        {ZVC450USB_ERR_UNSUPPORTED, 0, 0, EOPNOTSUPP},
        {ZVS450USB_ERR_USERBREAK, 0, 0, ECANCELED},
    };
    for (const Row &row : rows) {
        cli::LibraryError e;
        e.code = row.code;
        e.internal = row.internal;
        e.sys = row.sys;
        EXPECT_EQ(ErrnoFor(e), row.expected) << row.code << "/" << row.internal;
    }
    cli::LibraryError usb;
    usb.code = ZVC450USB_ERR_USB;
    EXPECT_TRUE(LinkFailed(usb));
    cli::LibraryError full;
    full.code = ZVC450USB_ERR_DISKFULL;
    EXPECT_FALSE(LinkFailed(full));
}

}  // namespace
