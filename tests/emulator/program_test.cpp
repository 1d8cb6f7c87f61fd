// The zvc450-emu program: options, start-up, clean stop.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "raw_host.h"

namespace emutest {
namespace {

const std::string kProgram = ZVC450_EMU_PROGRAM;

TEST(Program, HelpAndUsageErrors) {
  std::string out;
  EXPECT_EQ(RunTool(kProgram + " --help", &out), 0);
  for (const char* option : {"--state", "--socket", "--internal-size", "--card-size", "--no-card", "--unformatted",
                             "--bus-speed", "--firmware", "--refuse", "--mute", "--cut-after", "--slow", "--full",
                             "--vid", "--pid", "--no-erase-progress", "--init", "--dirty-answers",
                             "--kill-after-writes"})
    EXPECT_NE(out.find(option), std::string::npos) << option;
  struct Case {
    const char* args;
    const char* complaint;
  } cases[] = {{"--socket /tmp/x", "--state"},
               {"--state /tmp/x --socket /tmp/y --bogus", "unknown option"},
               {"--state /tmp/x --socket /tmp/y --internal-size 2G", "between"},
               {"--state /tmp/x --socket /tmp/y --firmware v1.43", "version"},
               {"--state /tmp/x --socket /tmp/y --refuse W", "CMD=CODE"},
               {"--state /tmp/x --socket /tmp/y --bus-speed warp", "bus-speed"}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunTool(kProgram + " " + c.args, &out), 2) << c.args;
    EXPECT_NE(out.find(c.complaint), std::string::npos) << out;
  }
}

// "--name=value" is the same as "--name value", as with every getopt_long
// program; a switch given a value is a usage error.
TEST(Program, OptionsTakeTheirValueAfterAnEqualsSign) {
  char tmpl[] = "/tmp/zvc450-emu-prog-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::string out;
  EXPECT_EQ(RunTool(kProgram + " --init --state='" + dir + "/s' --internal-size=1M --card-size=512K", &out), 0)
      << out;
  struct stat st;
  ASSERT_EQ(stat((dir + "/s/internal.img").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 1 << 20);
  ASSERT_EQ(stat((dir + "/s/card.img").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 512 << 10);
  struct Case {
    const char* args;
    const char* complaint;
  } cases[] = {{"--state=/tmp/x --socket=/tmp/y --no-card=yes", "--no-card takes no value"},
               {"--state=/tmp/x --socket=/tmp/y --firmware=v1", "version"},
               {"--state=/tmp/x --socket=", "--socket PATH is required"},
               {"--state=/tmp/x --socket=/tmp/y --frob=1", "unknown option --frob"}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunTool(kProgram + " " + c.args, &out), 2) << c.args;
    EXPECT_NE(out.find(c.complaint), std::string::npos) << c.args << ": " << out;
  }
  RunTool("rm -rf '" + dir + "'");
}

TEST(Program, ServesUntilTerminated) {
  char tmpl[] = "/tmp/zvc450-emu-prog-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string sock = dir + "/link";
  std::string cmd = kProgram + " --state '" + dir + "/state' --socket '" + sock +
                    "' --internal-size 1M --card-size 512K --firmware 1.25";
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  struct stat st;
  for (int i = 0; i < 100 && stat(sock.c_str(), &st) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    RawHost host(sock);
    ASSERT_TRUE(host.connected());
    host.Plain('Y');
    Answer a = host.ReceiveAnswer();
    std::string text(a.raw.begin() + 4, a.raw.begin() + 4 + (a.raw[2] - 2));
    EXPECT_EQ(text.substr(text.size() - 4), "1.25");
    // A second player on the same path is refused; the first keeps its socket.
    std::string out;
    EXPECT_EQ(RunTool(kProgram + " --state '" + dir + "/other' --socket '" + sock + "'", &out), 1);
    EXPECT_NE(out.find("already"), std::string::npos) << out;
    host.Plain('Y');
    EXPECT_TRUE(host.ReceiveAnswer().framed(true));
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(stat(sock.c_str(), &st), 0) << "socket file removed";
  EXPECT_TRUE(FsckClean(dir + "/state/internal.img"));
  RunTool("rm -rf '" + dir + "'");
}

}  // namespace
}  // namespace emutest
