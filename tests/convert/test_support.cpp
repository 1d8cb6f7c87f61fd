/*
 * test_support.cpp - see test_support.h.
 */
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace convtest {

Bytes ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}

bool Exists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string RunShell(const std::string &command, int *status)
{
    std::string output;
    std::FILE *p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        if (status != nullptr)
            *status = -1;
        return output;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    const int rc = ::pclose(p);
    if (status != nullptr)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

std::vector<std::int16_t> Speech8k(const TempDir &dir, const std::string &text)
{
    const std::string wav = dir.Path("espeak.wav");
    const std::string raw = dir.Path("espeak.raw");
    int rc = 0;
    RunShell("espeak-ng -w '" + wav + "' '" + text + "'", &rc);
    if (rc != 0)
        throw std::runtime_error("espeak-ng failed");
    RunShell("sox '" + wav + "' -r 8000 -c 1 -b 16 -e signed-integer -t raw '" + raw + "'", &rc);
    if (rc != 0)
        throw std::runtime_error("sox failed");
    const Bytes b = ReadBytes(raw);
    std::vector<std::int16_t> pcm(b.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return pcm;
}

namespace {

std::string Trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    return s;
}

long ToLong(const std::string &s)
{
    try {
        return std::stol(s);
    } catch (...) {
        return -1;
    }
}

}  // namespace

ToolView InspectWithTools(const std::string &path)
{
    ToolView v;
    const std::string q = "'" + path + "'";
    v.soxEncoding = Trim(RunShell("soxi -e " + q + " 2>/dev/null"));
    v.soxRate = static_cast<int>(ToLong(RunShell("soxi -r " + q + " 2>/dev/null")));
    v.soxChannels = static_cast<int>(ToLong(RunShell("soxi -c " + q + " 2>/dev/null")));
    v.soxSamples = ToLong(RunShell("soxi -s " + q + " 2>/dev/null"));

    std::istringstream probe(RunShell("ffprobe -v error -select_streams a:0 -show_entries "
                                 "stream=codec_name,sample_rate,channels -of default=nw=1 " + q));
    for (std::string line; std::getline(probe, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name")
            v.ffCodec = value;
        else if (key == "sample_rate")
            v.ffRate = static_cast<int>(ToLong(value));
        else if (key == "channels")
            v.ffChannels = static_cast<int>(ToLong(value));
    }
    int rc = 0;
    const std::string decoded = RunShell("ffmpeg -nostdin -v error -i " + q + " -f s16le -ac 1 pipe:1", &rc);
    if (rc == 0)
        v.ffSamples = static_cast<long>(decoded.size() / 2);
    return v;
}

std::uint32_t Le32(const Bytes &b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t Le16(const Bytes &b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::vector<std::int16_t> PcmSamples(const Bytes &wav)
{
    std::vector<std::int16_t> pcm;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2)
        pcm.push_back(static_cast<std::int16_t>(Le16(wav, i)));
    return pcm;
}

}  // namespace convtest
