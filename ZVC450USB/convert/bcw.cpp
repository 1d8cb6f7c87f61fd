/*
 * bcw.cpp - BCW ADPCM recordings to IMA ADPCM WAV files.
 *
 * The player writes its ADPCM recordings as 260-byte frames: four sync
 * bytes 0x7F and one 256-byte IMA ADPCM block (505 samples, the block
 * layout of IMA ADPCM WAV files).  Between frames the file may hold
 * anything - the recorder leaves stray bytes where it lost a buffer - so
 * the frames are found by scanning, and the blocks are copied into the WAV
 * without decoding a sample.
 *
 * A frame counts only when its end is confirmed: the next frame's sync
 * bytes follow right after it, or the recording ends within 3 bytes.  A
 * frame whose follower is not where it should be may have been cut by the
 * recorder and is dropped; so is a last frame cut short by the end of file.
 */
#include "convert.h"
#include "wav.h"
#include "zvc450usb.h"

#include <cstring>
#include <memory>

namespace zvc450 {

namespace {

constexpr std::size_t kSyncBytes = 4;
constexpr std::size_t kFrameBytes = kSyncBytes + kAdpcmBlockBytes;  /* 260 */
/* A frame and the next frame's sync bytes: what one test looks at. */
constexpr std::size_t kProbeBytes = kFrameBytes + kSyncBytes;       /* 264 */
/*
 * The recording is scanned through a window of this size, refilled when
 * fewer than kProbeBytes remain in it; which frames are accepted does not
 * depend on the size.  256 KB pieces go from the kernel straight into the
 * window (stdio passes reads larger than its own buffer through), and
 * progress is reported once per piece.
 */
constexpr std::size_t kWindowBytes = 262144;
constexpr std::size_t kInputBufferBytes = 4096;
/* Accepted blocks are gathered and written 256 KB at a time, likewise
 * straight through stdio. */
constexpr std::size_t kStageBytes = 262144;
constexpr std::size_t kOutputBufferBytes = 4096;

inline bool IsSync(const unsigned char *p)
{
    return p[0] == 0x7F && p[1] == 0x7F && p[2] == 0x7F && p[3] == 0x7F;
}

/*
 * Finds the frames of a recording from its start and hands each accepted
 * block to onBlock(const unsigned char *block), which returns false to
 * stop.  Progress goes to `progress` once per piece read.  Both the
 * conversion and the measuring before it find the frames through this, so
 * they always agree.  False with the status filled on a read error or
 * Cancel (or when onBlock stopped, its status being its own business).
 */
template <typename OnBlock>
bool ScanFrames(std::FILE *in, unsigned total, ConvertProgressFn progress, void *user, unsigned char *window,
                OnBlock onBlock, ConvertStatus *status)
{
    std::size_t pos = 0;    /* next byte to test */
    std::size_t limit = 0;  /* end of the valid bytes */
    bool atEnd = false;
    std::uint64_t consumed = 0;
    for (;;) {
        if (!atEnd && limit - pos < kProbeBytes) {
            std::memmove(window, window + pos, limit - pos);
            limit -= pos;
            pos = 0;
            const std::size_t want = kWindowBytes - limit;
            const std::size_t got = std::fread(window + limit, 1, want, in);
            if (got < want) {
                if (std::ferror(in))
                    return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
                atEnd = true;
            }
            limit += got;
            consumed += got;
            if (progress != nullptr && progress(ClampToUnsigned(consumed), total, user) != 0)
                return Fail(status, ZVS450USB_ERR_USERBREAK);
        }

        /* Until the end of the recording at least kProbeBytes are here. */
        const std::size_t avail = limit - pos;
        if (avail < kFrameBytes)
            return true;

        const unsigned char *p = window + pos;
        if (p[0] != 0x7F) {
            /* No frame can start before the next 0x7F. */
            const void *next = std::memchr(p + 1, 0x7F, avail - 1);
            pos = next != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char *>(next) - window)
                                  : limit;
            continue;
        }
        const bool confirmed = avail >= kProbeBytes ? IsSync(p + kFrameBytes) : true;
        if (!IsSync(p) || !confirmed) {
            ++pos;
            continue;
        }
        if (!onBlock(p + kSyncBytes))
            return false;
        pos += kFrameBytes;
    }
}

/*
 * Refuses, before the WAV exists, a recording whose WAV could not describe
 * its size or would not fit the destination.  The frames are counted (a
 * pass over the recording without progress) only when the quick bound, a
 * frame every 260 bytes, does not settle it; `in` is rewound either way.
 */
bool WavHasRoom(std::FILE *in, std::uint64_t inputSize, const char *wavPath, unsigned char *window,
                ConvertStatus *status)
{
    constexpr std::uint64_t kWrapping = kAdpcmWavHeaderBytes + kAdpcmWavTrailerBytes;
    constexpr std::uint64_t kMaxWavBytes = kWrapping + kMaxAdpcmDataBytes;
    ConvertStatus ignored;
    if (WavFits(wavPath, kWrapping + inputSize / kFrameBytes * kAdpcmBlockBytes, kMaxWavBytes, &ignored))
        return true;
    std::uint64_t blocks = 0;
    const bool counted = ScanFrames(in, 0, nullptr, nullptr, window, [&blocks](const unsigned char *) {
        ++blocks;
        return true;
    }, status);
    if (!counted)
        return false;
    if (std::fseek(in, 0, SEEK_SET) != 0)
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
    return WavFits(wavPath, kWrapping + blocks * kAdpcmBlockBytes, kMaxWavBytes, status);
}

}  // namespace

bool ConvertBcwToWav(const char *sourcePath, const char *wavPath, ConvertProgressFn progress,
                     void *user, ConvertStatus *status)
{
    if (status != nullptr)
        *status = ConvertStatus{};

    RecordingFile source;
    if (!source.Open(sourcePath, wavPath, kInputBufferBytes, status))
        return false;
    const unsigned total = ClampToUnsigned(source.size());

    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kWindowBytes + kStageBytes]);
    unsigned char *const window = buffer.get();
    unsigned char *const stage = window + kWindowBytes;  /* blocks on their way to the WAV */
    if (!WavHasRoom(source.stream(), source.size(), wavPath, window, status))
        return false;

    WavOutputFile wav;
    if (int err = wav.Create(wavPath, kOutputBufferBytes))
        return Fail(status, ZVC450USB_ERR_WINDOWS, err);
    std::FILE *out = wav.stream();

    std::uint8_t header[kAdpcmWavHeaderBytes];
    MakeAdpcmWavHeader(header);
    if (!WriteAll(out, header, sizeof header))
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());

    std::size_t staged = 0;
    std::uint64_t blocks = 0;
    const bool scanned = ScanFrames(source.stream(), total, progress, user, window, [&](const unsigned char *block) {
        if ((blocks + 1) * kAdpcmBlockBytes > kMaxAdpcmDataBytes)
            return Fail(status, ZVC450USB_ERR_FILE_TOOBIG);
        if (staged + kAdpcmBlockBytes > kStageBytes) {
            if (!WriteAll(out, stage, staged))
                return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
            staged = 0;
        }
        std::memcpy(stage + staged, block, kAdpcmBlockBytes);
        staged += kAdpcmBlockBytes;
        ++blocks;
        return true;
    }, status);
    if (!scanned)
        return false;

    if (!WriteAll(out, stage, staged))
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());

    const auto dataBytes = static_cast<std::uint32_t>(blocks * kAdpcmBlockBytes);
    std::uint8_t trailer[kAdpcmWavTrailerBytes];
    MakeAdpcmWavTrailer(trailer, static_cast<std::uint32_t>(blocks));
    std::uint8_t size[4];
    std::uint8_t riffSize[4];
    PutLe32(size, dataBytes);
    PutLe32(riffSize, dataBytes + static_cast<std::uint32_t>(kAdpcmWavHeaderBytes + kAdpcmWavTrailerBytes - 8));
    if (!WriteAll(out, trailer, sizeof trailer) || !WriteAt(out, kAdpcmDataLengthOffset, size, 4) ||
        !WriteAt(out, kRiffSizeOffset, riffSize, 4))
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
    if (int err = wav.Commit())
        return Fail(status, ZVC450USB_ERR_WINDOWS, err);
    return true;
}

}  // namespace zvc450
