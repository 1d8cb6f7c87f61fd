/*
 * wav.cpp - WAV layouts and the self-deleting output file.
 */
#include "wav.h"

#include "convert.h"
#include "zvc450usb.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zvc450 {

void PutLe16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void MakeAdpcmWavHeader(std::uint8_t out[kAdpcmWavHeaderBytes])
{
    std::memset(out, 0, kAdpcmWavHeaderBytes);
    std::memcpy(out + 0, "RIFF", 4);
    std::memcpy(out + 8, "WAVE", 4);
    std::memcpy(out + 12, "fmt ", 4);
    PutLe32(out + 16, 20);
    PutLe16(out + 20, 0x0011);  /* IMA ADPCM */
    PutLe16(out + 22, 1);
    PutLe32(out + 24, 8000);
    PutLe32(out + 28, 4000);
    PutLe16(out + 32, kAdpcmBlockBytes);
    PutLe16(out + 34, 4);
    PutLe16(out + 36, 2);
    PutLe16(out + 38, kAdpcmSamplesPerBlock);
    std::memcpy(out + 40, "data", 4);
}

void MakeAdpcmWavTrailer(std::uint8_t out[kAdpcmWavTrailerBytes], std::uint32_t blocks)
{
    std::memcpy(out + 0, "fact", 4);
    PutLe32(out + 4, 4);
    PutLe32(out + 8, blocks * kAdpcmSamplesPerBlock);
    std::memcpy(out + 12, "LIST", 4);
    PutLe32(out + 16, 4);
    std::memcpy(out + 20, "INFO", 4);
}

void MakePcmWavHeader(std::uint8_t out[kPcmWavHeaderBytes], std::uint32_t dataBytes)
{
    std::memcpy(out + 0, "RIFF", 4);
    PutLe32(out + 4, dataBytes + 36);
    std::memcpy(out + 8, "WAVE", 4);
    std::memcpy(out + 12, "fmt ", 4);
    PutLe32(out + 16, 16);
    PutLe16(out + 20, 1);  /* PCM */
    PutLe16(out + 22, 1);
    PutLe32(out + 24, 8000);
    PutLe32(out + 28, 16000);
    PutLe16(out + 32, 2);
    PutLe16(out + 34, 16);
    std::memcpy(out + 36, "data", 4);
    PutLe32(out + 40, dataBytes);
}

int LastErrno()
{
    return errno != 0 ? errno : EIO;
}

bool WriteAll(std::FILE *f, const void *data, std::size_t n)
{
    errno = 0;
    return std::fwrite(data, 1, n, f) == n;
}

bool WriteAt(std::FILE *f, long offset, const void *data, std::size_t n)
{
    errno = 0;
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(data, 1, n, f) == n;
}

int WavOutputFile::Create(const char *path, std::size_t bufferBytes)
{
    Discard();
    errno = 0;
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr)
        return LastErrno();
    struct stat st {};
    regular_ = ::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    buffer_.reset(new char[bufferBytes]);
    std::setvbuf(f, buffer_.get(), _IOFBF, bufferBytes);
    file_ = f;
    path_ = path;
    return 0;
}

void WavOutputFile::Remove()
{
    if (regular_)
        ::unlink(path_.c_str());
    path_.clear();
}

int WavOutputFile::Commit()
{
    if (file_ == nullptr)
        return EBADF;
    errno = 0;
    int err = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_))
        err = LastErrno();
    errno = 0;
    if (std::fclose(file_) != 0 && err == 0)
        err = LastErrno();
    file_ = nullptr;
    buffer_.reset();
    if (err != 0)
        Remove();
    path_.clear();
    return err;
}

void WavOutputFile::Discard()
{
    if (file_ == nullptr)
        return;
    std::fclose(file_);
    file_ = nullptr;
    buffer_.reset();
    Remove();
}

bool Fail(ConvertStatus *status, int error, int sysError)
{
    if (status != nullptr) {
        status->error = error;
        status->sysError = error == ZVC450USB_ERR_WINDOWS ? sysError : 0;
    }
    return false;
}

RecordingFile::~RecordingFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool RecordingFile::Open(const char *sourcePath, const char *wavPath, std::size_t bufferBytes,
                         ConvertStatus *status)
{
    if (sourcePath == nullptr || wavPath == nullptr)
        return Fail(status, ZVC450USB_ERR_WINDOWS, EINVAL);
    errno = 0;
    std::FILE *in = std::fopen(sourcePath, "rb");
    if (in == nullptr)
        return Fail(status, ZVC450USB_ERR_WINDOWS, LastErrno());
    struct stat src {};
    struct stat dst {};
    int err = 0;
    if (::fstat(::fileno(in), &src) != 0)
        err = LastErrno();
    else if (S_ISDIR(src.st_mode))
        err = EISDIR;
    else if (::stat(wavPath, &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
        err = EINVAL;
    if (err != 0) {
        std::fclose(in);
        return Fail(status, ZVC450USB_ERR_WINDOWS, err);
    }
    buffer_.reset(new char[bufferBytes]);
    std::setvbuf(in, buffer_.get(), _IOFBF, bufferBytes);
    file_ = in;
    size_ = S_ISREG(src.st_mode) ? static_cast<std::uint64_t>(src.st_size) : 0;
    return true;
}

unsigned ClampToUnsigned(std::uint64_t v)
{
    return v > UINT_MAX ? UINT_MAX : static_cast<unsigned>(v);
}

}  // namespace zvc450
