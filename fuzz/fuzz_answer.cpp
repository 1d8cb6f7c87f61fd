// The answer frame check in both length modes, and the identification text
// of "Y" as the open reads it.  Input: one answer packet (up to 512 bytes;
// a shorter one arrives as a short read).
#include "fuzz_link.h"

using namespace zvc450;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t packet[kPacketSize];
    std::memset(packet, 0, sizeof packet);
    std::memcpy(packet, data, std::min(size, sizeof packet));
    for (bool wide : {false, true}) {
        int code = 12345;
        switch (checkAnswerFrame(packet, wide, &code)) {
        case AnswerStatus::Ok:
            FUZZ_CHECK(code == 12345);
            FUZZ_CHECK(packet[0] == '#' && packet[3] == ':' && packet[4] == 0);
            break;
        case AnswerStatus::Refused:
            FUZZ_CHECK(code >= 0 && code <= 255);
            FUZZ_CHECK(packet[4] == 1);
            break;
        case AnswerStatus::BadFrame:
            FUZZ_CHECK(code == -1);
            break;
        }
        // The same through the library state.
        std::memcpy(g_packet, packet, sizeof packet);
        g_lib.effectiveFw = wide ? kFwWideProtocol : 0;
        ZVC450_SetError(0);
        const bool ok = checkAnswer();
        FUZZ_CHECK(ok == (ZVC450_GetError() == 0));
        FUZZ_CHECK(ok || ZVC450_GetError() == ZVC450USB_ERR_INTERNAL);
    }

    // Identification: the answer of "Y" straight from the link.
    fuzzutil::ScriptedHandle player(data, std::min(size, size_t(kPacketSize)));
    ZVC450_SetExpectedFirmwareVersion(0);
    const int r = ZVC450_RetrieveFirmwareVersion(player.h());
    const char *text = ZVC450_GetFirmwareVersionString();
    if (size == 0) {
        FUZZ_CHECK(r == 0 && text == nullptr && ZVC450_GetError() == ZVC450USB_ERR_USB);
        FUZZ_CHECK(ZVC450_GetFirmwareVersion() == 0);
    } else {
        FUZZ_CHECK(r == 1 && text != nullptr);
        FUZZ_CHECK(strnlen(text, sizeof g_lib.fwTextBuf) < sizeof g_lib.fwTextBuf);
        if (ZVC450_GetFirmwareVersion() != 0)
            FUZZ_CHECK(std::strncmp(text, "BRIGHTFEN ZVC450 FILE SYSTEM", 28) == 0);
    }
    FUZZ_CHECK(effectiveFirmware() == ZVC450_GetFirmwareVersion());
    FUZZ_CHECK(player.link.written.size() == 1 && player.link.written[0].size() == size_t(kPacketSize));
    return 0;
}
