#include "recordings.h"

#include <cstring>

#include <opencore-amrnb/interf_enc.h>

namespace emu {
namespace demo {

namespace {

uint16_t Le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t *p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

struct WavChunks {
    const uint8_t *fmt = nullptr;
    size_t fmtSize = 0;
    const uint8_t *data = nullptr;
    size_t dataSize = 0;
};

bool FindChunks(const Bytes &wav, WavChunks *c, std::string *err)
{
    if (wav.size() < 12 || memcmp(wav.data(), "RIFF", 4) != 0 || memcmp(wav.data() + 8, "WAVE", 4) != 0) {
        *err = "not a WAV file";
        return false;
    }
    for (size_t at = 12; at + 8 <= wav.size();) {
        size_t size = Le32(&wav[at + 4]);
        size_t body = at + 8;
        size_t avail = std::min(size, wav.size() - body);
        if (memcmp(&wav[at], "fmt ", 4) == 0) {
            c->fmt = &wav[body];
            c->fmtSize = avail;
        } else if (memcmp(&wav[at], "data", 4) == 0) {
            c->data = &wav[body];
            c->dataSize = avail;
        }
        at = body + size + (size & 1);
    }
    if (!c->fmt || c->fmtSize < 16 || !c->data) {
        *err = "WAV file without format or data";
        return false;
    }
    return true;
}

// Storage bit k of a speech frame is serial bit table[k] (3GPP TS 26.101,
// bit-sensitivity order of 4.75 and 5.9 kbit/s).
const uint8_t kOrderMr475[95] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 23, 24, 25,
                                 26, 27, 28, 48, 49, 61, 62, 82, 83, 47, 46, 45, 44, 81, 80, 79, 78, 17, 18,
                                 20, 22, 77, 76, 75, 74, 29, 30, 43, 42, 41, 40, 38, 39, 16, 19, 21, 50, 51,
                                 59, 60, 63, 64, 72, 73, 84, 85, 93, 94, 32, 33, 35, 36, 53, 54, 56, 57, 66,
                                 67, 69, 70, 87, 88, 90, 91, 34, 55, 68, 89, 37, 58, 71, 92, 31, 52, 65, 86};
const uint8_t kOrderMr59[118] = {
    0,  1,   4,   5,  3,  6,   7,   2,   13,  15,  8,   9,  11, 12,  14, 10, 16,  28,  74, 29,  75, 27,  73,  26,
    72, 30,  76,  51, 97, 50,  71,  96,  117, 31,  77,  52, 98, 49,  70, 95, 116, 53,  99, 32,  78, 33,  79,  48,
    69, 94,  115, 47, 68, 93,  114, 46,  67,  92,  113, 19, 21, 23,  22, 18, 17,  20,  24, 111, 43, 89,  110, 64,
    65, 44,  90,  25, 45, 66,  91,  112, 54,  100, 40,  61, 86, 107, 39, 60, 85,  106, 36, 57,  82, 103, 35,  56,
    81, 102, 34,  55, 80, 101, 42,  63,  88,  109, 41,  62, 87, 108, 38, 59, 84,  105, 37, 58,  83, 104};

constexpr int kFtMr475 = 0, kFtMr59 = 2, kFtSid = 8, kFtNoData = 15;
constexpr size_t kSidBits = 39;
constexpr uint8_t kSync[7] = {0xFF, 0xFB, 0, 0, 0, 0, 0};

int StorageBit(const uint8_t *payload, size_t k) { return (payload[k / 8] >> (7 - k % 8)) & 1; }

}  // namespace

bool BcwFromImaWav(const Bytes &wav, Bytes *bcw, std::string *err)
{
    WavChunks c;
    if (!FindChunks(wav, &c, err))
        return false;
    uint16_t format = Le16(c.fmt), channels = Le16(c.fmt + 2), blockAlign = Le16(c.fmt + 12);
    if (format != 0x11 || channels != 1 || blockAlign != 256 || Le32(c.fmt + 4) != 8000) {
        *err = "the player records IMA ADPCM, 8000 Hz, mono, 256-byte blocks";
        return false;
    }
    bcw->clear();
    for (size_t at = 0; at + 256 <= c.dataSize; at += 256) {
        bcw->insert(bcw->end(), 4, 0x7F);
        bcw->insert(bcw->end(), c.data + at, c.data + at + 256);
    }
    return true;
}

bool PcmFromWav(const Bytes &wav, std::vector<int16_t> *samples, std::string *err)
{
    WavChunks c;
    if (!FindChunks(wav, &c, err))
        return false;
    if (Le16(c.fmt) != 1 || Le16(c.fmt + 2) != 1 || Le32(c.fmt + 4) != 8000 || Le16(c.fmt + 14) != 16) {
        *err = "expected 16-bit PCM, 8000 Hz, mono";
        return false;
    }
    samples->resize(c.dataSize / 2);
    for (size_t i = 0; i < samples->size(); ++i)
        (*samples)[i] = int16_t(Le16(c.data + 2 * i));
    return true;
}

int SerialBitsFromStorage(const uint8_t *frame, size_t size, std::vector<uint8_t> *bits)
{
    if (size < 1)
        return -1;
    int ft = (frame[0] >> 3) & 0x0F;
    const uint8_t *payload = frame + 1;
    bits->clear();
    if (ft == kFtMr475 || ft == kFtMr59) {
        const uint8_t *order = ft == kFtMr475 ? kOrderMr475 : kOrderMr59;
        size_t n = ft == kFtMr475 ? sizeof kOrderMr475 : sizeof kOrderMr59;
        if (size < 1 + (n + 7) / 8)
            return -1;
        bits->assign(n, 0);
        for (size_t k = 0; k < n; ++k)
            (*bits)[order[k]] = uint8_t(StorageBit(payload, k));
        return 0;
    }
    if (ft == kFtSid) {
        if (size < 6)
            return -1;
        // SID bits are not reordered; bit 35 tells SID_UPDATE from SID_FIRST.
        for (size_t k = 0; k < kSidBits; ++k)
            bits->push_back(uint8_t(StorageBit(payload, k)));
        return StorageBit(payload, 35) ? 2 : 1;
    }
    if (ft == kFtNoData)
        return 3;
    return -1;
}

bool EncodeBvf(const std::vector<int16_t> &samples, int mode, bool dtx, Bytes *bvf, std::string *err)
{
    if (mode != 0 && mode != 1) {
        *err = "mode must be 0 (4.75 kbit/s) or 1 (5.9 kbit/s)";
        return false;
    }
    void *enc = Encoder_Interface_init(dtx ? 1 : 0);
    if (!enc) {
        *err = "cannot set up the AMR-NB encoder";
        return false;
    }
    const bool typed = dtx;  // frame types are needed only when not every frame is speech
    *bvf = {uint8_t(mode), uint8_t(typed ? 1 : 0), 0xFF, 0xFB, 0, 0, 0, 0, 0};
    int frames = 0;
    for (size_t at = 0; at < samples.size(); at += 160) {
        short pcm[160] = {};
        for (size_t i = 0; i < 160 && at + i < samples.size(); ++i)
            pcm[i] = samples[at + i];
        uint8_t out[64];
        int n = Encoder_Interface_Encode(enc, mode == 0 ? MR475 : MR59, pcm, out, 0);
        std::vector<uint8_t> bits;
        int type = SerialBitsFromStorage(out, size_t(n > 0 ? n : 0), &bits);
        if (type < 0 || (!typed && type != 0)) {
            Encoder_Interface_exit(enc);
            *err = "unexpected frame from the encoder";
            return false;
        }
        size_t offset = typed ? 2 : 0;
        size_t totalBits = offset + (type == 3 ? 0 : bits.size());
        Bytes frame(std::max<size_t>(1, (totalBits + 7) / 8), 0);
        if (typed)
            frame[0] = uint8_t(type);
        for (size_t s = 0; s < bits.size() && type != 3; ++s)
            if (bits[s])
                frame[(offset + s) / 8] |= uint8_t(1 << ((offset + s) % 8));
        bvf->insert(bvf->end(), frame.begin(), frame.end());
        if (++frames == 10) {
            bvf->insert(bvf->end(), kSync, kSync + sizeof kSync);
            frames = 0;
        }
    }
    Encoder_Interface_exit(enc);
    return true;
}

}  // namespace demo
}  // namespace emu
