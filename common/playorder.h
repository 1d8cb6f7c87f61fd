#pragma once
// The order in which the player plays the files of a directory, and the
// fewest exchanges that put it into another order. Plain C++, shared by the
// program and the command-line tool.
//
// A player of this kind plays a directory's files in the order of their
// directory entries, so files copied in a batch play in copy order. Its one
// command that changes that order exchanges the places of two files
// (Replace), and every exchange is complete on the player before the next
// one starts: interrupted anywhere, a directory holds every file, only in a
// partial order.
//
//     std::vector<playorder::Track> tracks = ...;       // in the player's order
//     const std::vector<int> order = playorder::SortedOrder(tracks, playorder::Key::Natural, false);
//     for (const playorder::Exchange &x : playorder::Exchanges(order))
//         replace(x.a, x.b);                             // file numbers

#include <cstdint>
#include <string>
#include <vector>

namespace playorder {

enum class Key {
    Name,     // by name, letters compared without regard to case
    Natural,  // by name, runs of digits compared as numbers: "2 Song" before "10 Song"
    Date,     // by write date and time, then by name
    Size,     // by size, then by name
};

// One file as the player lists it.
struct Track {
    std::string name;    // display name, UTF-8
    uint16_t date = 0;   // FAT write date
    uint16_t time = 0;   // FAT write time
    uint32_t size = 0;
};

// <0, 0, >0 as a sorts before, with or after b. Names that differ only in
// case compare by their bytes, so no two different names compare equal.
int Compare(const Track &a, const Track &b, Key key);

// The order the files belong in: element i is the current position of the
// file that belongs at position i. Files that compare equal keep their
// current order (reversed along with everything else when reverse is set).
std::vector<int> SortedOrder(const std::vector<Track> &tracks, Key key, bool reverse);

// One exchange of the places of the files at positions a and b.
struct Exchange {
    int a;
    int b;
};

// The fewest exchanges that turn the current order into `order` (as
// SortedOrder gives it): n minus the number of cycles of the permutation,
// so at most n - 1. Each exchange puts at least one file at its final place,
// position a. Empty when order is not a permutation of 0..n-1.
std::vector<Exchange> Exchanges(const std::vector<int> &order);

}  // namespace playorder
