// cmd_maintenance.cpp - the player as a whole: info, format, firmware,
// font and raw memory.

#include "commands.h"
#include "device.h"
#include "interrupt.h"
#include "listing.h"
#include "localfile.h"
#include "output.h"

#include <intelhex_core.h>


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

// The player counts its memory in blocks of 16 KiB.
constexpr unsigned kBlockBytes = 16384;
// Raw uploads name their range in 16-bit block numbers, and the desktop
// program never asks for more than this many blocks at once.
constexpr unsigned kMaxRawBlocks = 0x3FFFF;
constexpr unsigned kMaxBlockNumber = 0xFFFF;

// "1.43" for 0x14300: the digits are hexadecimal positions of the text.
std::string VersionText(unsigned version)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%x.%04x", version >> 16, version & 0xFFFFu);
    std::string text = buf;
    while (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.')
        text.pop_back();
    return text;
}

std::string Hex(unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%05x", value);
    return buf;
}

std::string Good(uint8_t status) { return status ? "good" : "invalid"; }

std::string MediumType(uint8_t type)
{
    switch (type) {
    case 1: return "NAND/SMC";
    case 2: return "MMC/SD";
    default: return "unknown (" + std::to_string(type) + ")";
    }
}

std::string FatType(uint8_t type)
{
    switch (type) {
    case 1: return "FAT12";
    case 2: return "FAT16";
    default: return "unknown (" + std::to_string(type) + ")";
    }
}

std::string MemoryStatus(const LibraryError &error)
{
    if (error.code == ZVC450USB_ERR_NODISK ||
        (error.code == ZVC450USB_ERR_INTERNAL && error.internal == ZVC450INT_ERR_CARD_NOT_DETECTED))
        return "no medium";
    if (error.code == ZVC450USB_ERR_INTERNAL && error.internal == ZVC450INT_ERR_NOT_FORMATTED)
        return "unformatted";
    return "error";
}

// Prints a memory's part of `info`.  Returns false only when the link to
// the player failed; a memory without a medium is a status, not a failure.
bool PrintMemoryInfo(Device &device, int memory)
{
    device.set_memory(memory);
    const std::string prefix = std::string(MemoryName(memory)) + ".";
    Listing listing;
    if (!listing.Read(device)) {
        const LibraryError error = CaptureError();
        PrintField(prefix + "status", MemoryStatus(error));
        PrintField(prefix + "error", std::to_string(error.code));
        if (error.code == ZVC450USB_ERR_INTERNAL)
            PrintField(prefix + "player-error", std::to_string(error.internal));
        std::cout.flush();
        ReportError(std::string("info: the ") + MemoryName(memory) + " memory", error);
        return error.code != ZVC450USB_ERR_USB;
    }
    const ZVC450_SUMMARY &s = listing.summary();
    PrintField(prefix + "status", "ok");
    PrintField(prefix + "total-blocks", s.dwTotalBlocks);
    PrintField(prefix + "used-blocks", s.dwUsedBlocks);
    const unsigned long long total = 1ull * s.dwTotalBlocks * kBlockBytes;
    const unsigned long long used = 1ull * s.dwUsedBlocks * kBlockBytes;
    PrintField(prefix + "capacity", total);
    PrintField(prefix + "used", used);
    PrintField(prefix + "free", used < total ? total - used : 0);

    if (device.firmware() < kFwMediumInfo)
        return true;  // older players keep their medium information to themselves
    ZVC450_MEDIUMINFO m = {};
    if (!ZVC450_GetMediumInfo(device.handle(), memory, &m)) {
        const LibraryError error = CaptureError();
        std::cout.flush();
        ReportError(std::string("info: medium information of the ") + MemoryName(memory) + " memory", error);
        return error.code != ZVC450USB_ERR_USB;
    }
    PrintField(prefix + "medium", MediumType(m.bMediumType));
    PrintField(prefix + "file-count", m.wTotalFileCount);
    PrintField(prefix + "physical-blocks", m.wPhysicalBlockCount);
    PrintField(prefix + "bad-blocks", m.wBadBlockCount);
    PrintField(prefix + "device-io", Good(m.bDeviceIOStatus));
    PrintField(prefix + "fat-status", Good(m.bFATStatus));
    PrintField(prefix + "fat-type", FatType(m.bFATType));
    PrintField(prefix + "fat-start-sector", m.wFATStartSector);
    PrintField(prefix + "fat-sectors", m.wFATSectorCount);
    PrintField(prefix + "root-start-sector", m.wRootStartSector);
    PrintField(prefix + "root-entries", m.wRootEntryCount);
    PrintField(prefix + "block-size", m.bBlockSizeCode == 1 ? 131072u : 16384u);
    PrintField(prefix + "bytes-per-sector", m.wBytesPerSector);
    PrintField(prefix + "sectors-per-cluster", m.bSectorsPerCluster);
    PrintField(prefix + "clusters-per-block", m.bClustersPerBlock);
    return true;
}

bool CheckRegularFile(const std::string &path, const std::string &context, int *exit)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *exit = Fail(context + ": " + path + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *exit = Fail(context + ": " + path + ": not a regular file");
        return false;
    }
    return true;
}

// Removes the image converted from an Intel-hex file when the command ends.
class TempImage {
public:
    ~TempImage()
    {
        if (!path.empty())
            ::unlink(path.c_str());
    }
    std::string path;
};

int FontPut(Invocation &inv)
{
    if (inv.args.operands.size() != 2)
        return UsageError(inv.command, "font put needs the font file");
    const std::string &file = inv.args.operands[1];
    int exit = kExitOk;
    if (!CheckRegularFile(file, "font put", &exit))
        return exit;
    if (!&ZVC450_DownloadFont)
        return ReportMissingExport("ZVC450_DownloadFont");
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    int ok;
    {
        QuietScope quiet(device.quiet());
        ok = ZVC450_DownloadFont(nullptr, device.handle(), file.c_str());
    }
    return ok ? kExitOk : ReportError("font put " + file);
}

int FontGet(Invocation &inv)
{
    if (!&ZVC450_GetFontInfo || !&ZVC450_UploadFont)
        return ReportMissingExport(!&ZVC450_GetFontInfo ? "ZVC450_GetFontInfo" : "ZVC450_UploadFont");
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    ZVC450_FONTINFO info = {};
    if (!ZVC450_GetFontInfo(device.handle(), &info))
        return ReportError("font get");
    const std::string fontName(info.szFontName, strnlen(info.szFontName, sizeof info.szFontName));
    std::string path = inv.args.operands.size() > 1 ? inv.args.operands[1] : std::string();
    if (path.empty() || IsDirectory(path)) {
        // The player names the file: made safe, and no file replaced
        // unless the user says so.
        std::string name;
        const std::string problem = LocalNameFor(fontName, false, path, &name);
        if (!problem.empty())
            return Fail("font get: '" + fontName + "': " + problem);
        if (name != fontName)
            std::fprintf(stderr, "zvc450: font get: '%s' is saved as '%s'\n", ForMessage(fontName).c_str(),
                         ForMessage(name).c_str());
        path = JoinPath(path, name);
        if (!inv.args.Has("force") && Exists(path))
            return Fail("font get: the font would replace " + path + "; use --force to replace it");
    }
    PendingFile pending(path);
    if (!pending.ok())
        return Fail("font get: cannot create a file next to " + path + ": " + std::strerror(errno));
    int ok;
    {
        QuietScope quiet(device.quiet());
        ok = ZVC450_UploadFont(nullptr, device.handle(), pending.temp().c_str(), ForMessage(fontName).c_str(),
                               info.dwFontSize);
    }
    if (!ok)
        return ReportError("font get");
    if (!pending.Commit())
        return Fail("font get: " + path + ": " + std::strerror(errno));
    return kExitOk;
}

int FontErase(Invocation &inv)
{
    if (inv.args.operands.size() != 1)
        return UsageError(inv.command, "font erase takes no operand");
    if (!&ZVC450_EraseFont)
        return ReportMissingExport("ZVC450_EraseFont");
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    return ZVC450_EraseFont(device.handle()) ? kExitOk : ReportError("font erase");
}

int FontInfo(Invocation &inv)
{
    if (inv.args.operands.size() != 1)
        return UsageError(inv.command, "font info takes no operand");
    if (!&ZVC450_GetFontInfo)
        return ReportMissingExport("ZVC450_GetFontInfo");
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    ZVC450_FONTINFO info = {};
    if (!ZVC450_GetFontInfo(device.handle(), &info))
        return ReportError("font info");
    PrintField("name", std::string(info.szFontName, strnlen(info.szFontName, sizeof info.szFontName)));
    PrintField("size", info.dwFontSize);
    return kExitOk;
}

}  // namespace

int RunInfo(Invocation &inv)
{
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    const char *link = std::getenv("ZVC450_VUSB");
    PrintField("connection", link && *link ? std::string("virtual ") + link : std::string("usb"));
    const char *text = ZVC450_GetFirmwareVersionString();
    PrintField("identification", text ? text : "");
    const unsigned reported = ZVC450_GetFirmwareVersion();
    PrintField("firmware", reported ? VersionText(reported) : std::string("unknown"));
    PrintField("firmware-number", Hex(reported));

    bool linkOk = true;
    if (inv.global.memoryChosen) {
        linkOk = PrintMemoryInfo(device, inv.global.memory);
    } else {
        for (int memory = 0; memory < 2 && linkOk; ++memory)
            linkOk = PrintMemoryInfo(device, memory);
    }
    std::cout.flush();
    return linkOk && std::cout ? kExitOk : kExitFailed;
}

int RunFormat(Invocation &inv)
{
    const bool low = inv.args.Has("low");
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    const std::string what = std::string(low ? "Low-level format" : "Format") + " the " +
                             MemoryName(device.memory()) + " memory of the player?";
    if (!inv.args.Has("yes") && !Confirm(what + " Everything on it will be lost."))
        return Fail("format: not confirmed; nothing was changed");
    int ok;
    {
        Device::LongOperation longWait(device);
        UncancellableScope formatting("the format");
        QuietScope quiet(device.quiet());
        ok = low ? ZVC450_FormatLow(nullptr, device.handle(), device.memory())
                 : ZVC450_Format(nullptr, device.handle(), device.memory());
    }
    return ok ? kExitOk : ReportError("format");
}

int RunFirmware(Invocation &inv)
{
    const bool boot = inv.args.Has("boot");
    if (boot == inv.args.Has("app"))
        return UsageError(inv.command, "say which code to write: --boot or --app");
    const std::string &file = inv.args.operands[0];
    int exit = kExitOk;
    if (!CheckRegularFile(file, "firmware", &exit))
        return exit;
    if (!&ZVC450_UpgradeFirmware)
        return ReportMissingExport("ZVC450_UpgradeFirmware");

    // Intel-hex text becomes a flat image of the area first; a damaged file
    // is refused here, before the player is touched.
    TempImage image;
    const bool hex = SameAsciiText(Extension(BaseName(file)), "hex");
    if (hex) {
        std::string error;
        image.path = zvs450_ConvertIntelHexToTempFile(file.c_str(), boot ? kIntelHexBootBase : kIntelHexApplicationBase,
                                                      &error);
        if (image.path.empty())
            return Fail("firmware: " + file + ": " + error);
    }

    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    const char *area = boot ? "boot code" : "application code";
    if (!inv.args.Has("yes") &&
        !Confirm(std::string("Write ") + file + " into the player's " + area +
                 "? An interrupted upgrade can leave the player unable to start."))
        return Fail("firmware: not confirmed; nothing was changed");
    int ok;
    {
        Device::LongOperation longWait(device);
        UncancellableScope upgrading("the firmware upgrade");
        QuietScope quiet(device.quiet());
        ok = ZVC450_UpgradeFirmware(nullptr, device.handle(), boot ? 1 : 0, 0,
                                    hex ? image.path.c_str() : file.c_str(), file.c_str());
    }
    if (!ok)
        return ReportError("firmware");
    if (!device.quiet())
        std::fprintf(stderr, "zvc450: the %s was written; unplug the player and switch it on again\n", area);
    return kExitOk;
}

int RunFont(Invocation &inv)
{
    const std::string &sub = inv.args.operands[0];
    if (sub == "put")
        return FontPut(inv);
    if (sub == "get")
        return FontGet(inv);
    if (sub == "erase")
        return FontErase(inv);
    if (sub == "info")
        return FontInfo(inv);
    return UsageError(inv.command, "unknown font command '" + sub + "' (put, get, erase or info)");
}

int RunRaw(Invocation &inv)
{
    unsigned first = 0, count = 0;
    if (!ParseUnsigned(inv.args.operands[0], kMaxBlockNumber, &first))
        return UsageError(inv.command, "FIRST must be a block number from 0 to 65535");
    if (!ParseUnsigned(inv.args.operands[1], kMaxRawBlocks, &count) || count == 0)
        return UsageError(inv.command, "COUNT must be a number of blocks from 1 to 262143");
    const std::string &path = inv.args.operands[2];
    if (IsDirectory(path))
        return Fail("raw: " + path + ": is a folder");
    if (!&ZVC450_UploadRawData)
        return ReportMissingExport("ZVC450_UploadRawData");

    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    // The player takes the range as two 16-bit block numbers; a range past
    // the end of the memory would wrap around or read nothing useful.
    Listing listing;
    if (!ReadListing(device, &listing, "raw"))
        return kExitFailed;
    const unsigned long long end = 1ull * first + count;
    if (end > listing.summary().dwTotalBlocks || end > kMaxBlockNumber + 1ull)
        return Fail("raw: blocks " + std::to_string(first) + " to " + std::to_string(end - 1) + " lie beyond the " +
                    MemoryName(device.memory()) + " memory's " + std::to_string(listing.summary().dwTotalBlocks) +
                    " blocks");
    PendingFile pending(path);
    if (!pending.ok())
        return Fail("raw: cannot create a file next to " + path + ": " + std::strerror(errno));
    int ok;
    {
        QuietScope quiet(device.quiet());
        ok = ZVC450_UploadRawData(nullptr, device.handle(), device.memory(), first, count, pending.temp().c_str(),
                                  path.c_str(), count * kBlockBytes);
    }
    if (!ok)
        return ReportError("raw");
    if (!pending.Commit())
        return Fail("raw: " + path + ": " + std::strerror(errno));
    return kExitOk;
}

}  // namespace cli
