/*
 * amr_order.h - the player's BVF speech frames and the AMR-NB storage
 * frames that opencore-amr decodes.
 *
 * The player's encoder stores a frame's parameters in the codec's serial
 * order: the parameters one after another, each most significant bit
 * first, packed least significant bit first into bytes.  opencore-amr
 * takes the storage frames of .amr files instead: one header byte
 * (frame type << 3 | quality bit 0x04), then the same bits in order of
 * their sensitivity to errors, packed most significant bit first.
 *
 * Storage bit k (after the header byte) is serial bit kMr475Order[k] or
 * kMr59Order[k].  SID frames are not reordered.
 */
#pragma once

#include <cstddef>
#include <cstdint>

namespace zvc450 {

/* Header byte of the player's recording: the codec mode it used. */
enum BvfMode : int { kBvfMr475 = 0, kBvfMr59 = 1 };

/* The two-bit frame type in the first byte of a frame, when the recording has one. */
enum BvfFrameType : int { kBvfSpeech = 0, kBvfSidFirst = 1, kBvfSidUpdate = 2, kBvfNoData = 3 };

constexpr int kMr475Bits = 95;
constexpr int kMr59Bits = 118;
constexpr int kSidBits = 35;       /* SID parameters; 39 bits in the frame */
constexpr int kSidFrameBits = 39;

extern const std::uint8_t kMr475Order[kMr475Bits];
extern const std::uint8_t kMr59Order[kMr59Bits];

/*
 * Bits per parameter in serial order: the groups in which the codec reads
 * a frame's bits back into parameters (LSF indexes, pitch delays, pulse
 * positions and signs, gains; for SID the reference vector, three LSF
 * sub-vectors and the energy).  Each parameter is a contiguous run of
 * serial bits, most significant first, so the reorder tables address its
 * bits by serial position and the storage frame carries the same groups.
 */
inline constexpr std::uint8_t kMr475ParamBits[17] = {8, 8, 7, 8, 7, 2, 8, 4, 7, 2, 4, 7, 2, 8, 4, 7, 2};
inline constexpr std::uint8_t kMr59ParamBits[19] = {8, 9, 9, 8, 9, 2, 6, 4, 9, 2, 6, 8, 9, 2, 6, 4, 9, 2, 6};
inline constexpr std::uint8_t kSidParamBits[5] = {3, 8, 9, 9, 6};

template <std::size_t N>
constexpr int SumOfBits(const std::uint8_t (&bits)[N])
{
    int sum = 0;
    for (std::size_t i = 0; i < N; ++i)
        sum += bits[i];
    return sum;
}
static_assert(SumOfBits(kMr475ParamBits) == kMr475Bits, "MR475 parameters fill 95 bits");
static_assert(SumOfBits(kMr59ParamBits) == kMr59Bits, "MR59 parameters fill 118 bits");
static_assert(SumOfBits(kSidParamBits) == kSidBits, "SID parameters fill 35 bits");

/* Storage frame header bytes (frame type << 3, quality bit set). */
constexpr std::uint8_t kStorageMr475 = 0x04;
constexpr std::uint8_t kStorageMr59 = 0x14;
constexpr std::uint8_t kStorageSid = 0x44;
constexpr std::uint8_t kStorageNoData = 0x7C;
constexpr std::size_t kMaxStorageFrameBytes = 16;

/* Size in bytes of a BVF frame, its first byte included. */
int BvfFrameBytes(int mode, bool typed, int frameType);

/*
 * Reorders one complete BVF frame (frameBytes of BvfFrameBytes()) into the
 * storage frame that opencore-amr decodes; returns the storage frame's
 * size.  For SID frames the type indicator comes from the frame type and
 * the mode indication from the recording's mode.
 */
std::size_t BvfFrameToStorage(const std::uint8_t *frame, int mode, bool typed, std::uint8_t *storage);

}  // namespace zvc450
