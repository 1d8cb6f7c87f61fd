/*
 * amr_order.cpp - BVF frames (serial bit order) to AMR storage frames.
 */
#include "amr_order.h"

#include <cstring>

namespace zvc450 {

/*
 * The sensitivity order of the 4.75 and 5.9 kbit/s modes: storage bit k is
 * serial bit table[k].  The most sensitive bits (LSF indexes, pitch delays,
 * the gains' high bits) come first, pulse positions and signs last.
 */
const std::uint8_t kMr475Order[kMr475Bits] = {
      0,   1,   2,   3,   4,   5,   6,   7,   8,   9,
     10,  11,  12,  13,  14,  15,  23,  24,  25,  26,
     27,  28,  48,  49,  61,  62,  82,  83,  47,  46,
     45,  44,  81,  80,  79,  78,  17,  18,  20,  22,
     77,  76,  75,  74,  29,  30,  43,  42,  41,  40,
     38,  39,  16,  19,  21,  50,  51,  59,  60,  63,
     64,  72,  73,  84,  85,  93,  94,  32,  33,  35,
     36,  53,  54,  56,  57,  66,  67,  69,  70,  87,
     88,  90,  91,  34,  55,  68,  89,  37,  58,  71,
     92,  31,  52,  65,  86,
};

const std::uint8_t kMr59Order[kMr59Bits] = {
      0,   1,   4,   5,   3,   6,   7,   2,  13,  15,
      8,   9,  11,  12,  14,  10,  16,  28,  74,  29,
     75,  27,  73,  26,  72,  30,  76,  51,  97,  50,
     71,  96, 117,  31,  77,  52,  98,  49,  70,  95,
    116,  53,  99,  32,  78,  33,  79,  48,  69,  94,
    115,  47,  68,  93, 114,  46,  67,  92, 113,  19,
     21,  23,  22,  18,  17,  20,  24, 111,  43,  89,
    110,  64,  65,  44,  90,  25,  45,  66,  91, 112,
     54, 100,  40,  61,  86, 107,  39,  60,  85, 106,
     36,  57,  82, 103,  35,  56,  81, 102,  34,  55,
     80, 101,  42,  63,  88, 109,  41,  62,  87, 108,
     38,  59,  84, 105,  37,  58,  83, 104,
};

namespace {

/* Where storage bit k of a speech frame sits in a BVF frame. */
struct SpeechBitMap {
    std::uint8_t byteIndex[kMr59Bits];
    std::uint8_t shift[kMr59Bits];
    int bits;
};

SpeechBitMap BuildSpeechBitMap(int mode, bool typed)
{
    SpeechBitMap map{};
    const std::uint8_t *order = mode == kBvfMr475 ? kMr475Order : kMr59Order;
    map.bits = mode == kBvfMr475 ? kMr475Bits : kMr59Bits;
    const int first = typed ? 2 : 0;  /* bits 0 and 1 hold the frame type */
    for (int k = 0; k < map.bits; ++k) {
        const int bit = first + order[k];
        map.byteIndex[k] = static_cast<std::uint8_t>(bit >> 3);
        map.shift[k] = static_cast<std::uint8_t>(bit & 7);
    }
    return map;
}

const SpeechBitMap &SpeechMapFor(int mode, bool typed)
{
    static const SpeechBitMap maps[4] = {
        BuildSpeechBitMap(kBvfMr475, false), BuildSpeechBitMap(kBvfMr475, true),
        BuildSpeechBitMap(kBvfMr59, false), BuildSpeechBitMap(kBvfMr59, true)};
    return maps[(mode == kBvfMr475 ? 0 : 2) + (typed ? 1 : 0)];
}

inline int BvfBit(const std::uint8_t *frame, int bit)
{
    return (frame[bit >> 3] >> (bit & 7)) & 1;
}

inline void SetStorageBit(std::uint8_t *payload, int k)
{
    payload[k >> 3] |= static_cast<std::uint8_t>(0x80 >> (k & 7));
}

}  // namespace

int BvfFrameBytes(int mode, bool typed, int frameType)
{
    if (!typed)
        return mode == kBvfMr475 ? 12 : 15;
    switch (frameType) {
    case kBvfSpeech:
        return mode == kBvfMr475 ? 13 : 15;
    case kBvfSidFirst:
    case kBvfSidUpdate:
        return 6;
    default:
        return 1;
    }
}

std::size_t BvfFrameToStorage(const std::uint8_t *frame, int mode, bool typed, std::uint8_t *storage)
{
    const int frameType = typed ? (frame[0] & 3) : kBvfSpeech;
    std::uint8_t *payload = storage + 1;

    if (frameType == kBvfSpeech) {
        const SpeechBitMap &map = SpeechMapFor(mode, typed);
        const std::size_t bytes = (static_cast<std::size_t>(map.bits) + 7) / 8;
        std::memset(payload, 0, bytes);
        for (int k = 0; k < map.bits; ++k) {
            if ((frame[map.byteIndex[k]] >> map.shift[k]) & 1)
                SetStorageBit(payload, k);
        }
        storage[0] = mode == kBvfMr475 ? kStorageMr475 : kStorageMr59;
        return 1 + bytes;
    }

    if (frameType == kBvfNoData) {
        storage[0] = kStorageNoData;
        return 1;
    }

    /*
     * SID: the 35 parameter bits keep their order.  Behind them the storage
     * frame carries the SID type indicator and the speech mode in use
     * (codec mode 0 or 2), the latter least significant bit first.  The
     * player's own 4 bits after the parameters are not relied upon.
     */
    std::memset(payload, 0, 5);
    for (int s = 0; s < kSidBits; ++s) {
        if (BvfBit(frame, 2 + s))
            SetStorageBit(payload, s);
    }
    if (frameType == kBvfSidUpdate)
        SetStorageBit(payload, kSidBits);
    const int codecMode = mode == kBvfMr475 ? 0 : 2;
    for (int i = 0; i < 3; ++i) {
        if ((codecMode >> i) & 1)
            SetStorageBit(payload, kSidBits + 1 + i);
    }
    storage[0] = kStorageSid;
    return 6;
}

}  // namespace zvc450
