// temp_dir.h - a fresh folder for one test (or one benchmark, or one fuzz
// run), removed with everything in it when it goes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace zvc450test {

class TempDir {
public:
    // A new folder "<prefix>XXXXXX" in base, or else in $TMPDIR (else /tmp).
    // A test cannot go on without it: failing to make one ends the process.
    explicit TempDir(const std::string &prefix = "zvc450-test-", const char *base = nullptr)
    {
        if (!base || !*base)
            base = std::getenv("TMPDIR");
        const std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = buf.data();
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // A name inside the folder.
    std::string Path(const std::string &name) const { return path_ + "/" + name; }
    std::string operator/(const std::string &name) const { return Path(name); }

private:
    std::string path_;
};

}  // namespace zvc450test
