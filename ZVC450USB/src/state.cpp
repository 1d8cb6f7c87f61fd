// state.cpp - library-wide state, the handle record and the frame exports.

#include "protocol.h"

#include <dlfcn.h>

#include <cerrno>
#include <new>

namespace zvc450 {

LibraryState g_lib;

Transport *transportOf(HZVC450 h)
{
    DeviceRecord *rec = record(h);
    if (!rec || !rec->hWD || !rec->hDevice)
        return nullptr;
    return rec->transport.get();
}

std::vector<UsbId> candidateIds(unsigned userVid, unsigned userPid)
{
    std::vector<UsbId> ids;
    if (userVid != 0 && userPid != 0)
        ids.push_back({uint16_t(userVid), uint16_t(userPid)});
    ids.push_back(kBuiltinIdA);
    ids.push_back(kBuiltinIdB);
    return ids;
}

namespace {

// The library's "module handle" is its load address, which is what a module
// instance handle is on the platform the interface comes from.
__attribute__((constructor)) void rememberModule()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&rememberModule), &info) && info.dli_fbase)
        g_lib.moduleHandle = info.dli_fbase;
}

void clearIdentification()
{
    g_lib.fwText = nullptr;
    g_lib.fwTextBuf[0] = '\0';
    g_lib.effectiveFw = 0;
}

}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_Open(HZVC450 *handle)
{
    if (!handle)
        return 0;
    DeviceRecord *given = record(*handle);
    // A record handed back for reuse must be closed (both ids zero).
    if (given && (given->hWD || given->hDevice || given->transport))
        return 0;
    // One player per process.
    if (g_lib.openCount != 0)
        return 0;

    std::unique_ptr<Transport> link = makeTransport();
    int sysError = 0;
    Transport::OpenStatus status =
        link->open(candidateIds(g_lib.userVid, g_lib.userPid), &sysError);
    switch (status) {
    case Transport::OpenStatus::StackUnavailable:
        g_lib.driverVersion = 0;
        return fail(ZVC450USB_ERR_DEVICEDRIVER_OPEN);
    case Transport::OpenStatus::NoDevice:
        // The program tests the connection before it opens; like the
        // original, a missing player leaves the error code alone.
        g_lib.driverVersion = kDriverVersion;
        return 0;
    case Transport::OpenStatus::SystemError:
        g_lib.driverVersion = kDriverVersion;
        return failSystem(sysError ? sysError : EIO);
    case Transport::OpenStatus::Opened:
        break;
    }
    g_lib.driverVersion = kDriverVersion;

    DeviceRecord *rec = given;
    if (!rec) {
        rec = new (std::nothrow) DeviceRecord{};
        if (!rec)
            return fail(ZVC450USB_ERR_MEMORY_ALLOC);
    }
    rec->hWD = link->linkId();
    rec->hDevice = link->deviceId();
    rec->transport = std::move(link);
    g_lib.openCount += 1;

    // Drop whatever a previous session left pending on the IN pipes.
    rec->transport->cancelPending(kEndpointInLegacy, g_lib.recvTimeoutMs);
    rec->transport->cancelPending(kEndpointIn, g_lib.recvTimeoutMs);

    *handle = rec;
    // Identification failures do not fail the open: the effective version
    // then falls back to the expected one (or 0, the oldest protocol).
    ZVC450_RetrieveFirmwareVersion(rec);
    return 1;
}

ZVC450_API int ZVC450_Close(HZVC450 h)
{
    clearIdentification();
    DeviceRecord *rec = record(h);
    if (!rec || !rec->transport || g_lib.openCount != 1)
        return 0;
    rec->transport->close();
    *rec = DeviceRecord{};
    g_lib.openCount -= 1;
    return 1;
}

ZVC450_API int ZVC450_Free(HZVC450 h)
{
    DeviceRecord *rec = record(h);
    if (!rec)
        return 0;
    // Freeing an open record would leave the link (and the one-player slot)
    // held for the rest of the process; close it first.
    if (rec->transport)
        ZVC450_Close(rec);
    delete rec;
    return 1;
}

ZVC450_API int ZVC450_IsValidHandle(HZVC450 h)
{
    if (g_lib.driverVersion == 0)
        return 0;
    const DeviceRecord *rec = record(h);
    return rec && rec->hWD != 0 && rec->hDevice != 0 ? 1 : 0;
}

ZVC450_API void *ZVC450_GetModuleHandle(void) { return g_lib.moduleHandle; }

ZVC450_API int ZVC450_GetError(void) { return g_lib.error; }

ZVC450_API int ZVC450_SetError(int code)
{
    g_lib.error = code;
    return code;
}

ZVC450_API int ZVC450_GetInternalError(void) { return g_lib.internalError; }

ZVC450_API int ZVC450_SetInternalError(int code)
{
    g_lib.error = ZVC450USB_ERR_INTERNAL;
    g_lib.internalError = code;
    return code;
}

ZVC450_API unsigned ZVC450_GetWindowsError(void) { return g_lib.sysError; }

ZVC450_API unsigned ZVC450_SetWindowsError(unsigned code)
{
    if (code == 0)
        code = static_cast<unsigned>(errno);
    g_lib.error = ZVC450USB_ERR_WINDOWS;
    g_lib.sysError = code;
    return code;
}

ZVC450_API void ZVC450_SetTimeout(unsigned recvMs, unsigned sendMs)
{
    // Both USB stacks wait for ever on a time-out of 0, and a player that stops
    // answering would then hold the caller for good: 0 stands for the default.
    g_lib.recvTimeoutMs = recvMs ? recvMs : kDefaultRecvTimeoutMs;
    g_lib.sendTimeoutMs = sendMs ? sendMs : kDefaultSendTimeoutMs;
}

ZVC450_API void ZVC450_SetUserUSBID(unsigned vid, unsigned pid)
{
    g_lib.userVid = vid;
    g_lib.userPid = pid;
}

ZVC450_API unsigned ZVC450_GetExpectedFirmwareVersion(void) { return g_lib.expectedFw; }

ZVC450_API unsigned ZVC450_SetExpectedFirmwareVersion(unsigned version)
{
    g_lib.expectedFw = version;
    g_lib.effectiveFw = version != 0 ? version : g_lib.reportedFw;
    return version;
}

}  // extern "C"
