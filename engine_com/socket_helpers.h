#pragma once
// Single-socket operations through which the compact engines drive the board one socket at a
// time. Each board or target exchange is one step of the run; the switch and LED take an index,
// share one tag each (0x3D, 0x3E) and build their message from it. Results: 0 done, 1 a step
// went unanswered (or the port stayed closed), 2 a chip refused by the chip mode's rule.
#include <array>
#include <cstdint>

#include "engine_com/gang_steps.h"

namespace engine_com {

// Switch n (0 to 3 for sockets 1 to 4); on = 1 closes it, any other value opens it.
int GangSetSwitch(GangRun& run, uint32_t n, int on);
// LED index n (0 to 7, board lines 1 to 8); socket s has the indices 2s and 2s + 1.
int GangSetLed(GangRun& run, uint32_t n, int on);
// Socket s's switch, then its lower and its upper LED, on when it holds a target, else off; all
// three are sent whatever the one before answered.
int GangShowSocket(GangRun& run, int s);
// The handshake of the chip mode (modes 7 to 12); 0 when the mode has none or the port stayed
// closed, else nonzero.
uint8_t SendChipHandshake();
// Judges the chip-ID reply by the chip mode's rule; a refused chip leaves ISP mode.
int CheckChipId(GangRun& run);
// Selects socket s alone, greets it with the chip mode's handshake, marks it found or empty
// (state 2), reads and judges its chip ID (state 3 when refused) and stops its program.
// 1 also when Cancel ended the run (running cleared) or the board was lost.
int GangConnectSocket(GangRun& run, int s, std::array<uint8_t, kSocketCount>& state);

}  // namespace engine_com
