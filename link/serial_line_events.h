#pragma once
// Line events of a COM port beside its bytes: a CTS change, the event character, a break, a line
// error, a ring. The port watches those its event mask asks for and tells its owner of each.
// Linux tells them through the modem-line ioctls and the driver's line counters; what a device
// does not count (a pseudo-terminal counts nothing) is never reported.
#include <cstdint>
#include <vector>

// Bits of the event mask a port is opened with (g_dwComEventMask); the values are those of the
// stored mask. Received bytes reach the owner whatever the mask says.
inline constexpr uint32_t kComEvRxChar = 0x0001;
inline constexpr uint32_t kComEvRxFlag = 0x0002;  // the event character: Linux has none
inline constexpr uint32_t kComEvCts = 0x0008;
inline constexpr uint32_t kComEvBreak = 0x0040;
inline constexpr uint32_t kComEvErr = 0x0080;
inline constexpr uint32_t kComEvRing = 0x0100;

// What the owner hears; the value is the message number the owner's window knows it by.
enum class ComLineEvent : uint32_t {
    Break = 0x401,
    Cts = 0x402,
    Error = 0x404,
    Ring = 0x405,
    EventChar = 0x408,  // built, never raised: no Linux line discipline reports it
};

// One look at the line: the modem lines and the driver's counters, each where the device has them.
struct ComLineState {
    bool modemKnown = false;
    int modemLines = 0;  // TIOCM_* bits
    bool countersKnown = false;
    uint32_t cts = 0, ring = 0, breaks = 0, frame = 0, parity = 0, overrun = 0, bufferOverrun = 0;
};

// The line of descriptor fd as it is now.
ComLineState ReadComLineState(int fd);

// The events mask asks for that happened between two looks, in the order the owner hears them:
// CTS, event character, break, line error, ring. Counters, where both looks have them, catch a
// line that changed and changed back; otherwise the modem lines are compared (ring: RI rose).
std::vector<ComLineEvent> ComLineEventsBetween(const ComLineState& before, const ComLineState& after, uint32_t mask);
