#pragma once
// The time the COM link runs on: how long a step waits for its reply and how long the link's
// users pause between steps. The program runs on the real clock. Tests install a clock that
// runs on the simulated board's time, so that no run waits for a reply that cannot come and a
// late reply comes, in order, after the time-out it missed.
#include <cstdint>

// What Cancel (g_hStopEvent) does to a pause. It cuts a pause of the run's work, and the run ends
// there (a target let go in the middle of the work is let go again by the end). The pauses of the
// run's end are taken in full, so that what the end sends lands: the settle of the switches before
// its leave frame and the pause after it; and so are those around closing or opening the port,
// wherever they come, since the end needs the port to reach the board.
enum class PauseKind { Work, RunEnd };

class ComClock {
public:
    // A step is about to send its frame.
    virtual void stepBegins() = 0;
    // Waits for the reply of the pending step (g_hReplyEvent); true when it came within ms.
    virtual bool waitReply(uint32_t ms) = 0;
    // Pauses ms; a pause of the work ends early when g_hStopEvent is set.
    virtual void pause(uint32_t ms, PauseKind kind) = 0;
    // Reads the line and lets go of what it brings until no byte has come for quietMs; false
    // when it has not gone quiet within limitMs.
    virtual bool letGo(uint32_t quietMs, uint32_t limitMs) = 0;

protected:
    ~ComClock() = default;
};

// nullptr goes back to the real clock.
void SetComClockForTests(ComClock* clock);
ComClock& CurrentComClock();

// A pause of the link's users: between steps, around a re-open, before a handshake. Cancel ends
// a pause of the work at once, however long, and every one after it. False when Cancel has cut it
// (also one of 0 ms, once Cancel is set): the step after it must not go out.
bool ComPause(uint32_t ms, PauseKind kind = PauseKind::Work);
// After a step gave up on its reply: lets the line's replies go by until it is quiet (ComClock::letGo).
bool ComLetGo(uint32_t quietMs, uint32_t limitMs);
