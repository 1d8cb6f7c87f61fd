// player_names.h - names the player can store, said in words.
//
// The library refuses (error 13) a name holding a character FAT cannot
// hold - on Linux "\" and ":" are ordinary characters of a file name, but
// not of the player's - and names FAT refuses as a whole.  The tool says
// which, before the player is touched, and can store a copy with '_' in
// place of each character at fault.
#pragma once

#include <string>

namespace cli {

// Empty when the player can store name (a file or folder name, no path);
// else why not, e.g. "the player cannot store ':' in a name".
std::string WhyPlayerCannotStore(const std::string &name);

// name with '_' in place of every character the player cannot store and of
// a trailing dot or space; empty when that does not make it storable (".",
// "..", blank, only a dot and an extension, too long).
std::string StorableName(const std::string &name);

// Firmware before 1.30 keeps 8.3 names only (NAME.EXT, upper case).  The
// name a file gets there: name itself when it is an 8.3 name (letters in
// either case: the player shows them in upper case); else, with mend, an
// 8.3 name made of it (spaces and dots of the base left out, other
// characters an 8.3 name cannot hold as '_', base and extension cut to 8
// and 3).  Empty otherwise, with the reason in *why.
std::string ShortNameFor(const std::string &name, bool mend, std::string *why);

}  // namespace cli
