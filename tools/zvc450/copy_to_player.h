// copy_to_player.h - one local file into the player's current directory, as
// put and sync copy it.
#pragma once

#include <string>

namespace cli {

class Device;
class Listing;

// Checks a file to copy before the player is touched: it exists, is a
// regular file and can be read.  False with the reason in *error.
bool CheckLocalSource(const std::string &path, std::string *error);

// Copies the local file `source` into the device's current directory under
// `name` (a name the player can store, not yet on it).  *listing is the
// current directory's listing before the call and after it.  A copy counts
// once the player lists it with the file's size, and with `verify` once it
// reads back the same.  With keepTime the copy is dated like the file,
// else with the moment of the copy.  Returns kExitOk, or the exit status
// after saying why as "zvc450: CONTEXT: ..."; a copy that did not succeed is
// removed from the player (the message says so when it cannot be).
struct CopyOptions {
    bool verify = false;
    bool keepTime = false;
};
int CopyToPlayer(const Device &device, Listing *listing, const std::string &source, const std::string &name,
                 const CopyOptions &options, const std::string &context);

}  // namespace cli
