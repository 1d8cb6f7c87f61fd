// verify_test.cpp - put --verify and get --verify against an emulated player
// whose flash damages every Nth block it stores without a word.

#include "cli_fixture.h"

using namespace clitest;

namespace {

// 100000 bytes travel in 16 KiB blocks; with every third block damaged the
// first copy's third block is hit, in its middle byte.
constexpr size_t kSize = 100000;
const std::string kThirdBlockMiddle = "byte 40960 (0xA000)";

}  // namespace

TEST_F(Cli, PutVerifyCatchesADamagedCopyAndRemovesIt)
{
    for (const char *firmware : {"1.20", "1.43"}) {
        SCOPED_TRACE(firmware);
        Shell("rm -rf '" + dir_.Path("state") + "'");
        Start({"--firmware", firmware, "--corrupt-writes", "3"});
        MakeLocal("a.bin", kSize, 1);
        const Result r = Z({"put", "--verify", "a.bin"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Has(r.err, "put a.bin: the copy on the player differs from the file at " + kThirdBlockMiddle))
            << r.err;
        EXPECT_TRUE(Has(r.err, "the copy was removed from the player")) << r.err;
        EXPECT_TRUE(Ls().empty()) << "no bad copy left looking good";
    }
}

// Without verification the same damage goes unseen: the copy succeeds, the
// player lists it with its full size, and only its bytes are wrong, as
// mtools reads them from the player's memory.
TEST_F(Cli, WithoutVerifyTheDamageGoesUnseen)
{
    Start({"--corrupt-writes", "3"});
    MakeLocal("a.bin", kSize, 1);
    const Result put = Z({"put", "a.bin"});
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_TRUE(put.err.empty()) << put.err;
    ASSERT_EQ(Ls(), std::vector<std::string>{"a.bin"});
    ASSERT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -i '" + player_->StateFile("internal.img") + "' ::a.bin '" +
                    Local("mtools.bin") + "'"),
              0);
    const Bytes stored = ReadFile(Local("mtools.bin"));
    const Bytes sent = ReadFile(Local("a.bin"));
    ASSERT_EQ(stored.size(), sent.size());
    EXPECT_FALSE(stored == sent);
    EXPECT_EQ(stored[40960] ^ sent[40960], 0x01);

    // Reading it twice gives the same (damaged) bytes: get --verify checks
    // the way from the player, which is sound here.
    MakeFolder("back");
    const Result get = Z({"get", "--verify", "-o", "back", "a.bin"});
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_TRUE(ReadFile(Local("back/a.bin")) == stored);
}

// On a sound player verified copies behave as plain ones, in both directions.
TEST_F(Cli, VerifiedCopiesOnASoundPlayer)
{
    Start();
    std::vector<std::string> put = {"put", "--verify"};
    for (size_t size : {size_t(0), size_t(1), size_t(16384), size_t(50000)}) {
        const std::string name = "f" + std::to_string(size) + ".bin";
        MakeLocal(name, size, unsigned(size));
        put.push_back(name);
    }
    const Result r = Z(put);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Ls().size(), 4u);

    MakeFolder("back");
    const Result get = Z({"get", "--verify", "-o", "back", "f0.bin", "f50000.bin"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_TRUE(ReadFile(Local("back/f50000.bin")) == ReadFile(Local("f50000.bin")));
    EXPECT_TRUE(Exists(Local("back/f0.bin")));

    // A recording would be converted while it arrives: there is no second
    // read to compare a WAV with.  As it is (--raw) it verifies.
    MakeLocal("VOICE001.BCW", 3000, 5);
    ASSERT_EQ(Z({"put", "VOICE001.BCW"}).status, 0);
    const Result wav = Z({"get", "--verify", "-o", "back", "VOICE001.BCW"});
    EXPECT_EQ(wav.status, 2);
    EXPECT_TRUE(Has(wav.err, "--raw")) << wav.err;
    EXPECT_FALSE(Exists(Local("back/VOICE001.WAV")));
    const Result raw = Z({"get", "--verify", "--raw", "-o", "back", "VOICE001.BCW"});
    EXPECT_EQ(raw.status, 0) << raw.err;
    EXPECT_TRUE(ReadFile(Local("back/VOICE001.BCW")) == ReadFile(Local("VOICE001.BCW")));
}
