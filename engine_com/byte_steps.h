#pragma once
// The steps of the engines for targets that take one byte a frame through the second command
// set: handshake A, the image programmed byte by byte into every found target at once, and an
// MTP target's option block written byte by byte with its busy polls.
#include <array>
#include <cstdint>

#include "engine_com/gang_steps.h"

namespace engine_com {

// "RQ2728" with tag 0x39, then the stop of the target's program.
SocketHandshake HandshakeA();

// Image offsets 0 to L-1 byte by byte from the start address, then 0xFF up to the option
// block's last byte at P + 7, the second LEDs of the found sockets on for the first 32 image bytes and
// then blinking every 32 bytes.
struct BytePlan {
    bool idleTagAfterFill;  // tag 0x0F noted after each 0xFF byte
    bool blinkEarlyFill;    // a fill below offset 32 blinks as beyond it, else not at all
};
bool ProgramBytes(GangRun& run, const BytePlan& plan);
// The byte-wise programming's bar: the divisor raised from where it stands while P / d
// reaches 255.
void ScaleForBytes(GangRun& run);

// An MTP target's option block at P, a byte a frame, each followed by up to five busy polls
// while the target reports itself busy; a byte still busy after the fifth ends the run. A byte
// whose settled status reports the program-memory error fails the socket, and the rest of the
// block is not written. A poll answered without the status byte reports nothing: the next byte
// follows.
bool WriteOptionBytesPolled(GangRun& run, int socket, const std::array<uint8_t, 8>& block);

}  // namespace engine_com
