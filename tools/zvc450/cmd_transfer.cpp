// cmd_transfer.cpp - copying files to the player (put) and from it (get).

#include "commands.h"
#include "copy_to_player.h"
#include "device.h"
#include "interrupt.h"
#include "listing.h"
#include "localfile.h"
#include "player_names.h"
#include "output.h"
#include "verified.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace cli {
namespace {

int Cancelled(const std::string &context)
{
    std::fprintf(stderr, "zvc450: %s: cancelled\n", ForMessage(context).c_str());
    return kExitCancelled;
}

std::string SystemText(int err) { return std::strerror(err); }

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
        if (InterruptPending())
            return Cancelled("put " + sources[i]);
        CopyOptions copy;
        copy.verify = verify;
        if (const int exit = CopyToPlayer(device, &listing, sources[i], names[i], copy, "put " + sources[i]))
            return exit;
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
    const bool force = inv.args.Has("force");
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
        // The name is the user's when it was typed as the player lists it;
        // a number or an 8.3 name gives the player's name, which may be
        // anything at all.
        const bool typed = word == e->name || word == "./" + e->name;
        std::string name;
        const std::string problem = LocalNameFor(e->name, typed, outDir, &name);
        if (!problem.empty())
            return Fail("get: '" + e->name + "': " + problem + "; nothing was copied");
        if (name != e->name)
            std::fprintf(stderr, "zvc450: get: '%s' is saved as '%s'\n", ForMessage(e->name).c_str(),
                         ForMessage(name).c_str());
        Job job{e, std::string(), ZVC450_UPLOAD_COPY};
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
        // A file that a name from the player would replace stays unless the
        // user says so: the player chose that name, not the user.
        if (!typed && !force && Exists(job.path))
            return Fail("get: '" + e->name + "' would replace " + job.path + "; use --force to replace it");
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
                               ForMessage(job.entry->name).c_str(), job.entry->record.dwSize, job.kind);
        }
        if (!ok)
            return ReportError(ZVC450_GetError() == ZVC450USB_ERR_FILE_TOOBIG && job.kind != ZVC450_UPLOAD_COPY
                                   ? context + ": the recording's WAV would be too large (4 GiB at most)"
                                   : context);
        if (verify) {
            const int exit = CompareWithPlayer(device, *job.entry, pending.temp(), context,
                                               "a second read from the player differs from the first");
            if (exit != kExitOk) {
                std::fprintf(stderr, "zvc450: %s: nothing was saved\n", ForMessage(context).c_str());
                return exit;
            }
        }
        if (!pending.Commit())
            return Fail(context + ": " + job.path + ": " + SystemText(errno));
        if (job.kind != ZVC450_UPLOAD_COPY)
            WarnIfSilent(context, job.path);
    }
    return kExitOk;
}

}  // namespace cli
