// BVF recordings (AMR-NB frames with sync blocks) decoded into 16-bit PCM
// WAV files.  Input: the recording.  Either the WAV is complete (160 samples
// per frame) or no WAV is left behind.
#include "convert.h"
#include "fuzz_util.h"

#include "zvc450usb.h"

using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Conversion run = conversionOf(".bvf", data, size);
    zvc450::ConvertStatus status;
    const bool ok = zvc450::ConvertBvfToWav(run.src.c_str(), run.wav.c_str(), nullptr, nullptr, &status);
    if (!ok) {
        FUZZ_CHECK(status.error == ZVC450USB_ERR_FORMAT);
        FUZZ_CHECK(!exists(run.wav));
        return 0;
    }
    FUZZ_CHECK(status.error == 0);
    Bytes out;
    FUZZ_CHECK(readFile(run.wav, &out));
    uint16_t tag = 0;
    uint32_t dataSize = 0;
    checkWav(out, &tag, &dataSize);
    FUZZ_CHECK(tag == 1);  // PCM
    FUZZ_CHECK(dataSize % 320 == 0);
    // A frame takes at least its one header byte: never more frames than bytes.
    FUZZ_CHECK(dataSize / 320 <= size);
    return 0;
}
