#pragma once
// The time the COM link runs on: how long a step waits for its reply and how long the link's
// users pause between steps. The program runs on the real clock. Tests install a clock that
// runs on the simulated board's time, so that no run waits for a reply that cannot come and a
// late reply comes, in order, after the time-out it missed.
#include <cstdint>

class ComClock {
public:
    // A step is about to send its frame.
    virtual void stepBegins() = 0;
    // Waits for the reply of the pending step (g_hReplyEvent); true when it came within ms.
    virtual bool waitReply(uint32_t ms) = 0;
    // Pauses ms, or until g_hStopEvent is set, whichever comes first.
    virtual void pause(uint32_t ms) = 0;
    // Reads the line and lets go of what it brings until no byte has come for quietMs; false
    // when it has not gone quiet within limitMs.
    virtual bool letGo(uint32_t quietMs, uint32_t limitMs) = 0;

protected:
    ~ComClock() = default;
};

// nullptr goes back to the real clock.
void SetComClockForTests(ComClock* clock);
ComClock& CurrentComClock();

// A pause of the link's users: between steps, around a re-open, before a handshake. Cancel
// (g_hStopEvent) ends it at once, however long, and every pause after it: a cancelled run goes
// straight to its end.
void ComPause(uint32_t ms);
// After a step gave up on its reply: lets the line's replies go by until it is quiet (ComClock::letGo).
bool ComLetGo(uint32_t quietMs, uint32_t limitMs);
