// The font information answer of "V" on the font area: the name (L - 7
// bytes) and the size after it.  Input: flags (bit 0: 16-bit answer
// lengths, the 1.30 and later players), then the answer packet.
#include "fuzz_link.h"

using namespace zvc450;
using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    ScriptedHandle player(data + 1, std::min(size - 1, size_t(kPacketSize)));
    g_lib.effectiveFw = (data[0] & 1) ? kFwWideProtocol : 0x12500;
    ZVC450_FONTINFO info;
    std::memset(&info, 0, sizeof info);
    const int r = ZVC450_GetFontInfo(player.h(), &info);
    // The name is the player's bytes as they are: at most 260 and the zero.
    FUZZ_CHECK(strnlen(info.szFontName, sizeof info.szFontName) <= 260);
    if (!r) {
        const int e = ZVC450_GetError();
        FUZZ_CHECK(e == ZVC450USB_ERR_USB || e == ZVC450USB_ERR_INTERNAL);
        FUZZ_CHECK(info.szFontName[0] == '\0' && info.dwFontSize == 0);
    }
    return 0;
}
