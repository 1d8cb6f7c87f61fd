// interrupt.cpp - Ctrl-C on a terminal (see interrupt.h).
//
// The handler only raises a flag and passes the signal on; the waits of the
// transports look at the flag when a signal (or a slice of their wait) ends,
// and the transfer windows fold it into their Cancel bit.

#include "interrupt.h"

#include <csignal>

namespace zvc450 {
namespace {

volatile sig_atomic_t g_interrupted = 0;  // a Ctrl-C not yet taken by a window
volatile sig_atomic_t g_presses = 0;      // Ctrl-C presses since the handler went in
struct sigaction g_previousAction;
int g_hookCount = 0;
bool g_hooked = false;
int g_uncancellable = 0;

// Passes the signal on as the disposition before ours would have taken it.
void PassOn(int sig, siginfo_t *info, void *context)
{
    const struct sigaction &previous = g_previousAction;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction != nullptr)
            previous.sa_sigaction(sig, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN)
        return;
    if (previous.sa_handler == SIG_DFL) {
        // The first Ctrl-C is ours (Cancel); the second does what it
        // would have done without us: it ends the process.
        if (g_presses < 2)
            return;
        signal(sig, SIG_DFL);
        raise(sig);  // delivered when the handler returns
        return;
    }
    previous.sa_handler(sig);
}

extern "C" void OnInterrupt(int sig, siginfo_t *info, void *context)
{
    g_interrupted = 1;
    g_presses = g_presses + 1;
    PassOn(sig, info, context);
}

void Hook()
{
    if (g_hookCount++ > 0)
        return;
    struct sigaction sa = {};
    sa.sa_sigaction = OnInterrupt;
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    g_interrupted = 0;
    g_presses = 0;
    g_hooked = sigaction(SIGINT, &sa, &g_previousAction) == 0;
    // A process started with SIGINT ignored (a background job) keeps ignoring it.
    if (g_hooked && !(g_previousAction.sa_flags & SA_SIGINFO) && g_previousAction.sa_handler == SIG_IGN) {
        sigaction(SIGINT, &g_previousAction, nullptr);
        g_hooked = false;
    }
}

void Unhook()
{
    if (g_hookCount == 0 || --g_hookCount > 0)
        return;
    if (g_hooked)
        sigaction(SIGINT, &g_previousAction, nullptr);
    g_hooked = false;
    g_interrupted = 0;
}

}  // namespace

InterruptScope::InterruptScope() { Hook(); }

InterruptScope::~InterruptScope() { Unhook(); }

UncancellableScope::UncancellableScope() { ++g_uncancellable; }

UncancellableScope::~UncancellableScope() { --g_uncancellable; }

bool WaitInterrupted() { return g_interrupted != 0 && g_uncancellable == 0; }

bool TakeInterrupt()
{
    if (g_interrupted == 0)
        return false;
    g_interrupted = 0;
    return true;
}

}  // namespace zvc450
