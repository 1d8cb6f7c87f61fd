// Play order: the orders by name, natural order, date and size, and the
// fewest exchanges that reach one.

#include "playorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using playorder::Key;
using playorder::Track;

namespace {

Track named(const std::string &name, uint32_t size = 0, uint16_t date = 0, uint16_t time = 0)
{
    Track t;
    t.name = name;
    t.size = size;
    t.date = date;
    t.time = time;
    return t;
}

std::vector<std::string> sortedNames(const std::vector<std::string> &names, Key key, bool reverse = false)
{
    std::vector<Track> tracks;
    for (const std::string &n : names)
        tracks.push_back(named(n));
    std::vector<std::string> out;
    for (int i : playorder::SortedOrder(tracks, key, reverse))
        out.push_back(names[size_t(i)]);
    return out;
}

// Cycles of the permutation that takes position p to the file order[p].
size_t cycles(const std::vector<int> &order)
{
    std::vector<bool> seen(order.size());
    size_t n = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (seen[i])
            continue;
        ++n;
        for (size_t j = i; !seen[j]; j = size_t(order[j]))
            seen[j] = true;
    }
    return n;
}

} // namespace

TEST(PlayOrder, NamesCompareAsPeopleReadThem)
{
    struct Row {
        const char *a;
        const char *b;
        Key key;
        int expected;
    };
    const Row rows[] = {
        {"apple.mp3", "Banana.mp3", Key::Name, -1},  // case does not count first
        {"Banana.mp3", "banana.mp3", Key::Name, -1}, // but decides between equals
        {"10 Song.mp3", "2 Song.mp3", Key::Name, -1},
        {"2 Song.mp3", "10 Song.mp3", Key::Natural, -1},
        {"Track 9.mp3", "track 10.mp3", Key::Natural, -1},
        {"Track 010.mp3", "Track 9.mp3", Key::Natural, 1},
        {"Track 007.mp3", "Track 7.mp3", Key::Natural, -1},  // equal numbers: the bytes decide
        {"a2b10", "a2b9", Key::Natural, 1},
        {"a", "a1", Key::Natural, -1},
        {"ÄRGER.MP3", "ärger.mp3", Key::Name, -1},
        {"ärger.mp3", "Zebra.mp3", Key::Name, 1},  // by code point after case folding
        {"Zebra.mp3", "\xff\xfe.mp3", Key::Name, -1}, // bytes that are no UTF-8 still order
        {"same", "same", Key::Natural, 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(playorder::Compare(named(r.a), named(r.b), r.key), r.expected) << r.a << " / " << r.b;
        EXPECT_EQ(playorder::Compare(named(r.b), named(r.a), r.key), -r.expected) << r.b << " / " << r.a;
    }
}

TEST(PlayOrder, DateAndSizeFallBackOnTheName)
{
    const std::vector<Track> tracks = {
        named("c", 300, 0x5A21, 0x6000), named("b", 100, 0x5A21, 0x6000),
        named("a", 300, 0x5A21, 0x6001), named("d", 50, 0x5A20, 0xBF7D),
    };
    EXPECT_EQ(playorder::SortedOrder(tracks, Key::Date, false), (std::vector<int>{3, 1, 0, 2}));
    EXPECT_EQ(playorder::SortedOrder(tracks, Key::Size, false), (std::vector<int>{3, 1, 2, 0}));
    EXPECT_EQ(playorder::SortedOrder(tracks, Key::Size, true), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(sortedNames({"10 b", "9 a", "100"}, Key::Natural, true), (std::vector<std::string>{"100", "10 b", "9 a"}));
}

// Any order of up to 300 files is reached with n minus its cycles exchanges
// (at most n - 1), each of which puts a file at its final place.
TEST(PlayOrder, FewestExchangesReachTheOrder)
{
    std::mt19937 random(450);
    for (size_t n : {0, 1, 2, 3, 50, 300}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<int> order(n);
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), random);
            std::vector<int> at(n);  // the file at each position, by original position
            std::iota(at.begin(), at.end(), 0);
            const std::vector<playorder::Exchange> exchanges = playorder::Exchanges(order);
            EXPECT_EQ(exchanges.size(), n - cycles(order)) << n;
            EXPECT_LE(exchanges.size(), n == 0 ? 0 : n - 1);
            for (const playorder::Exchange &x : exchanges) {
                ASSERT_NE(x.a, x.b);
                std::swap(at[size_t(x.a)], at[size_t(x.b)]);
                EXPECT_EQ(at[size_t(x.a)], order[size_t(x.a)]);
            }
            EXPECT_EQ(at, order);
        }
    }
    // In order already: nothing to do. Not a permutation: nothing done.
    EXPECT_TRUE(playorder::Exchanges({0, 1, 2}).empty());
    EXPECT_TRUE(playorder::Exchanges({0, 0, 2}).empty());
    EXPECT_TRUE(playorder::Exchanges({0, 3, 1}).empty());
    EXPECT_TRUE(playorder::Exchanges({-1, 0}).empty());
}
