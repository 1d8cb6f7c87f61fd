// Command packets byte for byte, and the answer check in both length modes.

#include "data_phase.h"
#include "fake_player.h"

#include <gtest/gtest.h>

using namespace zvc450;
using namespace zvc450test;

namespace {

Bytes prefix(const Bytes &packet, size_t n) { return Bytes(packet.begin(), packet.begin() + long(n)); }

Bytes seq(int n, uint8_t start = 1)
{
    Bytes b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        b[size_t(i)] = uint8_t(start + i);
    return b;
}

}  // namespace

TEST(Packets, BuildersWriteTheFrameExactly)
{
    MemoryHandle mh;
    const uint8_t idx[] = {0x01, 0x2C};
    const uint8_t key[] = {0x12, 0x34};
    struct Row {
        const char *what;
        std::function<int()> send;
        Bytes expected;  // meaningful bytes from offset 0
    } rows[] = {
        {"None Y", [&] { return ZVC450_SendCommandNone(mh.h(), 'Y', nullptr, 0); },
         {'#', 0x00, 0x03, ':', 'Y', '.'}},
        {"Command S E", [&] { return ZVC450_SendCommand(mh.h(), 1, 'E', idx, 2); },
         {'#', 0x00, 0x06, ':', 'S', 'E', 0x01, 0x2C, '.'}},
        {"Command G O (firmware)", [&] { return ZVC450_SendCommand(mh.h(), -2, 'O', idx, 2); },
         {'#', 0x00, 0x06, ':', 'G', 'O', 0x01, 0x2C, '.'}},
        {"Command C 0x02", [&] { return ZVC450_SendCommand(mh.h(), -1, 0x02, idx, 1); },
         {'#', 0x00, 0x05, ':', 'C', 0x02, 0x01, '.'}},
        {"Command U V (font)", [&] { return ZVC450_SendCommand(mh.h(), 2, 'V', nullptr, 0); },
         {'#', 0x00, 0x04, ':', 'U', 'V', '.'}},
        {"Ex FD", [&] { return ZVC450_SendCommandEx(mh.h(), 0, 0x4446, nullptr, 0); },
         {'#', 0x00, 0x05, ':', 'M', 'F', 'D', '.'}},
        {"Ex DC key", [&] { return ZVC450_SendCommandEx(mh.h(), 1, 0x4344, key, 2); },
         {'#', 0x00, 0x07, ':', 'S', 'D', 'C', 0x12, 0x34, '.'}},
    };
    for (const Row &row : rows) {
        mh.link.written.clear();
        ASSERT_EQ(row.send(), 1) << row.what;
        ASSERT_EQ(mh.link.written.size(), 1u) << row.what;
        ASSERT_EQ(mh.link.written[0].size(), 512u) << row.what;
        EXPECT_EQ(prefix(mh.link.written[0], row.expected.size()), row.expected) << row.what;
    }
}

TEST(Packets, Ex2CarriesThePayloadLength)
{
    MemoryHandle mh;
    const Bytes payload = seq(64);
    ASSERT_EQ(ZVC450_SendCommandEx2(mh.h(), 0, 0x4D44, payload.data(), 64), 1);
    const Bytes &p = mh.link.written.at(0);
    EXPECT_EQ(p[1] << 8 | p[2], 71);
    EXPECT_EQ(prefix(Bytes(p.begin() + 4, p.end()), 5), (Bytes{'M', 'D', 'M', 0x00, 0x40}));
    EXPECT_EQ(Bytes(p.begin() + 9, p.begin() + 73), payload);
    EXPECT_EQ(p[73], '.');
}

TEST(Packets, LargestPayloadsFitAndLargerAreRefusedUnsent)
{
    MemoryHandle mh;
    const Bytes big = seq(507);
    // The largest payload of each form ends with "." at offset 511.
    ASSERT_EQ(ZVC450_SendCommandNone(mh.h(), 'Y', big.data(), 506), 1);
    EXPECT_EQ(mh.link.written.back()[511], '.');
    ASSERT_EQ(ZVC450_SendCommand(mh.h(), 0, 'W', big.data(), 505), 1);
    EXPECT_EQ(mh.link.written.back()[511], '.');
    ASSERT_EQ(ZVC450_SendCommandEx(mh.h(), 0, 0x4747, big.data(), 504), 1);
    EXPECT_EQ(mh.link.written.back()[511], '.');
    ASSERT_EQ(ZVC450_SendCommandEx2(mh.h(), 0, 0x4D44, big.data(), 502), 1);
    EXPECT_EQ(mh.link.written.back()[511], '.');
    const size_t sent = mh.link.written.size();

    EXPECT_EQ(ZVC450_SendCommandNone(mh.h(), 'Y', big.data(), 507), 0);
    EXPECT_EQ(ZVC450_SendCommand(mh.h(), 0, 'W', big.data(), 506), 0);
    EXPECT_EQ(ZVC450_SendCommandEx(mh.h(), 0, 0x4747, big.data(), 505), 0);
    EXPECT_EQ(ZVC450_SendCommandEx2(mh.h(), 0, 0x4D44, big.data(), 503), 0);
    EXPECT_EQ(ZVC450_SendCommand(mh.h(), 0, 'W', big.data(), -1), 0);
    EXPECT_EQ(ZVC450_SendCommand(mh.h(), 0, 'W', nullptr, 4), 0);
    EXPECT_EQ(ZVC450_SendCommand(mh.h(), 3, 'W', nullptr, 0), 0) << "memory index outside -2..2";
    EXPECT_EQ(ZVC450_SendCommand(mh.h(), -3, 'W', nullptr, 0), 0);
    EXPECT_EQ(mh.link.written.size(), sent);
}

TEST(Packets, IrregularDataRunsIntoFollowingPackets)
{
    struct Row {
        int dataLen;
        size_t packets;
        int dotPacket, dotOffset;
    } rows[] = {
        {1, 1, 0, 9},
        {503, 1, 0, 511},   // "." is the last byte of the first packet
        {504, 2, 1, 0},     // data fills the packet: a second one holds only "."
        {505, 2, 1, 1},
        {504 + 511, 2, 1, 511},
        {504 + 512, 3, 2, 0},
    };
    for (const Row &row : rows) {
        MemoryHandle mh;
        const Bytes data = seq(row.dataLen, 0x30);
        ASSERT_EQ(ZVC450_SendCommandIrregular(mh.h(), 0, 'W', 2, nullptr, 0, data.data(), row.dataLen), 1)
            << row.dataLen;
        ASSERT_EQ(mh.link.written.size(), row.packets) << row.dataLen;
        const Bytes &first = mh.link.written[0];
        EXPECT_EQ(prefix(first, 8),
                  (Bytes{'#', 0x00, 0x02, ':', 'M', 'W', uint8_t((row.dataLen + 1) >> 8), uint8_t(row.dataLen + 1)}));
        Bytes carried;
        for (size_t i = 0; i < row.packets; ++i) {
            const Bytes &p = mh.link.written[i];
            ASSERT_EQ(p.size(), 512u);
            const size_t from = i == 0 ? 8 : 0;
            const size_t to = int(i) == row.dotPacket ? size_t(row.dotOffset) : 512;
            carried.insert(carried.end(), p.begin() + long(from), p.begin() + long(to));
        }
        EXPECT_EQ(carried, data) << row.dataLen;
        EXPECT_EQ(mh.link.written[size_t(row.dotPacket)][size_t(row.dotOffset)], '.') << row.dataLen;
    }
}

TEST(Packets, ExIrregularWithParameters)
{
    MemoryHandle mh;
    const uint8_t key[] = {0x00, 0x07};
    const Bytes data = seq(64, 0x41);
    ASSERT_EQ(ZVC450_SendCommandExIrregular(mh.h(), 1, 0x4E44, 2, key, 2, data.data(), 64), 1);
    ASSERT_EQ(mh.link.written.size(), 1u);
    const Bytes &p = mh.link.written[0];
    EXPECT_EQ(prefix(p, 11), (Bytes{'#', 0x00, 0x02, ':', 'S', 'D', 'N', 0x00, 0x07, 0x00, 65}));
    EXPECT_EQ(Bytes(p.begin() + 11, p.begin() + 75), data);
    EXPECT_EQ(p[75], '.');
}

TEST(Packets, IrregularRefusesWhatCannotBeFramed)
{
    MemoryHandle mh;
    const Bytes params = seq(504);
    const uint8_t one = 1;
    EXPECT_EQ(ZVC450_SendCommandIrregular(mh.h(), 0, 'N', 2, params.data(), 2, &one, 0), 0) << "no data";
    EXPECT_EQ(ZVC450_SendCommandIrregular(mh.h(), 0, 'N', 2, params.data(), 504, &one, 1), 0)
        << "header, parameters and length reach offset 512";
    EXPECT_EQ(ZVC450_SendCommandIrregular(mh.h(), 0, 'N', 2, params.data(), 503, &one, 1), 1);
    EXPECT_EQ(mh.link.written.size(), 2u) << "511 header bytes: the data byte starts the second packet";
}

TEST(Packets, FailedWriteFailsTheBuilder)
{
    MemoryHandle mh;
    mh.link.failWritesAfter = 1;
    const Bytes data = seq(600);
    EXPECT_EQ(ZVC450_SendCommandIrregular(mh.h(), 0, 'W', 2, nullptr, 0, data.data(), 600), 0);
    EXPECT_EQ(ZVC450_SendCommandNone(mh.h(), 'Y', nullptr, 0), 0);
    EXPECT_EQ(ZVC450_SendCommandNone(nullptr, 'Y', nullptr, 0), 0) << "null handle";
    EXPECT_EQ(ZVC450_GetError(), 0) << "builders set no error code";
}

TEST(AnswerCheck, EveryCaseInBothLengthModes)
{
    struct Row {
        const char *what;
        Bytes head;
        bool wide;
        AnswerStatus status;
        int code;
    } rows[] = {
        {"ok", {'#', 0, 3, ':', 0, '.'}, false, AnswerStatus::Ok, 0},
        {"ok wide", {'#', 0, 3, ':', 0, '.'}, true, AnswerStatus::Ok, 0},
        {"refused 25", {'#', 0, 4, ':', 1, 0x19, '.'}, false, AnswerStatus::Refused, 25},
        {"refused without code", {'#', 0, 3, ':', 1, '.'}, false, AnswerStatus::Refused, 0},
        {"other status", {'#', 0, 3, ':', 2, '.'}, false, AnswerStatus::BadFrame, -1},
        {"no #", {'$', 0, 3, ':', 0, '.'}, false, AnswerStatus::BadFrame, -1},
        {"no :", {'#', 0, 3, ';', 0, '.'}, false, AnswerStatus::BadFrame, -1},
        {"no terminator", {'#', 0, 3, ':', 0, 'x'}, false, AnswerStatus::BadFrame, -1},
        {"length below 3", {'#', 0, 2, ':', 0, '.'}, false, AnswerStatus::BadFrame, -1},
        // Old firmware: byte 1 means nothing, the length is byte 2 alone.
        {"old: byte 1 ignored", {'#', 0x77, 3, ':', 0, '.'}, false, AnswerStatus::Ok, 0},
        {"new: byte 1 counts", {'#', 0x77, 3, ':', 0, '.'}, true, AnswerStatus::Ok, 0},
        {"new: length 256 looks at 258", {'#', 1, 0, ':', 0, '.'}, true, AnswerStatus::BadFrame, -1},
        {"old: length 0", {'#', 1, 0, ':', 0, '.'}, false, AnswerStatus::BadFrame, -1},
        {"new: length reaching the end needs no terminator", {'#', 1, 254, ':', 0}, true, AnswerStatus::Ok, 0},
    };
    for (const Row &row : rows) {
        Bytes p(512, 0);
        std::copy(row.head.begin(), row.head.end(), p.begin());
        int code = 12345;
        EXPECT_EQ(checkAnswerFrame(p.data(), row.wide, &code), row.status) << row.what;
        if (row.status != AnswerStatus::Ok) {
            EXPECT_EQ(code, row.code) << row.what;
        }
    }
    // A 256-byte answer is well formed with its "." at offset 258.
    Bytes p(512, 0);
    const Bytes head{'#', 1, 0, ':', 0};
    std::copy(head.begin(), head.end(), p.begin());
    p[258] = '.';
    int code = 0;
    EXPECT_EQ(checkAnswerFrame(p.data(), true, &code), AnswerStatus::Ok);
}

TEST(AnswerCheck, FollowsTheEffectiveFirmwareAndSetsTheCodes)
{
    MemoryHandle mh;
    Bytes wide(512, 0);
    const Bytes head{'#', 1, 0, ':', 1, 0x10};
    std::copy(head.begin(), head.end(), wide.begin());
    wide[258] = '.';

    ZVC450_SetExpectedFirmwareVersion(kFwWideProtocol);
    mh.link.toRead.push_back(wide);
    EXPECT_FALSE(receiveAnswer(mh.h()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_FILE_EXIST);

    ZVC450_SetExpectedFirmwareVersion(kFwWideProtocol - 1);
    mh.link.toRead.push_back(wide);  // byte 2 alone: length 0, unusable
    EXPECT_FALSE(receiveAnswer(mh.h()));
    EXPECT_EQ(ZVC450_GetInternalError(), -1);

    ZVC450_SetError(0);
    mh.link.toRead.push_back(okAnswer({7}));
    EXPECT_TRUE(receiveAnswer(mh.h()));
    EXPECT_EQ(ZVC450_GetError(), 0) << "success changes no code";
    EXPECT_EQ(g_packet[5], 7);

    EXPECT_FALSE(receiveAnswer(mh.h())) << "nothing arrives";
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
}

TEST(Packets, RawDataGoesStraightThrough)
{
    MemoryHandle mh;
    const Bytes block = seq(16384 % 256 + 300);
    EXPECT_TRUE(sendData(mh.h(), block.data(), int(block.size())));
    EXPECT_EQ(mh.link.written.at(0), block);
    mh.link.toRead.push_back(Bytes(100, 0x5A));
    Bytes in(512, 0);
    EXPECT_EQ(recvData(mh.h(), in.data(), 512), 100) << "a short read succeeds with its count";
    EXPECT_EQ(recvData(mh.h(), in.data(), 512), 0);
    EXPECT_TRUE(abortTransfer(mh.h()));
    EXPECT_EQ(mh.link.controlRequests, 1);
}

// One command and its answer: the link's failures are error 4, the player's
// refusal is error 5 with its reason, an unusable answer 5 with -1.
TEST(Exchange, MapsEveryOutcomeToItsError)
{
    struct Row {
        const char *what;
        int failWritesAfter;
        std::vector<Bytes> answers;
        bool ok;
        int error, internal;
    } rows[] = {
        {"answered", -1, {okAnswer({9})}, true, 0, 0},
        {"not sent", 0, {okAnswer()}, false, ZVC450USB_ERR_USB, 0},
        {"no answer", -1, {}, false, ZVC450USB_ERR_USB, 0},
        {"refused", -1, {refusedAnswer(ZVC450INT_ERR_FILE_EXIST)}, false, ZVC450USB_ERR_INTERNAL,
         ZVC450INT_ERR_FILE_EXIST},
        {"unusable", -1, {Bytes(512, 0x23)}, false, ZVC450USB_ERR_INTERNAL, -1},
    };
    for (const Row &row : rows) {
        MemoryHandle mh;
        ZVC450_SetExpectedFirmwareVersion(kFwWideProtocol);
        ZVC450_SetInternalError(0);
        ZVC450_SetError(0);
        mh.link.failWritesAfter = row.failWritesAfter;
        mh.link.toRead.assign(row.answers.begin(), row.answers.end());
        EXPECT_EQ(exchange(mh.h(), kTargetCard, 'E', Payload().be16(0x012C)), row.ok) << row.what;
        EXPECT_EQ(ZVC450_GetError(), row.error) << row.what;
        EXPECT_EQ(ZVC450_GetInternalError(), row.internal) << row.what;
        if (row.failWritesAfter != 0) {
            EXPECT_EQ(prefix(mh.link.written.at(0), 9), (Bytes{'#', 0x00, 0x06, ':', 'S', 'E', 0x01, 0x2C, '.'}))
                << row.what;
        }
    }
}

// A file number takes one byte below firmware 1.30 and two from then on; a
// number the field cannot hold is refused, never wrapped onto another file.
TEST(Exchange, FileNumbersFitTheirFieldOrAreRefused)
{
    struct Row {
        unsigned firmware;
        int number;
        Bytes expected;  // empty: refused
    } rows[] = {
        {0x12500, 0, {0x00}},         {0x12500, 255, {0xFF}}, {0x12500, 256, {}}, {0x12500, -1, {}},
        {0x13000, 300, {0x01, 0x2C}}, {0x13000, 0xFFFF, {0xFF, 0xFF}},          {0x13000, 0x10000, {}},
    };
    for (const Row &row : rows) {
        ZVC450_SetExpectedFirmwareVersion(row.firmware);
        Payload p;
        p.byte(0xAA);
        EXPECT_EQ(p.fileNumber(row.number), !row.expected.empty()) << row.number;
        Bytes expected{0xAA};
        expected.insert(expected.end(), row.expected.begin(), row.expected.end());
        EXPECT_EQ(Bytes(p.data(), p.data() + p.size()), expected) << row.number;
    }
}
