// cmd_files.cpp - listing and changing the player's files and directories:
// ls, cd, pwd, mkdir, rmdir, mv, rm, swap.

#include "commands.h"
#include "device.h"
#include "listing.h"
#include "output.h"
#include "player_names.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace cli {
namespace {

// The player's path of directories nests at most this deep in practice;
// a longer climb means the listing is inconsistent.
constexpr int kMaxDepth = 128;

// Directory commands need firmware 1.43; say so with the library's text.
bool RequireDirectories(const Device &device, const std::string &context, int *exit)
{
    if (device.HasDirectories())
        return true;
    ZVC450_SetError(ZVC450USB_ERR_UNSUPPORTED);
    *exit = ReportError(context + ": the player's firmware has no directories");
    return false;
}

// Opens the player for a directory command and lists the current
// directory.  Returns 0, or the exit status after showing why not.
int PrepareDirectoryCommand(Device &device, Listing *listing, const std::string &context)
{
    if (!device.Open())
        return kExitFailed;
    int exit = kExitOk;
    if (!RequireDirectories(device, context, &exit))
        return exit;
    return ReadListing(device, listing, context) ? kExitOk : kExitFailed;
}

bool IsPlainName(const std::string &name) { return name.find('/') == std::string::npos; }

const Entry *FindDotDot(const Listing &listing)
{
    for (const Entry &e : listing.dirs())
        if (e.name == "..")
            return &e;
    return nullptr;
}

const Entry *FindDot(const Listing &listing)
{
    for (const Entry &e : listing.dirs())
        if (e.name == ".")
            return &e;
    return nullptr;
}

// Moves the player's current directory as a path says, one directory at a
// time.  Remembers the way back so that a path that fails half-way leaves
// the player where it was.
class DirectoryWalk {
public:
    explicit DirectoryWalk(const Device &device) : device_(device) {}

    // Climbs to the root: as many steps up as the player's current path
    // has components.  A directory that still has a parent after them (a
    // damaged file system, a player that lies) stops the climb.  Returns
    // false with the error reported; Undo() then goes back down.
    bool ToRoot(const std::string &context)
    {
        const int depth = PathDepth();
        for (int step = 0;; ++step) {
            Listing listing;
            if (!ReadListing(device_, &listing, context))
                return false;
            const Entry *up = FindDotDot(listing);
            if (!up)
                return true;
            if (step >= depth) {
                Fail(context + ": the player's directories do not lead back to its root");
                return false;
            }
            const Entry *here = FindDot(listing);
            if (!Change(up->key, context))
                return false;
            // Coming back down needs the key of the directory just left.
            leftOnTheWayUp_.push_back(here ? here->key : 0);
        }
    }

    bool Step(const std::string &name, const std::string &context)
    {
        Listing listing;
        if (!ReadListing(device_, &listing, context))
            return false;
        if (name == "..") {
            const Entry *up = FindDotDot(listing);
            if (!up) {
                Fail(context + ": the current directory is the root");
                return false;
            }
            const Entry *here = FindDot(listing);
            if (!Change(up->key, context))
                return false;
            way_.push_back(Move{true, here ? here->key : 0});
            return true;
        }
        std::string error;
        const Entry *dir = Resolve(listing, name, Want::Directory, &error);
        if (!dir) {
            Fail(context + ": " + error);
            return false;
        }
        if (!Change(dir->key, context))
            return false;
        way_.push_back(Move{false, 0});
        return true;
    }

    // Best effort: goes back to where the walk started.
    void Undo()
    {
        while (!way_.empty()) {
            const Move m = way_.back();
            way_.pop_back();
            if (m.wentUp) {
                if (!ZVC450_ChangeDirectory(device_.handle(), device_.memory(), m.from))
                    return;
                continue;
            }
            Listing listing;
            if (!listing.Read(device_))
                return;
            const Entry *up = FindDotDot(listing);
            if (!up || !ZVC450_ChangeDirectory(device_.handle(), device_.memory(), up->key))
                return;
        }
        for (auto it = leftOnTheWayUp_.rbegin(); it != leftOnTheWayUp_.rend(); ++it)
            if (!ZVC450_ChangeDirectory(device_.handle(), device_.memory(), *it))
                return;
    }

private:
    // Components of the player's current path, at most kMaxDepth (also when
    // the player cannot say).
    int PathDepth() const
    {
        std::string path(4096, '\0');
        if (!ZVC450_GetCurrentDirectory(device_.handle(), device_.memory(), &path[0], int(path.size())))
            return kMaxDepth;
        path.resize(std::char_traits<char>::length(path.c_str()));
        int depth = 0;
        for (size_t i = 0; i < path.size(); ++i)
            if (path[i] != '/' && (i == 0 || path[i - 1] == '/'))
                ++depth;
        return std::min(depth, kMaxDepth);
    }

    struct Move {
        bool wentUp;
        unsigned from;  // after "..": the key of the directory that was left
    };

    bool Change(unsigned key, const std::string &context)
    {
        if (ZVC450_ChangeDirectory(device_.handle(), device_.memory(), key))
            return true;
        ReportError(context);
        return false;
    }

    const Device &device_;
    std::vector<Move> way_;
    std::vector<unsigned> leftOnTheWayUp_;
};

}  // namespace

int RunLs(Invocation &inv)
{
    if (inv.args.Has("escape") && inv.args.Has("hide-control-chars"))
        return UsageError(inv.command, "--escape and --hide-control-chars exclude each other");
    if (inv.args.Has("escape"))
        SetOutputEscape(Escape::Backslash);
    if (inv.args.Has("hide-control-chars"))
        SetOutputEscape(Escape::Hide);
    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "ls"))
        return kExitFailed;
    const bool longForm = inv.args.Has("long");
    for (const Entry &e : listing.dirs())
        if (!e.IsDotEntry())
            std::cout << (longForm ? LongListingLine(e) : ShortListingLine(e)) << '\n';
    for (const Entry &e : listing.files())
        std::cout << (longForm ? LongListingLine(e) : ShortListingLine(e)) << '\n';
    std::cout.flush();
    if (!std::cout)
        return kExitFailed;
    // The player's listing stopped before the count its header gave (a
    // damaged directory, a link that failed half-way): what arrived is
    // shown, but not as the whole directory.
    const ZVC450_SUMMARY &s = listing.summary();
    if (s.dwFilesFound < s.dwFileCount)
        return Fail("ls: incomplete listing (" + std::to_string(s.dwFilesFound) + " of " +
                    std::to_string(s.dwFileCount) + " files)");
    return kExitOk;
}

int RunCd(Invocation &inv)
{
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    int exit = kExitOk;
    const std::string &path = inv.args.operands[0];
    const std::string context = "cd " + path;
    if (!RequireDirectories(device, context, &exit))
        return exit;

    DirectoryWalk walk(device);
    if (path[0] == '/' && !walk.ToRoot(context)) {
        walk.Undo();
        return kExitFailed;
    }
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (!walk.Step(part, context)) {
            walk.Undo();
            return kExitFailed;
        }
    }
    return kExitOk;
}

int RunPwd(Invocation &inv)
{
    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    std::string buf(4096, '\0');
    if (!ZVC450_GetCurrentDirectory(device.handle(), device.memory(), &buf[0], int(buf.size())))
        return ReportError("pwd");
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    std::cout << ForOutput(buf) << std::endl;
    return kExitOk;
}

int RunMkdir(Invocation &inv)
{
    const std::string &name = inv.args.operands[0];
    if (!IsPlainName(name) || name.empty())
        return UsageError(inv.command, "'" + name + "': give the name of a new directory here, not a path");
    const std::string context = "mkdir " + name;
    Device device(inv.global);
    Listing listing;
    if (const int exit = PrepareDirectoryCommand(device, &listing, context))
        return exit;
    std::string error;
    if (const Entry *e = Resolve(listing, "./" + name, Want::Any, &error))
        return Fail(context + ": '" + e->name + "' already exists");
    if (const std::string why = WhyPlayerCannotStore(name); !why.empty())
        return Fail(context + ": " + why);
    if (!ZVC450_MakeDirectory(device.handle(), device.memory(), name.c_str()))
        return ReportError(context);
    return kExitOk;
}

int RunRmdir(Invocation &inv)
{
    const std::string &name = inv.args.operands[0];
    const std::string context = "rmdir " + name;
    Device device(inv.global);
    Listing listing;
    if (const int exit = PrepareDirectoryCommand(device, &listing, context))
        return exit;
    std::string error;
    const Entry *dir = Resolve(listing, name, Want::Directory, &error);
    if (!dir)
        return Fail(context + ": " + error);
    if (dir->IsDotEntry())
        return Fail(context + ": '" + dir->name + "' cannot be removed");
    if (!ZVC450_RemoveDirectory(device.handle(), device.memory(), dir->key))
        return ReportError(context);
    return kExitOk;
}

int RunMv(Invocation &inv)
{
    const std::string &from = inv.args.operands[0];
    const std::string &to = inv.args.operands[1];
    if (!IsPlainName(to) || to.empty())
        return UsageError(inv.command, "'" + to + "': the player renames in place; give a new name, not a path");
    const std::string context = "mv " + from;
    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, context))
        return kExitFailed;
    std::string error;
    const Entry *entry = Resolve(listing, from, Want::Any, &error);
    if (!entry)
        return Fail(context + ": " + error);
    if (entry->IsDotEntry())
        return Fail(context + ": '" + entry->name + "' cannot be renamed");
    // Renaming onto another entry would leave two of the same name; a change
    // of case of the same entry is fine.
    if (const Entry *other = Resolve(listing, "./" + to, Want::Any, &error))
        if (other != entry)
            return Fail(context + ": '" + other->name + "' already exists");
    if (const std::string why = WhyPlayerCannotStore(to); !why.empty())
        return Fail(context + ": " + why);
    const int ok = entry->directory
                       ? ZVC450_RenameDirectory(device.handle(), device.memory(), to.c_str(), &entry->record)
                       : ZVC450_Rename(device.handle(), device.memory(), entry->number, to.c_str(), &entry->record);
    if (!ok)
        return ReportError(context);
    return kExitOk;
}

int RunRm(Invocation &inv)
{
    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "rm"))
        return kExitFailed;
    // Look every name up in this one listing before anything changes: the
    // player renumbers its files after each delete.
    std::vector<const Entry *> doomed;
    for (const std::string &word : inv.args.operands) {
        std::string error;
        const Entry *e = Resolve(listing, word, Want::File, &error);
        if (!e)
            return Fail("rm: " + error + (doomed.empty() ? "" : "; nothing was deleted"));
        if (std::find(doomed.begin(), doomed.end(), e) == doomed.end())
            doomed.push_back(e);
    }
    // From the highest number down, so that the numbers still to come stay valid.
    std::sort(doomed.begin(), doomed.end(), [](const Entry *a, const Entry *b) { return a->number > b->number; });
    for (const Entry *e : doomed) {
        int ok;
        {
            QuietScope quiet(device.quiet());
            ok = ZVC450_Delete(nullptr, device.handle(), device.memory(), e->number, e->name.c_str());
        }
        if (!ok)
            return ReportError("rm " + e->name);
    }
    return kExitOk;
}

int RunSwap(Invocation &inv)
{
    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "swap"))
        return kExitFailed;
    const Entry *pair[2];
    for (int i = 0; i < 2; ++i) {
        std::string error;
        pair[i] = Resolve(listing, inv.args.operands[size_t(i)], Want::File, &error);
        if (!pair[i])
            return Fail("swap: " + error);
    }
    if (pair[0] == pair[1])
        return Fail("swap: '" + pair[0]->name + "' cannot change places with itself");
    if (!ZVC450_Replace(device.handle(), device.memory(), pair[0]->number, pair[1]->number))
        return ReportError("swap " + pair[0]->name + " " + pair[1]->name);
    return kExitOk;
}

}  // namespace cli
