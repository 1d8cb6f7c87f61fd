#pragma once
// Local file names made from names the player gives: the one rule of the
// program, the command-line tool and the mount.
//
// A player is outside the PC's trust boundary: the names in its listings and
// the name of its font are whatever its firmware (or a device that only
// pretends to be a player) says.  A file the user copies to the PC under such
// a name must not become a file that runs (".bashrc", ".profile": a leading
// '.'), must not put control characters into the file system (a newline
// forges the lines of every listing that shows it, an escape sequence reaches
// the terminal of whoever lists the folder), and must stay one path
// component.  Names the user typed are the user's own and keep a leading '.'.

#include <cstddef>
#include <string>

// NAME_MAX of Linux file systems: the longest name, in bytes, that one path
// component may have.
inline constexpr std::size_t kLocalNameMaxBytes = 255;

// The text primitives the rule is made of, shared with whatever prints the
// player's names (the command-line tool escapes the same characters):
//
// The length of the valid UTF-8 sequence at s[i] (1 to 4) with its character
// in *character, or 0 when s[i] starts no valid sequence (a stray byte, an
// overlong form, a surrogate, a cut sequence).
std::size_t zvs450_DecodeUtf8(const std::string &s, std::size_t i, unsigned long *character);
// Characters that must never reach a terminal or a file name as they are:
// the controls (U+0000..U+001F, U+007F, U+0080..U+009F) and those that
// reorder text on screen (U+202A..U+202E, U+2066..U+2069).
bool zvs450_IsControlCharacter(unsigned long character);

enum class LocalNameStatus {
    Unchanged,  // the name is safe as it is
    Changed,    // safe after the replacements below
    Empty,      // no name at all
    TooLong,    // longer than maxBytes: no file system here can hold it
};

// Makes `name` (UTF-8 from the library) safe as a local file name:
//   - every control character (U+0000..U+001F, U+007F, U+0080..U+009F), every
//     character that reorders text on screen (U+202A..U+202E, U+2066..U+2069)
//     and every byte that is not valid UTF-8 becomes '_';
//   - '/' becomes '_';
//   - a leading '.' becomes '_' unless keepLeadingDot (a name the user
//     typed), so that no dot file appears and "." and ".." cannot occur.
// The result goes to *safe; it must be 1 to maxBytes bytes long.
LocalNameStatus zvs450_SafeLocalName(const std::string &name, std::string *safe, bool keepLeadingDot = false,
                                     std::size_t maxBytes = kLocalNameMaxBytes);

// The least a name must be to stand as one path component at all: not empty,
// not "." or "..", no "/" and no NUL. The mount shows the player's names
// under this test (a name that fails it shows under its 8.3 name); a name that
// becomes a local file goes through zvs450_SafeLocalName, which is stricter.
bool zvs450_IsOnePathComponent(const std::string &name);
