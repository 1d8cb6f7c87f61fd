// listing.h - the current directory of a player memory, and turning the
// names and numbers that users type into file indexes and directory keys.
//
// The player addresses files by their position in the listing (the file
// number) and directories by the low 16 bits of their first cluster (the
// key).  Both are only meaningful for the listing they came from, so every
// command that takes names reads a fresh listing first.
#pragma once

#include <zvc450usb.h>

#include <string>
#include <vector>

namespace cli {

class Device;

struct Entry {
    ZVC450_DIRENTRY record;
    std::string name;       // what users see: the long name, else BASE.EXT
    std::string shortName;  // BASE.EXT (BASE alone without an extension)
    bool directory = false;
    int number = -1;        // file index; -1 for directories
    unsigned key = 0;       // directory key (low 16 bits of the first cluster)

    bool IsDotEntry() const { return name == "." || name == ".."; }
};

class Listing {
public:
    // Lists the device's current memory.  New players list files and
    // directories, older ones files only.  On failure returns false with the
    // library's error state set (code 12 for a memory without a medium).
    bool Read(const Device &device);

    const std::vector<Entry> &files() const { return files_; }
    const std::vector<Entry> &dirs() const { return dirs_; }
    const ZVC450_SUMMARY &summary() const { return summary_; }
    // Highest file number the player's commands can carry.
    int maxNumber() const { return maxNumber_; }

private:
    std::vector<Entry> files_;
    std::vector<Entry> dirs_;
    ZVC450_SUMMARY summary_ = {};
    int maxNumber_ = 0xFFFF;
};

// Kinds of entries a name may resolve to.
enum class Want { File, Directory, Any };

// Finds the entry that `word` names: the exact name first, then a unique
// match ignoring ASCII case (also against the 8.3 name); for files a plain
// number is the file number.  A word that is both a name and a different
// file's number is ambiguous; "./NAME" always means the name.  Returns null
// with a message for the user in *error.
const Entry *Resolve(const Listing &listing, const std::string &word, Want want, std::string *error);

// Reads a fresh listing of the device's memory; on failure shows the
// library's reason with `context` and returns false.
bool ReadListing(const Device &device, Listing *listing, const std::string &context);
// Opens the player and reads the listing; false after showing why not.
bool OpenAndList(Device &device, Listing *listing, const std::string &context);

// Display text of an entry's 8.3 name from the device code page.
std::string ShortNameText(const ZVC450_DIRENTRY &record);
// The 8.3 name as stored (11 bytes, padded): unique within a directory,
// whatever long name the entry has.
std::string StoredShortName(const ZVC450_DIRENTRY &record);

}  // namespace cli
