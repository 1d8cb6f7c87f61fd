/*
 * recording_writer.cpp - the player's BVF and BCW formats from AMR storage
 * frames and IMA ADPCM blocks.
 */
#include "recording_writer.h"

#include "amr_order.h"

#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include <algorithm>

namespace zvc450::recording {

namespace {

/* The 5 bytes after a sync word that nobody reads; the player fills them
 * with its own bookkeeping. */
const std::uint8_t kSyncTail[5] = {0x00, 0x01, 0x02, 0x03, 0x04};

inline int StorageBit(const std::uint8_t *payload, int k)
{
    return (payload[k >> 3] >> (7 - (k & 7))) & 1;
}

inline void SetBvfBit(std::uint8_t *frame, int bit)
{
    frame[bit >> 3] |= static_cast<std::uint8_t>(1u << (bit & 7));
}

}  // namespace

std::size_t StorageFrameBytes(std::uint8_t header)
{
    switch (header & 0x78) {
    case kStorageMr475 & 0x78:
        return 13;
    case kStorageMr59 & 0x78:
        return 16;
    case kStorageSid & 0x78:
        return 6;
    case kStorageNoData & 0x78:
        return 1;
    default:
        return 0;
    }
}

BvfWriter::BvfWriter(int mode, bool typed) : mode_(mode), typed_(typed)
{
    const std::uint8_t header[9] = {static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(typed ? 1 : 0),
                                    0xFF, 0xFB, kSyncTail[0], kSyncTail[1], kSyncTail[2], kSyncTail[3], kSyncTail[4]};
    bytes_.assign(header, header + 9);
}

bool BvfWriter::Add(const std::uint8_t *storage, std::size_t size)
{
    if (size == 0 || StorageFrameBytes(storage[0]) != size)
        return false;
    const std::uint8_t header = storage[0] & 0x78;
    const std::uint8_t *payload = storage + 1;
    int type = kBvfSpeech;
    if (header == (kStorageSid & 0x78))
        type = StorageBit(payload, kSidBits) ? kBvfSidUpdate : kBvfSidFirst;
    else if (header == (kStorageNoData & 0x78))
        type = kBvfNoData;
    else if (header != ((mode_ == kBvfMr475 ? kStorageMr475 : kStorageMr59) & 0x78))
        return false;
    if (!typed_ && type != kBvfSpeech)
        return false;

    std::uint8_t frame[16] = {};
    const int first = typed_ ? 2 : 0;
    frame[0] = static_cast<std::uint8_t>(type);
    if (type == kBvfSpeech) {
        const std::uint8_t *order = mode_ == kBvfMr475 ? kMr475Order : kMr59Order;
        const int bits = mode_ == kBvfMr475 ? kMr475Bits : kMr59Bits;
        for (int k = 0; k < bits; ++k)
            if (StorageBit(payload, k))
                SetBvfBit(frame, first + order[k]);
    } else if (type != kBvfNoData) {
        /* SID parameters, then the type indicator and mode as stored. */
        for (int k = 0; k < kSidFrameBits; ++k)
            if (StorageBit(payload, k))
                SetBvfBit(frame, first + k);
    }
    const int n = BvfFrameBytes(mode_, typed_, type);
    bytes_.insert(bytes_.end(), frame, frame + n);

    if (++frames_ % 10 == 0) {
        bytes_.push_back(0xFF);
        bytes_.push_back(0xFB);
        bytes_.insert(bytes_.end(), kSyncTail, kSyncTail + 5);
    }
    return true;
}

void AppendBcwFrame(Bytes &out, const std::uint8_t *block)
{
    out.insert(out.end(), 4, 0x7F);
    out.insert(out.end(), block, block + 256);
}

std::vector<Bytes> EncodeAmr(const std::vector<std::int16_t> &pcm, int mode, bool dtx)
{
    std::vector<Bytes> frames;
    void *enc = Encoder_Interface_init(dtx ? 1 : 0);
    if (enc == nullptr)
        return frames;
    const Mode codecMode = mode == kBvfMr475 ? MR475 : MR59;
    for (std::size_t at = 0; at < pcm.size(); at += 160) {
        short speech[160] = {};
        std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(at), std::min<std::size_t>(160, pcm.size() - at),
                    speech);
        unsigned char out[64];
        const int n = Encoder_Interface_Encode(enc, codecMode, speech, out, 0);
        if (n > 0)
            frames.emplace_back(out, out + n);
    }
    Encoder_Interface_exit(enc);
    return frames;
}

std::vector<std::int16_t> DecodeAmr(const std::vector<Bytes> &frames)
{
    std::vector<std::int16_t> pcm;
    void *dec = Decoder_Interface_init();
    if (dec == nullptr)
        return pcm;
    for (const Bytes &f : frames) {
        short out[160];
        Decoder_Interface_Decode(dec, f.data(), out, 0);
        pcm.insert(pcm.end(), out, out + 160);
    }
    Decoder_Interface_exit(dec);
    return pcm;
}

}  // namespace zvc450::recording
