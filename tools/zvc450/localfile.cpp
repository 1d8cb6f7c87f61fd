// localfile.cpp - local files that the tool writes.

#include "localfile.h"

#include "cli.h"
#include "interrupt.h"
#include "output.h"

#include <localname_core.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

mode_t CurrentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

PendingFile::PendingFile(const std::string &finalPath) : final_(finalPath)
{
    const size_t slash = finalPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
    std::string pattern = dir + ".zvc450-XXXXXX.part";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = mkstemps(buf.data(), 5);
    if (fd < 0)
        return;
    ::close(fd);
    temp_ = buf.data();
    SetFileToRemoveOnSignal(temp_.c_str());
}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Commit()
{
    if (temp_.empty()) {
        errno = ENOENT;
        return false;
    }
    // mkstemp made the file private; give it what any new file would get.
    struct stat st;
    if (::stat(temp_.c_str(), &st) != 0) {
        const int err = errno;
        Discard();
        errno = err;
        return false;
    }
    ::chmod(temp_.c_str(), 0666 & ~CurrentUmask());
    if (::rename(temp_.c_str(), final_.c_str()) != 0) {
        const int err = errno;
        Discard();
        errno = err;
        return false;
    }
    SetFileToRemoveOnSignal(nullptr);
    temp_.clear();
    return true;
}

void PendingFile::Discard()
{
    if (temp_.empty())
        return;
    SetFileToRemoveOnSignal(nullptr);
    ::unlink(temp_.c_str());
    temp_.clear();
}

std::string BaseName(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string Extension(const std::string &name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::string();
    return name.substr(dot + 1);
}

std::string WithExtension(const std::string &name, const std::string &ext)
{
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    return base + "." + ext;
}

std::string LocalNameFor(const std::string &playerName, bool typed, const std::string &folder, std::string *local)
{
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const size_t maxBytes = limit > 0 ? size_t(limit) : kLocalNameMaxBytes;
    switch (zvs450_SafeLocalName(playerName, local, typed, maxBytes)) {
    case LocalNameStatus::Unchanged:
    case LocalNameStatus::Changed:
        return std::string();
    case LocalNameStatus::Empty:
        return "the player gives no usable name; name the local file";
    case LocalNameStatus::TooLong:
        break;
    }
    return "the name is too long for a file here (" + std::to_string(local->size()) + " bytes, at most " +
           std::to_string(maxBytes) + ")";
}

void WarnIfSilent(const std::string &context, const std::string &wavPath)
{
    // The converters write "RIFF" size "WAVE", then chunks; the "data" chunk's
    // length is the sound.
    FILE *f = std::fopen(wavPath.c_str(), "rb");
    if (!f)
        return;
    unsigned char head[12];
    bool silent = false;
    if (std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        unsigned char chunk[8];
        while (std::fread(chunk, 1, sizeof chunk, f) == sizeof chunk) {
            const unsigned long len = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | (unsigned long)chunk[7] << 24;
            if (std::memcmp(chunk, "data", 4) == 0) {
                silent = len == 0;
                break;
            }
            if (std::fseek(f, long(len + (len & 1)), SEEK_CUR) != 0)
                break;
        }
    }
    std::fclose(f);
    if (silent)
        std::fprintf(stderr, "zvc450: %s: no recording frame found; %s holds no sound\n",
                     ForMessage(context).c_str(), ForMessage(BaseName(wavPath)).c_str());
}

bool SameFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool IsDirectory(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace cli
