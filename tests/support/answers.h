// answers.h - what a player says, built byte by byte: framed answers, and
// the directory slots, blocks and header of a listing.
#pragma once

#include "protocol.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zvc450test {

using Bytes = std::vector<uint8_t>;

// A framed 512-byte answer: "#", the length field L (the body's length + 2
// unless given), ":", the body, "." at L + 2 when that lies in the packet
// (a body that fills the packet has no room for it, as with the player),
// zero padding.
inline Bytes framedAnswer(const Bytes &body, int lengthField = -1)
{
    Bytes p(zvc450::kPacketSize, 0);
    const unsigned L = lengthField >= 0 ? unsigned(lengthField) : unsigned(body.size()) + 2;
    p[0] = '#';
    p[1] = uint8_t(L >> 8);
    p[2] = uint8_t(L);
    p[3] = ':';
    for (size_t i = 0; i < body.size() && 4 + i < p.size(); ++i)
        p[4 + i] = body[i];
    if (L + 2 < p.size())
        p[L + 2] = '.';
    return p;
}
inline Bytes framedAnswer(const std::string &body) { return framedAnswer(Bytes(body.begin(), body.end())); }
// Status 0 followed by fields.
inline Bytes okAnswer(Bytes fields = {})
{
    fields.insert(fields.begin(), 0);
    return framedAnswer(fields);
}
// Status 1 with the player's internal error code.
inline Bytes refusedAnswer(uint8_t code) { return framedAnswer(Bytes{1, code}); }

// The body of a command packet from offset 4 up to its terminator.
inline std::string Body(const Bytes &packet)
{
    const unsigned L = unsigned(packet[1]) << 8 | packet[2];
    return std::string(packet.begin() + 4, packet.begin() + 2 + long(L));
}

// ---- Listing wire: slots, blocks, header -------------------------------------------

// A 32-byte short slot.
inline Bytes ShortSlot(const char *name11, uint8_t attr, uint16_t cluster = 0, uint32_t size = 0)
{
    Bytes s(zvc450::kDirEntrySize, 0);
    std::memcpy(s.data(), name11, 11);
    s[zvc450::kEntryAttribute] = attr;
    zvc450::putLE16(s.data() + zvc450::kEntryClusterLow, cluster);
    zvc450::putLE32(s.data() + zvc450::kEntrySize, size);
    return s;
}

// A long-name slot with ordinal byte ord holding up to 13 ASCII characters.
inline Bytes LongSlot(uint8_t ord, const std::string &part)
{
    static const int offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes s(zvc450::kDirEntrySize, 0);
    s[0] = ord;
    s[zvc450::kEntryAttribute] = zvc450::kAttrLongName;
    for (int i = 0; i < 13; ++i) {
        uint16_t c = i < int(part.size()) ? uint8_t(part[size_t(i)]) : i == int(part.size()) ? 0 : 0xFFFF;
        s[size_t(offs[i])] = uint8_t(c);
        s[size_t(offs[i]) + 1] = uint8_t(c >> 8);
    }
    return s;
}

// Slot blocks of 512 bytes from a list of slots.
inline std::vector<Bytes> Blocks(const std::vector<Bytes> &slots)
{
    Bytes all;
    for (const Bytes &s : slots)
        all.insert(all.end(), s.begin(), s.end());
    all.resize((all.size() + 511) / 512 * 512, 0);
    std::vector<Bytes> out;
    for (size_t at = 0; at < all.size(); at += 512)
        out.emplace_back(all.begin() + long(at), all.begin() + long(at + 512));
    return out;
}

// The framed header of a listing: file count, slot count, total and used blocks.
inline Bytes ListingHeader(unsigned files, unsigned slots, unsigned total = 500, unsigned used = 7)
{
    Bytes f(9, 0);  // after the status byte: byte 5, then 6..13
    zvc450::putBE16(f.data() + 1, files);
    zvc450::putBE16(f.data() + 3, slots);
    zvc450::putBE16(f.data() + 5, total);
    zvc450::putBE16(f.data() + 7, used);
    return okAnswer(f);
}

}  // namespace zvc450test
