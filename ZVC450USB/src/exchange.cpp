// exchange.cpp - one command and its answer, the step every operation is
// made of, and the payloads the commands carry.

#include "protocol.h"

namespace zvc450 {

Payload &Payload::byte(uint8_t v)
{
    bytes_.push_back(v);
    return *this;
}

Payload &Payload::be16(unsigned v)
{
    uint8_t b[2];
    putBE16(b, v);
    return bytes(b, sizeof b);
}

Payload &Payload::be32(uint32_t v)
{
    uint8_t b[4];
    putBE32(b, v);
    return bytes(b, sizeof b);
}

Payload &Payload::le16(unsigned v)
{
    uint8_t b[2];
    putLE16(b, v);
    return bytes(b, sizeof b);
}

Payload &Payload::bytes(const void *p, size_t n)
{
    const auto *b = static_cast<const uint8_t *>(p);
    bytes_.insert(bytes_.end(), b, b + n);
    return *this;
}

bool Payload::fileNumber(int number)
{
    const bool wide = fwWideProtocol(effectiveFirmware());
    if (number < 0 || number > (wide ? 0xFFFF : 0xFF))
        return false;
    if (wide)
        be16(unsigned(number));
    else
        byte(uint8_t(number));
    return true;
}

bool exchange(HZVC450 h, int target, uint8_t cmd, const Payload &payload)
{
    return answerTo(h, ZVC450_SendCommand(h, target, cmd, payload.data(), payload.size()));
}

bool exchangeEx(HZVC450 h, int target, uint16_t cmd, const Payload &payload)
{
    return answerTo(h, ZVC450_SendCommandEx(h, target, cmd, payload.data(), payload.size()));
}

bool answerTo(HZVC450 h, int sent) { return rawAnswerTo(h, sent) && checkAnswer(); }

bool rawAnswerTo(HZVC450 h, int sent)
{
    if (!sent || ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB) != 0;
    return true;
}

bool receiveAnswer(HZVC450 h) { return answerTo(h, true); }

bool refusedWith(int internalCode)
{
    return g_lib.error == ZVC450USB_ERR_INTERNAL && g_lib.internalError == internalCode;
}

bool answerHolds(int end)
{
    // The status is byte 4 and the terminator stands at L + 2: the fields
    // run from 5 to L + 1.
    const int L = answerLength(g_packet, fwWideProtocol(effectiveFirmware()));
    if (L + 2 >= end)
        return true;
    return failInternal(-1) != 0;
}

}  // namespace zvc450
