// The current directory's path: the answer of "DG" with the path's FAT
// entries (each component behind its long-name entries), the raw blocks
// that carry what did not fit the answer, and the final answer.
//
// Input: buffer size byte (1 + value, 255 means 260), firmware byte (even:
// 1.43, odd: 1.50), then what the player sends cut into 512-byte transfers.
#include "fuzz_link.h"

using namespace zvc450;
using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int bufSize = data[0] == 255 ? 260 : 1 + data[0];
    ScriptedHandle player(data + 2, size - 2);
    g_lib.effectiveFw = (data[1] & 1) ? 0x15000 : kFwDirectories;

    // Exactly bufSize bytes on the heap: a write past it is caught.
    std::unique_ptr<char[]> buf(new char[size_t(bufSize)]);
    std::memset(buf.get(), 0x7E, size_t(bufSize));
    const int r = ZVC450_GetCurrentDirectory(player.h(), 0, buf.get(), bufSize);
    // Whatever happened, the buffer holds a terminated UTF-8 text.
    checkTextField(buf.get(), size_t(bufSize));
    if (!r) {
        FUZZ_CHECK(ZVC450_GetError() == ZVC450USB_ERR_USB || ZVC450_GetError() == ZVC450USB_ERR_INTERNAL);
        return 0;
    }
    if (bufSize >= 2)
        FUZZ_CHECK(buf[0] == '/');
    return 0;
}
