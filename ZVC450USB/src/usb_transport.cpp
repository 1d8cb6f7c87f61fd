// usb_transport.cpp - a real player through libusb-1.0.
//
// The player has one interface with two bulk pipes: 0x02 carries commands and
// data to it, 0x83 answers and data from it.  All transfers are synchronous
// for the caller; nothing can be pending between calls, so "cancel pending" is
// a clear-halt that also resets the pipe's data toggle after an interrupted
// session.

#include "transport.h"

#include "interrupt.h"

#include <libusb.h>

#include <sys/time.h>

#include <cerrno>
#include <chrono>

namespace zvc450 {
namespace {

// libusb's error codes as errno values, for library error 6.
int errnoOf(int usbError)
{
    switch (usbError) {
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return ENOENT;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    default: return EIO;
    }
}

// Reads per drain are 16 KiB; the caller bounds their number and time.
constexpr int kDrainChunk = 16384;

// A transfer that Ctrl-C may end looks at it this often.
constexpr int kInterruptSliceMs = 100;

extern "C" void LIBUSB_CALL OnTransferDone(libusb_transfer *transfer)
{
    *static_cast<int *>(transfer->user_data) = 1;
}

class UsbTransport final : public Transport {
public:
    ~UsbTransport() override
    {
        close();
        exitContext();
    }

    OpenStatus open(const std::vector<UsbId> &candidates, int *sysError) override
    {
        close();
        if (!initContext())
            return OpenStatus::StackUnavailable;
        libusb_device *dev = findDevice(candidates);
        if (!dev)
            return OpenStatus::NoDevice;

        libusb_device_handle *h = nullptr;
        int r = libusb_open(dev, &h);
        const uint32_t id = uint32_t(libusb_get_bus_number(dev)) << 8 | libusb_get_device_address(dev);
        libusb_unref_device(dev);
        if (r != 0)
            return failOpen(r, sysError);

        libusb_set_auto_detach_kernel_driver(h, 1);
        r = libusb_claim_interface(h, kInterfaceNumber);
        if (r != 0) {
            libusb_close(h);
            return failOpen(r, sysError);
        }
        // Some firmware stalls SET_INTERFACE on its only alternate setting;
        // the interface is usable either way.
        libusb_set_interface_alt_setting(h, kInterfaceNumber, 0);
        handle_ = h;
        deviceId_ = id ? id : 1;
        return OpenStatus::Opened;
    }

    void close() override
    {
        if (handle_) {
            libusb_release_interface(handle_, kInterfaceNumber);
            libusb_close(handle_);
            handle_ = nullptr;
        }
        deviceId_ = 0;
    }

    bool present(const std::vector<UsbId> &candidates) override
    {
        if (!initContext())
            return false;
        libusb_device *dev = findDevice(candidates);
        if (!dev)
            return false;
        libusb_unref_device(dev);
        return true;
    }

    uint32_t linkId() const override { return handle_ ? 1 : 0; }
    uint32_t deviceId() const override { return handle_ ? deviceId_ : 0; }

    int write(const void *buf, int len, unsigned timeoutMs) override
    {
        return interruptibleBulk(kEndpointOut, const_cast<void *>(buf), len, timeoutMs);
    }

    int read(void *buf, int len, unsigned timeoutMs) override
    {
        return interruptibleBulk(kEndpointIn, buf, len, timeoutMs);
    }

    int controlOut(const uint8_t setup[8], unsigned timeoutMs) override
    {
        if (!handle_)
            return -1;
        const uint16_t value = uint16_t(setup[2] | setup[3] << 8);
        const uint16_t index = uint16_t(setup[4] | setup[5] << 8);
        int r = libusb_control_transfer(handle_, setup[0], setup[1], value, index, nullptr, 0, timeoutMs);
        return r < 0 ? -1 : r;
    }

    void cancelPending(uint8_t endpoint, unsigned) override
    {
        if (handle_)
            libusb_clear_halt(handle_, endpoint);  // a missing endpoint is refused harmlessly
    }

    void drainIn(unsigned quietMs, unsigned limitMs, size_t maxBytes) override
    {
        if (!handle_)
            return;
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
        std::vector<unsigned char> scratch(kDrainChunk);
        for (size_t dropped = 0; dropped < maxBytes;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0)
                return;
            const unsigned wait = quietMs ? quietMs : 1;
            int got = 0;
            if (libusb_bulk_transfer(handle_, kEndpointIn, scratch.data(), kDrainChunk, &got,
                                     left < wait ? unsigned(left) : wait) != 0)
                return;
            dropped += size_t(got);
        }
    }

private:
    bool initContext()
    {
        if (ctx_)
            return true;
        if (libusb_init(&ctx_) != 0) {
            ctx_ = nullptr;
            return false;
        }
        return true;
    }

    void exitContext()
    {
        if (ctx_)
            libusb_exit(ctx_);
        ctx_ = nullptr;
    }

    // First device matching the first candidate that matches anything, with
    // a reference held for the caller.
    libusb_device *findDevice(const std::vector<UsbId> &candidates)
    {
        libusb_device **list = nullptr;
        ssize_t count = libusb_get_device_list(ctx_, &list);
        if (count < 0)
            return nullptr;
        libusb_device *found = nullptr;
        for (const UsbId &id : candidates) {
            for (ssize_t i = 0; i < count && !found; ++i) {
                libusb_device_descriptor desc{};
                if (libusb_get_device_descriptor(list[i], &desc) == 0 &&
                    desc.idVendor == id.vid && desc.idProduct == id.pid)
                    found = libusb_ref_device(list[i]);
            }
            if (found)
                break;
        }
        libusb_free_device_list(list, 1);
        return found;
    }

    static OpenStatus failOpen(int usbError, int *sysError)
    {
        if (sysError)
            *sysError = errnoOf(usbError);
        return OpenStatus::SystemError;
    }

    // One bulk transfer that Ctrl-C may end (interrupt.h).  libusb's
    // synchronous call sleeps through signals, so the transfer is submitted
    // and its events handled in slices that look at the interrupt in between.
    int interruptibleBulk(uint8_t endpoint, void *buf, int len, unsigned timeoutMs)
    {
        if (!handle_ || len < 0 || (len > 0 && !buf))
            return -1;
        InterruptScope interrupts;
        libusb_transfer *t = libusb_alloc_transfer(0);
        if (!t)
            return -1;
        int completed = 0;
        libusb_fill_bulk_transfer(t, handle_, endpoint, static_cast<unsigned char *>(buf), len, OnTransferDone,
                                  &completed, timeoutMs);
        if (libusb_submit_transfer(t) != 0) {
            libusb_free_transfer(t);
            return -1;
        }
        bool cancelled = false;
        while (!completed) {
            if (!cancelled && WaitInterrupted()) {
                libusb_cancel_transfer(t);
                cancelled = true;
            }
            struct timeval slice = {0, kInterruptSliceMs * 1000};
            const int r = libusb_handle_events_timeout_completed(ctx_, &slice, &completed);
            // As libusb's own synchronous call does: on a failure of the
            // event handling the transfer is cancelled, and its completion
            // still awaited (the buffer is ours until then).
            if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED && !cancelled) {
                libusb_cancel_transfer(t);
                cancelled = true;
            }
        }
        const int result = t->status == LIBUSB_TRANSFER_COMPLETED ? t->actual_length : -1;
        libusb_free_transfer(t);
        return result;
    }

    libusb_context *ctx_ = nullptr;
    libusb_device_handle *handle_ = nullptr;
    uint32_t deviceId_ = 0;
};

}  // namespace

std::unique_ptr<Transport> makeUsbTransport()
{
    return std::make_unique<UsbTransport>();
}

}  // namespace zvc450
