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

}  // namespace cli
