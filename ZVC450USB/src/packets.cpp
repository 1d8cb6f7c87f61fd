// packets.cpp - the command packet frame, the six builders, raw transfers and
// the answer check.
//
// Every command is one 512-byte packet on the OUT pipe:
//   "#" L(16-bit BE) ":" body "."   where L counts from ":" to "." inclusive
// and the bytes after "." mean nothing (the buffer keeps what it held).
// Irregular packets carry a long data block (a name's FAT entry set) that
// runs on into following packets; see sendIrregular().

#include "protocol.h"

#include <chrono>
#include <cstring>

namespace zvc450 {

uint8_t g_packet[kPacketSize];

namespace {

constexpr uint8_t kFrameStart = '#';
constexpr uint8_t kFrameColon = ':';
constexpr uint8_t kFrameEnd = '.';

// Answer status byte (offset 4).
constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusRefused = 1;  // byte 5 carries the player's reason

// Offsets of the answer frame.
constexpr int kStatusOffset = 4;
constexpr int kReasonOffset = 5;

// Quiet time after an abort before we believe the IN pipe is empty.
constexpr unsigned kAbortDrainQuietMs = 200;
// A player stops a transfer within milliseconds of the abort request.  One
// that neither acknowledges nor falls quiet within this long, or that sends
// more than this after it (a 16 KiB transfer in flight is all a player has),
// is not stopping; the operation has failed either way, and a broken player
// must not hold the PC after Ctrl-C.
constexpr unsigned kAbortLimitMs = 3000;
constexpr size_t kAbortDrainBytes = 1u << 20;

// Writes the frame around a body of bodyLen bytes already at offset 4.
void frame(int bodyLen)
{
    const int L = bodyLen + 2;  // ":" .. "." inclusive
    g_packet[0] = kFrameStart;
    putBE16(g_packet + 1, unsigned(L));
    g_packet[3] = kFrameColon;
    g_packet[4 + bodyLen] = kFrameEnd;
}

bool payloadOk(const void *payload, int len, int maxLen)
{
    return len >= 0 && len <= maxLen && (len == 0 || payload != nullptr);
}

bool sendPacket(HZVC450 h)
{
    return ZVC450_SendUSB(h, g_packet, kPacketSize) == kPacketSize;
}

// Builds and sends a header of headLen bytes (already in g_packet) followed
// by the data length (+1, BE16), the data and the terminator, filling each
// packet to its end before the next one begins.
bool sendIrregular(HZVC450 h, int headLen, const void *data, int dataLen)
{
    if (dataLen < 1 || dataLen > 0xFFFE || !data || headLen + 2 >= kPacketSize)
        return false;
    putBE16(g_packet + headLen, unsigned(dataLen + 1));
    int pos = headLen + 2;
    const uint8_t *src = static_cast<const uint8_t *>(data);
    int left = dataLen;
    for (;;) {
        const int take = left < kPacketSize - pos ? left : kPacketSize - pos;
        std::memcpy(g_packet + pos, src, size_t(take));
        src += take;
        left -= take;
        pos += take;
        if (left == 0 && pos < kPacketSize) {
            g_packet[pos] = kFrameEnd;
            return sendPacket(h);
        }
        // The packet is full: send it and go on at byte 0 of the next one;
        // when the data ended exactly at its end, the next one is just ".".
        if (!sendPacket(h))
            return false;
        pos = 0;
        if (left == 0) {
            g_packet[0] = kFrameEnd;
            return sendPacket(h);
        }
    }
}

}  // namespace

uint8_t targetLetter(int memory)
{
    static const uint8_t letters[] = {'G', 'C', 'M', 'S', 'U'};
    if (memory < -2 || memory > 2)
        return 0;
    return letters[memory + 2];
}

bool sendData(HZVC450 h, const void *buf, int len)
{
    return len > 0 && ZVC450_SendUSB(h, buf, len) == len;
}

int recvData(HZVC450 h, void *buf, int len)
{
    return ZVC450_RecvUSB(h, buf, len);
}

AnswerStatus checkAnswerFrame(const uint8_t *p, bool wideLength, int *internalCode)
{
    const int L = answerLength(p, wideLength);
    const bool framed = L >= 3 && p[0] == kFrameStart && p[3] == kFrameColon &&
                        (L + 2 >= kPacketSize || p[L + 2] == kFrameEnd);
    if (!framed) {
        *internalCode = -1;
        return AnswerStatus::BadFrame;
    }
    if (p[kStatusOffset] == kStatusOk)
        return AnswerStatus::Ok;
    if (p[kStatusOffset] == kStatusRefused) {
        *internalCode = L > 3 ? p[kReasonOffset] : 0;
        return AnswerStatus::Refused;
    }
    *internalCode = -1;
    return AnswerStatus::BadFrame;
}

bool checkAnswer()
{
    int code = 0;
    if (checkAnswerFrame(g_packet, fwWideProtocol(effectiveFirmware()), &code) == AnswerStatus::Ok)
        return true;
    ZVC450_SetInternalError(code);
    return false;
}

bool putFileNumber(uint8_t *out, int number, int *len)
{
    const bool wide = fwWideProtocol(effectiveFirmware());
    if (number < 0 || number > (wide ? 0xFFFF : 0xFF))
        return false;
    if (wide)
        putBE16(out, unsigned(number));
    else
        out[0] = uint8_t(number);
    *len = wide ? 2 : 1;
    return true;
}

bool answerHolds(int end)
{
    // The status is byte 4 and the terminator stands at L + 2: the fields
    // run from 5 to L + 1.
    const int L = answerLength(g_packet, fwWideProtocol(effectiveFirmware()));
    if (L + 2 >= end)
        return true;
    ZVC450_SetInternalError(-1);
    return false;
}

bool receiveAnswer(HZVC450 h)
{
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0) {
        ZVC450_SetError(ZVC450USB_ERR_USB);
        return false;
    }
    return checkAnswer();
}

bool abortTransfer(HZVC450 h)
{
    Transport *link = transportOf(h);
    if (!link)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const unsigned ackMs = g_lib.sendTimeoutMs != 0 && g_lib.sendTimeoutMs < kAbortLimitMs ? g_lib.sendTimeoutMs
                                                                                           : kAbortLimitMs;
    const bool acked = link->controlOut(kAbortSetup, ackMs) >= 0;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const unsigned left = spent.count() < kAbortLimitMs ? kAbortLimitMs - unsigned(spent.count()) : 1;
    link->drainIn(kAbortDrainQuietMs, left, kAbortDrainBytes);
    return acked;
}

}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_SendUSB(HZVC450 h, const void *buf, int len)
{
    Transport *link = transportOf(h);
    if (!link)
        return 0;
    const int r = link->write(buf, len, g_lib.sendTimeoutMs);
    return r < 0 ? 0 : r;
}

ZVC450_API int ZVC450_RecvUSB(HZVC450 h, void *buf, int len)
{
    Transport *link = transportOf(h);
    if (!link)
        return 0;
    const int r = link->read(buf, len, g_lib.recvTimeoutMs);
    return r < 0 ? 0 : r;
}

ZVC450_API int ZVC450_SendCommandNone(HZVC450 h, unsigned char cmd, const void *payload, int len)
{
    if (!payloadOk(payload, len, kPacketSize - 6))
        return 0;
    g_packet[4] = cmd;
    if (len > 0)
        std::memcpy(g_packet + 5, payload, size_t(len));
    frame(1 + len);
    return sendPacket(h) ? 1 : 0;
}

ZVC450_API int ZVC450_SendCommand(HZVC450 h, int memory, unsigned char cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    if (!letter || !payloadOk(payload, len, kPacketSize - 7))
        return 0;
    g_packet[4] = letter;
    g_packet[5] = cmd;
    if (len > 0)
        std::memcpy(g_packet + 6, payload, size_t(len));
    frame(2 + len);
    return sendPacket(h) ? 1 : 0;
}

ZVC450_API int ZVC450_SendCommandEx(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    if (!letter || !payloadOk(payload, len, kPacketSize - 8))
        return 0;
    g_packet[4] = letter;
    putLE16(g_packet + 5, cmd);  // two command characters in wire order
    if (len > 0)
        std::memcpy(g_packet + 7, payload, size_t(len));
    frame(3 + len);
    return sendPacket(h) ? 1 : 0;
}

ZVC450_API int ZVC450_SendCommandEx2(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    if (!letter || !payloadOk(payload, len, kPacketSize - 10))
        return 0;
    g_packet[4] = letter;
    putLE16(g_packet + 5, cmd);
    putBE16(g_packet + 7, unsigned(len));
    if (len > 0)
        std::memcpy(g_packet + 9, payload, size_t(len));
    frame(5 + len);
    return sendPacket(h) ? 1 : 0;
}

ZVC450_API int ZVC450_SendCommandIrregular(HZVC450 h, int memory, unsigned char cmd, unsigned short lengthField,
                                           const void *params, int paramLen, const void *data, int dataLen)
{
    const uint8_t letter = targetLetter(memory);
    if (!letter || paramLen < 0 || (paramLen > 0 && !params) || 6 + paramLen + 2 >= kPacketSize)
        return 0;
    g_packet[0] = kFrameStart;
    putBE16(g_packet + 1, lengthField);
    g_packet[3] = kFrameColon;
    g_packet[4] = letter;
    g_packet[5] = cmd;
    if (paramLen > 0)
        std::memcpy(g_packet + 6, params, size_t(paramLen));
    return sendIrregular(h, 6 + paramLen, data, dataLen) ? 1 : 0;
}

ZVC450_API int ZVC450_SendCommandExIrregular(HZVC450 h, int memory, unsigned short cmd, unsigned short lengthField,
                                             const void *params, int paramLen, const void *data, int dataLen)
{
    const uint8_t letter = targetLetter(memory);
    if (!letter || paramLen < 0 || (paramLen > 0 && !params) || 7 + paramLen + 2 >= kPacketSize)
        return 0;
    g_packet[0] = kFrameStart;
    putBE16(g_packet + 1, lengthField);
    g_packet[3] = kFrameColon;
    g_packet[4] = letter;
    putLE16(g_packet + 5, cmd);
    if (paramLen > 0)
        std::memcpy(g_packet + 7, params, size_t(paramLen));
    return sendIrregular(h, 7 + paramLen, data, dataLen) ? 1 : 0;
}

}  // extern "C"
