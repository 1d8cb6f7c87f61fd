// protocol.h - the library's internal contract.
//
// Everything that an operation of the library (listing, transfers, format,
// maintenance, progress windows) builds on: the library-wide state, the open
// link of a handle, the 512-byte packet buffer and its exchange, the answer
// check, the firmware generations and their protocol variants, the device
// name encoder and the error setters.  Nothing here is exported from the
// shared library; the unit tests link the static zvc450usb_core to reach it.
//
// Threading: the library is single-threaded by contract.  All state below is
// process-wide and unguarded; one operation runs at a time on the UI thread.
//
// A typical command exchange:
//
//     zvc450::Payload index;
//     if (!index.fileNumber(fileIndex))
//         return zvc450::fail(ZVC450USB_ERR_UNSUPPORTED);
//     if (!zvc450::exchange(h, memory, 'E', index))   // sets error 4 or 5 itself
//         return 0;
//     read answer fields from zvc450::g_packet[5...]
#pragma once

#include "dir_entry.h"
#include "transport.h"
#include "zvc450usb.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace zvc450 {

// ---------------------------------------------------------------------------
// Library-wide state (state.cpp)
// ---------------------------------------------------------------------------

constexpr unsigned kDefaultRecvTimeoutMs = 30000;
constexpr unsigned kDefaultSendTimeoutMs = 20000;

// The Windows toolkit reported its version here; 600 selected its current
// interface.  Our stacks always report this once they are reachable.
constexpr unsigned kDriverVersion = 600;

struct LibraryState {
    int error = 0;            // library error code (ZVC450USB_ERR_*)
    int internalError = 0;    // player's reason when error == 5; -1 = unusable answer
    unsigned sysError = 0;    // errno value when error == 6
    unsigned recvTimeoutMs = kDefaultRecvTimeoutMs;
    unsigned sendTimeoutMs = kDefaultSendTimeoutMs;
    unsigned userVid = 0, userPid = 0;     // used only when both are non-zero
    unsigned driverVersion = 0;            // 0 until a USB stack was reached by an open
    unsigned expectedFw = 0;               // 0 = automatic
    unsigned reportedFw = 0;               // what the player said at the last identification
    unsigned effectiveFw = 0;              // see effectiveFirmware()
    const char *fwText = nullptr;          // null or fwTextBuf
    char fwTextBuf[64] = {};
    int openCount = 0;                     // 0 or 1: one player per process
    void *moduleHandle = nullptr;          // load address of the library
};
extern LibraryState g_lib;

// The handle record behind HZVC450.  Both ids are non-zero exactly while the
// link is open; Close zeroes them and ends the link, Free releases the record.
struct DeviceRecord {
    uint32_t hWD = 0;                      // id of the open link (the Transport's linkId)
    uint32_t hDevice = 0;                  // id of the player on it (the Transport's deviceId)
    std::unique_ptr<Transport> transport;  // null when closed
};

inline DeviceRecord *record(HZVC450 h) { return static_cast<DeviceRecord *>(h); }
// The open link of a handle, or null when the handle is null or closed.
Transport *transportOf(HZVC450 h);

// Error setters.  fail() sets a library error code and returns 0, the usual
// result of a failing BOOL operation.  For error 6 use failSystem(errno).
inline int fail(int code) { ZVC450_SetError(code); return 0; }
inline int failSystem(int errnoValue) { ZVC450_SetWindowsError(static_cast<unsigned>(errnoValue)); return 0; }
inline int failInternal(int internalCode) { ZVC450_SetInternalError(internalCode); return 0; }

// Where the Windows original stored fixed system codes, we store these errno
// values (the stored "Windows error" is an errno value on this platform).
constexpr int kSysFileNotFound = ENOENT;          // Windows 2
constexpr int kSysNameTooLong = ENAMETOOLONG;     // Windows 206
constexpr int kSysInvalidFormSize = EFBIG;        // Windows 1903
constexpr int kSysNotReady = ENOMEDIUM;           // Windows 21
constexpr int kSysCancelled = ECANCELED;          // Windows 1223

// ---------------------------------------------------------------------------
// Firmware generations (identify.cpp)
// ---------------------------------------------------------------------------
//
// The effective firmware version is the version the user chose in the
// program when there is one, else what the player reported; 0 while closed,
// which selects the oldest variants everywhere.  Versions are the version
// text's digits in hex positions: "1.43" is 0x14300.

// Formats before 1.20 are one-shot: the player answers once when done, with
// no progress answers in between ("F"/"L" instead of "FD"/"LD").
constexpr unsigned kFwFormatProgress = 0x12000;
// Up to 1.2x the player frames its answers with a one-byte length (byte 2;
// byte 1 carries garbage), indexes files with one byte and takes 8.3 names
// as text.  From 1.30 on: 16-bit lengths and indexes, names as FAT entry sets
// in irregular packets.
constexpr unsigned kFwWideProtocol = 0x13000;
// Medium information ("I") exists from 1.42 on.
constexpr unsigned kFwMediumInfo = 0x14200;
// Listings carry directories only on firmware newer than 1.42 ("GG").
constexpr unsigned kFwListingWithDirs = 0x14200;   // strictly above
// Directory commands ("D?") and the current path exist from 1.43 on.
constexpr unsigned kFwDirectories = 0x14300;

inline unsigned effectiveFirmware() { return g_lib.effectiveFw; }
inline bool fwHasFormatProgress(unsigned v) { return v >= kFwFormatProgress; }
inline bool fwWideProtocol(unsigned v) { return v >= kFwWideProtocol; }
inline bool fwHasMediumInfo(unsigned v) { return v >= kFwMediumInfo; }
inline bool fwListsDirectories(unsigned v) { return v > kFwListingWithDirs; }
inline bool fwHasDirectories(unsigned v) { return v >= kFwDirectories; }

// Version text to number: "1.43" -> 0x14300, "1.5" -> 0x15000, "2" -> 0x20000,
// anything not starting with a digit or "." -> 0.
unsigned parseVersion(const char *text, size_t len);

// ---------------------------------------------------------------------------
// Packets (packets.cpp)
// ---------------------------------------------------------------------------

constexpr int kPacketSize = 512;
// File, font and raw data move in transfers of at most this many bytes,
// always a multiple of kPacketSize.
constexpr int kMaxDataTransfer = 16384;

// The one packet buffer: every builder writes into it, every answer arrives
// in it.  Valid from a receive until the next builder call or receive.
extern uint8_t g_packet[kPacketSize];

// What a command addresses: the letter that begins its body.  The two
// memories are the program's memory indexes; the others are areas only the
// maintenance operations reach.
enum Target : int {
    kTargetRomSelect = -2,  // "G": the first step of a firmware upgrade
    kTargetCodeFlash = -1,  // "C": the code areas of an upgrade
    kTargetInternal = 0,    // "M": the internal memory (flash)
    kTargetCard = 1,        // "S": the memory card
    kTargetFont = 2,        // "U": the LCD font area
};

// Target letter of a memory index (-2 G, -1 C, 0 M, 1 S, 2 U); 0 when the
// index is outside that range.
uint8_t targetLetter(int memory);

// The memories a file-system operation addresses: 0 internal, 1 card.
// Other indexes select the firmware and font areas in the packet builders;
// an operation on a file never goes there.
inline bool validMemory(int memory) { return memory == kTargetInternal || memory == kTargetCard; }

// A two-character command ("FD", "DC") as the Ex builders take it: the
// first character goes out first.
constexpr uint16_t twoCharCommand(char first, char second)
{
    return uint16_t(uint8_t(first) | uint8_t(second) << 8);
}

// Answer check on g_packet with the effective firmware version; sets the
// internal error code (and library error 5) on failure.
bool checkAnswer();

// The same check on any buffer with an explicit length mode, for tests and
// for callers that need the code without touching the library state.
enum class AnswerStatus { Ok, Refused, BadFrame };
AnswerStatus checkAnswerFrame(const uint8_t *packet, bool wideLength, int *internalCode);
// Length L of a framed packet in the given mode (byte 2, or bytes 1-2).
inline int answerLength(const uint8_t *packet, bool wideLength)
{
    return wideLength ? (packet[1] << 8 | packet[2]) : packet[2];
}

// ---------------------------------------------------------------------------
// Commands and answers (exchange.cpp)
// ---------------------------------------------------------------------------
//
// Nearly every operation is this one step: a command goes out and one framed
// answer comes back.  A command that does not go out, or an answer that
// does not come, is the link's failure (error 4); an answer that refuses, or
// cannot be read, is the player's (error 5 with its reason as the internal
// code, -1 for an unusable answer).  The functions below say so in one place.

// The payload of a command, built field by field.  Numbers go high byte
// first unless the field is a FAT date or time.
class Payload {
public:
    Payload &byte(uint8_t v);
    Payload &be16(unsigned v);
    Payload &be32(uint32_t v);
    Payload &le16(unsigned v);
    Payload &bytes(const void *p, size_t n);
    Payload &text(const std::string &s) { return bytes(s.data(), s.size()); }
    // A file's number in the current directory's file list as the player's
    // generation takes it: one byte below firmware 1.30, two bytes from then
    // on.  False, with nothing added, for a number the field cannot hold:
    // sent anyway it would wrap onto another file (300 is file 44 in one
    // byte, -1 file 255).
    bool fileNumber(int number);

    const uint8_t *data() const { return bytes_.data(); }
    int size() const { return int(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
};

// Sends a one-character command to target and takes its answer.  True for
// an answer with status 0, its fields in g_packet; else false with error 4
// or 5 set.
bool exchange(HZVC450 h, int target, uint8_t cmd, const Payload &payload = Payload());
// The same for a two-character command (twoCharCommand()).
bool exchangeEx(HZVC450 h, int target, uint16_t cmd, const Payload &payload = Payload());
// Takes the answer to a command that another builder sent; sent is that
// builder's result (0: error 4).
bool answerTo(HZVC450 h, int sent);

// The same without the check, for the answers that carry no status (the
// identification text) or whose status does not matter.
bool rawAnswerTo(HZVC450 h, int sent);
// Receives one 512-byte answer into g_packet and checks it.  On a failed
// receive: library error 4.  On a refused or unusable answer: error 5 with
// the internal code set.  Returns true for an answer with status 0.
bool receiveAnswer(HZVC450 h);
// True when the answer in g_packet refused with the player's reason code.
bool refusedWith(int internalCode);

// True when the answer in g_packet (already checked) reaches up to byte
// end - 1, so that fields there are the player's and not what followed its
// terminator in the buffer.  Otherwise error 5 with internal code -1 (an
// unusable answer).
bool answerHolds(int end);

// Big-endian helpers for payloads and answer fields.
inline void putBE16(uint8_t *p, unsigned v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void putBE32(uint8_t *p, uint32_t v) { p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v); }
inline unsigned getBE16(const uint8_t *p) { return unsigned(p[0]) << 8 | p[1]; }
inline uint32_t getBE32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline void putLE16(uint8_t *p, unsigned v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void putLE32(uint8_t *p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }
inline unsigned getLE16(const uint8_t *p) { return unsigned(p[1]) << 8 | p[0]; }
inline uint32_t getLE32(const uint8_t *p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

// ---------------------------------------------------------------------------
// Errors (errors.cpp)
// ---------------------------------------------------------------------------

// String table entry: 1..14 library errors, 1000+n internal error n (0..40).
// Null when there is no such entry.
const char *stringTable(int id);

// The text ZVC450_DispError shows for a library error code (not 0 = "current";
// the caller resolves that), the internal code used for code 5 and the errno
// used for code 6.  At most 511 bytes, cut at a UTF-8 character boundary.
std::string errorText(int code, int internalCode, unsigned sysError);

// ---------------------------------------------------------------------------
// Device file names (names.cpp)
// ---------------------------------------------------------------------------
//
// PC names are UTF-8.  On the player a file has a FAT short entry whose 8.3
// name is in the device code page (CP437 unless ZVC450_CODEPAGE or
// setDeviceCodePage says otherwise) and, when the 8.3 name cannot hold the
// PC name exactly ("lossy"), long-name entries with the name in UTF-16.

constexpr const char *kDefaultDeviceCodePage = "CP437";

// The iconv name of the device code page for short names.
void setDeviceCodePage(const std::string &iconvName);
std::string deviceCodePage();

// The part of a path after its last "/" (the whole text if none).  "\" and
// ":" are characters of a Linux name, not separators.
const char *pathTail(const char *path);

// Makes the 8.3 name ("BASE.EXT", device code page bytes, the "." always
// present) of the last component of name.  lossy tells whether it differs
// from the PC name.  Fails with library error 13 for every name
// ZVC450_CheckFileName finds fault with (a character no FAT name can hold,
// ".", "..", blank, a trailing dot or space, only a dot and an extension).
bool makeShortName(const char *name, std::string *shortName, bool *lossy);

// Builds the directory-entry set for the last component of name: the
// long-name entries (when the 8.3 name is lossy or forceLong) in descending
// ordinal order followed by the short entry (attribute 0x20 archive, size 0,
// times = stamp).  The set is out->size() / 32 entries.  On failure returns
// false with library error 13 (ZVS450USB_ERR_INVALID_FILENAME) already set:
// an invalid name, or one longer than 819 UTF-16 units.  Callers just fail;
// nothing has been sent.  Old firmware (below kFwWideProtocol) takes the
// 8.3 text of makeShortName instead, with fatStampOf() of the file.
bool encodeName(const char *name, bool forceLong, std::vector<uint8_t> *out);
bool encodeNameAt(const char *name, bool forceLong, const FatStamp &stamp, std::vector<uint8_t> *out);

// "BASE.EXT" of a short entry, converted from the device code page to UTF-8
// (0x05 as first byte stands for 0xE5; no "." when the extension is blank).
std::string shortEntryToText(const uint8_t entry[kDirEntrySize]);

// Text conversions used by the listing.
std::string deviceBytesToUtf8(const char *bytes, size_t len);
std::string utf16leToUtf8(const uint8_t *units, size_t count);  // stops at U+0000
// The first bytes of src, at most max, cut at a UTF-8 character boundary.
std::string utf8Prefix(const std::string &src, size_t max);
// Copies src into dst[size] with a NUL, cut at a UTF-8 character boundary.
void copyUtf8Cut(char *dst, size_t size, const std::string &src);

}  // namespace zvc450
