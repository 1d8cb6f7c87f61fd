// packets.cpp - the command packet frame, the six builders and the answer
// check.
//
// Every command is one 512-byte packet on the OUT pipe:
//   "#" L(16-bit BE) ":" body "."   where L counts from ":" to "." inclusive
// and the bytes after "." mean nothing (the buffer keeps what it held).
// Irregular packets carry a long data block (a name's FAT entry set) that
// runs on into following packets; see sendIrregular().

#include "protocol.h"

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

// Writes the frame around a body of bodyLen bytes already at offset 4.
void frame(int bodyLen)
{
    const int L = bodyLen + 2;  // ":" .. "." inclusive
    g_packet[0] = kFrameStart;
    putBE16(g_packet + 1, unsigned(L));
    g_packet[3] = kFrameColon;
    g_packet[4 + bodyLen] = kFrameEnd;
}

bool sendPacket(HZVC450 h)
{
    return ZVC450_SendUSB(h, g_packet, kPacketSize) == kPacketSize;
}

// Builds one packet whose body is head (the command's letters) followed by
// the payload, and sends it; 1 when all 512 bytes went.  A payload that does
// not fit the packet is not sent.
int sendBody(HZVC450 h, const uint8_t *head, size_t headLen, const void *payload, int len)
{
    const int maxLen = kPacketSize - 5 - int(headLen);  // "#", L, ":", head, payload, "."
    if (len < 0 || len > maxLen || (len > 0 && payload == nullptr))
        return 0;
    std::memcpy(g_packet + 4, head, headLen);
    if (len > 0)
        std::memcpy(g_packet + 4 + headLen, payload, size_t(len));
    frame(int(headLen) + len);
    return sendPacket(h) ? 1 : 0;
}

// Builds and sends an irregular packet sequence: the caller's length field,
// head, the parameters and the data length (+1, BE16) in the first packet,
// then the data and the terminator, filling each packet to its end before
// the next one begins.
int sendIrregular(HZVC450 h, const uint8_t *head, size_t headLen, unsigned short lengthField, const void *params,
                  int paramLen, const void *data, int dataLen)
{
    const int fixedLen = 4 + int(headLen) + paramLen;  // "#", the length field, ":", head, parameters
    if (paramLen < 0 || (paramLen > 0 && !params) || fixedLen + 2 >= kPacketSize)
        return 0;
    if (dataLen < 1 || dataLen > 0xFFFE || !data)
        return 0;
    g_packet[0] = kFrameStart;
    putBE16(g_packet + 1, lengthField);
    g_packet[3] = kFrameColon;
    std::memcpy(g_packet + 4, head, headLen);
    if (paramLen > 0)
        std::memcpy(g_packet + 4 + headLen, params, size_t(paramLen));
    putBE16(g_packet + fixedLen, unsigned(dataLen + 1));
    int pos = fixedLen + 2;
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
            return sendPacket(h) ? 1 : 0;
        }
        // The packet is full: send it and go on at byte 0 of the next one;
        // when the data ended exactly at its end, the next one is just ".".
        if (!sendPacket(h))
            return 0;
        pos = 0;
        if (left == 0) {
            g_packet[0] = kFrameEnd;
            return sendPacket(h) ? 1 : 0;
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
    const uint8_t head[] = {cmd};
    return sendBody(h, head, sizeof head, payload, len);
}

ZVC450_API int ZVC450_SendCommand(HZVC450 h, int memory, unsigned char cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    const uint8_t head[] = {letter, cmd};
    return letter ? sendBody(h, head, sizeof head, payload, len) : 0;
}

ZVC450_API int ZVC450_SendCommandEx(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    const uint8_t head[] = {letter, uint8_t(cmd), uint8_t(cmd >> 8)};  // two characters in wire order
    return letter ? sendBody(h, head, sizeof head, payload, len) : 0;
}

ZVC450_API int ZVC450_SendCommandEx2(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len)
{
    const uint8_t letter = targetLetter(memory);
    const uint8_t head[] = {letter, uint8_t(cmd), uint8_t(cmd >> 8), uint8_t(len >> 8), uint8_t(len)};
    return letter ? sendBody(h, head, sizeof head, payload, len) : 0;
}

ZVC450_API int ZVC450_SendCommandIrregular(HZVC450 h, int memory, unsigned char cmd, unsigned short lengthField,
                                           const void *params, int paramLen, const void *data, int dataLen)
{
    const uint8_t letter = targetLetter(memory);
    const uint8_t head[] = {letter, cmd};
    return letter ? sendIrregular(h, head, sizeof head, lengthField, params, paramLen, data, dataLen) : 0;
}

ZVC450_API int ZVC450_SendCommandExIrregular(HZVC450 h, int memory, unsigned short cmd, unsigned short lengthField,
                                             const void *params, int paramLen, const void *data, int dataLen)
{
    const uint8_t letter = targetLetter(memory);
    const uint8_t head[] = {letter, uint8_t(cmd), uint8_t(cmd >> 8)};
    return letter ? sendIrregular(h, head, sizeof head, lengthField, params, paramLen, data, dataLen) : 0;
}

}  // extern "C"
