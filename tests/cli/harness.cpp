// harness.cpp - processes, terminals and files for the command-line tests.

#include "harness.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace clitest {
namespace {

using Clock = std::chrono::steady_clock;


std::string EnvPath(const char *name)
{
    const char *value = std::getenv(name);
    if (!value || !*value)
        throw std::runtime_error(std::string(name) + " is not set (run the tests through ctest)");
    return value;
}

std::vector<char *> Argv(const std::string &program, const std::vector<std::string> &args,
                         std::vector<std::string> *storage)
{
    storage->clear();
    storage->push_back(program);
    storage->insert(storage->end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : *storage)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    return argv;
}

// Child side: the environment of every tool run, then exec.
[[noreturn]] void ExecTool(const std::string &socket, const std::string &cwd, char **argv,
                           const RunOptions &plan)
{
    signal(SIGINT, SIG_DFL);  // a test runner may have started us with it ignored
    signal(SIGPIPE, SIG_DFL);
    if (plan.fileSizeLimit != 0) {
        const struct rlimit limit = {rlim_t(plan.fileSizeLimit), rlim_t(plan.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }

    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    setenv("ZVC450_VUSB", socket.c_str(), 1);
    unsetenv("ZVC450_CODEPAGE");
    execv(argv[0], argv);
    _exit(127);
}

int DecodeStatus(int wstatus)
{
    if (WIFEXITED(wstatus))
        return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus))
        return 128 + WTERMSIG(wstatus);
    return -1;
}

Result Spawn(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
             const RunOptions &plan)
{
    std::vector<std::string> storage;
    std::vector<char *> argv = Argv(ToolPath(), args, &storage);
    Result result;
    pid_t pid;
    int outFd = -1, errFd = -1, inFd = -1;
    if (plan.terminal) {
        int master = -1;
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0)
            ExecTool(socket, cwd, argv.data(), plan);
        outFd = master;
    } else {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
            throw std::runtime_error("pipe failed");
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            ExecTool(socket, cwd, argv.data(), plan);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        inFd = in[1];
        outFd = out[0];
        errFd = err[0];
        if (!plan.input.empty()) {
            ssize_t n = write(inFd, plan.input.data(), plan.input.size());
            (void)n;
        }
        close(inFd);
    }
    if (pid < 0)
        throw std::runtime_error("fork failed");

    const Clock::time_point start = Clock::now();
    // Interrupts count from the trigger, or from the start without one.
    bool triggered = plan.trigger.empty();
    Clock::time_point from = start;
    size_t interrupts = 0;
    while (outFd >= 0 || errFd >= 0) {
        const Clock::time_point now = Clock::now();
        if (now - start > std::chrono::milliseconds(plan.hangGuardMs)) {
            kill(pid, SIGKILL);
            result.hung = true;
            break;
        }
        if (triggered && interrupts < plan.interruptsMs.size() &&
            now - from >= std::chrono::milliseconds(plan.interruptsMs[interrupts])) {
            if (plan.terminal) {
                const char ctrlC = 0x03;
                ssize_t n = write(outFd, &ctrlC, 1);
                (void)n;
            } else {
                kill(pid, SIGINT);
            }
            ++interrupts;
        }
        struct pollfd fds[2];
        int n = 0;
        if (outFd >= 0)
            fds[n++] = {outFd, POLLIN, 0};
        if (errFd >= 0)
            fds[n++] = {errFd, POLLIN, 0};
        if (poll(fds, nfds_t(n), 20) <= 0)
            continue;
        for (int i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            std::string &sink = fds[i].fd == outFd ? result.out : result.err;
            if (got > 0) {
                sink.append(buf, size_t(got));
                if (!triggered && sink.find(plan.trigger) != std::string::npos) {
                    triggered = true;
                    from = Clock::now();
                }
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            // End of output (a pty reports EIO once the child is gone).
            close(fds[i].fd);
            (fds[i].fd == outFd ? outFd : errFd) = -1;
        }
    }
    for (int fd : {outFd, errFd})
        if (fd >= 0)
            close(fd);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = DecodeStatus(wstatus);
    return result;
}

bool CanConnect(const std::string &path)
{
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

}  // namespace

std::string ToolPath() { return EnvPath("ZVC450_CLI"); }
std::string EmulatorPath() { return EnvPath("ZVC450_EMU"); }
std::string MkrecPath() { return EnvPath("ZVC450_MKREC"); }

bool LibraryExports(const char *name)
{
    static void *library = dlopen(EnvPath("ZVC450_LIB").c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        throw std::runtime_error(std::string("cannot load the device library: ") + dlerror());
    return dlsym(library, name) != nullptr;
}

Player::Player(const TempDir &dir, const std::vector<std::string> &extra)
    : socket_(dir.Path("emu.sock")), state_(dir.Path("state"))
{
    std::vector<std::string> args = {"--state", state_, "--socket", socket_, "--internal-size", "4M",
                                     "--card-size", "2M"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<std::string> storage;
    std::vector<char *> argv = Argv(EmulatorPath(), args, &storage);
    const std::string log = dir.Path("emu.log");
    pid_ = fork();
    if (pid_ == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Ready once it accepts a host.
    for (int i = 0; i < 500; ++i) {
        if (CanConnect(socket_))
            return;
        int wstatus;
        if (waitpid(pid_, &wstatus, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Player::~Player()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int wstatus;
    waitpid(pid_, &wstatus, 0);
}

Result Run(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
           const std::string &input)
{
    RunOptions plan;
    plan.input = input;
    return Spawn(socket, args, cwd, plan);
}

Result RunWith(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
               const RunOptions &options)
{
    return Spawn(socket, args, cwd, options);
}

Result RunOnTerminalAndInterrupt(const std::string &socket, const std::vector<std::string> &args,
                                 const std::string &cwd, const std::string &trigger)
{
    RunOptions plan;
    plan.terminal = true;
    plan.trigger = trigger;
    // The old behaviour: Ctrl-C shortly after the text, none without one.
    if (!trigger.empty())
        plan.interruptsMs = {300};
    return Spawn(socket, args, cwd, plan);
}

Result RunAndSignal(const std::string &socket, const std::vector<std::string> &args, const std::string &cwd,
                    int delayMs)
{
    RunOptions plan;
    plan.interruptsMs = {delayMs};
    return Spawn(socket, args, cwd, plan);
}

int Shell(const std::string &command)
{
    const int wstatus = std::system(command.c_str());
    return wstatus == -1 ? -1 : DecodeStatus(wstatus);
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

Bytes ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), std::streamsize(data.size()));
}

bool Exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (struct dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes b(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 16);
    }
    return b;
}

}  // namespace clitest
