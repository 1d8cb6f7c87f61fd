#include "fake_zvc450.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fake {

namespace {

int g_record; // the one handle record

Library &state()
{
    static Library library;
    return library;
}

std::string str(const char *text) { return text ? text : "(null)"; }

template <typename... Args>
void note(Args... args)
{
    std::ostringstream line;
    ((line << args << ' '), ...);
    std::string text = line.str();
    text.pop_back();
    state().calls.push_back(text);
}

// Counts the call; the result a scripted failure asks for (1 = success).
int scripted(const std::string &name)
{
    Library &l = state();
    if (const auto hook = l.during.find(name); hook != l.during.end()) {
        const std::function<void()> run = hook->second;
        l.during.erase(hook);
        run();
    }
    const int n = ++l.callNumbers[name];
    const auto byName = l.failures.find(name);
    if (byName == l.failures.end())
        return 1;
    const auto code = byName->second.find(n);
    if (code == byName->second.end())
        return 1;
    l.error = code->second;
    return 0;
}

bool validHandle(HZVC450 h) { return h == &g_record && state().open; }

int fail(int code)
{
    state().error = code;
    return 0;
}

} // namespace

Library &lib() { return state(); }

void reset()
{
    state() = Library{};
    for (Memory &m : state().memory) {
        m.info.bDeviceIOStatus = 1;
        m.info.bFATStatus = 1;
        m.info.bMediumType = 1;
        m.info.wBytesPerSector = 512;
        m.info.bSectorsPerCluster = 32;
        m.info.bClustersPerBlock = 1;
        m.info.bFATType = 2;
    }
}

void failCall(const std::string &name, int n, int code)
{
    state().failures[name][state().callNumbers[name] + n] = code;
}

std::vector<std::string> callsOf(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &call : state().calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            out.push_back(call);
    return out;
}

ZVC450_DIRENTRY entry(const char *name8, const char *ext3, const char *longName, uint32_t size, uint32_t cluster)
{
    ZVC450_DIRENTRY e{};
    std::memcpy(e.szName, name8, std::min<size_t>(8, std::strlen(name8)));
    std::memcpy(e.szExt, ext3, std::min<size_t>(3, std::strlen(ext3)));
    std::strncpy(e.szLongName, longName, sizeof e.szLongName - 1);
    e.dwSize = size;
    e.dwFirstCluster = cluster;
    return e;
}

} // namespace fake

using fake::lib;
using fake::note;
using fake::str;
using fake::scripted;

extern "C" {

int ZVC450_Open(HZVC450 *handle)
{
    fake::Library &l = lib();
    l.lastGivenRecord = *handle;
    if (l.open || !l.playerAnswers)
        return 0;
    l.open = true;
    ++l.opens;
    *handle = &fake::g_record;
    return 1;
}

int ZVC450_Close(HZVC450 h)
{
    note("Close");
    if (h != &fake::g_record || !lib().open)
        return 0;
    lib().open = false;
    return 1;
}

int ZVC450_Free(HZVC450 h)
{
    note("Free");
    return h == &fake::g_record;
}

int ZVC450_IsValidHandle(HZVC450 h) { return fake::validHandle(h); }
int ZVC450_GetError(void) { return lib().error; }
int ZVC450_SetError(int code) { return lib().error = code; }
int ZVC450_GetInternalError(void) { return lib().internalError; }
unsigned ZVC450_GetWindowsError(void) { return lib().windowsError; }
unsigned ZVC450_SetWindowsError(unsigned code) { return lib().windowsError = code; }
void ZVC450_SetTimeout(unsigned recvMs, unsigned sendMs) { lib().timeouts.emplace_back(recvMs, sendMs); }

void ZVC450_SetUserUSBID(unsigned vid, unsigned pid)
{
    lib().vid = vid;
    lib().pid = pid;
}

unsigned ZVC450_SetExpectedFirmwareVersion(unsigned version)
{
    const unsigned old = lib().expectedVersion;
    lib().expectedVersion = version;
    return old;
}

int ZVC450_TestConnection(void)
{
    note("TestConnection");
    return lib().playerAnswers;
}

const char *ZVC450_GetFirmwareVersionString(void) { return lib().open ? lib().versionText.c_str() : nullptr; }

void ZVC450_DispError(void *owner, int code, unsigned sysError)
{
    lib().messages.push_back({owner, code == 0 ? lib().error : code, sysError, std::string()});
}

void ZVC450_DispErrorEx(void *owner, int code, unsigned sysError, const char *detail)
{
    lib().messages.push_back({owner, code == 0 ? lib().error : code, sysError, detail ? detail : ""});
}

int ZVC450_GetMediumInfo(HZVC450 h, int memory, ZVC450_MEDIUMINFO *info)
{
    if (!fake::validHandle(h) || memory < 0 || memory > 1 || !lib().memory[memory].mediumInfoOk)
        return fake::fail(ZVC450USB_ERR_UNSUPPORTED);
    *info = lib().memory[memory].info;
    return 1;
}

int ZVC450_RefreshEx(HZVC450 h, int memory, ZVC450_SUMMARY *summary, ZVC450_DIRENTRY *files, int *fileCount,
                     ZVC450_DIRENTRY *dirs, int *dirCount)
{
    lib().listCapacities.push_back(*fileCount);
    note("RefreshEx", memory);
    if (!fake::validHandle(h) || lib().memory[memory].listFails)
        return fake::fail(ZVC450USB_ERR_USB);
    const fake::Memory &m = lib().memory[memory];
    const auto announced = static_cast<uint32_t>(m.announcedFiles >= 0 ? size_t(m.announcedFiles) : m.files.size());
    *summary = ZVC450_SUMMARY{announced, m.totalBlocks, m.usedBlocks, 0, static_cast<uint32_t>(m.files.size()),
                              static_cast<uint32_t>(m.dirs.size())};
    const int f = std::min<int>(*fileCount, static_cast<int>(m.files.size()));
    const int d = std::min<int>(*dirCount, static_cast<int>(m.dirs.size()));
    for (int i = 0; i < f; ++i)
        files[i] = m.files[static_cast<size_t>(i)];
    for (int i = 0; i < d; ++i)
        dirs[i] = m.dirs[static_cast<size_t>(i)];
    *fileCount = f;
    *dirCount = d;
    return 1;
}

int ZVC450_GetCurrentDirectory(HZVC450 h, int memory, char *buf, int size)
{
    note("GetCurrentDirectory", memory);
    if (!fake::validHandle(h))
        return fake::fail(ZVC450USB_ERR_USB);
    std::snprintf(buf, static_cast<size_t>(size), "%s", lib().memory[memory].path.c_str());
    return 1;
}

int ZVC450_Download(void *, HZVC450 h, int memory, const char *localPath)
{
    note("Download", memory, str(localPath));
    return fake::validHandle(h) && scripted("Download");
}

int ZVC450_Replace(HZVC450 h, int memory, int fileA, int fileB)
{
    note("Replace", memory, fileA, fileB);
    return fake::validHandle(h) && scripted("Replace");
}

int ZVC450_Upload(void *, HZVC450 h, int memory, int fileIndex, const char *localPath, const char *displayName,
                  unsigned size, int kind)
{
    note("Upload", memory, fileIndex, str(localPath), str(displayName), size, kind);
    return fake::validHandle(h) && scripted("Upload");
}

int ZVC450_VerifyFile(void *, HZVC450 h, int memory, int fileIndex, const char *localPath, const char *displayName,
                      unsigned size, long long *firstDifference)
{
    note("VerifyFile", memory, fileIndex, str(localPath), str(displayName), size);
    *firstDifference = -1;
    return fake::validHandle(h) && scripted("VerifyFile");
}

int ZVC450_Delete(void *, HZVC450 h, int memory, int fileIndex, const char *displayName)
{
    note("Delete", memory, fileIndex, str(displayName));
    return fake::validHandle(h) && scripted("Delete");
}

int ZVC450_Rename(HZVC450 h, int memory, int fileIndex, const char *newName, const ZVC450_DIRENTRY *entry)
{
    note("Rename", memory, fileIndex, str(newName), entry->dwFirstCluster);
    return fake::validHandle(h) && scripted("Rename");
}

int ZVC450_ChangeDirectory(HZVC450 h, int memory, unsigned key)
{
    note("ChangeDirectory", memory, key);
    return fake::validHandle(h) && scripted("ChangeDirectory");
}

int ZVC450_MakeDirectory(HZVC450 h, int memory, const char *name)
{
    note("MakeDirectory", memory, str(name));
    return fake::validHandle(h) && scripted("MakeDirectory");
}

int ZVC450_RemoveDirectory(HZVC450 h, int memory, unsigned key)
{
    note("RemoveDirectory", memory, key);
    return fake::validHandle(h) && scripted("RemoveDirectory");
}

int ZVC450_RenameDirectory(HZVC450 h, int memory, const char *newName, const ZVC450_DIRENTRY *entry)
{
    note("RenameDirectory", memory, str(newName), entry->dwFirstCluster);
    return fake::validHandle(h) && scripted("RenameDirectory");
}

int ZVC450_Format(void *, HZVC450 h, int memory)
{
    note("Format", memory);
    return fake::validHandle(h) && scripted("Format");
}

int ZVC450_FormatLow(void *, HZVC450 h, int memory)
{
    note("FormatLow", memory);
    return fake::validHandle(h) && scripted("FormatLow");
}

int ZVC450_UpgradeFirmware(void *, HZVC450 h, int bootCode, int romSelect, const char *imagePath,
                           const char *displayName)
{
    note("UpgradeFirmware", bootCode, romSelect, str(imagePath), str(displayName));
    std::ifstream image(imagePath, std::ios::binary);
    lib().firmwareImage.assign(std::istreambuf_iterator<char>(image), std::istreambuf_iterator<char>());
    return fake::validHandle(h) && scripted("UpgradeFirmware");
}

int ZVC450_DownloadFont(void *, HZVC450 h, const char *fontPath)
{
    note("DownloadFont", str(fontPath));
    return fake::validHandle(h) && scripted("DownloadFont");
}

int ZVC450_GetFontInfo(HZVC450 h, ZVC450_FONTINFO *info)
{
    if (!fake::validHandle(h) || !lib().hasFont)
        return fake::fail(ZVC450USB_ERR_INTERNAL);
    *info = lib().font;
    return 1;
}

int ZVC450_EraseFont(HZVC450 h)
{
    note("EraseFont");
    return fake::validHandle(h) && scripted("EraseFont");
}

int ZVC450_UploadFont(void *, HZVC450 h, const char *fontPath, const char *displayName, unsigned size)
{
    note("UploadFont", str(fontPath), str(displayName), size);
    return fake::validHandle(h) && scripted("UploadFont");
}

int ZVC450_UploadRawData(void *, HZVC450 h, int memory, unsigned firstBlock, unsigned blockCount,
                         const char *localPath, const char *displayName, unsigned size)
{
    note("UploadRawData", memory, firstBlock, blockCount, str(localPath), str(displayName), size);
    return fake::validHandle(h) && scripted("UploadRawData");
}

} // extern "C"
