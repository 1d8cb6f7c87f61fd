// The libusb transport against a player emulated at the kernel's usbfs
// interface with umockdev: the device appears in a mocked sysfs and /dev,
// and every usbfs ioctl that libusb sends on its node (claim, URB submit,
// reap, discard, clear-halt ...) lands in handleIoctl below, which plays the
// player's two bulk pipes and its control pipe.
//
// The test binary must start with libumockdev-preload.so in LD_PRELOAD (the
// ctest entry sets it); without it the mocked /sys and /dev are not seen.

#include "transport.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <linux/capability.h>
#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using zvc450::Transport;

constexpr const char *kSysfsPath = "/devices/usb1/1-1";
constexpr const char *kDevNode = "/dev/bus/usb/001/002";

// Device descriptor and configuration 1: one interface, bulk OUT 0x02 and
// bulk IN 0x83, 64-byte packets (full speed), as the player reports them.
Bytes Descriptors(uint16_t vid, uint16_t pid)
{
    Bytes d = {18, 1, 0x10, 0x01, 0xFF, 0x00, 0x00, 64, uint8_t(vid), uint8_t(vid >> 8), uint8_t(pid),
               uint8_t(pid >> 8), 0x00, 0x01, 0, 0, 0, 1};
    const Bytes config = {9, 2, 32, 0, 1, 1, 0, 0x80, 50,          // configuration, 32 bytes in all
                          9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0,      // interface 0, alternate 0
                          7, 5, 0x02, 2, 64, 0, 0,                 // bulk OUT 0x02
                          7, 5, 0x83, 2, 64, 0, 0};                // bulk IN 0x83
    d.insert(d.end(), config.begin(), config.end());
    return d;
}

// The player's side of usbfs, run by umockdev on its own thread.
struct MockPlayer {
    std::mutex lock;
    // One submitted URB that has not been reaped yet.
    struct Urb {
        UMockdevIoctlData *data;  // the client's struct usbdevfs_urb (a reference we hold)
        UMockdevIoctlData *buffer;
        bool done = false;
        int status = 0;
        int actual = 0;
    };
    std::deque<Urb> urbs;
    std::deque<Bytes> inQueue;      // what the player has to send on 0x83, one transfer each
    std::vector<Bytes> outWritten;  // what arrived on 0x02
    std::vector<Bytes> setups;      // control requests received
    std::vector<unsigned> claimed, cleared;
    int claimErrno = 0;             // non-zero: CLAIMINTERFACE fails with it
    bool unplugged = false;         // every ioctl fails with ENODEV
    bool unplugOnNextIn = false;    // the cable comes out once an IN transfer is pending

    ~MockPlayer() { Clear(); }
    void Clear()
    {
        for (Urb &u : urbs) {
            g_object_unref(u.buffer);
            g_object_unref(u.data);
        }
        urbs.clear();
    }

    // Completes pending IN URBs from inQueue.
    void Serve()
    {
        for (Urb &u : urbs) {
            auto *urb = reinterpret_cast<usbdevfs_urb *>(u.data->data);
            if (u.done || urb->type != USBDEVFS_URB_TYPE_BULK || !(urb->endpoint & 0x80) || inQueue.empty())
                continue;
            Bytes &next = inQueue.front();
            if (int(next.size()) > urb->buffer_length) {
                u.status = -EOVERFLOW;
            } else {
                std::memcpy(u.buffer->data, next.data(), next.size());
                u.actual = int(next.size());
            }
            inQueue.pop_front();
            u.done = true;
        }
    }

    // The memory an ioctl's pointer argument points at, read from the client
    // (null when it cannot be read).  Changes to it go back to the client
    // when the ioctl completes.
    static UMockdevIoctlData *Deref(UMockdevIoctlData *arg, size_t len)
    {
        GError *error = nullptr;
        UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, len, &error);
        g_clear_error(&error);
        return d;
    }
    static unsigned UnsignedAt(UMockdevIoctlData *arg)
    {
        UMockdevIoctlData *d = Deref(arg, sizeof(unsigned));
        unsigned v = ~0u;
        if (d) {
            std::memcpy(&v, d->data, sizeof v);
            g_object_unref(d);
        }
        return v;
    }

    gboolean Handle(UMockdevIoctlClient *client)
    {
        std::lock_guard<std::mutex> g(lock);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
        if (unplugged && !reap) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData *caps = Deref(arg, sizeof(uint32_t));
            const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(caps->data, &value, sizeof value);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(caps);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:  // the claim with auto-detach; the interface number comes first
            if (claimErrno) {
                umockdev_ioctl_client_complete(client, -1, claimErrno);
                return TRUE;
            }
            claimed.push_back(UnsignedAt(arg));
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_CLEAR_HALT:
            cleared.push_back(UnsignedAt(arg));
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_GETDRIVER:  // no kernel driver holds the interface
        case USBDEVFS_IOCTL:      // so there is none to disconnect
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_RESET:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData *urbData = Deref(arg, sizeof(usbdevfs_urb));
            auto *urb = urbData ? reinterpret_cast<usbdevfs_urb *>(urbData->data) : nullptr;
            GError *error = nullptr;
            UMockdevIoctlData *buffer =
                urb ? umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                                  gsize(urb->buffer_length), &error)
                    : nullptr;
            g_clear_error(&error);
            if (!buffer) {
                if (urbData)
                    g_object_unref(urbData);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
            Urb u{urbData, buffer};
            if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
                setups.emplace_back(buffer->data, buffer->data + 8);
                u.done = true;
            } else if (!(urb->endpoint & 0x80)) {
                outWritten.emplace_back(buffer->data, buffer->data + urb->buffer_length);
                u.actual = urb->buffer_length;
                u.done = true;
            }
            const bool in = urb->endpoint & 0x80;
            urbs.push_back(u);
            umockdev_ioctl_client_complete(client, 0, 0);
            if (!in || !unplugOnNextIn)
                Serve();
            return TRUE;
        }
        case USBDEVFS_DISCARDURB: {
            const unsigned long addr = reinterpret_cast<unsigned long>(*reinterpret_cast<void **>(arg->data));
            for (Urb &u : urbs)
                if (u.data->client_addr == addr && !u.done) {
                    u.done = true;
                    u.status = -ENOENT;
                    umockdev_ioctl_client_complete(client, 0, 0);
                    return TRUE;
                }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            // The cable comes out: as usbfs does on a disconnect, every URB
            // still in flight completes with -ESHUTDOWN and can be reaped once;
            // after that every ioctl fails with ENODEV.
            if (unplugOnNextIn && !unplugged) {
                for (Urb &u : urbs) {
                    auto *urb = reinterpret_cast<usbdevfs_urb *>(u.data->data);
                    if (!u.done && (urb->endpoint & 0x80))
                        unplugged = true;
                }
                for (Urb &u : urbs)
                    if (unplugged && !u.done) {
                        u.done = true;
                        u.status = -ESHUTDOWN;
                    }
            }
            for (auto it = urbs.begin(); it != urbs.end(); ++it) {
                if (!it->done)
                    continue;
                auto *urb = reinterpret_cast<usbdevfs_urb *>(it->data->data);
                urb->status = it->status;
                urb->actual_length = it->actual;
                // *arg = the client's address of the URB, whose fields go back with it.
                UMockdevIoctlData *slot = Deref(arg, sizeof(void *));
                if (!slot) {
                    umockdev_ioctl_client_complete(client, -1, EFAULT);
                    return TRUE;
                }
                umockdev_ioctl_data_set_ptr(slot, 0, it->data);
                umockdev_ioctl_client_complete(client, 0, 0);
                g_object_unref(slot);
                g_object_unref(it->buffer);
                g_object_unref(it->data);
                urbs.erase(it);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, -1, unplugged ? ENODEV : EAGAIN);
            return TRUE;
        }
        default:
            return FALSE;  // umockdev answers ENOTTY
        }
    }
};

gboolean OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
{
    return static_cast<MockPlayer *>(self)->Handle(client);
}

class UsbTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testbed_ = umockdev_testbed_new();
        handler_ = umockdev_ioctl_base_new();
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), &player_);
    }
    void TearDown() override
    {
        transport_.reset();  // closes before the device goes away
        if (testbed_)
            g_object_unref(testbed_);
        if (handler_)
            g_object_unref(handler_);
    }

    // Plugs in a player with these ids: its sysfs directory (attributes,
    // binary descriptors), its udev properties and its usbfs node.
    void Plug(uint16_t vid = 0x0419, uint16_t pid = 0xA001)
    {
        std::string hex;
        for (uint8_t b : Descriptors(vid, pid)) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        char ids[64];
        std::snprintf(ids, sizeof ids, "A: idVendor=%04x\nA: idProduct=%04x\n", vid, pid);
        const std::string description = std::string("P: ") + kSysfsPath + "\n"
                                        "N: bus/usb/001/002\n"
                                        "E: SUBSYSTEM=usb\n"
                                        "E: DEVTYPE=usb_device\n"
                                        "E: DEVNAME=/dev/bus/usb/001/002\n"
                                        "E: BUSNUM=001\n"
                                        "E: DEVNUM=002\n"
                                        "A: busnum=1\n"
                                        "A: devnum=2\n"
                                        "A: dev=189:1\n"
                                        "A: speed=12\n"
                                        "A: bConfigurationValue=1\n"
                                        "A: bNumConfigurations=1\n" +
                                        ids + "H: descriptors=" + hex + "\n";
        GError *error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description.c_str(), &error))
            << (error ? error->message : "");
        // Only true once the preloaded library sees the testbed's /sys.
        ASSERT_TRUE(umockdev_in_mock_environment()) << "run with libumockdev-preload.so in LD_PRELOAD";
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed_, kDevNode, handler_, &error))
            << (error ? error->message : "");
    }

    Transport::OpenStatus Open(std::vector<zvc450::UsbId> ids = zvc450::candidateIds(0, 0), int *err = nullptr)
    {
        transport_ = zvc450::makeUsbTransport();
        int e = 0;
        const auto status = transport_->open(ids, &e);
        if (err)
            *err = e;
        return status;
    }

    UMockdevTestbed *testbed_ = nullptr;
    UMockdevIoctlBase *handler_ = nullptr;
    MockPlayer player_;
    std::unique_ptr<Transport> transport_;
};

TEST_F(UsbTransportTest, FindsThePlayerByItsIdsInCandidateOrder)
{
    Plug(0x04E8, 0x1003);  // answers only to built-in pair B
    auto t = zvc450::makeUsbTransport();
    EXPECT_TRUE(t->present(zvc450::candidateIds(0, 0)));
    EXPECT_TRUE(t->present(zvc450::candidateIds(0x1234, 0x5678)));
    EXPECT_FALSE(t->present({{0x0419, 0xA001}}));
    EXPECT_FALSE(t->present({{0x1234, 0x5678}}));
    // present() neither opens nor claims.
    EXPECT_EQ(t->deviceId(), 0u);
    EXPECT_TRUE(player_.claimed.empty());
    EXPECT_EQ(Open({{0x1234, 0x5678}}), Transport::OpenStatus::NoDevice);
}

TEST_F(UsbTransportTest, OpensClaimsInterfaceZeroAndClosesAgain)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    EXPECT_EQ(transport_->deviceId(), (1u << 8) | 2u);  // bus 1, address 2
    EXPECT_NE(transport_->linkId(), 0u);
    EXPECT_EQ(player_.claimed, std::vector<unsigned>{0});
    transport_->close();
    EXPECT_EQ(transport_->deviceId(), 0u);
    EXPECT_EQ(transport_->write("x", 1, 100), -1);  // closed: refused without touching the device
}

TEST_F(UsbTransportTest, BulkOutAndInCarryThePacketsAndShortReadsCount)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    Bytes command(512, 0);
    command[0] = 'G';
    command[511] = 0x5A;
    EXPECT_EQ(transport_->write(command.data(), 512, 1000), 512);
    ASSERT_EQ(player_.outWritten.size(), 1u);
    EXPECT_EQ(player_.outWritten[0], command);

    {
        std::lock_guard<std::mutex> g(player_.lock);
        player_.inQueue.push_back(Bytes(512, 0xA5));
        player_.inQueue.push_back(Bytes(100, 0x11));  // a short packet
        player_.inQueue.push_back(Bytes(16384, 0x22));
    }
    Bytes in(16384);
    EXPECT_EQ(transport_->read(in.data(), 512, 1000), 512);
    EXPECT_EQ(in[0], 0xA5);
    EXPECT_EQ(in[511], 0xA5);
    EXPECT_EQ(transport_->read(in.data(), 512, 1000), 100);
    EXPECT_EQ(in[99], 0x11);
    EXPECT_EQ(transport_->read(in.data(), 16384, 1000), 16384);
    EXPECT_EQ(in[16383], 0x22);
}

TEST_F(UsbTransportTest, ReadTimesOutWhenThePlayerSendsNothing)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    Bytes in(512);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport_->read(in.data(), 512, 200), -1);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 5000);
    // The timed-out URB was discarded and reaped: the next answer arrives in order.
    {
        std::lock_guard<std::mutex> g(player_.lock);
        EXPECT_TRUE(player_.urbs.empty());
        player_.inQueue.push_back(Bytes(512, 0x42));
    }
    EXPECT_EQ(transport_->read(in.data(), 512, 1000), 512);
    EXPECT_EQ(in[0], 0x42);
}

TEST_F(UsbTransportTest, MoreDataThanAskedForIsAnOverflowFailure)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    {
        std::lock_guard<std::mutex> g(player_.lock);
        player_.inQueue.push_back(Bytes(1024, 0x33));
    }
    Bytes in(512);
    EXPECT_EQ(transport_->read(in.data(), 512, 1000), -1);
}

TEST_F(UsbTransportTest, AbortIsTheVendorControlRequestAndCancelClearsTheHalt)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    EXPECT_EQ(transport_->controlOut(zvc450::kAbortSetup, 1000), 0);
    ASSERT_EQ(player_.setups.size(), 1u);
    EXPECT_EQ(player_.setups[0], Bytes(zvc450::kAbortSetup, zvc450::kAbortSetup + 8));
    transport_->cancelPending(zvc450::kEndpointIn, 100);
    EXPECT_EQ(player_.cleared, std::vector<unsigned>{zvc450::kEndpointIn});
}

TEST_F(UsbTransportTest, UnplugDuringATransferFailsItAndThePlayerIsGone)
{
    Plug();
    ASSERT_EQ(Open(), Transport::OpenStatus::Opened);
    {
        std::lock_guard<std::mutex> g(player_.lock);
        player_.unplugOnNextIn = true;
    }
    Bytes in(16384);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport_->read(in.data(), 16384, 10000), -1);
    // Failed at once, not after the ten-second time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(transport_->write("x", 1, 1000), -1);
    umockdev_testbed_remove_device(testbed_, (std::string("/sys") + kSysfsPath).c_str());
    transport_->close();
    auto t = zvc450::makeUsbTransport();
    EXPECT_FALSE(t->present(zvc450::candidateIds(0, 0)));
    EXPECT_EQ(Open(), Transport::OpenStatus::NoDevice);
}

TEST_F(UsbTransportTest, InterfaceHeldElsewhereIsASystemErrorWithItsErrno)
{
    Plug();
    player_.claimErrno = EBUSY;
    int err = 0;
    EXPECT_EQ(Open(zvc450::candidateIds(0, 0), &err), Transport::OpenStatus::SystemError);
    EXPECT_EQ(err, EBUSY);
}

// Without write access to the device node (no udev rule for the player) the
// open fails with EACCES, which the library reports as error 6.  As root the
// test drops CAP_DAC_OVERRIDE from its effective set for the open.
bool SetDacOverride(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bits = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH;
    data[0].effective = on ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
    return syscall(SYS_capset, &header, data) == 0;
}

TEST_F(UsbTransportTest, NodeWithoutWriteAccessIsEacces)
{
    Plug();
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    const std::string node = std::string(root) + kDevNode;
    g_free(root);
    ASSERT_EQ(chmod(node.c_str(), 0444), 0);
    if (geteuid() == 0) {
        ASSERT_TRUE(SetDacOverride(false));
    }
    int err = 0;
    const auto status = Open(zvc450::candidateIds(0, 0), &err);
    if (geteuid() == 0)
        SetDacOverride(true);
    EXPECT_EQ(status, Transport::OpenStatus::SystemError);
    EXPECT_EQ(err, EACCES);
    EXPECT_TRUE(player_.claimed.empty());
}

}  // namespace
