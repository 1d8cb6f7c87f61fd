// Intel-hex files into flat firmware images.  Input: the file (an odd size
// converts for the application area at 0x2000, an even one for the boot
// code at 0).  A damaged file leaves no image behind; a good one gives an
// image no larger than the upgrade can carry.
#include "fuzz_util.h"
#include "intelhex_core.h"

using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string src = workDir() + "/in.hex", img = workDir() + "/out.bin";
    writeFile(src, data, size);
    ::unlink(img.c_str());
    const unsigned base = (size & 1) ? kIntelHexApplicationBase : kIntelHexBootBase;
    std::string error;
    const bool ok = zvs450_ConvertIntelHexFile(src.c_str(), img.c_str(), base, &error);
    if (!ok) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(!exists(img));
        return 0;
    }
    struct stat st;
    FUZZ_CHECK(::stat(img.c_str(), &st) == 0);
    FUZZ_CHECK(uint64_t(st.st_size) <= kIntelHexMaxImageBytes);
    return 0;
}
