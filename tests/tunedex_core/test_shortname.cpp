// The player's 8.3 names as the program and the command-line tool show them.

#include "shortname.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct ShortNameCase {
    const char *what;
    const char *codePage;  // ZVC450_CODEPAGE; "" unset
    const char *base;      // as stored: space padded
    const char *ext;
    char replacement;
    std::string text;
};

// Rows run in order: a code page set by one row must give way to the next
// row's, as it does when the user changes the setting between two listings.
TEST(ShortNameText, FieldsBecomeTextInThePlayersCodePage)
{
    const ShortNameCase cases[] = {
        {"base and extension", "", "README  ", "TXT", '_', "README.TXT"},
        {"no extension", "", "README  ", "   ", '_', "README"},
        {"dot", "", ".       ", "   ", '_', "."},
        {"dot dot", "", "..      ", "   ", '_', ".."},
        {"blank inside", "", "A B     ", "M P", '_', "A B.M P"},
        {"CP437 by default", "", "CAF\x82    ", "MP3", '_', "CAF\xC3\xA9.MP3"},
        {"another code page", "CP850", "\xD5       ", "   ", '_', "\xC4\xB1"},
        {"back to CP437", "CP437", "\xD5       ", "   ", '_', "\xE2\x95\x92"},
        {"unknown code page is CP437", "NO-SUCH-PAGE", "CAF\x82    ", "   ", '_', "CAF\xC3\xA9"},
        {"undecodable byte, program", "CP1252", "A\x81" "B     ", "\x81  ", '_', "A_B._"},
        {"undecodable byte, tool", "CP1252", "A\x81" "B     ", "   ", '?', "A?B"},
    };
    for (const ShortNameCase &c : cases) {
        if (*c.codePage)
            setenv("ZVC450_CODEPAGE", c.codePage, 1);
        else
            unsetenv("ZVC450_CODEPAGE");
        EXPECT_EQ(zvs450_ShortNameText(c.base, 8, c.ext, 3, c.replacement), c.text) << c.what;
    }
    unsetenv("ZVC450_CODEPAGE");
}

// The fields of a directory entry follow one another without a NUL between them.
TEST(ShortNameText, FieldsEndAtTheirWidth)
{
    const char record[] = "ABCDEFGHMP3\x20\x20";
    EXPECT_EQ(zvs450_ShortNameText(record, 8, record + 8, 3, '_'), "ABCDEFGH.MP3");
    EXPECT_EQ(zvs450_ShortNameText("AB\0CDEFG", 8, "M\0P", 3, '_'), "AB.M");
    EXPECT_EQ(zvs450_ShortNameText("        ", 8, "   ", 3, '_'), "");
}

}  // namespace
