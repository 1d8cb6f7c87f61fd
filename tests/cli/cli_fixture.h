// cli_fixture.h - what the end-to-end tests of the zvc450 tool share: an
// emulated player process on a temporary state folder and a work folder for
// the tool's local files.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace clitest {

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = dir_.Path("work");
        ::mkdir(work_.c_str(), 0755);
    }

    // Starts (or restarts, on the same state folder) the emulated player.
    void Start(const std::vector<std::string> &extra = {})
    {
        player_.reset();
        player_ = std::make_unique<Player>(dir_, extra);
        ASSERT_TRUE(player_->running()) << ReadFile(dir_.Path("emu.log"));
    }

    std::string Socket() const { return player_ ? player_->socket() : dir_.Path("nobody.sock"); }
    Result Z(const std::vector<std::string> &args, const std::string &input = std::string()) const
    {
        return clitest::Run(Socket(), args, work_, input);
    }
    // The names `ls` prints, in its order; the command must succeed.
    std::vector<std::string> Ls(const std::vector<std::string> &global = {})
    {
        std::vector<std::string> args = global;
        args.push_back("ls");
        const Result r = Z(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return Lines(r.out);
    }
    std::string Local(const std::string &name) const { return work_ + "/" + name; }
    std::string MakeLocal(const std::string &name, size_t size, unsigned seed = 1)
    {
        WriteFile(Local(name), Pattern(size, seed));
        return name;
    }
    void MakeFolder(const std::string &name) const { ::mkdir(Local(name).c_str(), 0755); }

    TempDir dir_;
    std::string work_;
    std::unique_ptr<Player> player_;
};

}  // namespace clitest
