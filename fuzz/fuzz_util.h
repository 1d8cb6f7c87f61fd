// fuzz_util.h - what the fuzz targets share: a checked condition that stops
// the run with a message (libFuzzer then saves the input), a temporary
// folder per process, file helpers, a UTF-8 validator and a WAV layout check.
#pragma once

#include "temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzzutil {

using Bytes = std::vector<uint8_t>;

// A folder for this process's files, made on first use and removed at a
// normal exit (a crash leaves it for the system's temporary-file cleaning).
inline const std::string &workDir()
{
    static const zvc450test::TempDir dir("zvc450-fuzz-");
    return dir.path();
}

inline void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

inline bool readFile(const std::string &path, Bytes *out)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out->clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    std::fclose(f);
    return true;
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The files of one recording conversion: the input written to the work
// folder as in<ext>, and the WAV path with nothing left there from an
// earlier run.
struct Conversion {
    std::string src, wav;
};
inline Conversion conversionOf(const char *ext, const uint8_t *data, size_t size)
{
    Conversion c{workDir() + "/in" + ext, workDir() + "/out.wav"};
    writeFile(c.src, data, size);
    ::unlink(c.wav.c_str());
    return c;
}

inline bool validUtf8(const char *s, size_t n)
{
    const auto *p = reinterpret_cast<const uint8_t *>(s);
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        int extra;
        uint32_t cp, min;
        if (b < 0x80) { ++i; continue; }
        if ((b & 0xE0) == 0xC0) { extra = 1; cp = b & 0x1F; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { extra = 2; cp = b & 0x0F; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { extra = 3; cp = b & 0x07; min = 0x10000; }
        else return false;
        if (i + size_t(extra) >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + size_t(k)] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (p[i + size_t(k)] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += size_t(extra) + 1;
    }
    return true;
}

// A text field of a fixed-size record: terminated inside the field and valid UTF-8.
inline void checkTextField(const char *field, size_t size)
{
    const size_t n = strnlen(field, size);
    FUZZ_CHECK(n < size);
    FUZZ_CHECK(validUtf8(field, n));
}

inline uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// A complete RIFF/WAVE file: its chunks tile the file exactly and "fmt "
// comes before "data".  Returns the format tag, the data size and where the
// data begin.
inline void checkWav(const Bytes &w, uint16_t *formatTag, uint32_t *dataSize, size_t *dataAt = nullptr)
{
    FUZZ_CHECK(w.size() >= 12);
    FUZZ_CHECK(std::memcmp(w.data(), "RIFF", 4) == 0 && std::memcmp(w.data() + 8, "WAVE", 4) == 0);
    FUZZ_CHECK(le32(w.data() + 4) == w.size() - 8);
    size_t at = 12;
    bool haveFmt = false, haveData = false;
    while (at < w.size()) {
        FUZZ_CHECK(at + 8 <= w.size());
        const uint32_t len = le32(w.data() + at + 4);
        FUZZ_CHECK(at + 8 + len <= w.size());
        if (std::memcmp(w.data() + at, "fmt ", 4) == 0) {
            FUZZ_CHECK(len >= 16);
            haveFmt = true;
            *formatTag = le16(w.data() + at + 8);
        } else if (std::memcmp(w.data() + at, "data", 4) == 0) {
            FUZZ_CHECK(haveFmt && !haveData);
            haveData = true;
            *dataSize = len;
            if (dataAt)
                *dataAt = at + 8;
        }
        at += 8 + len + (len & 1);
    }
    FUZZ_CHECK(at == w.size());
    FUZZ_CHECK(haveData);
}

}  // namespace fuzzutil
