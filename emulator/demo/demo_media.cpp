// zvc450-demo-media: makes the player's voice recordings for the emulated
// player's demo content.
//
//   zvc450-demo-media bcw IMA_ADPCM.wav OUT.BCW
//   zvc450-demo-media bvf PCM_8K.wav OUT.BVF [--mode 0|1] [--dtx]
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "recordings.h"

using emu::demo::Bytes;

static bool ReadAll(const std::string &path, Bytes *out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

static bool WriteAll(const std::string &path, const Bytes &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::cerr << "usage: zvc450-demo-media bcw IMA_ADPCM.wav OUT.BCW\n"
                     "       zvc450-demo-media bvf PCM_8K.wav OUT.BVF [--mode 0|1] [--dtx]\n";
        return 2;
    }
    std::string kind = argv[1], in = argv[2], out = argv[3];
    int mode = 0;
    bool dtx = false;
    for (int i = 4; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--dtx") {
            dtx = true;
        } else if (a == "--mode" && i + 1 < argc) {
            mode = std::stoi(argv[++i]);
        } else {
            std::cerr << "zvc450-demo-media: unknown option " << a << "\n";
            return 2;
        }
    }
    Bytes wav, result;
    if (!ReadAll(in, &wav)) {
        std::cerr << "zvc450-demo-media: cannot read " << in << "\n";
        return 1;
    }
    std::string err;
    bool ok = false;
    if (kind == "bcw") {
        ok = emu::demo::BcwFromImaWav(wav, &result, &err);
    } else if (kind == "bvf") {
        std::vector<int16_t> pcm;
        ok = emu::demo::PcmFromWav(wav, &pcm, &err) && emu::demo::EncodeBvf(pcm, mode, dtx, &result, &err);
    } else {
        err = "unknown kind " + kind;
    }
    if (!ok) {
        std::cerr << "zvc450-demo-media: " << in << ": " << err << "\n";
        return 1;
    }
    if (!WriteAll(out, result)) {
        std::cerr << "zvc450-demo-media: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
