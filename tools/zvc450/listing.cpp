// listing.cpp - listings of the player and name resolution.

#include "listing.h"

#include "device.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <shortname.h>

namespace cli {
namespace {

// The listing arrays start at this many records and grow in these steps
// when the player reports more entries than fitted.
constexpr int kArrayStep = 512;
// FAT16 allows 65536 clusters; no directory holds more entries than that.
constexpr unsigned kMaxEntries = 65536;

int RoundUp(unsigned n)
{
    return static_cast<int>((n + kArrayStep - 1) / kArrayStep * kArrayStep);
}

Entry MakeEntry(const ZVC450_DIRENTRY &record, bool directory, int number)
{
    Entry e;
    e.record = record;
    e.directory = directory;
    e.number = number;
    e.key = record.dwFirstCluster & 0xFFFFu;
    e.shortName = ShortNameText(record);
    const std::string longName(record.szLongName, strnlen(record.szLongName, sizeof record.szLongName));
    e.name = longName.empty() ? e.shortName : longName;
    return e;
}

bool AllDigits(const std::string &s)
{
    return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(const std::string &s) { return "'" + s + "'"; }

}  // namespace

std::string ShortNameText(const ZVC450_DIRENTRY &record)
{
    return zvs450_ShortNameText(record.szName, 8, record.szExt, 3, '?');
}

std::string StoredShortName(const ZVC450_DIRENTRY &record)
{
    return std::string(record.szName, 8) + std::string(record.szExt, 3);
}

bool Listing::Read(const Device &device)
{
    // Players up to 1.42 know only the plain listing of files; from 1.43 on
    // the extended one also brings the directories.
    const bool withDirs = device.firmware() > kFwMediumInfo;
    int fileCapacity = kArrayStep;
    int dirCapacity = withDirs ? kArrayStep : 0;
    for (;;) {
        std::vector<ZVC450_DIRENTRY> files(static_cast<size_t>(fileCapacity));
        std::vector<ZVC450_DIRENTRY> dirs(static_cast<size_t>(std::max(dirCapacity, 1)));
        int fileCount = fileCapacity;
        int dirCount = dirCapacity;
        ZVC450_SUMMARY summary = {};
        const int ok = withDirs ? ZVC450_RefreshEx(device.handle(), device.memory(), &summary, files.data(),
                                                   &fileCount, dirs.data(), &dirCount)
                                : ZVC450_Refresh(device.handle(), device.memory(), &summary, files.data(), &fileCount);
        if (!ok)
            return false;
        // A memory with no blocks at all has no medium in it (an empty card slot).
        if (summary.dwTotalBlocks == 0) {
            ZVC450_SetError(ZVC450USB_ERR_NODISK);
            return false;
        }
        // The found-counts include the entries that did not fit: list again
        // with room for all of them.
        bool again = false;
        if (fileCount >= fileCapacity && summary.dwFilesFound > unsigned(fileCapacity) &&
            summary.dwFilesFound <= kMaxEntries) {
            fileCapacity = RoundUp(summary.dwFilesFound);
            again = true;
        }
        if (withDirs && dirCount >= dirCapacity && summary.dwDirsFound > unsigned(dirCapacity) &&
            summary.dwDirsFound <= kMaxEntries) {
            dirCapacity = RoundUp(summary.dwDirsFound);
            again = true;
        }
        if (again)
            continue;

        summary_ = summary;
        // Before 1.30 the player takes file numbers as one byte: a higher
        // number would silently address a different file.
        maxNumber_ = device.firmware() < kFwWideIndexes ? 0xFF : 0xFFFF;
        files_.clear();
        dirs_.clear();
        for (int i = 0; i < fileCount; ++i)
            files_.push_back(MakeEntry(files[size_t(i)], false, i));
        for (int i = 0; i < (withDirs ? dirCount : 0); ++i)
            dirs_.push_back(MakeEntry(dirs[size_t(i)], true, -1));
        return true;
    }
}

bool ReadListing(const Device &device, Listing *listing, const std::string &context)
{
    if (listing->Read(device))
        return true;
    ReportError(context + ": cannot list the " + MemoryName(device.memory()) + " memory");
    return false;
}

bool OpenAndList(Device &device, Listing *listing, const std::string &context)
{
    return device.Open() && ReadListing(device, listing, context);
}

const Entry *Resolve(const Listing &listing, const std::string &word, Want want, std::string *error)
{
    std::string name = word;
    bool forcedName = false;
    if (name.rfind("./", 0) == 0 && name.size() > 2) {
        name = name.substr(2);
        forcedName = true;
    }
    if (name.empty()) {
        *error = "an empty name names nothing";
        return nullptr;
    }

    std::vector<const Entry *> pool;
    if (want != Want::File)
        for (const Entry &e : listing.dirs())
            pool.push_back(&e);
    if (want != Want::Directory)
        for (const Entry &e : listing.files())
            pool.push_back(&e);

    // By name: exact first, then ignoring case as FAT itself does.
    std::vector<const Entry *> hits;
    for (const Entry *e : pool)
        if (e->name == name)
            hits.push_back(e);
    if (hits.empty())
        for (const Entry *e : pool)
            if (SameAsciiText(e->name, name) || SameAsciiText(e->shortName, name))
                hits.push_back(e);
    if (hits.size() > 1) {
        std::string list;
        for (const Entry *e : hits)
            list += (list.empty() ? "" : ", ") + Quoted(e->name);
        *error = Quoted(word) + " is ambiguous: it matches " + list;
        return nullptr;
    }
    const Entry *named = hits.empty() ? nullptr : hits.front();

    // By number.
    const Entry *numbered = nullptr;
    if (!forcedName && want != Want::Directory && AllDigits(name)) {
        const unsigned long n = std::strtoul(name.c_str(), nullptr, 10);
        if (n < listing.files().size())
            numbered = &listing.files()[n];
    }
    if (named && numbered && named != numbered) {
        *error = Quoted(word) + " is ambiguous: it is the name of " + Quoted(named->name) + " and the number of " +
                 Quoted(numbered->name) + " (write ./" + name + " for the name)";
        return nullptr;
    }
    if (const Entry *found = named ? named : numbered) {
        if (!found->directory && found->number > listing.maxNumber()) {
            *error = Quoted(found->name) + " is file number " + std::to_string(found->number) +
                     "; this player's firmware reaches only files 0 to " + std::to_string(listing.maxNumber());
            return nullptr;
        }
        return found;
    }

    // Nothing of the wanted kind: say what is there instead.
    if (want == Want::File)
        for (const Entry &e : listing.dirs())
            if (e.name == name || SameAsciiText(e.name, name)) {
                *error = Quoted(word) + " is a directory";
                return nullptr;
            }
    if (want == Want::Directory)
        for (const Entry &e : listing.files())
            if (e.name == name || SameAsciiText(e.name, name)) {
                *error = Quoted(word) + " is not a directory";
                return nullptr;
            }
    if (!forcedName && want != Want::Directory && AllDigits(name)) {
        *error = listing.files().empty()
                     ? "no file number " + name + ": the directory holds no files"
                     : "no file number " + name + " (files are numbered 0 to " +
                           std::to_string(listing.files().size() - 1) + ")";
        return nullptr;
    }
    const char *what = want == Want::File ? "file" : want == Want::Directory ? "directory" : "file or directory";
    *error = "no " + std::string(what) + " named " + Quoted(word) + " in the player's current directory";
    return nullptr;
}

}  // namespace cli
