#pragma once
// The 8.3 names of the player's entries as text, for the program and the
// command-line tool.
//
// A FAT short name is eleven bytes: a base of eight and an extension of three,
// each padded with spaces, in the player's code page. The library takes that
// code page from ZVC450_CODEPAGE, CP437 when it is unset or names a code page
// the system does not know, as Linux's vfat does with codepage=437; names
// shown here follow the same setting, so that a name reads the same in the
// listing and where the library builds it.

#include <cstddef>
#include <string>

// "BASE.EXT" (or "BASE" without an extension) from the two fields as the
// player stores them: each is cut at its first NUL and at most its width, and
// its trailing spaces go; "." and ".." keep their dots in the base. Bytes
// below 0x80 are taken as they are; a part that holds others is converted
// from the code page to UTF-8, and when the code page cannot convert it, each
// of its bytes from 0x80 up becomes `replacement`.
std::string zvs450_ShortNameText(const char *base, std::size_t baseWidth, const char *ext, std::size_t extWidth,
                                 char replacement);
