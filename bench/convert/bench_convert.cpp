/*
 * bench_convert - how fast the recording converters run against the
 * floor of what they must do.
 *
 *   BVF: ConvertBvfToWav on a long recording, against a bare loop that
 *        feeds the same frames (already in storage order, in memory) to
 *        opencore-amr's decoder and keeps the samples in memory.
 *   BCW: ConvertBcwToWav on a long recording, against `cp` of the same
 *        file.
 *
 * Each timing is the best of several runs, all from the page cache.
 * Usage: bench_convert [minutes of BVF audio (default 20)] [MiB of BCW (default 64)]
 *                      [speech.raw [keep-prefix]]
 * speech.raw (8 kHz 16-bit mono PCM) replaces the generated signal; with
 * keep-prefix the MR59 recording stays as keep-prefix.bvf and its frames as
 * keep-prefix.amr, for timing other decoders on the same audio.
 */
#include "convert.h"
#include "recording_writer.h"

#include <opencore-amrnb/interf_dec.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using zvc450::recording::Bytes;

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestSeconds(int runs, F &&f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best)
            best = s;
    }
    return best;
}

void WriteFile(const std::string &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}

/* Voiced sound with a wandering pitch, broken by pauses so DTX has work. */
std::vector<std::int16_t> Signal(int frames)
{
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(frames) * 160);
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const bool pause = std::fmod(t, 4.0) > 3.0;
        const double f = 110 + 50 * std::sin(2 * M_PI * 0.3 * t);
        noise = noise * 1664525u + 1013904223u;
        const double v = pause ? 0 : 5000 * std::sin(2 * M_PI * f * t) + 2500 * std::sin(2 * M_PI * 4 * f * t) +
                                         static_cast<double>(noise >> 20) - 2048;
        pcm[i] = static_cast<std::int16_t>(v);
    }
    return pcm;
}

}  // namespace

int main(int argc, char **argv)
{
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 20;
    const int mib = argc > 2 ? std::atoi(argv[2]) : 64;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zvc450-bench-convert";
    std::filesystem::create_directories(dir);
    const std::string wav = (dir / "out.wav").string();
    const int runs = 9;

    /* ---- BVF ---- */
    const int frames = minutes * 60 * 50;
    std::printf("BVF: %d min of audio, %d frames per recording\n", minutes, frames);
    std::vector<std::int16_t> pcm = Signal(frames);
    if (argc > 3) {
        std::ifstream speech(argv[3], std::ios::binary);
        speech.read(reinterpret_cast<char *>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
        if (speech.gcount() == 0)
            return 1;
    }
    const std::string keep = argc > 4 ? argv[4] : "";
    const struct {
        const char *name;
        int mode;
        bool typed;
        bool dtx;
    } kinds[] = {{"MR475, frame types, DTX", 0, true, true}, {"MR59, no frame types", 1, false, false}};
    for (const auto &kind : kinds) {
        const std::vector<Bytes> storage = zvc450::recording::EncodeAmr(pcm, kind.mode, kind.dtx);
        zvc450::recording::BvfWriter writer(kind.mode, kind.typed);
        for (const Bytes &f : storage)
            writer.Add(f);
        const std::string src = (dir / "in.bvf").string();
        WriteFile(src, writer.bytes());
        if (!keep.empty() && !kind.typed) {
            WriteFile(keep + ".bvf", writer.bytes());
            Bytes amr = {'#', '!', 'A', 'M', 'R', '\n'};
            for (const Bytes &f : storage)
                amr.insert(amr.end(), f.begin(), f.end());
            WriteFile(keep + ".amr", amr);
        }

        std::vector<short> sink(storage.size() * 160);
        const double bare = BestSeconds(runs, [&] {
            void *dec = Decoder_Interface_init();
            short *out = sink.data();
            for (const Bytes &f : storage) {
                Decoder_Interface_Decode(dec, f.data(), out, 0);
                out += 160;
            }
            Decoder_Interface_exit(dec);
        });
        bool ok = true;
        const double conv = BestSeconds(runs, [&] {
            ok = ok && zvc450::ConvertBvfToWav(src.c_str(), wav.c_str(), nullptr, nullptr);
        });
        std::printf("  %-26s bare decode %.3f s (%.0fx real time), conversion %.3f s: ratio %.3f%s\n", kind.name,
                    bare, minutes * 60.0 / bare, conv, conv / bare, ok ? "" : "  (CONVERSION FAILED)");
    }

    /* ---- BCW ---- */
    const std::size_t blocks = static_cast<std::size_t>(mib) * 1024 * 1024 / 260;
    Bytes bcw;
    bcw.reserve(blocks * 260 + 64);
    Bytes block(256);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < blocks; ++i) {
        for (auto &b : block) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 24);
            if (b == 0x7F)
                b = 0x77;
        }
        zvc450::recording::AppendBcwFrame(bcw, block.data());
        if (i % 1000 == 999)
            bcw.insert(bcw.end(), 13, 0x55);  /* a lost buffer now and then */
    }
    const std::string src = (dir / "in.bcw").string();
    const std::string copy = (dir / "copy.bcw").string();
    WriteFile(src, bcw);
    const std::string cp = "cp '" + src + "' '" + copy + "'";
    int cpStatus = 0;
    const double tcp = BestSeconds(runs, [&] { cpStatus |= std::system(cp.c_str()); });
    bool ok = true;
    const double conv = BestSeconds(runs, [&] {
        ok = ok && zvc450::ConvertBcwToWav(src.c_str(), wav.c_str(), nullptr, nullptr);
    });
    std::printf("BCW: %.1f MiB, cp %.3f s%s, conversion %.3f s: ratio %.3f%s\n", double(bcw.size()) / 1048576.0, tcp,
                cpStatus != 0 ? " (cp FAILED)" : "", conv, conv / tcp, ok ? "" : "  (CONVERSION FAILED)");

    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
