// cmd_sort.cpp - sort: the play order of the current directory by name,
// natural order, date or size.
//
// The player plays a directory's files in the order of their entries and
// changes that order only by exchanging two files.  The fewest exchanges
// that reach the wanted order are made one at a time; each is complete on
// the player before the next starts, so an interrupted sort (Ctrl-C, a lost
// link) leaves every file intact, only in a partial order.

#include "commands.h"
#include "device.h"
#include "interrupt.h"
#include "listing.h"
#include "output.h"
#include "playorder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

bool ParseKey(const std::string &text, playorder::Key *key)
{
    static const struct {
        const char *name;
        playorder::Key key;
    } kKeys[] = {
        {"name", playorder::Key::Name},
        {"natural", playorder::Key::Natural},
        {"date", playorder::Key::Date},
        {"size", playorder::Key::Size},
    };
    for (const auto &k : kKeys) {
        if (text == k.name) {
            *key = k.key;
            return true;
        }
    }
    return false;
}

std::vector<playorder::Track> TracksOf(const Listing &listing)
{
    std::vector<playorder::Track> tracks;
    for (const Entry &e : listing.files()) {
        playorder::Track t;
        t.name = e.name;
        t.date = e.record.wWriteDate;
        t.time = e.record.wWriteTime;
        t.size = e.record.dwSize;
        tracks.push_back(t);
    }
    return tracks;
}

// "swap 3 0   'Zebra.mp3' <-> 'Apple.mp3'": the tool's own command for the
// exchange, then what it exchanges.
std::string ExchangeLine(const playorder::Exchange &x, const std::string &a, const std::string &b)
{
    return "swap " + std::to_string(x.a) + " " + std::to_string(x.b) + "   '" + ForOutput(a) + "' <-> '" +
           ForOutput(b) + "'";
}

}  // namespace

int RunSort(Invocation &inv)
{
    playorder::Key key = playorder::Key::Name;
    if (inv.args.Has("by") && !ParseKey(inv.args.Value("by"), &key))
        return UsageError(inv.command, "--by takes name, natural, date or size, not '" + inv.args.Value("by") + "'");
    const bool reverse = inv.args.Has("reverse");
    const bool dryRun = inv.args.Has("dry-run");

    Device device(inv.global);
    Listing listing;
    if (!OpenAndList(device, &listing, "sort"))
        return kExitFailed;
    const size_t count = listing.files().size();
    // Positions the listing missed could not be exchanged into place.
    if (count != listing.summary().dwFileCount)
        return Fail("sort: the player lists " + std::to_string(count) + " of its " +
                    std::to_string(listing.summary().dwFileCount) + " files; nothing was moved");
    if (count > 0 && int(count - 1) > listing.maxNumber())
        return Fail("sort: this firmware numbers only " + std::to_string(listing.maxNumber() + 1) +
                    " files; nothing was moved");

    const std::vector<int> order = playorder::SortedOrder(TracksOf(listing), key, reverse);
    const std::vector<playorder::Exchange> exchanges = playorder::Exchanges(order);
    // Which file stands where while the exchanges run, for the names shown.
    std::vector<const Entry *> at;
    for (const Entry &e : listing.files())
        at.push_back(&e);

    if (dryRun) {
        for (const playorder::Exchange &x : exchanges) {
            std::printf("%s\n", ExchangeLine(x, at[size_t(x.a)]->name, at[size_t(x.b)]->name).c_str());
            std::swap(at[size_t(x.a)], at[size_t(x.b)]);
        }
        return kExitOk;
    }

    ProgressLine progress("Sorting", device.quiet());
    for (size_t done = 0; done < exchanges.size(); ++done) {
        const playorder::Exchange &x = exchanges[done];
        progress.Update(done, exchanges.size());
        if (InterruptPending()) {
            std::fprintf(stderr, "zvc450: sort: cancelled after %zu of %zu exchanges; every file is intact\n", done,
                         exchanges.size());
            return kExitCancelled;
        }
        if (!ZVC450_Replace(device.handle(), device.memory(), x.a, x.b)) {
            const int exit =
                ReportError("sort: exchanging '" + at[size_t(x.a)]->name + "' and '" + at[size_t(x.b)]->name + "'");
            std::fprintf(stderr, "zvc450: sort: %zu of %zu exchanges were made; every file is intact\n", done,
                         exchanges.size());
            return exit;
        }
        std::swap(at[size_t(x.a)], at[size_t(x.b)]);
    }
    progress.Update(exchanges.size(), exchanges.size());

    // The player says nothing of the order it made: look.
    Listing after;
    if (!ReadListing(device, &after, "sort"))
        return kExitFailed;
    bool inOrder = after.files().size() == count;
    for (size_t i = 0; inOrder && i < count; ++i)
        inOrder = StoredShortName(after.files()[i].record) == StoredShortName(listing.files()[size_t(order[i])].record);
    if (!inOrder)
        return Fail("sort: the player did not put the files in the order asked for");
    return kExitOk;
}

}  // namespace cli
