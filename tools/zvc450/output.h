// output.h - what the tool prints: listing lines, key-value reports, the
// confirmation question and its own progress line.
//
// Listings and reports go to stdout in a fixed form that scripts may parse;
// questions, progress and errors go to stderr.
//
// Everything the player says (names, its identification, the current path)
// may hold control characters: a newline would forge extra lines of a
// listing or report, an escape sequence would reach the terminal.  They are
// never printed as they are.  As ls does, stdout shows them as '?' on a
// terminal and as \-escapes (\n, \t, \033, with a backslash doubled)
// everywhere else, so scripts read one unambiguous line per entry; ls's -b
// (--escape) and --hide-control-chars choose.  Messages on stderr use the
// \-escapes without doubling backslashes.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

struct Entry;

enum class Escape {
    Hide,       // '?' for each control character
    Backslash,  // \n, \t, \033, \302\233 ...; a backslash doubled
    Message,    // as Backslash, but a backslash stays single
};

// `text` with its control characters (C0, DEL, C1), the characters that
// reorder text on screen (U+202A..U+202E, U+2066..U+2069) and every byte that
// is no valid UTF-8 escaped.
std::string Escaped(const std::string &text, Escape style);

// The style of stdout: Hide on a terminal, Backslash elsewhere, unless set.
Escape OutputEscape();
void SetOutputEscape(Escape style);
// Escaped(text, OutputEscape()).
std::string ForOutput(const std::string &text);
// Escaped(text, Escape::Message).
std::string ForMessage(const std::string &text);

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

// "key: value" on stdout, the value escaped for stdout.
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
