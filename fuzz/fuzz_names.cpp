// The name encoder: a PC name (any bytes a user or a file system may give
// us) into the 8.3 name and the FAT entry set the player takes.
//
// Input: flags (bit 0: long entries even for a name that fits 8.3; bits 1-2:
// the device code page CP437, CP850, CP932, CP1252), then the name up to
// its first zero byte.
#include "fuzz_util.h"
#include "protocol.h"

using namespace zvc450;
using namespace fuzzutil;

namespace {

const char *const kCodePages[] = {"CP437", "CP850", "CP932", "CP1252"};

// Characters 1..13 of a long entry, in order.
const int kLongCharOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    const bool forceLong = data[0] & 1;
    const char *page = kCodePages[(data[0] >> 1) & 3];
    if (deviceCodePage() != page)
        setDeviceCodePage(page);
    const std::string name(reinterpret_cast<const char *>(data + 1), strnlen(reinterpret_cast<const char *>(data + 1), size - 1));

    std::string shortName;
    bool lossy = false;
    ZVC450_SetError(0);
    const bool shortOk = makeShortName(name.c_str(), &shortName, &lossy);
    // The check a caller makes beforehand agrees with the encoder.
    int position = -1;
    const int reason = ZVC450_CheckFileName(name.c_str(), &position);
    FUZZ_CHECK(shortOk == (reason == ZVC450_NAME_OK || reason == ZVC450_NAME_TOO_LONG));
    FUZZ_CHECK(position >= 0 && size_t(position) <= name.size());
    if (reason == ZVC450_NAME_BAD_CHARACTER || reason == ZVC450_NAME_TRAILING)
        FUZZ_CHECK(size_t(position) < name.size() && uint8_t(name[size_t(position)]) < 0x80);
    if (!shortOk) {
        FUZZ_CHECK(ZVC450_GetError() == ZVS450USB_ERR_INVALID_FILENAME);
    } else {
        const size_t dot = shortName.find('.');
        FUZZ_CHECK(dot != std::string::npos && dot >= 1 && dot <= 8);
        FUZZ_CHECK(shortName.size() - dot - 1 <= 3);
    }

    const FatStamp stamp{0x5A21, 0x6B3C, 42};
    std::vector<uint8_t> set;
    ZVC450_SetError(0);
    if (!encodeNameAt(name.c_str(), forceLong, stamp, &set)) {
        FUZZ_CHECK(ZVC450_GetError() == ZVS450USB_ERR_INVALID_FILENAME);
        return 0;
    }
    // A set is whole entries: long ones in descending order, the short one last.
    FUZZ_CHECK(!set.empty() && set.size() % kDirEntrySize == 0);
    const size_t n = set.size() / kDirEntrySize;
    FUZZ_CHECK(n <= size_t(kMaxLongNameEntries) + 1);
    const uint8_t *shortEntry = set.data() + (n - 1) * kDirEntrySize;
    FUZZ_CHECK(shortEntry[11] == 0x20);
    FUZZ_CHECK(shortEntry[0] != 0xE5 && shortEntry[0] != 0x00 && shortEntry[0] != ' ');
    // Every byte is one a short name may hold.  0x05 first stands for a
    // character that is 0xE5 in the code page (0xE5 marks a deleted slot);
    // a double-byte character's second byte may be any of these.
    for (int i = 0; i < 11 && std::strcmp(page, "CP932") != 0; ++i) {
        const uint8_t b = i == 0 && shortEntry[0] == 0x05 ? 0xE5 : shortEntry[i];
        FUZZ_CHECK(b >= 0x20 && !std::strchr("\"*+,./:;<=>?[\\]|", b ? b : 'x'));
    }
    FUZZ_CHECK(getLE16(shortEntry + 24) == stamp.date && getLE16(shortEntry + 22) == stamp.time);
    FUZZ_CHECK(!shortEntryToText(shortEntry).empty());

    const uint8_t sum = shortNameChecksum(shortEntry);
    std::vector<uint8_t> units;  // UTF-16LE of the long name, ordinal 1 first
    for (size_t k = n - 1, ordinal = 1; k-- > 0; ++ordinal) {
        const uint8_t *e = set.data() + k * kDirEntrySize;
        FUZZ_CHECK(e[11] == 0x0F && e[13] == sum && e[12] == 0);
        FUZZ_CHECK((e[0] & 0x3F) == ordinal);
        FUZZ_CHECK(bool(e[0] & 0x40) == (k == 0));
        FUZZ_CHECK(e[26] == 0 && e[27] == 0);  // first cluster of a long entry
        for (int c = 0; c < 13; ++c) {
            units.push_back(e[kLongCharOffsets[c]]);
            units.push_back(e[kLongCharOffsets[c] + 1]);
        }
    }
    if (n == 1) {
        FUZZ_CHECK(shortOk && !lossy && !forceLong);
        return 0;
    }
    // The long entries carry the last component of the name, terminated.
    const char *tail = pathTail(name.c_str());
    units.push_back(0);
    units.push_back(0);
    const std::string back = utf16leToUtf8(units.data(), units.size() / 2);
    // The long name holds nothing FAT forbids (no folder separator of any kind).
    for (unsigned char c : back)
        FUZZ_CHECK(c >= 0x20 && c != 0x7F && !std::strchr("\"*/:<>?\\|", c));
    if (validUtf8(tail, std::strlen(tail)))
        FUZZ_CHECK(back == tail);
    return 0;
}
