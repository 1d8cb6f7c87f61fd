/*
 * bvf.cpp - BVF speech recordings to 16-bit PCM WAV files.
 *
 * A BVF recording is AMR-NB speech (4.75 or 5.9 kbit/s, optionally with
 * silence descriptor frames):
 *
 *   header   mode byte (0 MR475, 1 MR59), frame-type flag, 0xFF 0xFB,
 *            5 bytes we do not need
 *   frames   with the flag 0 every frame is speech (12 or 15 bytes); with
 *            the flag set the two low bits of a frame's first byte give its
 *            type - speech (13 or 15 bytes), SID_FIRST or SID_UPDATE
 *            (6 bytes), no data (1 byte) - and its bits start at bit 2
 *   sync     after every 10 frames 0xFF 0xFB and 5 more bytes
 *
 * Each frame is reordered into an AMR storage frame (amr_order.cpp) and
 * decoded with one opencore-amr decoder per recording into 160 samples.
 */
#include "amr_order.h"
#include "convert.h"
#include "wav.h"
#include "zvc450usb.h"

#include <opencore-amrnb/interf_dec.h>

#include <cerrno>
#include <cstring>

namespace zvc450 {

namespace {

constexpr std::size_t kStreamBufferBytes = 16384;
constexpr std::size_t kHeaderBytes = 9;
constexpr int kFramesPerSyncBlock = 10;
constexpr std::size_t kSyncBlockTail = 5;  /* after 0xFF 0xFB */
constexpr int kSamplesPerFrame = 160;
constexpr std::size_t kPcmFrameBytes = kSamplesPerFrame * 2;
constexpr std::size_t kMaxBvfFrameBytes = 15;

bool IsSyncWord(const std::uint8_t *p)
{
    return p[0] == 0xFF && p[1] == 0xFB;
}

/* A header cut short is no more a BVF header than a wrong sync word. */
bool IsBvfHeader(const std::uint8_t *header, std::size_t got)
{
    return got == kHeaderBytes && IsSyncWord(header + 2) && header[0] <= kBvfMr59;
}

class Decoder {
public:
    Decoder() : state_(Decoder_Interface_init()) {}
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    ~Decoder()
    {
        if (state_ != nullptr)
            Decoder_Interface_exit(state_);
    }
    bool ok() const { return state_ != nullptr; }
    /* bfi 0 for every frame: a no-data frame says so by its type. */
    void Decode(const std::uint8_t *storage, short *pcm) { Decoder_Interface_Decode(state_, storage, pcm, 0); }

private:
    void *state_;
};

/* Reads up to n bytes; false only on a read error (a short count is the end). */
bool ReadSome(std::FILE *in, void *buf, std::size_t n, std::size_t *got)
{
    *got = std::fread(buf, 1, n, in);
    return *got == n || !std::ferror(in);
}

/*
 * The frames of a recording after its header, one by one, with the sync
 * blocks between them skipped as the player's own reader skips them: after
 * every 10 frames come 2 bytes, and when they are the sync word 5 more.  Two
 * bytes that are not the sync word are lost, and the next frame starts
 * right after them.  Both the decoding and the measuring before it read the
 * frames through this, so they always agree on what a recording holds.
 */
class BvfFrameReader {
public:
    enum Result { kFrame, kCutShort, kEnd, kError };

    BvfFrameReader(std::FILE *in, int mode, bool typed) : in_(in), mode_(mode), typed_(typed) {}

    /* The next frame into frame[kMaxBvfFrameBytes]: kFrame, kCutShort for a
     * last frame cut short by the end of the file, kEnd, or kError (errno). */
    Result Next(std::uint8_t *frame)
    {
        std::size_t got = 0;
        if (framesSinceSync_ == kFramesPerSyncBlock) {
            framesSinceSync_ = 0;
            std::uint8_t sync[kSyncBlockTail];
            if (!ReadSome(in_, sync, 2, &got))
                return kError;
            position_ += got;
            if (got == 2 && IsSyncWord(sync)) {
                if (!ReadSome(in_, sync, kSyncBlockTail, &got))
                    return kError;
                position_ += got;
            }
        }
        if (!ReadSome(in_, frame, 1, &got))
            return kError;
        if (got == 0)
            return kEnd;
        const int frameType = typed_ ? (frame[0] & 3) : kBvfSpeech;
        const std::size_t rest = static_cast<std::size_t>(BvfFrameBytes(mode_, typed_, frameType)) - 1;
        if (!ReadSome(in_, frame + 1, rest, &got))
            return kError;
        position_ += 1 + got;
        if (got < rest)
            return kCutShort;
        ++framesSinceSync_;
        return kFrame;
    }

    /* Bytes of the file read so far, the header included. */
    std::uint64_t position() const { return position_; }

private:
    std::FILE *in_;
    int mode_;
    bool typed_;
    int framesSinceSync_ = 0;
    std::uint64_t position_ = kHeaderBytes;
};

/*
 * Refuses, before the WAV exists, a recording whose WAV could not describe
 * its size or would not fit the destination.  `in` stands after the header
 * and is left there.  The frames are counted only when the quick bound (every
 * byte a frame of its own) does not settle it.
 */
bool WavHasRoom(std::FILE *in, std::uint64_t inputSize, int mode, bool typed, const char *wavPath,
                ConvertStatus *status)
{
    constexpr std::uint64_t kMaxWavBytes = kPcmWavHeaderBytes + kMaxPcmDataBytes;
    const int smallestFrame = typed ? BvfFrameBytes(mode, true, kBvfNoData) : BvfFrameBytes(mode, false, kBvfSpeech);
    const std::uint64_t mostFrames =
        inputSize > kHeaderBytes ? (inputSize - kHeaderBytes) / static_cast<std::uint64_t>(smallestFrame) : 0;
    ConvertStatus ignored;
    if (WavFits(wavPath, kPcmWavHeaderBytes + mostFrames * kPcmFrameBytes, kMaxWavBytes, &ignored))
        return true;

    const long start = std::ftell(in);
    BvfFrameReader reader(in, mode, typed);
    std::uint8_t frame[kMaxBvfFrameBytes];
    std::uint64_t frames = 0;
    for (;;) {
        const BvfFrameReader::Result r = reader.Next(frame);
        if (r == BvfFrameReader::kError)
            return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        if (r != BvfFrameReader::kFrame)
            break;
        ++frames;
    }
    if (start < 0 || std::fseek(in, start, SEEK_SET) != 0)
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
    return WavFits(wavPath, kPcmWavHeaderBytes + frames * kPcmFrameBytes, kMaxWavBytes, status);
}

}  // namespace

int DecodeBvfStream(std::FILE *in, std::FILE *out, ConvertProgressFn progress, void *user, ConvertStatus *status)
{
    if (status != nullptr)
        *status = ConvertStatus{};

    Decoder decoder;
    if (!decoder.ok()) {
        Fail(status, ZVC450USB_ERR_MEMORY_ALLOC);
        return -2;
    }

    errno = 0;
    if (std::fseek(in, 0, SEEK_END) != 0) {
        Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        return -1;
    }
    const long inputSize = std::ftell(in);
    if (inputSize < 0 || std::fseek(in, 0, SEEK_SET) != 0 || std::fseek(out, 0, SEEK_SET) != 0) {
        Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        return -1;
    }
    const unsigned total = ClampToUnsigned(static_cast<std::uint64_t>(inputSize));

    std::uint8_t header[kHeaderBytes];
    std::size_t got = 0;
    if (!ReadSome(in, header, kHeaderBytes, &got)) {
        Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        return -1;
    }
    if (!IsBvfHeader(header, got)) {
        Fail(status, ZVC450USB_ERR_FORMAT);
        return -1;
    }
    const int mode = header[0];
    const bool typed = header[1] != 0;

    const std::uint8_t room[kPcmWavHeaderBytes] = {};
    if (!WriteAll(out, room, sizeof room)) {
        Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        return -1;
    }

    std::uint64_t dataBytes = 0;
    BvfFrameReader reader(in, mode, typed);
    std::uint8_t frame[kMaxBvfFrameBytes];
    std::uint8_t storage[kMaxStorageFrameBytes];
    short pcm[kSamplesPerFrame];
    std::uint8_t pcmBytes[kPcmFrameBytes];

    for (;;) {
        const BvfFrameReader::Result r = reader.Next(frame);
        if (r == BvfFrameReader::kError) {
            Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
            return -1;
        }
        if (r == BvfFrameReader::kEnd)
            break;
        if (progress != nullptr && progress(ClampToUnsigned(reader.position()), total, user) != 0) {
            Fail(status, ZVS450USB_ERR_USERBREAK);
            return -1;
        }
        /*
         * A last frame cut short by the end of the file is dropped: the
         * recorder stopped in the middle of writing it, its missing
         * parameter bits would decode to a 20 ms burst of noise, and
         * everything recorded before it is already in the WAV.
         */
        if (r == BvfFrameReader::kCutShort)
            break;

        if (dataBytes + kPcmFrameBytes > kMaxPcmDataBytes) {
            Fail(status, ZVC450USB_ERR_FILE_TOOBIG);
            return -1;
        }
        BvfFrameToStorage(frame, mode, typed, storage);
        decoder.Decode(storage, pcm);
        for (int i = 0; i < kSamplesPerFrame; ++i)
            PutLe16(pcmBytes + 2 * i, static_cast<std::uint16_t>(pcm[i]));
        if (!WriteAll(out, pcmBytes, sizeof pcmBytes)) {
            Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
            return -1;
        }
        dataBytes += kPcmFrameBytes;
    }

    std::uint8_t wavHeader[kPcmWavHeaderBytes];
    MakePcmWavHeader(wavHeader, static_cast<std::uint32_t>(dataBytes));
    if (std::fflush(out) != 0 || !WriteAt(out, 0, wavHeader, sizeof wavHeader) || std::fflush(out) != 0) {
        Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
        return -1;
    }
    return 0;
}

bool ConvertBvfToWav(const char *sourcePath, const char *wavPath, ConvertProgressFn progress, void *user,
                     ConvertStatus *status)
{
    if (status != nullptr)
        *status = ConvertStatus{};

    RecordingFile source;
    if (!source.Open(sourcePath, wavPath, kStreamBufferBytes, status))
        return false;

    /* Look at the header before creating the WAV: a file that is no BVF
     * recording must not cost the user a file of the WAV's name. */
    std::uint8_t header[kHeaderBytes];
    std::size_t got = 0;
    if (!ReadSome(source.stream(), header, kHeaderBytes, &got))
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
    if (!IsBvfHeader(header, got))
        return Fail(status, ZVC450USB_ERR_FORMAT);
    if (!WavHasRoom(source.stream(), source.size(), header[0], header[1] != 0, wavPath, status))
        return false;

    WavOutputFile wav;
    if (int err = wav.Create(wavPath, kStreamBufferBytes))
        return Fail(status, ZVC450USB_ERR_WINDOWS, err);
    if (DecodeBvfStream(source.stream(), wav.stream(), progress, user, status) != 0)
        return false;  /* wav's destructor deletes the partial file */
    if (int err = wav.Commit())
        return Fail(status, ZVC450USB_ERR_WINDOWS, err);
    return true;
}

}  // namespace zvc450
