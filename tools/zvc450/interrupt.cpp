// interrupt.cpp - Ctrl-C and termination signals.

#include "interrupt.h"

#include "cli.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;

// The note for a Ctrl-C during work that cannot stop, built before the work
// starts (the handler only writes it); empty outside such work.
char g_uncancellableNote[160];
volatile sig_atomic_t g_uncancellable = 0;

// Written only while no signal handler can run with the old contents: the
// pointer is switched in one store after the buffer is filled.
char g_pathBuffers[2][PATH_MAX];
char *volatile g_removePath = nullptr;
int g_nextBuffer = 0;

void RemoveAndExit(int status)
{
    if (char *path = g_removePath)
        ::unlink(path);
    _exit(status);
}

extern "C" void OnInterrupt(int)
{
    if (g_interrupted)
        RemoveAndExit(kExitCancelled);
    g_interrupted = 1;
    if (g_uncancellable) {
        ssize_t ignored = ::write(STDERR_FILENO, g_uncancellableNote, std::strlen(g_uncancellableNote));
        (void)ignored;
        return;
    }
    static const char note[] = "\nzvc450: stopping after this step (Ctrl-C again to quit now)\n";
    if (isatty(STDERR_FILENO) == 1) {
        ssize_t ignored = ::write(STDERR_FILENO, note, sizeof note - 1);
        (void)ignored;
    }
}

extern "C" void OnTerminate(int sig) { RemoveAndExit(128 + sig); }

void Install(int sig, void (*handler)(int))
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return;  // started in the background with the signal ignored: keep it so
    sigaction(sig, &sa, nullptr);
}

}  // namespace

void InstallInterruptHandlers()
{
    Install(SIGINT, OnInterrupt);
    Install(SIGTERM, OnTerminate);
    Install(SIGHUP, OnTerminate);
}

bool InterruptPending() { return g_interrupted != 0; }

UncancellableScope::UncancellableScope(const char *what)
{
    std::snprintf(g_uncancellableNote, sizeof g_uncancellableNote,
                  "\nzvc450: %s cannot be cancelled; the player would be left unusable (Ctrl-C again to quit "
                  "anyway)\n",
                  what);
    g_uncancellable = 1;
}

UncancellableScope::~UncancellableScope() { g_uncancellable = 0; }

void SetFileToRemoveOnSignal(const char *path)
{
    if (!path || std::strlen(path) >= PATH_MAX) {
        g_removePath = nullptr;
        return;
    }
    char *buffer = g_pathBuffers[g_nextBuffer];
    g_nextBuffer ^= 1;
    std::strcpy(buffer, path);
    g_removePath = buffer;
}

}  // namespace cli
