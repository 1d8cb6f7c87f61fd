// copy_to_player.cpp - one local file into the player's current directory,
// checked until the player lists it whole (and, when asked, reads it back
// the same).

#include "copy_to_player.h"

#include "device.h"
#include "listing.h"
#include "output.h"
#include "localfile.h"
#include "verified.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

std::string SystemText(int err) { return std::strerror(err); }

std::set<std::string> StoredShortNames(const Listing &listing)
{
    std::set<std::string> names;
    for (const Entry &e : listing.files())
        names.insert(StoredShortName(e.record));
    return names;
}

// The one file of the listing whose 8.3 name was not there before: the file
// a download just made.  Null when there is none (or more than one).
const Entry *NewEntry(const Listing &listing, const std::set<std::string> &before)
{
    const Entry *added = nullptr;
    for (const Entry &e : listing.files()) {
        if (before.count(StoredShortName(e.record)) != 0)
            continue;
        if (added)
            return nullptr;
        added = &e;
    }
    return added;
}

// A download that fails or is cancelled after the player accepted the name
// leaves an incomplete file there (the player created it when the name was
// announced).  It is the one file that was not there before.  Returns true
// when no such file is left.
bool RemoveIncompleteCopy(const Device &device, const std::set<std::string> &before, const std::string &name)
{
    Listing after;
    if (!after.Read(device)) {
        std::fprintf(stderr, "zvc450: the player may keep an incomplete copy of '%s'; check with ls\n",
                     ForMessage(name).c_str());
        return false;
    }
    const bool any = std::any_of(after.files().begin(), after.files().end(), [&](const Entry &e) {
        return before.count(StoredShortName(e.record)) == 0;
    });
    if (!any)
        return true;  // the player refused the name: nothing was made
    if (const Entry *added = NewEntry(after, before)) {
        QuietScope quiet(true);
        if (ZVC450_Delete(nullptr, device.handle(), device.memory(), added->number, added->name.c_str()))
            return true;
    }
    std::fprintf(stderr, "zvc450: the player keeps an incomplete copy of '%s'; remove it with rm\n",
                 ForMessage(name).c_str());
    return false;
}

// True when the listing holds one new file with the size of the local source.
bool HoldsWholeCopy(const Listing &listing, const std::set<std::string> &before, const std::string &source)
{
    struct stat st;
    if (::stat(source.c_str(), &st) != 0)
        return true;  // nothing to compare with; the transfer itself succeeded
    const Entry *added = NewEntry(listing, before);
    return added && added->record.dwSize == uint64_t(st.st_size);
}

// The library names a file on the player after the last component of its
// local path.  To store a file under another name it is handed a symbolic
// link of that name, in a folder of its own that goes away afterwards.
class StagedSource {
public:
    StagedSource(const std::string &source, const std::string &name)
    {
        if (BaseName(source) == name) {
            path_ = source;
            return;
        }
        char target[PATH_MAX];
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zvc450-put-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::realpath(source.c_str(), target) || !::mkdtemp(buf.data()))
            return;
        folder_ = buf.data();
        const std::string link = folder_ + "/" + name;
        if (::symlink(target, link.c_str()) == 0)
            path_ = link;
    }
    ~StagedSource()
    {
        if (folder_.empty())
            return;
        if (!path_.empty())
            ::unlink(path_.c_str());
        ::rmdir(folder_.c_str());
    }
    StagedSource(const StagedSource &) = delete;
    StagedSource &operator=(const StagedSource &) = delete;

    // Empty when the link could not be made (errno says why).
    const std::string &path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

}  // namespace

// Checks a file to put before the player is touched.
bool CheckLocalSource(const std::string &path, std::string *error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *error = path + ": " + SystemText(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = path + ": is a folder (put copies files; try " + path + "/*)";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": not a regular file";
        return false;
    }
    if (::access(path.c_str(), R_OK) != 0) {
        *error = path + ": " + SystemText(errno);
        return false;
    }
    return true;
}

int CopyToPlayer(const Device &device, Listing *listing, const std::string &source, const std::string &name,
                 const CopyOptions &options, const std::string &context)
{
    const StagedSource staged(source, name);
    if (staged.path().empty())
        return Fail(context + ": cannot store it as '" + name + "': " + SystemText(errno));
    const std::set<std::string> before = StoredShortNames(*listing);
    int ok;
    {
        QuietScope quiet(device.quiet());
        ok = ZVC450_DownloadEx(nullptr, device.handle(), device.memory(), staged.path().c_str(),
                               options.keepTime ? ZVC450_DOWNLOAD_KEEP_TIME : 0);
    }
    if (!ok) {
        const LibraryError error = CaptureError();
        const int exit = ReportError(context, error);
        RemoveIncompleteCopy(device, before, name);
        return exit;
    }
    if (name != BaseName(source))
        std::fprintf(stderr, "zvc450: %s: stored as '%s'\n", ForMessage(context).c_str(), ForMessage(name).c_str());
    // The player sends no answer after the file's data, and the last
    // writes may still sit in the link's buffers when the call returns:
    // a copy counts only once the player lists it with its full size.
    if (!ReadListing(device, listing, context)) {
        std::fprintf(stderr, "zvc450: the player may keep an incomplete copy of '%s'; check with ls\n",
                     ForMessage(name).c_str());
        return kExitFailed;
    }
    if (!HoldsWholeCopy(*listing, before, source)) {
        std::fprintf(stderr, "zvc450: %s: the player did not receive the whole file\n", ForMessage(context).c_str());
        RemoveIncompleteCopy(device, before, name);
        return kExitFailed;
    }
    if (options.verify) {
        // A copy that reads back wrong (or could not be checked) must not
        // stay on the player looking good.
        const Entry *copy = NewEntry(*listing, before);
        const int exit = copy ? CompareWithPlayer(device, *copy, source, context,
                                                  "the copy on the player differs from the file")
                              : Fail(context + ": the copy cannot be told apart on the player");
        if (exit != kExitOk) {
            if (RemoveIncompleteCopy(device, before, name))
                std::fprintf(stderr, "zvc450: %s: the copy was removed from the player\n",
                             ForMessage(context).c_str());
            ReadListing(device, listing, context);
            return exit;
        }
    }
    return kExitOk;
}

}  // namespace cli
