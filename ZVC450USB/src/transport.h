// transport.h - the link between the library and the player.
//
// The rest of the library never sees the USB: it talks to a Transport, which
// moves raw byte blocks on the player's two bulk pipes (OUT 0x02, IN 0x83),
// sends the one vendor control request the protocol uses and drops transfers
// left pending on a pipe.  Two backends exist: UsbTransport drives a real
// player through libusb-1.0, VusbTransport talks to the emulated player over
// the virtual USB link (a SOCK_SEQPACKET socket named by ZVC450_VUSB).
//
// Time-outs are in milliseconds; 0 means "wait as long as it takes", as with
// libusb.  Every transfer is synchronous and happens on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zvc450 {

// Endpoints and control request of the player.
constexpr uint8_t kEndpointOut = 0x02;       // commands and data to the player
constexpr uint8_t kEndpointIn = 0x83;        // answers and data from the player
constexpr uint8_t kEndpointInLegacy = 0x82;  // flushed on open like 0x83, never used otherwise
constexpr int kInterfaceNumber = 0;

// Vendor OUT request without data: the player stops the file transfer that is
// running and answers the status stage once it has done so.
constexpr uint8_t kAbortSetup[8] = {0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// Built-in identifiers of the player, tried after the user's own pair.
struct UsbId {
    uint16_t vid;
    uint16_t pid;
};
constexpr UsbId kBuiltinIdA = {0x0419, 0xA001};
constexpr UsbId kBuiltinIdB = {0x04E8, 0x1003};

// Candidate pairs in search order: the user's pair when both of its values
// are non-zero, then A, then B.
std::vector<UsbId> candidateIds(unsigned userVid, unsigned userPid);

// Environment variable that selects the virtual link and names its socket.
constexpr const char *kVusbEnv = "ZVC450_VUSB";

class Transport {
public:
    enum class OpenStatus {
        Opened,            // the player is open and its interface claimed
        StackUnavailable,  // the USB stack could not be initialised (library error 1)
        NoDevice,          // nothing attached answers to a candidate pair
        SystemError,       // found but not usable; sysError holds the errno (library error 6)
    };

    virtual ~Transport() = default;

    // Finds the first attached device whose ids match a candidate, trying the
    // candidates in order, opens it and claims interface 0, alternate setting 0.
    virtual OpenStatus open(const std::vector<UsbId> &candidates, int *sysError) = 0;
    // Releases the device.  Safe to call when not open.
    virtual void close() = 0;
    // Connection test: is a device with one of the candidate ids attached?
    // Does not claim anything and leaves this object closed.
    virtual bool present(const std::vector<UsbId> &candidates) = 0;

    // Non-zero identifiers of the open link ("hWD", "hDevice" of the record).
    virtual uint32_t linkId() const = 0;
    virtual uint32_t deviceId() const = 0;

    // One bulk OUT transfer of len bytes; returns the bytes written or -1.
    // Ctrl-C on a terminal ends the wait with -1 (interrupt.h).
    virtual int write(const void *buf, int len, unsigned timeoutMs) = 0;
    // One bulk IN transfer of at most len bytes into buf; returns the bytes
    // read (fewer than len is a short read, not an error) or -1 on failure,
    // time-out or when the device had more to give than len (overflow).
    // Ctrl-C on a terminal ends the wait with -1 (interrupt.h).  Whatever
    // else the device sends meanwhile does not extend the time-out.
    virtual int read(void *buf, int len, unsigned timeoutMs) = 0;
    // Vendor OUT control request without data stage; 0 or -1.
    virtual int controlOut(const uint8_t setup[8], unsigned timeoutMs) = 0;
    // Drops whatever is pending on an endpoint (the "halt pending" step).
    virtual void cancelPending(uint8_t endpoint, unsigned timeoutMs) = 0;
    // Reads and discards IN data until the pipe stays quiet for quietMs, but
    // no longer than limitMs in all and no more than maxBytes: a device that
    // keeps sending must not hold the caller.
    virtual void drainIn(unsigned quietMs, unsigned limitMs, size_t maxBytes) = 0;
    // True when the status stage of the abort request comes after every IN
    // transfer of the transfer it stops, and controlOut() drops those: then
    // the abort request alone brings the link back in step, at the cost of
    // one round trip.  On a real USB bus nothing orders the two pipes.
    virtual bool abortDropsQueuedIn() const { return false; }
};

// The backend for this process: the virtual link when ZVC450_VUSB names a
// socket path, else libusb.
std::unique_ptr<Transport> makeTransport();
std::unique_ptr<Transport> makeUsbTransport();
std::unique_ptr<Transport> makeVusbTransport(const std::string &socketPath);

}  // namespace zvc450
