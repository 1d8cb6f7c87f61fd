/*
 * test_support.h - files, outside tools and WAV inspection for the
 * recording conversion tests.
 */
#pragma once

#include "temp_dir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace convtest {

using Bytes = std::vector<std::uint8_t>;

using zvc450test::TempDir;

Bytes ReadBytes(const std::string &path);
void WriteBytes(const std::string &path, const Bytes &data);
bool Exists(const std::string &path);

/* Runs a shell command; its standard output, and its exit status in *status. */
std::string RunShell(const std::string &command, int *status = nullptr);

/* Speech from espeak-ng, as 8 kHz mono 16-bit samples (resampled by sox). */
std::vector<std::int16_t> Speech8k(const TempDir &dir, const std::string &text);

/* What sox and ffmpeg make of an audio file. */
struct ToolView {
    std::string soxEncoding;  /* soxi -e */
    int soxRate = 0;
    int soxChannels = 0;
    long soxSamples = -1;
    std::string ffCodec;      /* ffprobe codec_name */
    int ffRate = 0;
    int ffChannels = 0;
    long ffSamples = -1;      /* samples ffmpeg decodes */
};
ToolView InspectWithTools(const std::string &path);

std::uint32_t Le32(const Bytes &b, std::size_t at);
std::uint16_t Le16(const Bytes &b, std::size_t at);

/* The samples of a 16-bit PCM WAV of ours (after its 44-byte header). */
std::vector<std::int16_t> PcmSamples(const Bytes &wav);

}  // namespace convtest
