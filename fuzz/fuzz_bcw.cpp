// BCW recordings (IMA ADPCM blocks behind 0x7F sync bytes) into WAV files.
// Input: the recording.  Any bytes convert: what is not a frame is skipped,
// and the WAV holds exactly the 256-byte blocks of the frames found.
#include "convert.h"
#include "fuzz_util.h"

using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Conversion run = conversionOf(".bcw", data, size);
    zvc450::ConvertStatus status;
    FUZZ_CHECK(zvc450::ConvertBcwToWav(run.src.c_str(), run.wav.c_str(), nullptr, nullptr, &status));
    FUZZ_CHECK(status.error == 0);
    Bytes out;
    FUZZ_CHECK(readFile(run.wav, &out));
    uint16_t tag = 0;
    uint32_t dataSize = 0;
    size_t dataAt = 0;
    checkWav(out, &tag, &dataSize, &dataAt);
    FUZZ_CHECK(tag == 0x11);  // IMA ADPCM
    FUZZ_CHECK(dataSize % 256 == 0);
    FUZZ_CHECK(dataSize / 256 <= size / 260);  // a block per frame found, no more
    // The blocks are the frames' bytes as they were.
    const uint8_t *blocks = out.data() + dataAt;
    for (uint32_t b = 0; b < dataSize / 256; ++b) {
        const uint8_t *blk = blocks + size_t(b) * 256;
        bool found = false;
        for (size_t at = 4; at + 256 <= size && !found; ++at)
            found = std::memcmp(data + at - 4, "\x7F\x7F\x7F\x7F", 4) == 0 && std::memcmp(data + at, blk, 256) == 0;
        FUZZ_CHECK(found);
    }
    return 0;
}
