// errors.cpp - the library's string table of error texts and ZVC450_DispError.
//
// Library error n has string n; the player's internal error n has string
// 1000 + n.  Each text is also the code's name, which is what users quote to
// us when they report a problem, so the texts stay exactly as they are.

#include "progress.h"
#include "protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zvc450 {
namespace {

constexpr int kInternalBase = 1000;
constexpr size_t kTextMax = 511;  // the display buffer held 512 bytes with its NUL

const char *const kLibraryErrors[] = {
    nullptr,
    "ZVC450USB_ERR_DEVICEDRIVER_OPEN",
    "ZVC450USB_ERR_DEVICEDRIVER_VERSION",
    "ZVC450USB_ERR_DEVICE_OPEN",
    "ZVC450USB_ERR_USB or TIMEOUT\nPlease check Timeout Value",
    "ZVC450USB_ERR_INTERNAL",
    "ZVC450USB_ERR_WINDOWS",
    "ZVC450USB_ERR_MEMORY_ALLOC",
    "ZVC450USB_ERR_FILE_TOOBIG",
    "ZVC450USB_ERR_DISKFULL",
    "ZVC450USB_ERR_FORMAT",
    "ZVC450USB_ERR_UNSUPPORTED",
    "ZVC450USB_ERR_NODISK",
    "ZVS450USB_ERR_INVALID_FILENAME",
    "ZVS450USB_ERR_USERBREAK",
};

const char *const kInternalErrors[] = {
    "ZVC450INT_ERR_UNKNOWN",
    "ZVC450INT_ERR_FLASH_STATUS",
    "ZVC450INT_ERR_CARD_NOT_DETECTED",
    "ZVC450INT_ERR_CARD_CHANGED",
    "ZVC450INT_ERR_NOT_ERASED",
    "ZVC450INT_ERR_NOT_FORMATTED",
    "ZVC450INT_ERR_INVALID_MBR",
    "ZVC450INT_ERR_INVALID_PBR",
    "ZVC450INT_ERR_INVALID_FAT",
    "ZVC450INT_ERR_INVALID_NAME",
    "ZVC450INT_ERR_INVALID_HANDLE",
    "ZVC450INT_ERR_INVALID_PARAM",
    "ZVC450INT_ERR_NO_EMPTY_BLOCK",
    "ZVC450INT_ERR_INVALID_BLOCK",
    "ZVC450INT_ERR_ECC",
    "ZVC450INT_ERR_FILE_OPENED",
    "ZVC450INT_ERR_FILE_EXIST",
    "ZVC450INT_ERR_TOTAL_FILE_NUM",
    "ZVC450INT_ERR_EOF",
    "ZVC450INT_ERR_FILE_NOT_OPENED",
    "ZVC450INT_ERR_FILE_NOT_EXIST",
    "ZVC450INT_ERR_NOT_FOUND",
    "ZVC450INT_ERR_ROOT_DIR",
    "ZVC450INT_ERR_LOCKED",
    "ZVC450INT_ERR_NOT_PERMITTED",
    "ZVC450INT_ERR_OUT_OF_MEMORY",
    "ZVC450INT_ERR_SYSTEM_PARAMETER",
    "ZVC450INT_ERR_INTERNAL",
    "ZVC450INT_ERR_MMC",
    "ZVC450INT_ERR_CANNOT_FORMATTING",
    "ZVC450INT_ERR_ENCODER_FILE_SYSTEM",
    "ZVC450INT_ERR_GET_USED_BLOCK",
    "ZVC450INT_ERR_USB_SEND",
    "ZVC450INT_ERR_USB_RECEIVE",
    "ZVC450INT_ERR_OVER_MAX_DRIVE",
    "ZVC450INT_ERR_INVALID_ADDRESS",
    "ZVC450INT_ERR_DEVICE_ID",
    "ZVC450INT_ERR_REOPEN_FILE",
    "ZVC450INT_NOT_IMPLEMENTED",
    "ZVC450INT_NO_EMPTY_ENTRY",
    "ZVC450INT_FONT_BLOCK_CHAIN",
};

constexpr int kLibraryCount = int(sizeof kLibraryErrors / sizeof kLibraryErrors[0]);
constexpr int kInternalCount = int(sizeof kInternalErrors / sizeof kInternalErrors[0]);

std::string cut(std::string text)
{
    std::string out;
    out.resize(kTextMax + 1);
    copyUtf8Cut(&out[0], out.size(), text);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::string systemText(unsigned sysError)
{
    // strerrordesc_np knows no "Unknown error" fallback: null for numbers
    // the system has no message for.
    const char *desc = strerrordesc_np(int(sysError));
    if (!desc)
        return "System Internal Errors(null)";
    return desc;
}

}  // namespace

const char *stringTable(int id)
{
    if (id > 0 && id < kLibraryCount)
        return kLibraryErrors[id];
    if (id >= kInternalBase && id < kInternalBase + kInternalCount)
        return kInternalErrors[id - kInternalBase];
    return id > 0 ? ProgressString(unsigned(id)) : nullptr;  // 3000..3021: the windows' texts
}

std::string errorText(int code, int internalCode, unsigned sysError)
{
    char buf[64];
    switch (code) {
    case ZVC450USB_ERR_NONE:
        return "ZVC450 No Error";
    case ZVC450USB_ERR_INTERNAL: {
        std::string text = stringTable(ZVC450USB_ERR_INTERNAL);
        if (const char *reason = stringTable(kInternalBase + internalCode))
            return cut(text + " - " + reason);
        std::snprintf(buf, sizeof buf, "(%d)", internalCode);
        return cut(text + buf);
    }
    case ZVC450USB_ERR_WINDOWS:
        return cut(systemText(sysError));
    default:
        if (const char *text = stringTable(code))
            return text;
        std::snprintf(buf, sizeof buf, "ZVC450 Unknown Error(%d)", code);
        return buf;
    }
}

}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API void ZVC450_DispErrorEx(void *owner, int code, unsigned sysError, const char *detail)
{
    // Both "0" arguments mean "what is current", read before anything here
    // can disturb errno.
    const unsigned lastErrno = static_cast<unsigned>(errno);
    if (code == 0)
        code = g_lib.error;
    if (sysError == 0)
        sysError = lastErrno;
    const std::string text = errorText(code, g_lib.internalError, sysError);
    const std::string lines = detail != nullptr ? detail : "";

    if (detail::QtErrorBox(owner, text, lines))
        return;
    // Without a GUI (command-line tool, tests) a message box is one line,
    // and the caller's lines follow it as they are.
    std::string line = text;
    for (char &c : line)
        if (c == '\n')
            c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!lines.empty())
        std::fprintf(stderr, "%s%s", lines.c_str(), lines.back() == '\n' ? "" : "\n");
    std::fflush(stderr);
}

ZVC450_API void ZVC450_DispError(void *owner, int code, unsigned sysError)
{
    ZVC450_DispErrorEx(owner, code, sysError, nullptr);
}

}  // extern "C"
