/*
 * wav.h - the two RIFF/WAVE layouts the converters write, and the output
 * file that removes itself unless the conversion completes.
 *
 * ADPCM WAV (BCW recordings), little-endian throughout:
 *   0  "RIFF", file length - 8          36  2 extra format bytes
 *   8  "WAVE"                           38  505 samples per block
 *   12 "fmt ", 20                       40  "data", data length (blocks x 256)
 *   20 0x0011 IMA ADPCM, 1 channel      48  the ADPCM blocks
 *   24 8000 Hz, 4000 bytes/s            48+D "fact", 4, blocks x 505
 *   32 block align 256, 4 bits          60+D "LIST", 4, "INFO"  (end of file)
 *
 * PCM WAV (BVF recordings): the canonical 44-byte header of 8 kHz mono
 * 16-bit PCM, then the samples.
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zvc450 {

constexpr std::size_t kAdpcmBlockBytes = 256;
constexpr std::uint32_t kAdpcmSamplesPerBlock = 505;
constexpr std::size_t kAdpcmWavHeaderBytes = 48;   /* through the data length */
constexpr std::size_t kAdpcmWavTrailerBytes = 24;  /* "fact" chunk and empty "LIST"/"INFO" */
constexpr std::size_t kAdpcmDataLengthOffset = 44;
constexpr std::size_t kPcmWavHeaderBytes = 44;
constexpr std::size_t kRiffSizeOffset = 4;

/*
 * The largest data lengths whose WAV still describes itself in its 32-bit
 * fields; a longer recording is refused, never written with a wrapped size.
 * ADPCM: the "fact" chunk's sample count (blocks x 505) runs out first, at
 * about 2 GiB of data, before the data length and the RIFF size (data + 64).
 * PCM: the RIFF size (data + 36).
 */
constexpr std::uint64_t kMaxAdpcmDataBytes = 0xFFFFFFFFull / kAdpcmSamplesPerBlock * kAdpcmBlockBytes;
constexpr std::uint64_t kMaxPcmDataBytes = 0xFFFFFFFFull - 36;
static_assert(kMaxAdpcmDataBytes + 64 <= 0xFFFFFFFFull, "the RIFF size of the largest ADPCM WAV fits");

void PutLe16(std::uint8_t *p, std::uint16_t v);
void PutLe32(std::uint8_t *p, std::uint32_t v);

/* The 48 bytes before the first block, sizes zero. */
void MakeAdpcmWavHeader(std::uint8_t out[kAdpcmWavHeaderBytes]);
/* The 24 bytes after the last block. */
void MakeAdpcmWavTrailer(std::uint8_t out[kAdpcmWavTrailerBytes], std::uint32_t blocks);
/* The complete 44-byte PCM header for dataBytes of samples. */
void MakePcmWavHeader(std::uint8_t out[kPcmWavHeaderBytes], std::uint32_t dataBytes);

/*
 * A WAV being written: a binary stdio stream with a buffer of our own,
 * created anew (an existing file is truncated).  Unless Commit() succeeds,
 * the destructor closes and deletes the file.
 */
class WavOutputFile {
public:
    WavOutputFile() = default;
    WavOutputFile(const WavOutputFile &) = delete;
    WavOutputFile &operator=(const WavOutputFile &) = delete;
    ~WavOutputFile() { Discard(); }

    /* 0 or the errno of the failed creation. */
    int Create(const char *path, std::size_t bufferBytes);
    std::FILE *stream() const { return file_; }
    /* Flushes and closes; 0 or the errno of the failure (the file is then deleted). */
    int Commit();
    /* Closes and deletes the file if it is still open. */
    void Discard();

private:
    void Remove();

    std::FILE *file_ = nullptr;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    /* Only a regular file is ever deleted: a WAV path naming a device
     * (/dev/null, /dev/full) must survive a failed conversion. */
    bool regular_ = false;
};

/* fwrite that fails on a short write; errno tells why. */
bool WriteAll(std::FILE *f, const void *data, std::size_t n);
/* Writes n bytes at the given offset of a seekable stream. */
bool WriteAt(std::FILE *f, long offset, const void *data, std::size_t n);
/* The errno of the last stdio failure, never 0 (EIO stands in). */
int LastErrno();

struct ConvertStatus;

/* Fills the status (when given) and returns false. */
bool Fail(ConvertStatus *status, int error, int sysError = 0);

/*
 * A recording opened for binary reading with a stream buffer of our own.
 * Open() refuses a directory, and a WAV path that names the recording
 * itself (creating the WAV would destroy it); it fills the status on failure.
 */
class RecordingFile {
public:
    RecordingFile() = default;
    RecordingFile(const RecordingFile &) = delete;
    RecordingFile &operator=(const RecordingFile &) = delete;
    ~RecordingFile();

    bool Open(const char *sourcePath, const char *wavPath, std::size_t bufferBytes, ConvertStatus *status);
    std::FILE *stream() const { return file_; }
    std::uint64_t size() const { return size_; }

private:
    std::FILE *file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::uint64_t size_ = 0;
};

/*
 * Whether a WAV of fileBytes may be written at wavPath: no larger than
 * maxFileBytes (what its 32-bit RIFF sizes describe) and no larger than the
 * free space of its folder (the space of a file it replaces counts as free).
 * Fills the status (FILE_TOOBIG, or WINDOWS with ENOSPC) and returns false
 * when not.  Used before the WAV is created (room.cpp).
 */
bool WavFits(const char *wavPath, std::uint64_t fileBytes, std::uint64_t maxFileBytes, ConvertStatus *status);

/* Positions and sizes go to the progress callback as 32-bit values. */
unsigned ClampToUnsigned(std::uint64_t v);

}  // namespace zvc450
