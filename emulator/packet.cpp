#include "packet.h"

#include <algorithm>

namespace emu {

AnswerBuilder &AnswerBuilder::U8(uint8_t v)
{
    if (pos_ < kPacketSize)
        p_[pos_++] = v;
    return *this;
}

AnswerBuilder &AnswerBuilder::U16(uint16_t v) { return U8(uint8_t(v >> 8)).U8(uint8_t(v)); }

AnswerBuilder &AnswerBuilder::U32(uint32_t v) { return U16(uint16_t(v >> 16)).U16(uint16_t(v)); }

AnswerBuilder &AnswerBuilder::Bytes(const uint8_t *p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        U8(p[i]);
    return *this;
}

AnswerBuilder &AnswerBuilder::Text(const std::string &s)
{
    return Bytes(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

Packet AnswerBuilder::Finish(bool oneByteLength, uint8_t leftover) const
{
    Packet p = p_;
    p[0] = '#';
    p[3] = ':';
    // The terminator goes right after the last field; L + 2 is its offset.
    size_t length = pos_ - 2;
    if (pos_ < kPacketSize)
        p[pos_] = '.';
    if (oneByteLength) {
        p[1] = leftover;
        p[2] = uint8_t(length);
    } else {
        p[1] = uint8_t(length >> 8);
        p[2] = uint8_t(length);
    }
    return p;
}

Packet SuccessAnswer(bool oneByteLength, uint8_t leftover)
{
    return AnswerBuilder().U8(0).Finish(oneByteLength, leftover);
}

Packet RefusalAnswer(int code, bool oneByteLength, uint8_t leftover)
{
    return AnswerBuilder().U8(1).U8(uint8_t(code)).Finish(oneByteLength, leftover);
}

void Soil(uint8_t *block, size_t from, size_t size, uint32_t seed)
{
    static const uint8_t kFrameBytes[] = {'#', ':', '.', 0x01, 0xFF};
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (size_t i = from; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const uint8_t b = uint8_t(x >> 8);
        block[i] = (x & 7) == 0 ? kFrameBytes[(x >> 3) % sizeof kFrameBytes] : b ? b : 0xA5;
    }
}

void SoilAnswer(Packet *p, size_t fieldsEnd, bool oneByteLength, uint32_t seed)
{
    if (fieldsEnd + 1 < kPacketSize)
        Soil(p->data(), fieldsEnd + 1, kPacketSize, seed);
    if (oneByteLength) {
        uint8_t b1;
        Soil(&b1, 0, 1, seed + 1);
        (*p)[1] = b1;
    }
}

bool HasFrame(const Packet &p) { return p[0] == '#' && p[3] == ':'; }

bool ParseSinglePacket(const Packet &p, Form form, size_t keyLen, Command *cmd)
{
    size_t length = CommandLength(p);
    size_t end = length + 2;  // offset of the terminator
    if (length < 3 || end >= kPacketSize || p[end] != '.')
        return false;
    size_t bodyStart = 4;
    cmd->lengthHigh = p[1];
    if (form == Form::kPlain) {
        cmd->target = 0;
    } else {
        cmd->target = p[4];
        bodyStart = 5;
    }
    size_t payloadStart = bodyStart + keyLen;
    if (end < payloadStart)
        return false;
    cmd->key.assign(reinterpret_cast<const char *>(&p[bodyStart]), keyLen);
    if (form == Form::kSized) {
        if (end < payloadStart + 2)
            return false;
        size_t n = Be16(&p[payloadStart]);
        payloadStart += 2;
        if (payloadStart + n != end)
            return false;
    }
    cmd->payload.assign(p.begin() + long(payloadStart), p.begin() + long(end));
    return true;
}

size_t IrregularHead::FollowingPackets() const
{
    size_t total = dataStart + dataLength + 1;  // through the terminator
    return (total + kPacketSize - 1) / kPacketSize - 1;
}

bool ParseIrregularHead(const Packet &p, size_t keyLen, size_t paramLen, Command *cmd, IrregularHead *head)
{
    size_t pos = 5 + keyLen;
    // The PC always puts 2 into the length field of this form; anything else
    // is an ordinary packet, and its bytes must not be taken for a data length.
    if (CommandLength(p) != 2 || pos + paramLen + 2 > kPacketSize)
        return false;
    size_t field = Be16(&p[pos + paramLen]);
    if (field == 0)
        return false;
    cmd->lengthHigh = p[1];
    cmd->target = p[4];
    cmd->key.assign(reinterpret_cast<const char *>(&p[5]), keyLen);
    cmd->payload.assign(p.begin() + long(pos), p.begin() + long(pos + paramLen));
    head->dataStart = pos + paramLen + 2;
    head->dataLength = field - 1;
    return true;
}

bool CollectIrregularData(const Packet &first, const IrregularHead &head, const std::vector<uint8_t> &following,
                          Command *cmd)
{
    if (following.size() != head.FollowingPackets() * kPacketSize)
        return false;
    auto at = [&](size_t i) { return i < kPacketSize ? first[i] : following[i - kPacketSize]; };
    cmd->data.resize(head.dataLength);
    for (size_t i = 0; i < head.dataLength; ++i)
        cmd->data[i] = at(head.dataStart + i);
    return at(head.dataStart + head.dataLength) == '.';
}

}  // namespace emu
