// Device file names: 8.3 names, entry sets, checksums, FAT dates, text conversions.

#include "protocol.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zvc450;

namespace {

using Bytes = std::vector<uint8_t>;

const FatStamp kStamp = {0x5A21, 0x6B3C, 123};

std::string field11(const uint8_t *e) { return std::string(reinterpret_cast<const char *>(e), 11); }

// The UTF-16 characters of a long entry's three fields, in order.
std::vector<uint16_t> longChars(const uint8_t *e)
{
    std::vector<uint16_t> out;
    for (int off : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30})
        out.push_back(uint16_t(getLE16(e + off)));
    return out;
}

std::u16string utf16(const std::string &utf8)
{
    // ASCII and the few test characters below.
    std::u16string out;
    for (size_t i = 0; i < utf8.size(); ++i)
        out += char16_t(uint8_t(utf8[i]));
    return out;
}

}  // namespace

TEST(ShortName, Cases)
{
    struct Row {
        const char *name;
        const char *shortName;  // null: refused with error 13
        bool lossy;
    } rows[] = {
        {"MUSIC.MP3", "MUSIC.MP3", false},
        {"readme.txt", "README.TXT", true},
        {"REPORT", "REPORT.", false},
        {"verylongname.text", "VERYLONG.TEX", true},
        {"   .mp3", "ZVC450.MP3", true},             // an empty base is upper case like any 8.3 name
        {".mp3", nullptr, false},
        {"/home/user/music/SONG.MP3", "SONG.MP3", false},
        {"dir.d/FILE", "FILE.", false},             // the extension search stops at "/"
        {"A B.MP3", "AB.MP3", true},                 // spaces are dropped
        {"V1.2.MP3", "V12.MP3", true},               // dots inside the base cannot stay
        {"A+B,C;D=E[F]G.MP3", "A_B_C_D_.MP3", true}, // FAT short names hold none of + , ; = [ ]
        {"X.[1]", "X._1_", true},
        {"Café.mp3", "CAF\x90.MP3", true},           // é upper-cased to É, 0x90 in CP437
        {"\xC3\x89T\xC3\x89.MP3", "\x90T\x90.MP3", false},  // ÉTÉ.MP3 fits as it is
        {"노래.mp3", "__.MP3", true},                  // Hangul is not in CP437
        {"x\xff.mp3", "X_.MP3", true},               // invalid UTF-8 cannot be kept
        {"a?b.mp3", nullptr, false},
        {"a*b.mp3", nullptr, false},
        {"a\"b.mp3", nullptr, false},
        {"a<b>.mp3", nullptr, false},
        {"a|b.mp3", nullptr, false},
        {"a\tb.mp3", nullptr, false},
        {"a\x7f.mp3", nullptr, false},
        {"dir?/ok.mp3", "OK.MP3", true},             // only the last component counts
        {"dir/", nullptr, false},
        {"", nullptr, false},
        // Only "/" separates folders; "\\" and ":" are characters FAT cannot hold.
        {"C:\\music\\SONG.MP3", nullptr, false},
        {"AC\\DC - Thunder.mp3", nullptr, false},
        {"Artist: Song.mp3", nullptr, false},
        {"a.b:c", nullptr, false},                   // not an extension cut at ":"
        {"/home/user/music.d/.mp3", nullptr, false}, // a dot and an extension only, whatever the folder
        // Names Windows and the vfat driver refuse too.
        {".", nullptr, false},
        {"..", nullptr, false},
        {"   ", nullptr, false},
        {"song.", nullptr, false},
        {"song ", nullptr, false},
        {"song.mp3 ", nullptr, false},
        {"...", nullptr, false},
    };
    for (const Row &row : rows) {
        ZVC450_SetError(0);
        std::string shortName;
        bool lossy = false;
        const bool ok = makeShortName(row.name, &shortName, &lossy);
        if (!row.shortName) {
            EXPECT_FALSE(ok) << row.name;
            EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME) << row.name;
            continue;
        }
        ASSERT_TRUE(ok) << row.name;
        EXPECT_EQ(shortName, row.shortName) << row.name;
        EXPECT_EQ(lossy, row.lossy) << row.name;
        EXPECT_LE(shortName.size(), 12u);
    }
}

TEST(Checksum, KnownValues)
{
    EXPECT_EQ(shortNameChecksum(reinterpret_cast<const uint8_t *>("README  TXT")), 115);
    EXPECT_EQ(shortNameChecksum(reinterpret_cast<const uint8_t *>("VMLINUX    ")), 44);
    EXPECT_EQ(shortNameChecksum(reinterpret_cast<const uint8_t *>("ABCDEFGHA  ")), 98);
}

TEST(FatStampTest, Dates)
{
    struct tm t{};
    t.tm_year = 80;
    t.tm_mon = 0;
    t.tm_mday = 1;
    FatStamp s = fatStamp(t, 0);
    EXPECT_EQ(s.date, 33);
    EXPECT_EQ(s.time, 0);
    t = {};
    t.tm_year = 124;  // 2024-02-29 23:59:58.995
    t.tm_mon = 1;
    t.tm_mday = 29;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    s = fatStamp(t, 995);
    EXPECT_EQ(s.date, 29 + 2 * 32 + 44 * 512);
    EXPECT_EQ(s.time, 29 + 59 * 32 + 23 * 2048);
    EXPECT_EQ(s.fine, 199);
    t.tm_year = 70;  // before FAT's epoch: the earliest date, not a wrapped one
    EXPECT_EQ(fatStamp(t, 0).date & 0xFE00, 0);
}

TEST(EntrySet, PlainShortNameHasNoLongEntries)
{
    Bytes set;
    ASSERT_TRUE(encodeNameAt("/music/MUSIC.MP3", false, kStamp, &set));
    ASSERT_EQ(set.size(), 32u);
    EXPECT_EQ(field11(set.data()), "MUSIC   MP3");
    EXPECT_EQ(set[11], 0x20);
    EXPECT_EQ(set[12], 0);
    EXPECT_EQ(set[13], 123);
    for (int off : {14, 22})
        EXPECT_EQ(getLE16(&set[size_t(off)]), 0x6B3Cu);
    for (int off : {16, 18, 24})
        EXPECT_EQ(getLE16(&set[size_t(off)]), 0x5A21u);
    EXPECT_EQ(getLE16(&set[20]), 0u);
    EXPECT_EQ(getLE16(&set[26]), 0u);
    EXPECT_EQ(getLE32(&set[28]), 0u);

    ASSERT_TRUE(encodeNameAt("REPORT", false, kStamp, &set));
    EXPECT_EQ(field11(set.data()), "REPORT     ");
}

TEST(EntrySet, LongNameLengths)
{
    struct Row {
        std::string name;
        size_t entries;
    } rows[] = {
        {"readme.txt", 2},          // 10 characters, terminator, 0xFFFF padding
        {"abcdefghij.mp", 2},       // exactly 13: no terminator
        {"abcdefghijklmn.mp3", 3},  // 18
        {"abcdefghijklmnop.mp", 3}, // 19... 20 below
        {"abcdefghijklmnopq.mp", 3},
        {"abcdefghijklmnopqrstuvw.mp", 3},   // 26: two full parts, no terminator
        {"abcdefghijklmnopqrstuvwx.mp", 4},  // 27
    };
    for (const Row &row : rows) {
        Bytes set;
        ASSERT_TRUE(encodeNameAt(row.name.c_str(), false, kStamp, &set)) << row.name;
        ASSERT_EQ(set.size(), row.entries * 32) << row.name;
        const size_t n = row.entries;
        const uint8_t *shortEntry = &set[(n - 1) * 32];
        const uint8_t sum = shortNameChecksum(shortEntry);
        const std::u16string want = utf16(row.name);
        std::vector<uint16_t> got;
        for (size_t k = n - 1; k-- > 0;) {
            const uint8_t *e = &set[k * 32];
            EXPECT_EQ(e[0], uint8_t((n - 1 - k) | (k == 0 ? 0x40 : 0))) << row.name << " entry " << k;
            EXPECT_EQ(e[11], 0x0F);
            EXPECT_EQ(e[12], 0);
            EXPECT_EQ(e[13], sum);
            EXPECT_EQ(getLE16(e + 26), 0u);
            const auto chars = longChars(e);
            got.insert(got.end(), chars.begin(), chars.end());
        }
        // The name, then (when it fits) the terminator, then 0xFFFF.
        ASSERT_EQ(got.size(), (n - 1) * 13);
        for (size_t i = 0; i < got.size(); ++i) {
            const uint16_t expect = i < want.size() ? uint16_t(want[i]) : i == want.size() ? 0 : 0xFFFF;
            EXPECT_EQ(got[i], expect) << row.name << " char " << i;
        }
    }
}

TEST(EntrySet, Utf8NamesTravelAsUtf16)
{
    Bytes set;
    ASSERT_TRUE(encodeNameAt("Café.mp3", false, kStamp, &set));
    ASSERT_EQ(set.size(), 64u);
    EXPECT_EQ(field11(&set[32]), "CAF\x90    MP3");
    EXPECT_EQ(longChars(&set[0])[3], 0x00E9);

    ASSERT_TRUE(encodeNameAt("노래.mp3", false, kStamp, &set));
    ASSERT_EQ(set.size(), 64u);
    EXPECT_EQ(field11(&set[32]), "__      MP3");
    const auto chars = longChars(&set[0]);
    EXPECT_EQ(chars[0], 0xB178);
    EXPECT_EQ(chars[1], 0xB798);
    EXPECT_EQ(chars[6], 0);  // 6 characters, then the terminator

    // A character outside the BMP takes two UTF-16 units.
    ASSERT_TRUE(encodeNameAt("\xF0\x9F\x8E\xB5.mp3", false, kStamp, &set));
    EXPECT_EQ(longChars(&set[0])[0], 0xD83C);
    EXPECT_EQ(longChars(&set[0])[1], 0xDFB5);
    EXPECT_EQ(utf16leToUtf8(&set[1], 2), "\xF0\x9F\x8E\xB5");
}

TEST(EntrySet, LongestNames)
{
    std::string name(251, 'x');
    name += ".mp3";  // 255 characters
    Bytes set;
    ASSERT_TRUE(encodeNameAt(name.c_str(), false, kStamp, &set));
    EXPECT_EQ(set.size(), size_t((255 + 12) / 13 + 1) * 32);
    EXPECT_EQ(set[0], 0x40 | 20);
    EXPECT_EQ(field11(&set[set.size() - 32]), "XXXXXXXXMP3");

    std::string longest(size_t(kMaxLongNameUnits) - 4, 'y');
    longest += ".mp3";
    ASSERT_TRUE(encodeNameAt(longest.c_str(), false, kStamp, &set));
    EXPECT_EQ(set.size(), 64u * 32);
    EXPECT_EQ(set[0], 0x40 | 63);

    ZVC450_SetError(0);
    longest.insert(0, "y");
    EXPECT_FALSE(encodeNameAt(longest.c_str(), false, kStamp, &set)) << "the ordinal has only 6 bits";
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME);
}

TEST(EntrySet, ForcedAndRefused)
{
    Bytes set;
    ASSERT_TRUE(encodeNameAt("MUSIC.MP3", true, kStamp, &set));
    EXPECT_EQ(set.size(), 64u);
    ZVC450_SetError(0);
    EXPECT_FALSE(encodeNameAt("/music/bad|name.mp3", false, kStamp, &set));
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME);
    ZVC450_SetError(0);
    EXPECT_FALSE(encodeNameAt("/music/.mp3", false, kStamp, &set));
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME);
    // The mended characters still reach the player, via the long name.
    ASSERT_TRUE(encodeNameAt("Best [Live] +1.mp3", false, kStamp, &set));
    EXPECT_EQ(field11(&set[set.size() - 32]), "BEST_LIVMP3");
    ASSERT_EQ(set.size(), 96u);
    const uint8_t *first = &set[32];  // ordinal 1: the first 13 characters
    EXPECT_EQ(utf16leToUtf8(first + 1, 5) + utf16leToUtf8(first + 14, 6) + utf16leToUtf8(first + 28, 2),
              "Best [Live] +");
}

TEST(ShortEntryText, BackToUtf8)
{
    struct Row {
        const char *field;
        std::string text;
    } rows[] = {
        {"README  TXT", "README.TXT"},
        {"REPORT     ", "REPORT"},
        {"A       B  ", "A.B"},
        {"\x05" "ABC    MP3", "\xCF\x83" "ABC.MP3"},  // 0x05 stands for 0xE5 (σ in CP437)
        {"CAF\x90    MP3", "CAFÉ.MP3"},
    };
    for (const Row &row : rows) {
        uint8_t e[32] = {};
        std::memcpy(e, row.field, 11);
        EXPECT_EQ(shortEntryToText(e), row.text) << row.field;
    }
    EXPECT_STREQ(pathTail("a/b\\c:d.mp3"), "b\\c:d.mp3");
    EXPECT_STREQ(pathTail("plain"), "plain");
}

// A short entry read into a record and written back keeps every field but
// its name, the escaped first byte reads as 0xE5 and the cluster halves join.
TEST(DirEntry, RecordAndBack)
{
    uint8_t entry[kDirEntrySize];
    for (int i = 0; i < kDirEntrySize; ++i)
        entry[i] = uint8_t(0x40 + i);
    entry[kEntryName] = kEntryE5Escape;
    ZVC450_DIRENTRY record;
    entryToRecord(entry, &record);
    EXPECT_EQ(uint8_t(record.szName[0]), kEntryDeleted);
    EXPECT_EQ(record.dwFirstCluster, 0x55545B5Au);
    EXPECT_EQ(record.dwSize, 0x5F5E5D5Cu);
    EXPECT_EQ(record.szLongName[0], 0);

    uint8_t back[kDirEntrySize] = {};
    putRecordFields(back, record);
    EXPECT_EQ(Bytes(back + kEntryAttribute, back + kDirEntrySize), Bytes(entry + kEntryAttribute, entry + kDirEntrySize));
    EXPECT_EQ(Bytes(back, back + kEntryAttribute), Bytes(kEntryAttribute, 0)) << "the name is not the record's to write";
}

// Long-name entries in stored order make the name; a set out of turn still
// gives what it holds but says it is irregular.
TEST(DirEntry, LongNameDecoderJoinsAndJudges)
{
    std::vector<uint8_t> set;
    ASSERT_TRUE(encodeNameAt("A rather long file name.mp3", false, FatStamp{33, 0, 0}, &set));
    ASSERT_EQ(set.size(), 4u * kDirEntrySize);  // three long entries and the short one
    const uint8_t *e[3] = {set.data(), set.data() + 32, set.data() + 64};
    struct Row {
        const char *what;
        std::vector<int> order;
        bool irregular;
    } rows[] = {
        {"stored order", {0, 1, 2}, false},
        {"ends before ordinal 1", {0, 1}, true},
        {"ordinal out of turn", {0, 2, 1}, true},
        {"begins anew", {1, 0, 1, 2}, true},
    };
    for (const Row &row : rows) {
        LongNameDecoder name;
        EXPECT_TRUE(name.empty());
        for (int i : row.order)
            name.add(e[i]);
        EXPECT_FALSE(name.empty()) << row.what;
        EXPECT_EQ(name.irregular(), row.irregular) << row.what;
        if (!row.irregular) {
            EXPECT_EQ(name.text(), "A rather long file name.mp3");
        }
        name.clear();
        EXPECT_TRUE(name.empty());
        EXPECT_FALSE(name.irregular());
    }
}

TEST(Utf8, CutAtCharacterBoundary)
{
    char buf[6];
    copyUtf8Cut(buf, sizeof buf, "abcd\xC3\xA9");  // "abcdé" is 6 bytes: é does not fit
    EXPECT_STREQ(buf, "abcd");
    copyUtf8Cut(buf, sizeof buf, "ab\xEB\x85\xB8x");
    EXPECT_STREQ(buf, "ab\xEB\x85\xB8");
    copyUtf8Cut(buf, sizeof buf, "abc");
    EXPECT_STREQ(buf, "abc");
}

// What a caller learns before it sends a name: why the player cannot store
// it and where, so that it can say which character is at fault and offer
// to store the name with '_' there.
TEST(CheckFileName, ReasonAndPosition)
{
    const std::string tooLong = std::string(size_t(kMaxLongNameUnits) - 3, 'x') + ".mp3";
    struct Row {
        std::string name;
        int reason;
        int position;  // -1: not looked at
    } rows[] = {
        {"MUSIC.MP3", ZVC450_NAME_OK, -1},
        {"Grüße – 日本語.mp3", ZVC450_NAME_OK, -1},
        {"x\xff.mp3", ZVC450_NAME_OK, -1},  // not UTF-8: stored as a lossy name
        {"dir:x/ok.mp3", ZVC450_NAME_OK, -1},  // folders of the PC path are not the player's business
        {"/home/me/AC\\DC - Thunder.mp3", ZVC450_NAME_BAD_CHARACTER, 11},
        {"Artist: Song.mp3", ZVC450_NAME_BAD_CHARACTER, 6},
        {"a?b", ZVC450_NAME_BAD_CHARACTER, 1},
        {"tab\there", ZVC450_NAME_BAD_CHARACTER, 3},
        {"dir/..", ZVC450_NAME_RESERVED, 4},
        {".", ZVC450_NAME_RESERVED, 0},
        {"", ZVC450_NAME_BLANK, 0},
        {"   ", ZVC450_NAME_BLANK, 0},
        {"dir/", ZVC450_NAME_BLANK, 4},
        {"song.", ZVC450_NAME_TRAILING, 4},
        {"song.mp3  ", ZVC450_NAME_TRAILING, 9},
        {"/music/.mp3", ZVC450_NAME_ONLY_EXTENSION, 7},
        {tooLong, ZVC450_NAME_TOO_LONG, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        int position = -7;
        EXPECT_EQ(ZVC450_CheckFileName(row.name.c_str(), &position), row.reason);
        if (row.position >= 0) {
            EXPECT_EQ(position, row.position);
        }
        // The encoder refuses exactly these names (a long one only when it
        // needs its long-name entries).
        std::string shortName;
        EXPECT_EQ(makeShortName(row.name.c_str(), &shortName, nullptr),
                  row.reason == ZVC450_NAME_OK || row.reason == ZVC450_NAME_TOO_LONG);
    }
    EXPECT_EQ(ZVC450_CheckFileName(nullptr, nullptr), ZVC450_NAME_BLANK);
}

// '_' in place of each character at fault gives a name the player takes.
TEST(CheckFileName, UnderscoresMendBadCharactersAndTrailingDots)
{
    struct Row {
        std::string name, mended;
    } rows[] = {
        {"AC\\DC - Thunder.mp3", "AC_DC - Thunder.mp3"},
        {"a:b?c.", "a_b_c_"},
        {"take 1 ", "take 1_"},
    };
    for (Row &row : rows) {
        int position = 0, reason;
        while ((reason = ZVC450_CheckFileName(row.name.c_str(), &position)) == ZVC450_NAME_BAD_CHARACTER ||
               reason == ZVC450_NAME_TRAILING)
            row.name[size_t(position)] = '_';
        EXPECT_EQ(reason, ZVC450_NAME_OK);
        EXPECT_EQ(row.name, row.mended);
    }
}

// A legacy name that is not UTF-8 (found by the name fuzz target with the
// device code page CP850).  Its first character decodes to Õ, which is 0xE5
// in CP850: FAT stores that as 0x05, since 0xE5 marks a deleted slot.  The
// bytes that are not UTF-8 become '_' in the short name and U+FFFD in the
// long one.
TEST(EntrySet, LegacyNameIsStoredLossy)
{
    setDeviceCodePage("CP850");
    const char name[] = "\xc3\x95\x9c\x6e\xc3\x2e\xbf\xc3\x57\xd0\xd1\x9c\x82\x82\x82\xe4\xdb";
    Bytes set;
    ASSERT_TRUE(encodeNameAt(name, false, kStamp, &set));
    const uint8_t *shortEntry = &set[set.size() - 32];
    EXPECT_EQ(field11(shortEntry), "\x05_N_    __W");
    EXPECT_EQ(shortEntryToText(shortEntry), "\xC3\x95_N_.__W");
    EXPECT_EQ(utf16leToUtf8(&set[set.size() - 64] + 1, 5), "\xC3\x95\xEF\xBF\xBDn\xEF\xBF\xBD.");
    setDeviceCodePage(kDefaultDeviceCodePage);
}
