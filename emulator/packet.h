// The player's side of the command packet frame.
//
// Every command and every answer is one 512-byte packet:
//   "#", length L (2 bytes, high first), ":", body, "."   (the "." at L + 2)
// L counts the bytes from the ":" up to and including the terminator.  Bytes
// after the terminator have no meaning.  Multi-byte numbers are big-endian.
//
// Commands that carry names (entry sets) may be longer than one packet: the
// "irregular" form has the length field 2, the target letter, the command,
// fixed parameters, then data length + 1 (2 bytes) and the data, which runs
// on through as many following 512-byte packets as it needs, closed by ".".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace emu {

constexpr size_t kPacketSize = 512;
using Packet = std::array<uint8_t, kPacketSize>;

inline uint16_t Be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint16_t Le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t *p)
{
    return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Builds one answer packet.  Fields are appended from offset 4 (the status
// byte) on; Finish() writes the frame around them.
class AnswerBuilder {
public:
    AnswerBuilder &U8(uint8_t v);
    AnswerBuilder &U16(uint16_t v);  // high byte first
    AnswerBuilder &U32(uint32_t v);  // high byte first
    AnswerBuilder &Bytes(const uint8_t *p, size_t n);
    AnswerBuilder &Text(const std::string &s);
    size_t Size() const { return pos_; }

    // Frames the packet.  With oneByteLength the firmware writes the length
    // into offset 2 only and leaves offset 1 as `leftover` (what the command
    // packet had there); otherwise L is written as 16 bits.  A body that runs
    // to the end of the packet gets no terminator (L + 2 >= 512).
    Packet Finish(bool oneByteLength, uint8_t leftover = 0) const;

private:
    Packet p_{};
    size_t pos_ = 4;
};

// Status-only answers.
Packet SuccessAnswer(bool oneByteLength, uint8_t leftover = 0);
Packet RefusalAnswer(int code, bool oneByteLength, uint8_t leftover = 0);

// What a real player leaves in its buffer: it sends the whole 512 bytes of
// an answer, and those after the terminator still hold the last packet it
// built; older firmware does not touch byte 1 either.  Soil fills
// bytes [from, 512) with non-zero bytes that change with `seed` (frame
// characters "#", ":" and "." among them).  SoilAnswer does that after the
// terminator of an answer whose fields end at `fieldsEnd` (the builder's
// Size()), and to byte 1 when the length is one byte.
void Soil(uint8_t *block, size_t from, size_t size, uint32_t seed);
void SoilAnswer(Packet *p, size_t fieldsEnd, bool oneByteLength, uint32_t seed);

// Command forms, by the way the library builds them.
enum class Form {
    kPlain,      // ":" command, payload                        (identification)
    kRegular,    // ":" target, command byte(s), payload           (most commands)
    kSized,      // ":" target, 2 command bytes, payload length, payload ("DM")
    kIrregular,  // multi-packet: target, command, parameters, data length + 1, data
};

// A command packet split into its parts.
struct Command {
    uint8_t target = 0;            // "M", "S", "U", "G", "C"; 0 for the plain form
    std::string key;               // command bytes as sent ("G", "GG", "DC", "\x01", ...)
    std::vector<uint8_t> payload;  // regular and sized forms: bytes after the key; irregular: parameters
    std::vector<uint8_t> data;     // irregular form: the data
    uint8_t lengthHigh = 0;        // byte 1 of the first packet, for one-byte answer lengths
};

// Length field of a command packet (always 16 bits on the way in).
inline uint16_t CommandLength(const Packet &p) { return Be16(&p[1]); }

// True when byte 0 is "#" and byte 3 is ":".
bool HasFrame(const Packet &p);

// Splits a single-packet command whose key is keyLen bytes long.  false when
// the terminator is not where the length field says (or the sized form's
// payload length disagrees with it).
bool ParseSinglePacket(const Packet &p, Form form, size_t keyLen, Command *cmd);

// Irregular commands: the first packet gives the parameters and the data
// length; the rest of the data and the terminator follow in further packets.
struct IrregularHead {
    size_t dataStart = 0;   // offset of the first data byte in the first packet
    size_t dataLength = 0;  // D
    // Number of further 512-byte packets the host sends after the first one
    // (the data that does not fit, and one packet holding only "." when the
    // data ends exactly at the end of a packet).
    size_t FollowingPackets() const;
};
bool ParseIrregularHead(const Packet &p, size_t keyLen, size_t paramLen, Command *cmd, IrregularHead *head);

// Gathers the data of an irregular command from the first packet and the
// following ones (concatenated); false when the terminator is missing.
bool CollectIrregularData(const Packet &first, const IrregularHead &head, const std::vector<uint8_t> &following,
                          Command *cmd);

}  // namespace emu
