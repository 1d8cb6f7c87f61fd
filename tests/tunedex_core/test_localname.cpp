// Local file names made from the player's names: the rule the command-line
// tool, the program and the mount share.

#include "localname_core.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const char *what;
    std::string player;
    bool typed;
    std::string local;
    LocalNameStatus status;
};

TEST(LocalName, NamesFromThePlayerBecomeSafe)
{
    const NameCase cases[] = {
        {"plain", "Song 1.mp3", false, "Song 1.mp3", LocalNameStatus::Unchanged},
        {"not ASCII", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.mp3", false, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.mp3",
         LocalNameStatus::Unchanged},
        {"dot file", ".bashrc", false, "_bashrc", LocalNameStatus::Changed},
        {"dot file the user typed", ".bashrc", true, ".bashrc", LocalNameStatus::Unchanged},
        {"dot", ".", false, "_", LocalNameStatus::Changed},
        {"dot dot", "..", false, "_.", LocalNameStatus::Changed},
        {"slash", "a/../b", true, "a_.._b", LocalNameStatus::Changed},
        {"newline", "a\nb", false, "a_b", LocalNameStatus::Changed},
        {"escape sequence", "\x1B]0;x\x07.mp3", false, "_]0;x_.mp3", LocalNameStatus::Changed},
        {"DEL and C1", "a\x7F\xC2\x9B" "b", false, "a__b", LocalNameStatus::Changed},
        {"reordering", "gpj.\xE2\x80\xAE" "exe", false, "gpj._exe", LocalNameStatus::Changed},
        {"stray bytes", "a\xFF\xC3" "b\xE2\x82", false, "a__b__", LocalNameStatus::Changed},
        {"overlong slash", "a\xC0\xAF" "b", false, "a__b", LocalNameStatus::Changed},
        {"empty", "", false, "", LocalNameStatus::Empty},
        {"255 bytes", std::string(255, 'x'), false, std::string(255, 'x'), LocalNameStatus::Unchanged},
        {"256 bytes", std::string(256, 'x'), false, std::string(256, 'x'), LocalNameStatus::TooLong},
    };
    for (const NameCase &c : cases) {
        std::string local;
        EXPECT_EQ(zvs450_SafeLocalName(c.player, &local, c.typed), c.status) << c.what;
        EXPECT_EQ(local, c.local) << c.what;
    }
}

TEST(LocalName, TheLimitIsTheFileSystems)
{
    std::string local;
    EXPECT_EQ(zvs450_SafeLocalName("abcdef", &local, false, 6), LocalNameStatus::Unchanged);
    EXPECT_EQ(zvs450_SafeLocalName("abcdefg", &local, false, 6), LocalNameStatus::TooLong);
    // Counted in bytes, not characters.
    EXPECT_EQ(zvs450_SafeLocalName("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", &local, false, 7), LocalNameStatus::TooLong);
}

}  // namespace
