// device.h - the connection to the player and the library's error state.
//
// Everything here goes through the library's exported C interface.  One
// Device per run: the library serves one player per process.
#pragma once

#include "cli.h"

#include <zvc450usb.h>

#include <string>

// The maintenance calls joined the library later than the rest; they are
// referenced weakly so that the tool still starts (and says so) with a
// library that lacks one of them.
extern "C" {
#pragma weak ZVC450_UpgradeFirmware
#pragma weak ZVC450_DownloadFont
#pragma weak ZVC450_GetFontInfo
#pragma weak ZVC450_EraseFont
#pragma weak ZVC450_UploadFont
#pragma weak ZVC450_UploadRawData
}

namespace cli {

// Firmware versions at which the player's protocol changes.
constexpr unsigned kFwWideIndexes = 0x13000;  // two-byte file numbers, long names
constexpr unsigned kFwMediumInfo = 0x14200;   // medium information
constexpr unsigned kFwDirectories = 0x14300;  // directories in listings and commands

// A copy of the library's error state, so that it can be shown after later
// calls (a clean-up listing, say) have overwritten it.
struct LibraryError {
    int code = 0;
    int internal = 0;
    unsigned sys = 0;
};
LibraryError CaptureError();

// Shows "zvc450: CONTEXT: TEXT" on stderr, TEXT being the library's own
// message for the error (ZVC450_DispError prints it as one line when the
// program has no windows).  Returns the exit status: kExitCancelled for the
// user break, kExitFailed otherwise.
int ReportError(const std::string &context, const LibraryError &error);
int ReportError(const std::string &context);  // the current error

// "name of the export is missing" for a weak reference that did not bind.
int ReportMissingExport(const char *name);

// While it lives, the library's progress lines go nowhere: stderr points at
// /dev/null (the library draws only on a terminal).  Does nothing unless
// `active`.
class QuietScope {
public:
    explicit QuietScope(bool active);
    ~QuietScope();
    QuietScope(const QuietScope &) = delete;
    QuietScope &operator=(const QuietScope &) = delete;

private:
    int saved_ = -1;
};

class Device {
public:
    explicit Device(const GlobalOptions &options);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Opens the player and identifies its firmware; prints the reason and
    // returns false when that fails.
    bool Open();

    HZVC450 handle() const { return handle_; }
    int memory() const { return memory_; }
    void set_memory(int memory) { memory_ = memory; }
    bool quiet() const { return quiet_; }
    const GlobalOptions &options() const { return options_; }

    // The version that selects the protocol (the expected one if set).
    unsigned firmware() const;
    bool HasDirectories() const { return firmware() >= kFwDirectories; }

    // Raises the receive time-out for an operation the player may take
    // minutes over (format, firmware), restored by the destructor.
    class LongOperation {
    public:
        explicit LongOperation(const Device &device);
        ~LongOperation();
        LongOperation(const LongOperation &) = delete;
        LongOperation &operator=(const LongOperation &) = delete;

    private:
        const Device &device_;
    };

private:
    void ApplyTimeouts(unsigned recvMs) const;

    GlobalOptions options_;
    HZVC450 handle_ = nullptr;
    int memory_;
    bool quiet_;
    bool open_ = false;
};

const char *MemoryName(int memory);  // "internal", "external"

}  // namespace cli
