// device.cpp - the connection to the player and the library's error state.

#include "device.h"

#include "error_advice.h"
#include "interrupt.h"
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace cli {
namespace {

// The library's defaults, which it starts with.
constexpr unsigned kLibraryRecvMs = 30000;
constexpr unsigned kLibrarySendMs = 20000;
// What the desktop program allows a format or a firmware upgrade by default:
// a low-level format of a large card keeps the player silent for minutes.
constexpr unsigned kLongOperationMs = 3000000;

}  // namespace

const char *MemoryName(int memory) { return memory == 0 ? "internal" : "external"; }

LibraryError CaptureError()
{
    LibraryError e;
    e.code = ZVC450_GetError();
    e.internal = ZVC450_GetInternalError();
    e.sys = ZVC450_GetWindowsError();
    return e;
}

int ReportError(const std::string &context, const LibraryError &error)
{
    // A wait that Ctrl-C ended fails as a link error in the library; it is
    // the user's cancel all the same.
    if (error.code == ZVS450USB_ERR_USERBREAK || InterruptPending()) {
        std::cout.flush();
        std::fprintf(stderr, "zvc450: %s: cancelled\n", ForMessage(context).c_str());
        return kExitCancelled;
    }
    // Put the saved state back, so that the library's text refines code 5
    // with the player's reason even if other calls ran since.
    ZVC450_SetInternalError(error.internal);
    if (error.sys != 0)
        ZVC450_SetWindowsError(error.sys);
    ZVC450_SetError(error.code);
    std::cout.flush();
    std::fprintf(stderr, "zvc450: %s: ", ForMessage(context).c_str());
    std::fflush(stderr);
    // A Windows-error code of 0 would make the library read errno; with no
    // system error recorded, errno 0 gives the library's own fallback text.
    // The library's line names the error exactly; the next one says in plain
    // words what happened and what to do.
    errno = 0;
    ZVC450_DispErrorEx(nullptr, error.code, error.sys, tunedeck::ErrorAdvice(error.code, error.internal, error.sys));
    return kExitFailed;
}

int ReportError(const std::string &context) { return ReportError(context, CaptureError()); }

int ReportMissingExport(const char *name)
{
    return Fail(std::string("this libzvc450usb does not provide ") + name + " yet");
}

QuietScope::QuietScope(bool active)
{
    if (!active)
        return;
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return;
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ >= 0)
        ::dup2(null, STDERR_FILENO);
    ::close(null);
}

QuietScope::~QuietScope()
{
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
}

Device::Device(const GlobalOptions &options)
    : options_(options), memory_(options.memory), quiet_(options.quiet)
{
}

Device::~Device()
{
    if (open_)
        ZVC450_Close(handle_);
    ZVC450_Free(handle_);
}

void Device::ApplyTimeouts(unsigned recvMs) const
{
    const unsigned sendMs = options_.timeoutMs ? options_.timeoutMs : kLibrarySendMs;
    ZVC450_SetTimeout(recvMs, sendMs);
}

bool Device::Open()
{
    ApplyTimeouts(options_.timeoutMs ? options_.timeoutMs : kLibraryRecvMs);
    ZVC450_SetError(ZVC450USB_ERR_NONE);
    if (!ZVC450_Open(&handle_)) {
        // A player that is simply not there leaves no error of its own.
        if (ZVC450_GetError() == ZVC450USB_ERR_NONE) {
            const char *link = std::getenv("ZVC450_VUSB");
            if (link && *link)
                Fail(std::string("no player answers on the virtual link ") + link);
            else
                Fail("no player found (is it plugged in, and may this user open it?)");
            return false;
        }
        ReportError("cannot open the player");
        return false;
    }
    open_ = true;
    // The open succeeds even when the player did not identify itself; a
    // player that cannot even do that will not do anything else either.
    if (ZVC450_GetFirmwareVersionString() == nullptr) {
        ReportError("the player does not identify itself");
        return false;
    }
    return true;
}

unsigned Device::firmware() const
{
    const unsigned expected = ZVC450_GetExpectedFirmwareVersion();
    return expected ? expected : ZVC450_GetFirmwareVersion();
}

Device::LongOperation::LongOperation(const Device &device) : device_(device)
{
    device_.ApplyTimeouts(device_.options_.timeoutMs ? device_.options_.timeoutMs : kLongOperationMs);
}

Device::LongOperation::~LongOperation()
{
    device_.ApplyTimeouts(device_.options_.timeoutMs ? device_.options_.timeoutMs : kLibraryRecvMs);
}

}  // namespace cli
