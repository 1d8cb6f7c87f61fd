// output.h - what the tool prints: listing lines, key-value reports, the
// confirmation question and its own progress line.
//
// Listings and reports go to stdout in a fixed form that scripts may parse;
// questions, progress and errors go to stderr.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

struct Entry;

// "YYYY-MM-DD HH:MM:SS" of a FAT date and time (fields as stored, so a
// zero date prints as 1980-00-00 00:00:00).
std::string FatDateTime(uint16_t date, uint16_t time);

// One line of `ls`: NAME, with "/" after a directory.
std::string ShortListingLine(const Entry &entry);
// One line of `ls -l`:
//   d        -          - 2024-05-01 12:00:00 MUSIC/
//   f        3      12345 2024-05-01 12:00:00 song.mp3
// type, file number, size in bytes, write date and time, name; the fields
// before the name have fixed widths, so the name always starts in column 43
// and may itself contain spaces.
std::string LongListingLine(const Entry &entry);

// "key: value" on stdout.
void PrintField(const std::string &key, const std::string &value);
void PrintField(const std::string &key, unsigned long long value);

// Asks QUESTION on stderr and reads the answer from stdin; true only for
// "y" or "yes".  End of input is "no".
bool Confirm(const std::string &question);

// A one-line progress bar on stderr, drawn only when stderr is a terminal
// and the run is not --quiet.  Used for the work the tool does itself (the
// library draws its own for transfers).
class ProgressLine {
public:
    ProgressLine(const std::string &label, bool quiet);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void Update(unsigned long long position, unsigned long long total);

private:
    std::string label_;
    bool draw_;
    bool drawn_ = false;
    int shown_ = -1;
};

}  // namespace cli
