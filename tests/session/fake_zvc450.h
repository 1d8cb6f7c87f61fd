// fake_zvc450.h - a scripted stand-in for the device library, linked into
// the session tests instead of libzvc450usb.so. It keeps a player with two
// memories in plain vectors, records every call and message, and fails the
// calls a test asks it to fail.
#pragma once

#include <zvc450usb.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

struct Memory {
    bool mediumInfoOk = true;
    ZVC450_MEDIUMINFO info{};
    std::vector<ZVC450_DIRENTRY> files;
    std::vector<ZVC450_DIRENTRY> dirs;
    uint32_t totalBlocks = 4096;
    uint32_t usedBlocks = 100;
    bool listFails = false;
    // The file count the listing's header announces; -1: as many as there are files
    // (a listing that stops early announces more than it delivers).
    int announcedFiles = -1;
    std::string path = "/";
};

struct Message {
    void *owner;
    int code;
    unsigned sysError;
    std::string detail;  // the caller's lines under the library's text
};

struct Library {
    bool playerAnswers = true; // ZVC450_TestConnection
    bool open = false;
    int opens = 0;
    void *lastGivenRecord = nullptr; // the record ZVC450_Open was handed
    Memory memory[2];
    bool hasFont = false;
    ZVC450_FONTINFO font{};
    std::string versionText = "BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 12:00:00 1.43";

    int error = 0;
    int internalError = 0;
    unsigned windowsError = 0;
    unsigned expectedVersion = 0xFFFFFFFF;
    unsigned vid = 0xFFFF, pid = 0xFFFF;
    std::vector<std::pair<unsigned, unsigned>> timeouts; // every ZVC450_SetTimeout

    // One line per operation, e.g. "Upload 0 3 /tmp/x/A.WAV A.BCW 100 1".
    std::vector<std::string> calls;
    std::vector<int> listCapacities; // file capacity handed to each RefreshEx
    std::vector<Message> messages;
    std::string firmwareImage;       // content of the image at UpgradeFirmware

    // name -> (1-based call number -> error code the call fails with)
    std::map<std::string, std::map<int, int>> failures;
    std::map<std::string, int> callNumbers;

    // name -> what happens once while the next call of that name runs: what
    // the player does meanwhile, or the program's events that a real
    // library's progress window would let through.
    std::map<std::string, std::function<void()>> during;
};

Library &lib();
// A fresh player: both memories formatted and empty, not connected.
void reset();
// Fails the n-th call (from now) of an operation with the library error code.
void failCall(const std::string &name, int n, int code);
// Calls whose line starts with prefix.
std::vector<std::string> callsOf(const std::string &prefix);

ZVC450_DIRENTRY entry(const char *name8, const char *ext3, const char *longName, uint32_t size, uint32_t cluster);

} // namespace fake
