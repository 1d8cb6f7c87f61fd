/*
 * recording_writer.h - writes recordings in the player's own formats.
 *
 * The inverse of the converters, for tests, benchmarks and the emulated
 * player's demo content:
 *   BvfWriter    AMR-NB storage frames (.amr frames, header byte first, as
 *                opencore-amr's encoder returns them) -> BVF recording
 *   AppendBcwFrame  one 256-byte IMA ADPCM block -> one BCW frame
 *   EncodeAmr    8 kHz 16-bit PCM -> storage frames with opencore-amr
 *
 * Links against zvc450convert (the reorder tables) and opencore-amrnb.
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvc450::recording {

using Bytes = std::vector<std::uint8_t>;

/* Size of a storage frame from its header byte: MR475, MR59, SID and
 * NO_DATA frames; 0 for any other frame type. */
std::size_t StorageFrameBytes(std::uint8_t header);

class BvfWriter {
public:
    /* mode 0 (4.75 kbit/s) or 1 (5.9 kbit/s); typed: frames carry their type. */
    BvfWriter(int mode, bool typed);

    /*
     * Appends one storage frame in the player's format, with the sync
     * block after every 10th frame.  False (nothing appended) when the
     * recording cannot hold it: speech of the other mode, an unknown frame
     * type, or anything but speech in a recording without frame types.
     */
    bool Add(const std::uint8_t *storage, std::size_t size);
    bool Add(const Bytes &storage) { return Add(storage.data(), storage.size()); }

    const Bytes &bytes() const { return bytes_; }
    int frames() const { return frames_; }

private:
    int mode_;
    bool typed_;
    int frames_ = 0;
    Bytes bytes_;
};

/* Appends 0x7F 0x7F 0x7F 0x7F and the 256-byte block. */
void AppendBcwFrame(Bytes &out, const std::uint8_t *block);

/* Encodes whole 160-sample frames (a partial last frame is padded with
 * silence); mode 0 MR475, 1 MR59; dtx enables silence descriptors. */
std::vector<Bytes> EncodeAmr(const std::vector<std::int16_t> &pcm, int mode, bool dtx);

/* Decodes storage frames with a fresh opencore-amr decoder: the reference
 * output a converted BVF recording must match sample for sample. */
std::vector<std::int16_t> DecodeAmr(const std::vector<Bytes> &frames);

}  // namespace zvc450::recording
