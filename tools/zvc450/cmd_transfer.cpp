// cmd_transfer.cpp - copying files to the player (put) and from it (get).

#include "commands.h"
#include "device.h"
#include "interrupt.h"
#include "listing.h"
#include "localfile.h"
#include "player_names.h"
#include "verified.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

int Cancelled(const std::string &context)
{
    std::fprintf(stderr, "zvc450: %s: cancelled\n", context.c_str());
    return kExitCancelled;
}

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
        std::fprintf(stderr, "zvc450: the player may keep an incomplete copy of '%s'; check with ls\n", name.c_str());
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
    std::fprintf(stderr, "zvc450: the player keeps an incomplete copy of '%s'; remove it with rm\n", name.c_str());
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

int RunPut(Invocation &inv)
{
    const std::vector<std::string> &sources = inv.args.operands;
    const bool renameInvalid = inv.args.Has("rename-invalid");
    const bool verify = inv.args.Has("verify");
    std::vector<std::string> names;  // what each file is called on the player
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string error;
        if (!CheckLocalSource(sources[i], &error))
            return Fail("put: " + error);
        std::string name = BaseName(sources[i]);
        const std::string why = WhyPlayerCannotStore(name);
        if (!why.empty()) {
            const std::string mended = StorableName(name);
            if (mended.empty())
                return Fail("put " + sources[i] + ": " + why);
            if (!renameInvalid)
                return Fail("put " + sources[i] + ": " + why + "; with --rename-invalid it is stored as '" + mended +
                            "'");
            name = mended;
        }
        names.push_back(name);
        for (size_t j = 0; j < i; ++j)
            if (SameAsciiText(names[j], names[i]))
                return Fail("put: " + sources[j] + " and " + sources[i] + " would get the same name on the player");
    }

    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "put"))
        return kExitFailed;
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string error;
        if (const Entry *e = Resolve(listing, "./" + names[i], Want::Any, &error))
            return Fail("put " + sources[i] + ": '" + e->name + "' already exists on the player; nothing was copied");
    }

    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string &source = sources[i];
        if (InterruptPending())
            return Cancelled("put " + source);
        const StagedSource staged(source, names[i]);
        if (staged.path().empty())
            return Fail("put " + source + ": cannot store it as '" + names[i] + "': " + SystemText(errno));
        const std::set<std::string> before = StoredShortNames(listing);
        int ok;
        {
            QuietScope quiet(device.quiet());
            ok = ZVC450_Download(nullptr, device.handle(), device.memory(), staged.path().c_str());
        }
        if (!ok) {
            const LibraryError error = CaptureError();
            const int exit = ReportError("put " + source, error);
            RemoveIncompleteCopy(device, before, names[i]);
            return exit;
        }
        if (names[i] != BaseName(source))
            std::fprintf(stderr, "zvc450: put %s: stored as '%s'\n", source.c_str(), names[i].c_str());
        // The player sends no answer after the file's data, and the last
        // writes may still sit in the link's buffers when the call returns:
        // a copy counts only once the player lists it with its full size.
        if (!ReadListing(device, &listing, "put " + source)) {
            std::fprintf(stderr, "zvc450: the player may keep an incomplete copy of '%s'; check with ls\n",
                         names[i].c_str());
            return kExitFailed;
        }
        if (!HoldsWholeCopy(listing, before, source)) {
            std::fprintf(stderr, "zvc450: put %s: the player did not receive the whole file\n", source.c_str());
            RemoveIncompleteCopy(device, before, names[i]);
            return kExitFailed;
        }
        if (verify) {
            // A copy that reads back wrong (or could not be checked) must
            // not stay on the player looking good.
            const Entry *copy = NewEntry(listing, before);
            const int exit = copy ? CompareWithPlayer(device, *copy, source, "put " + source,
                                                      "the copy on the player differs from the file")
                                  : Fail("put " + source + ": the copy cannot be told apart on the player");
            if (exit != kExitOk) {
                if (RemoveIncompleteCopy(device, before, names[i]))
                    std::fprintf(stderr, "zvc450: put %s: the copy was removed from the player\n", source.c_str());
                return exit;
            }
        }
    }
    return kExitOk;
}

int RunGet(Invocation &inv)
{
    std::string outDir;
    if (inv.args.Has("output")) {
        outDir = inv.args.Value("output");
        if (outDir.empty())
            return UsageError(inv.command, "--output needs a folder");
        struct stat st;
        if (::stat(outDir.c_str(), &st) != 0)
            return Fail("get: " + outDir + ": " + SystemText(errno));
        if (!S_ISDIR(st.st_mode))
            return Fail("get: " + outDir + ": not a folder");
    }
    const bool raw = inv.args.Has("raw");
    const bool verify = inv.args.Has("verify");

    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "get"))
        return kExitFailed;

    struct Job {
        const Entry *entry;
        std::string path;
        int kind;
    };
    std::vector<Job> jobs;
    for (const std::string &word : inv.args.operands) {
        std::string error;
        const Entry *e = Resolve(listing, word, Want::File, &error);
        if (!e)
            return Fail("get: " + error);
        if (std::any_of(jobs.begin(), jobs.end(), [e](const Job &j) { return j.entry == e; }))
            continue;
        if (!IsSafeLocalName(e->name))
            return Fail("get: '" + e->name + "' cannot be a file name here");
        Job job{e, std::string(), ZVC450_UPLOAD_COPY};
        std::string name = e->name;
        // Recordings arrive as WAV, as the desktop program delivers them.
        const std::string ext = Extension(name);
        if (!raw && SameAsciiText(ext, "BCW"))
            job.kind = ZVC450_UPLOAD_BCW2WAV;
        else if (!raw && SameAsciiText(ext, "BVF"))
            job.kind = ZVC450_UPLOAD_BVF2WAV;
        if (job.kind != ZVC450_UPLOAD_COPY) {
            // The WAV made while receiving cannot be compared with a second
            // read of the recording.
            if (verify)
                return UsageError(inv.command, "--verify compares copies as they are; '" + e->name +
                                                   "' would be converted to WAV (add --raw to verify it)");
            name = WithExtension(name, "WAV");
        }
        job.path = JoinPath(outDir, name);
        for (const Job &other : jobs)
            if (other.path == job.path)
                return Fail("get: '" + other.entry->name + "' and '" + e->name + "' would both become " + job.path);
        if (IsDirectory(job.path))
            return Fail("get: " + job.path + ": is a folder");
        jobs.push_back(job);
    }

    for (const Job &job : jobs) {
        const std::string context = "get " + job.entry->name;
        if (InterruptPending())
            return Cancelled(context);
        PendingFile pending(job.path);
        if (!pending.ok())
            return Fail(context + ": cannot create a file next to " + job.path + ": " + SystemText(errno));
        int ok;
        {
            QuietScope quiet(device.quiet());
            ok = ZVC450_Upload(nullptr, device.handle(), device.memory(), job.entry->number, pending.temp().c_str(),
                               job.entry->name.c_str(), job.entry->record.dwSize, job.kind);
        }
        if (!ok)
            return ReportError(context);
        if (verify) {
            const int exit = CompareWithPlayer(device, *job.entry, pending.temp(), context,
                                               "a second read from the player differs from the first");
            if (exit != kExitOk) {
                std::fprintf(stderr, "zvc450: %s: nothing was saved\n", context.c_str());
                return exit;
            }
        }
        if (!pending.Commit())
            return Fail(context + ": " + job.path + ": " + SystemText(errno));
    }
    return kExitOk;
}

}  // namespace cli
