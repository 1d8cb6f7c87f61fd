// Connection test, open and close, and firmware identification over the
// virtual USB link with a scripted player.  Each test runs in its own process
// (the library's state is process-wide).

#include "data_phase.h"
#include "fake_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace zvc450;
using namespace zvc450test;

namespace {

const std::string kSig = "BRIGHTFEN ZVC450 FILE SYSTEM";

struct Opened {
    HZVC450 h = nullptr;
    ~Opened()
    {
        if (h) {
            ZVC450_Close(h);
            ZVC450_Free(h);
        }
    }
};

}  // namespace

TEST(Identify, VersionTextsAndWordCounts)
{
    struct Row {
        std::string body;
        unsigned version;
        const char *text;  // null: same as body
    } rows[] = {
        {kSig + " a b c d 1.43", 0x14300, nullptr},
        {kSig + " a b c d v1.43", 0x12500, nullptr},
        {kSig + " a b c d", 0x12500, nullptr},
        {kSig + " a b c", 0x12000, nullptr},
        {kSig + " a b", 0, nullptr},
        {kSig + " MP3 PLAYER BY BRIGHTFEN 1.30", 0x13000, nullptr},
        {kSig + " a b c d 1.5", 0x15000, nullptr},
        {kSig + " a b c d 10.01", 0x100100, nullptr},
        {kSig + "Xa b c d 1.43", 0, nullptr},
        {"SOMETHING ELSE ENTIRELY, LONG ENOUGH", 0, ""},
        {"SHORT", 0, ""},
        {kSig + " with a long tail of words that goes past sixty-three characters 1.43", 0x12500,
         "BRIGHTFEN ZVC450 FILE SYSTEM with a long tail of words that goe"},
    };
    for (const Row &row : rows) {
        FakePlayer player;
        player.useForLibrary();
        player.answerNext(framedAnswer(row.body));
        Opened o;
        ASSERT_EQ(ZVC450_Open(&o.h), 1) << row.body;
        EXPECT_EQ(ZVC450_GetFirmwareVersion(), row.version) << row.body;
        ASSERT_NE(ZVC450_GetFirmwareVersionString(), nullptr) << row.body;
        EXPECT_STREQ(ZVC450_GetFirmwareVersionString(), row.text ? row.text : row.body.c_str());
        EXPECT_EQ(effectiveFirmware(), row.version);
        EXPECT_EQ(player.outTransfers().at(0)[4], 'Y');
    }
}

TEST(Identify, ParseVersion)
{
    struct Row {
        const char *text;
        unsigned version;
    } rows[] = {
        {"1.43", 0x14300}, {"1.2", 0x12000}, {"1.25", 0x12500}, {"2", 0x20000},
        {"1.5", 0x15000},  {"10.01", 0x100100}, {"v1.43", 0}, {".5", 0x5000},
        {"1.43 beta", 0x14300}, {"12345", 0x12340000}, {"1.23456", 0x12345}, {"", 0},
    };
    for (const Row &row : rows)
        EXPECT_EQ(parseVersion(row.text, std::strlen(row.text)), row.version) << row.text;
}

TEST(Identify, ExpectedVersionOverridesAndCloseClears)
{
    FakePlayer player;
    player.useForLibrary();
    player.answerNext(framedAnswer(kSig + " a b c d 1.43"));
    ZVC450_SetExpectedFirmwareVersion(0x13000);
    HZVC450 h = nullptr;
    ASSERT_EQ(ZVC450_Open(&h), 1);
    EXPECT_EQ(ZVC450_GetFirmwareVersion(), 0x14300u);
    EXPECT_EQ(effectiveFirmware(), 0x13000u);
    EXPECT_TRUE(ZVC450_IsValidHandle(h));

    ZVC450_SetExpectedFirmwareVersion(0);
    EXPECT_EQ(effectiveFirmware(), 0x14300u);
    ZVC450_SetExpectedFirmwareVersion(0x12500);
    EXPECT_EQ(effectiveFirmware(), 0x12500u);

    ZVC450_Close(h);
    EXPECT_EQ(ZVC450_GetFirmwareVersionString(), nullptr);
    EXPECT_EQ(effectiveFirmware(), 0u);
    EXPECT_EQ(ZVC450_GetFirmwareVersion(), 0x14300u) << "the version read stays";
    EXPECT_FALSE(ZVC450_IsValidHandle(h));

    // The closed record can be opened again; the expected version comes back.
    player.answerNext(framedAnswer(kSig + " a b c d 1.43"));
    ASSERT_EQ(ZVC450_Open(&h), 1);
    EXPECT_EQ(effectiveFirmware(), 0x12500u);
    ZVC450_Close(h);
    ZVC450_Free(h);
    EXPECT_EQ(player.connections(), 2);
}

TEST(Identify, SilentPlayerStillOpens)
{
    FakePlayer player;
    player.useForLibrary();
    ZVC450_SetTimeout(200, 200);
    ZVC450_SetExpectedFirmwareVersion(0x12000);
    Opened o;
    ASSERT_EQ(ZVC450_Open(&o.h), 1);
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_EQ(ZVC450_GetFirmwareVersionString(), nullptr);
    EXPECT_EQ(ZVC450_GetFirmwareVersion(), 0u);
    EXPECT_EQ(effectiveFirmware(), 0x12000u);
}

TEST(Identify, ConnectionTestWithAndWithoutUserIds)
{
    FakePlayer custom(0x1234, 0x5678);
    custom.useForLibrary();
    EXPECT_EQ(ZVC450_TestConnection(), 0);
    ZVC450_SetUserUSBID(0x1234, 0);
    EXPECT_EQ(ZVC450_TestConnection(), 0) << "one id 0: the user pair is not tried";
    ZVC450_SetUserUSBID(0x1234, 0x5678);
    EXPECT_EQ(ZVC450_TestConnection(), 1);

    ZVC450_SetUserUSBID(0, 0);
    for (UsbId id : {kBuiltinIdA, kBuiltinIdB}) {
        FakePlayer builtin(id.vid, id.pid);
        builtin.useForLibrary();
        EXPECT_EQ(ZVC450_TestConnection(), 1) << std::hex << id.vid;
    }
    unsetenv(kVusbEnv);
}

TEST(Identify, OpenRefusesAForeignDeviceAndSecondOpen)
{
    {
        FakePlayer foreign(0x1111, 0x2222);
        foreign.useForLibrary();
        ZVC450_SetError(0);
        HZVC450 h = nullptr;
        EXPECT_EQ(ZVC450_Open(&h), 0);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(ZVC450_GetError(), 0) << "no player: the code is left alone";
    }
    FakePlayer player(kBuiltinIdB.vid, kBuiltinIdB.pid);
    player.useForLibrary();
    player.answerNext(framedAnswer(kSig + " a b c"));
    Opened first;
    ASSERT_EQ(ZVC450_Open(&first.h), 1);
    HZVC450 second = nullptr;
    EXPECT_EQ(ZVC450_Open(&second), 0) << "one player per process";
    EXPECT_EQ(ZVC450_Open(&first.h), 0) << "an open record is not reused";
    EXPECT_EQ(ZVC450_Open(nullptr), 0);
}

TEST(Identify, NoSocketMeansNoPlayer)
{
    setenv(kVusbEnv, "/nonexistent/zvc450.sock", 1);
    EXPECT_EQ(ZVC450_TestConnection(), 0);
    HZVC450 h = nullptr;
    EXPECT_EQ(ZVC450_Open(&h), 0);
    EXPECT_EQ(ZVC450_IsValidHandle(h), 0);
}

TEST(VirtualLink, TransfersShortReadsOverflowAndUnplug)
{
    FakePlayer player;
    player.useForLibrary();
    player.answerNext(framedAnswer(kSig + " a b c d 1.43"));
    Opened o;
    ASSERT_EQ(ZVC450_Open(&o.h), 1);
    ZVC450_SetTimeout(300, 300);

    // A data block goes out as one transfer, unchanged.
    Bytes block(16384);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7);
    player.answerNext(std::vector<Bytes>{Bytes(200, 0x11), Bytes(16384, 0x22), Bytes(513, 0x33)});
    ASSERT_TRUE(sendData(o.h, block.data(), int(block.size())));
    Bytes in(16384);
    EXPECT_EQ(ZVC450_RecvUSB(o.h, in.data(), 512), 200) << "short read";
    EXPECT_EQ(ZVC450_RecvUSB(o.h, in.data(), 16384), 16384);
    EXPECT_EQ(in[16383], 0x22);
    EXPECT_EQ(ZVC450_RecvUSB(o.h, in.data(), 512), 0) << "more than asked for is a failed transfer";
    EXPECT_EQ(player.outTransfers().back(), block);

    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ZVC450_RecvUSB(o.h, in.data(), 512), 0) << "nothing comes: time-out";
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST(VirtualLink, AbortDropsTheAbortedTransfersData)
{
    FakePlayer player;
    player.useForLibrary();
    player.answerNext(framedAnswer(kSig + " a b c d 1.43"));
    Opened o;
    ASSERT_EQ(ZVC450_Open(&o.h), 1);
    ZVC450_SetTimeout(500, 500);

    player.setStaleBeforeAck(3);
    EXPECT_TRUE(abortTransfer(o.h));
    const auto msgs = player.received();
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().type, 'C');
    EXPECT_EQ(msgs.back().body, Bytes(kAbortSetup, kAbortSetup + 8));

    // The next command gets its own answer, not stale data.
    player.answerNext(okAnswer({0x42}));
    ASSERT_EQ(ZVC450_SendCommand(o.h, 0, 'V', nullptr, 0), 1);
    ASSERT_TRUE(receiveAnswer(o.h));
    EXPECT_EQ(g_packet[5], 0x42);

    // The open flushed both IN pipes.
    int cancels = 0;
    for (const auto &m : msgs)
        if (m.type == 'X')
            ++cancels;
    EXPECT_EQ(cancels, 2);
}

TEST(VirtualLink, UnpluggedPlayerFailsEveryTransfer)
{
    Opened o;
    {
        FakePlayer player;
        player.useForLibrary();
        player.answerNext(framedAnswer(kSig + " a b c d 1.43"));
        ASSERT_EQ(ZVC450_Open(&o.h), 1);
    }
    ZVC450_SetTimeout(300, 300);
    Bytes in(512);
    EXPECT_EQ(ZVC450_SendCommandNone(o.h, 'Y', nullptr, 0), 0);
    EXPECT_EQ(ZVC450_RecvUSB(o.h, in.data(), 512), 0);
    EXPECT_EQ(ZVC450_RetrieveFirmwareVersion(o.h), 0);
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
}

TEST(UsbLink, WithoutVirtualLinkNoPlayerIsFound)
{
    // Exercises libusb as far as this machine allows: either the stack is
    // not reachable (error 1, driver version 0) or nothing matches.
    unsetenv(kVusbEnv);
    EXPECT_EQ(ZVC450_TestConnection(), 0);
    ZVC450_SetUserUSBID(0x1234, 0x5678);
    ZVC450_SetError(0);
    HZVC450 h = nullptr;
    EXPECT_EQ(ZVC450_Open(&h), 0);
    EXPECT_EQ(h, nullptr);
    if (g_lib.driverVersion == 0)
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_DEVICEDRIVER_OPEN);
    else
        EXPECT_EQ(ZVC450_GetError(), 0);
    EXPECT_EQ(ZVC450_IsValidHandle(h), 0);
}

TEST(Frame, StateDefaultsAndAccessors)
{
    EXPECT_EQ(ZVC450_GetError(), 0);
    EXPECT_EQ(ZVC450_GetInternalError(), 0);
    EXPECT_EQ(ZVC450_GetWindowsError(), 0u);
    EXPECT_EQ(g_lib.recvTimeoutMs, 30000u);
    EXPECT_EQ(g_lib.sendTimeoutMs, 20000u);
    EXPECT_EQ(ZVC450_GetFirmwareVersionString(), nullptr);
    EXPECT_NE(ZVC450_GetModuleHandle(), nullptr);

    EXPECT_EQ(ZVC450_SetInternalError(25), 25);
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), 25);

    errno = ENOENT;
    EXPECT_EQ(ZVC450_SetWindowsError(0), unsigned(ENOENT));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetInternalError(), 25) << "the other codes keep their values";
    EXPECT_EQ(ZVC450_SetWindowsError(EACCES), unsigned(EACCES));
    EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(EACCES));

    ZVC450_SetTimeout(1000, 2000);
    EXPECT_EQ(g_lib.recvTimeoutMs, 1000u);
    EXPECT_EQ(g_lib.sendTimeoutMs, 2000u);

    EXPECT_EQ(ZVC450_IsValidHandle(nullptr), 0);
    EXPECT_EQ(ZVC450_Free(nullptr), 0);
    EXPECT_EQ(ZVC450_SetExpectedFirmwareVersion(0x14200), 0x14200u);
    EXPECT_EQ(ZVC450_GetExpectedFirmwareVersion(), 0x14200u);
}

namespace {

// A link that only remembers the time-outs it was given.
struct TimeoutProbe final : Transport {
    unsigned writeMs = 1, readMs = 1, controlMs = 1;
    OpenStatus open(const std::vector<UsbId> &, int *) override { return OpenStatus::Opened; }
    void close() override {}
    bool present(const std::vector<UsbId> &) override { return true; }
    uint32_t linkId() const override { return 1; }
    uint32_t deviceId() const override { return 1; }
    int write(const void *, int len, unsigned ms) override
    {
        writeMs = ms;
        return len;
    }
    int read(void *, int, unsigned ms) override
    {
        readMs = ms;
        return -1;
    }
    int controlOut(const uint8_t *, unsigned ms) override
    {
        controlMs = ms;
        return 0;
    }
    void cancelPending(uint8_t, unsigned) override {}
    void drainIn(unsigned, unsigned, size_t) override {}
};

}  // namespace

// Both USB stacks read a time-out of 0 as "wait for ever": a setting of 0 must never
// reach them, or a player that stops answering holds its caller for good.
TEST(Frame, EveryWaitForThePlayerHasATimeOut)
{
    DeviceRecord record{1, 1, std::make_unique<TimeoutProbe>()};
    TimeoutProbe &probe = static_cast<TimeoutProbe &>(*record.transport);
    uint8_t packet[kPacketSize] = {};

    ZVC450_SetTimeout(0, 0);
    EXPECT_EQ(ZVC450_SendUSB(&record, packet, kPacketSize), int(kPacketSize));
    EXPECT_EQ(ZVC450_RecvUSB(&record, packet, kPacketSize), 0);
    EXPECT_EQ(probe.writeMs, kDefaultSendTimeoutMs);
    EXPECT_EQ(probe.readMs, kDefaultRecvTimeoutMs);
    // The abort request has its own, shorter bound (a Ctrl-C must end soon).
    EXPECT_TRUE(abortTransfer(&record));
    EXPECT_GT(probe.controlMs, 0u);
    EXPECT_LE(probe.controlMs, kDefaultSendTimeoutMs);

    // Any other value is taken as it is, up to the largest the library holds.
    ZVC450_SetTimeout(0xFFFFFFFFu, 1);
    ZVC450_RecvUSB(&record, packet, kPacketSize);
    ZVC450_SendUSB(&record, packet, kPacketSize);
    EXPECT_EQ(probe.readMs, 0xFFFFFFFFu);
    EXPECT_EQ(probe.writeMs, 1u);
}
