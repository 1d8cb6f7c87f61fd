// Whole commands of the zvc450 tool against a player whose every answer
// comes from the fuzzer: listing, get, info, font, pwd and cd run end to end
// through the library and the virtual link, as the real executable runs
// them.  The player is outside the trust boundary, so whatever it says:
//   - the tool ends (with status 0 or 1) and frees the link;
//   - nothing it prints holds a control character or invalid UTF-8;
//   - every file it makes is in the output folder, under a name without a
//     leading '.', a control character or invalid UTF-8.
//
// Input: the command (byte 0), the player's firmware (byte 1), then what the
// player answers, one group per command or data transfer the tool sends:
//   group header   bit 7: hang up after the group; bits 0-3: IN transfers
//   each transfer  length (2 bytes, high first, at most 16384), the bytes
// The player acknowledges an abort at once and hangs up when the input ends.
#include "fake_player.h"
#include "fuzz_util.h"

#include <args.h>
#include <commands.h>
#include <output.h>

#include <sanitizer/common_interface_defs.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>

using namespace fuzzutil;
using zvc450test::Bytes;
using zvc450test::FakePlayer;

namespace {

constexpr size_t kMaxTransfer = 16384;

const char *const kVersions[] = {"", " FIRMWARE", " FIRMWARE 1.30", " FIRMWARE 1.42", " FIRMWARE 1.43"};

// What the player says next, shared with the player's thread.
struct Script {
    std::mutex mutex;
    Bytes data;
    size_t at = 0;
    std::string version;
};

Script g_script;

bool Answer(const FakePlayer::Message &m, FakePlayer::Link &link)
{
    if (m.type == 'C') {
        link.send('A', {});
        return true;
    }
    if (m.type != 'O')
        return true;
    // The endpoint byte, then "#", L, ":", the command.
    if (m.body.size() > 5 && m.body[1] == '#' && m.body[4] == ':' && m.body[5] == 'Y') {
        std::lock_guard<std::mutex> lock(g_script.mutex);
        link.in(zvc450test::framedAnswer("BRIGHTFEN ZVC450 FILE SYSTEM USB AUDIO PLAYER" + g_script.version));
        return true;
    }
    std::vector<Bytes> transfers;
    bool hangUp = false;
    {
        std::lock_guard<std::mutex> lock(g_script.mutex);
        Script &s = g_script;
        if (s.at >= s.data.size()) {
            hangUp = true;
        } else {
            const uint8_t header = s.data[s.at++];
            hangUp = header & 0x80;
            for (int i = 0; i < (header & 0x0F) && s.at + 2 <= s.data.size(); ++i) {
                const size_t len = std::min<size_t>(size_t(s.data[s.at] << 8 | s.data[s.at + 1]), kMaxTransfer);
                s.at += 2;
                const size_t n = std::min(len, s.data.size() - s.at);
                transfers.emplace_back(s.data.begin() + long(s.at), s.data.begin() + long(s.at + n));
                s.at += n;
            }
        }
    }
    for (const Bytes &t : transfers)
        if (!link.in(t))
            return true;
    if (hangUp)
        link.hangUp();
    return true;
}

struct Environment {
    FakePlayer player;
    std::string output;  // where get and font get put their files
    std::string cwd;     // the tool's current folder: must stay empty
    std::string out, err;
    int savedStdout = -1, savedStderr = -1;
    int savedCwd = -1;   // libFuzzer's own, for its relative corpus paths

    Environment()
    {
        player.setHook(Answer);
        player.useForLibrary();
        output = workDir() + "/out";
        cwd = workDir() + "/cwd";
        out = workDir() + "/stdout";
        err = workDir() + "/stderr";
        ::mkdir(output.c_str(), 0700);
        ::mkdir(cwd.c_str(), 0700);
        savedCwd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        FUZZ_CHECK(savedCwd >= 0);
        // Sanitizer reports go where stderr goes now, not into the capture.
        savedStderr = ::dup(STDERR_FILENO);
        savedStdout = ::dup(STDOUT_FILENO);
        __sanitizer_set_report_fd(reinterpret_cast<void *>(intptr_t(savedStderr)));
    }
};

Environment &Env()
{
    static Environment env;
    return env;
}

// Runs `words` as `zvc450 WORDS` would, with both outputs captured.
int RunCommand(const std::vector<std::string> &words)
{
    Environment &env = Env();
    const cli::Command *command = cli::FindCommand(words[0]);
    FUZZ_CHECK(command != nullptr);
    cli::Invocation inv;
    inv.command = words[0];
    // The player answers at once or not at all: a short wait for silence
    // (a busy machine may make it a time-out where there was an answer;
    // every check below holds either way).
    inv.global.timeoutMs = 10;
    bool help = false;
    std::string error;
    FUZZ_CHECK(cli::ParseCommand(std::vector<std::string>(words.begin() + 1, words.end()), command->options,
                                 &inv.global, &inv.args, &help, &error));
    cli::SetOutputEscape(cli::Escape::Backslash);  // as when stdout is no terminal

    const int outFd = ::open(env.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = ::open(env.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    FUZZ_CHECK(outFd >= 0 && errFd >= 0);
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    FUZZ_CHECK(::chdir(env.cwd.c_str()) == 0);
    const int status = command->run(inv);
    FUZZ_CHECK(::fchdir(env.savedCwd) == 0);
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(env.savedStdout, STDOUT_FILENO);
    ::dup2(env.savedStderr, STDERR_FILENO);
    ::close(outFd);
    ::close(errFd);
    return status;
}

void CheckPrinted(const std::string &path)
{
    Bytes text;
    FUZZ_CHECK(readFile(path, &text));
    for (uint8_t c : text)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c != 0x7F));
    FUZZ_CHECK(validUtf8(reinterpret_cast<const char *>(text.data()), text.size()));
}

// Checks the names of the files in `dir` and removes them.
void CheckAndClear(const std::string &dir, bool mayHoldFiles)
{
    DIR *d = opendir(dir.c_str());
    FUZZ_CHECK(d != nullptr);
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(d);
    for (const std::string &name : names) {
        FUZZ_CHECK(mayHoldFiles);
        FUZZ_CHECK(name[0] != '.');  // no dot file, and no temporary file left behind
        for (char c : name)
            FUZZ_CHECK(uint8_t(c) >= 0x20 && c != 0x7F);
        FUZZ_CHECK(validUtf8(name.data(), name.size()));
        FUZZ_CHECK(::unlink((dir + "/" + name).c_str()) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    Environment &env = Env();
    const std::string &out = env.output;
    const std::vector<std::vector<std::string>> commands = {
        {"ls"},
        {"ls", "-l"},
        {"get", "0", "-o", out},
        {"get", "0", "1", "-o", out, "--force"},
        {"get", "SONG.MP3", "-o", out},
        {"get", "--raw", "1", "-o", out},
        {"info"},
        {"font", "get", out},
        {"font", "info"},
        {"pwd"},
        {"cd", "/"},
        {"cd", "MUSIC/.."},
    };
    const std::vector<std::string> &words = commands[data[0] % commands.size()];
    {
        std::lock_guard<std::mutex> lock(g_script.mutex);
        g_script.version = kVersions[data[1] % (sizeof kVersions / sizeof kVersions[0])];
        g_script.data.assign(data + 2, data + size);
        g_script.at = 0;
    }

    const int status = RunCommand(words);
    // FUZZ_COMMAND_SHOW=1 when replaying an input: what the tool did.
    if (std::getenv("FUZZ_COMMAND_SHOW")) {
        Bytes printed, errors;
        readFile(env.out, &printed);
        readFile(env.err, &errors);
        std::fprintf(stderr, "zvc450 %s: status %d\n--- stdout\n%.*s--- stderr\n%.*s", words[0].c_str(), status,
                     int(printed.size()), reinterpret_cast<const char *>(printed.data()), int(errors.size()),
                     reinterpret_cast<const char *>(errors.data()));
    }
    FUZZ_CHECK(status == cli::kExitOk || status == cli::kExitFailed);
    // The link is free again: the player sees the tool go.
    while (env.player.connected())
        std::this_thread::sleep_for(std::chrono::microseconds(100));

    CheckPrinted(env.out);
    CheckPrinted(env.err);
    CheckAndClear(env.output, true);
    CheckAndClear(env.cwd, false);
    return 0;
}
