#include "link/serial_line_events.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

ComLineState ReadComLineState(int fd) {
    ComLineState state;
    state.modemKnown = ::ioctl(fd, TIOCMGET, &state.modemLines) == 0;
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
        state.countersKnown = true;
        state.cts = static_cast<uint32_t>(counts.cts);
        state.ring = static_cast<uint32_t>(counts.rng);
        state.breaks = static_cast<uint32_t>(counts.brk);
        state.frame = static_cast<uint32_t>(counts.frame);
        state.parity = static_cast<uint32_t>(counts.parity);
        state.overrun = static_cast<uint32_t>(counts.overrun);
        state.bufferOverrun = static_cast<uint32_t>(counts.buf_overrun);
    }
    return state;
}

std::vector<ComLineEvent> ComLineEventsBetween(const ComLineState& before, const ComLineState& after, uint32_t mask) {
    const bool counters = before.countersKnown && after.countersKnown;
    const bool modem = before.modemKnown && after.modemKnown;
    const auto rose = [&](int line) { return !(before.modemLines & line) && (after.modemLines & line); };

    std::vector<ComLineEvent> events;
    if ((mask & kComEvCts) &&
        (counters ? after.cts != before.cts : modem && ((before.modemLines ^ after.modemLines) & TIOCM_CTS)))
        events.push_back(ComLineEvent::Cts);
    if (counters && (mask & kComEvBreak) && after.breaks != before.breaks) events.push_back(ComLineEvent::Break);
    if (counters && (mask & kComEvErr) &&
        (after.frame != before.frame || after.parity != before.parity || after.overrun != before.overrun ||
         after.bufferOverrun != before.bufferOverrun))
        events.push_back(ComLineEvent::Error);
    if ((mask & kComEvRing) && (counters ? after.ring != before.ring : modem && rose(TIOCM_RNG)))
        events.push_back(ComLineEvent::Ring);
    return events;
}
