// zvc450-emu: the emulated player on a virtual USB link.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "emulator.h"

int main(int argc, char **argv)
{
    emu::EmulatorOptions opt;
    std::string message;
    int parsed = emu::ParseCommandLine(argc, argv, &opt, &message);
    if (parsed == 1) {
        std::cout << message;
        return 0;
    }
    if (parsed == 2) {
        std::cerr << "zvc450-emu: " << message << "\n";
        return 2;
    }

    // SIGINT and SIGTERM end the program cleanly (the socket file is
    // removed); a host that vanishes must not kill us with SIGPIPE.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    emu::Emulator player(opt);
    std::string err;
    if (!player.Prepare(&err)) {
        std::cerr << "zvc450-emu: " << err << "\n";
        return 1;
    }
    if (opt.initOnly)
        return 0;

    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        player.Stop();
    });
    std::cerr << "zvc450-emu: firmware " << opt.firmware.versionText << " listening on " << opt.socketPath << "\n";
    player.Run();
    // Normally Run returns because the stopper got its signal; if it gave up
    // on its own, release the stopper.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
