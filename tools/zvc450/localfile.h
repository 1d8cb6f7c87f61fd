// localfile.h - local files that the tool writes.
//
// A file from the player is received under a hidden temporary name in the
// folder where it belongs and renamed into place only when it is complete.
// A failed or cancelled transfer therefore leaves neither a partial file
// nor a damaged older file of the same name, and the rename is atomic.
#pragma once

#include <string>

namespace cli {

class PendingFile {
public:
    // Prepares a temporary file next to `finalPath`; check ok() (on failure
    // errno says why).
    explicit PendingFile(const std::string &finalPath);
    ~PendingFile();  // removes the temporary file unless committed
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool ok() const { return !temp_.empty(); }
    const std::string &temp() const { return temp_; }
    const std::string &finalPath() const { return final_; }

    // Gives the file the usual permissions and moves it into place.  Returns
    // false with errno set when that fails (the temporary file is removed).
    bool Commit();
    void Discard();

private:
    std::string final_;
    std::string temp_;
};

// The last path component.
std::string BaseName(const std::string &path);
// DIR/NAME (DIR "" is the current folder).
std::string JoinPath(const std::string &dir, const std::string &name);
// The extension of a name (text after its last ".", none when the only "."
// is the first character), and the name with it replaced.
std::string Extension(const std::string &name);
std::string WithExtension(const std::string &name, const std::string &ext);

// The local name for a name the player gave, made safe by the rule of
// localname_core.h (no control characters, no "/", no leading "." unless
// `typed`: the user typed the name as the player lists it).  Returns "" with
// the name in *local, or why there can be no such file in `folder` ("" is
// the current folder): no name at all, or one longer than its file system
// allows - found before any data moves.
std::string LocalNameFor(const std::string &playerName, bool typed, const std::string &folder, std::string *local);

// After a recording was converted: says on stderr when its WAV holds no
// sound at all (the player's file had no frame in it).
void WarnIfSilent(const std::string &context, const std::string &wavPath);

// True when both paths name the same existing file.
bool SameFile(const std::string &a, const std::string &b);
bool IsDirectory(const std::string &path);
// True when something (a file, a folder, a dangling link) has that name.
bool Exists(const std::string &path);

}  // namespace cli
