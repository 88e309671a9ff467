// Runs the simulated gang board for trying the gang path by hand: prints the pseudo-terminal
// to use as the COM port ("COMPort Device"), serves it until interrupted, then prints the
// frame log.
//   gang_board_sim [chip mode] [minimal]   (2 to 13; default 2; minimal: writes are answered
//                                           without the target's status byte)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/gang_board.h"

int main(int argc, char** argv) {
    const int chipMode = argc > 1 ? std::atoi(argv[1]) : 2;
    const bool minimal = argc > 2 && std::string(argv[2]) == "minimal";
    if (chipMode < 2 || chipMode > 13 || argc > 3 || (argc == 3 && !minimal)) {
        std::fprintf(stderr, "usage: %s [chip mode 2 to 13] [minimal]\n", argv[0]);
        return 2;
    }
    // Block the stop signals before the board's thread starts, so that only sigwait takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::GangBoard board;
    for (int socket = 0; socket < 4; ++socket) board.insertTarget(socket, static_cast<uint8_t>(chipMode));
    board.answerWritesMinimally(minimal);
    if (!board.start()) {
        std::fprintf(stderr, "no pseudo-terminal available\n");
        return 1;
    }
    std::printf("%s\n", board.path().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    board.stop();
    std::fputs(board.logText(true).c_str(), stdout);
    return 0;
}
