/*
 * zvc450-mkrec - makes recordings in the player's formats, for the emulated
 * player's demo content and for trying the converters by hand.
 *
 *   zvc450-mkrec bvf 475|59 [--dtx] [--untyped] IN.raw OUT.BVF
 *       IN.raw: 8 kHz mono signed 16-bit little-endian samples, e.g.
 *       sox speech.wav -r 8000 -c 1 -b 16 -e signed-integer -t raw IN.raw
 *       --untyped writes frames without types (speech only, so no --dtx)
 *   zvc450-mkrec bcw IN.wav OUT.BCW
 *       IN.wav: IMA ADPCM WAV with 256-byte blocks, e.g.
 *       sox speech.wav -r 8000 -c 1 -e ima-adpcm IN.wav
 */
#include "recording_writer.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using zvc450::recording::Bytes;

namespace {

bool ReadFile(const char *path, Bytes &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFile(const char *path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::uint32_t Le32(const Bytes &b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

int Usage()
{
    std::fprintf(stderr, "usage: zvc450-mkrec bvf 475|59 [--dtx] [--untyped] IN.raw OUT.BVF\n"
                         "       zvc450-mkrec bcw IN-ima-adpcm.wav OUT.BCW\n");
    return 2;
}

int MakeBvf(int argc, char **argv)
{
    int mode = -1;
    bool dtx = false;
    bool typed = true;
    const char *files[2] = {nullptr, nullptr};
    int nfiles = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "475") == 0 && mode < 0)
            mode = 0;
        else if (std::strcmp(argv[i], "59") == 0 && mode < 0)
            mode = 1;
        else if (std::strcmp(argv[i], "--dtx") == 0)
            dtx = true;
        else if (std::strcmp(argv[i], "--untyped") == 0)
            typed = false;
        else if (nfiles < 2)
            files[nfiles++] = argv[i];
        else
            return Usage();
    }
    if (mode < 0 || nfiles != 2 || (dtx && !typed))
        return Usage();
    Bytes raw;
    if (!ReadFile(files[0], raw)) {
        std::fprintf(stderr, "zvc450-mkrec: cannot read %s\n", files[0]);
        return 1;
    }
    std::vector<std::int16_t> pcm(raw.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    zvc450::recording::BvfWriter writer(mode, typed);
    for (const Bytes &frame : zvc450::recording::EncodeAmr(pcm, mode, dtx))
        writer.Add(frame);
    if (!WriteFile(files[1], writer.bytes())) {
        std::fprintf(stderr, "zvc450-mkrec: cannot write %s\n", files[1]);
        return 1;
    }
    return 0;
}

int MakeBcw(const char *in, const char *outPath)
{
    Bytes wav;
    if (!ReadFile(in, wav) || wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0) {
        std::fprintf(stderr, "zvc450-mkrec: %s is not a WAV file\n", in);
        return 1;
    }
    bool ima = false;
    Bytes out;
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        const std::uint32_t len = Le32(wav, at + 4);
        if (len > wav.size() - at - 8)
            break;
        if (std::memcmp(&wav[at], "fmt ", 4) == 0 && len >= 16)
            ima = wav[at + 8] == 0x11 && wav[at + 9] == 0 && wav[at + 8 + 12] == 0 && wav[at + 8 + 13] == 1;
        if (std::memcmp(&wav[at], "data", 4) == 0) {
            if (!ima)
                break;
            for (std::size_t b = 0; b + 256 <= len; b += 256)
                zvc450::recording::AppendBcwFrame(out, &wav[at + 8 + b]);
        }
        at += 8 + len + (len & 1);
    }
    if (!ima) {
        std::fprintf(stderr, "zvc450-mkrec: %s is not IMA ADPCM with 256-byte blocks\n", in);
        return 1;
    }
    if (!WriteFile(outPath, out)) {
        std::fprintf(stderr, "zvc450-mkrec: cannot write %s\n", outPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "bvf") == 0)
        return MakeBvf(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "bcw") == 0)
        return MakeBcw(argv[2], argv[3]);
    return Usage();
}
