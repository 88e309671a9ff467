#include "run_trace.h"

#include <algorithm>
#include <cstdlib>

#include "platform/strfmt.h"

namespace {

// One line before folding: text before the number, the number, text after it.
struct Item {
    std::string before;
    bool hasNumber = false;
    uint32_t number = 0;
    std::string after;

    std::string text() const { return before + (hasNumber ? strfmt("%08X", number) : "") + after; }
    bool sameShape(const Item& other) const {
        return before == other.before && after == other.after && hasNumber == other.hasNumber;
    }
};

// Folds runs of `period` items that repeat with each item's number growing by a fixed step.
std::vector<Item> fold(const std::vector<Item>& items, size_t period) {
    std::vector<Item> folded;
    size_t i = 0;
    while (i < items.size()) {
        size_t repeats = 1;
        std::vector<uint32_t> steps(period, 0);
        if (i + 2 * period <= items.size()) {
            for (size_t j = 0; j < period; ++j) steps[j] = items[i + period + j].number - items[i + j].number;
            auto matches = [&](size_t r) {
                for (size_t j = 0; j < period; ++j) {
                    const Item& first = items[i + j];
                    const Item& item = items[i + r * period + j];
                    if (!item.sameShape(first) || item.number != first.number + static_cast<uint32_t>(r) * steps[j])
                        return false;
                }
                return true;
            };
            while (i + (repeats + 1) * period <= items.size() && matches(repeats)) ++repeats;
        }
        if (repeats < 2) {
            folded.push_back(items[i++]);
            continue;
        }
        if (period == 1) {
            Item item = items[i];
            item.after = (item.hasNumber ? strfmt(" +%X", steps[0]) : "") + strfmt(" x%zu", repeats) + item.after;
            folded.push_back(item);
        } else {
            std::string group = "[";
            std::string stepText;
            for (size_t j = 0; j < period; ++j) {
                group += (j ? " ; " : "") + items[i + j].text();
                stepText += strfmt(" +%X", steps[j]);
            }
            folded.push_back({group + "]" + stepText + strfmt(" x%zu", repeats), false, 0, ""});
        }
        i += repeats * period;
    }
    return folded;
}

// Commands whose bytes 4-7 mean nothing: what they hold is left from earlier reports.
bool takesArgument(uint8_t command) {
    for (uint8_t bare : {0x00, 0x03, 0x0E, 0x0F, 0x22, 0x27, 0x31, 0x37, 0x3D})
        if (command == bare) return false;
    return true;
}

uint32_t argument(const std::vector<uint8_t>& report) {
    return report[4] | report[5] << 8 | report[6] << 16 | static_cast<uint32_t>(report[7]) << 24;
}

}  // namespace

RunTrace::RunTrace(sim::Adapter& adapter) : adapter_(adapter) { serial_flash::setRunClockForTests(this); }

RunTrace::~RunTrace() { serial_flash::setRunClockForTests(nullptr); }

void RunTrace::pause(uint32_t ms) {
    nowMs_ += ms;
    adapter_.notePause(ms);
    pauses_.emplace_back(adapter_.setCount() + adapter_.getCount(), nowMs_);
}

void RunTrace::note(std::string text, bool hasNumber, uint32_t number) {
    events_.push_back({adapter_.setCount() + adapter_.getCount(), nowMs_, "| " + std::move(text), hasNumber, number});
}

// A line feed that a log line carries shows as \n.
void RunTrace::appendLog(const std::string& line) {
    std::string shown;
    for (char c : line) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    note("log " + shown);
}
void RunTrace::setProgressRange(int lower, int upper) { note(strfmt("range %d..%d", lower, upper)); }
void RunTrace::setProgressPos(int pos) { note("pos ", true, static_cast<uint32_t>(pos)); }
void RunTrace::setProgressMarquee(bool on) { note(strfmt("marquee %d", on)); }
void RunTrace::showControl(int controlId, bool show) { note(strfmt("show %d %d", controlId, show)); }
void RunTrace::enableControl(int controlId, bool enable) { note(strfmt("enable %d %d", controlId, enable)); }
void RunTrace::setControlText(int controlId, const std::string& text) { note(strfmt("text %d %s", controlId, text.c_str())); }
void RunTrace::setControlIcon(int controlId, int iconId) { note(strfmt("icon %d %d", controlId, iconId)); }

int RunTrace::messageBox(const std::string& text, platform::MsgIcon) {
    messages.push_back(text);
    note("message " + text);
    return platform::IDOK;
}

int RunTrace::icon(int controlId) const {
    int last = 0;
    const std::string prefix = strfmt("| icon %d ", controlId);
    for (const Event& event : events_)
        if (event.text.rfind(prefix, 0) == 0) last = std::atoi(event.text.c_str() + prefix.size());
    return last;
}

std::string RunTrace::text() const {
    const std::vector<sim::Exchange> exchanges = adapter_.exchanges();
    std::vector<Item> items;
    uint64_t lastMs = 0;
    size_t next = 0;
    auto add = [&](uint64_t atMs, std::string before, bool hasNumber, uint32_t number, std::string after) {
        items.push_back({strfmt("%5llu ", static_cast<unsigned long long>(atMs - lastMs)) + before, hasNumber, number, after});
        lastMs = atMs;
    };
    // Exchange k happens when the pauses before it have passed.
    auto timeOfExchange = [&](int k) {
        const auto after = std::upper_bound(pauses_.begin(), pauses_.end(), k,
                                            [](int count, const auto& mark) { return count < mark.first; });
        return after == pauses_.begin() ? uint64_t{0} : std::prev(after)->second;
    };
    for (int k = 0; k < static_cast<int>(exchanges.size());) {
        while (next < events_.size() && events_[next].exchanges <= k) {
            const Event& event = events_[next++];
            add(event.atMs, event.text, event.hasNumber, event.number, "");
        }
        const sim::Exchange& set = exchanges[static_cast<size_t>(k)];
        std::string after;
        int used = 1;
        const bool answered = k + 1 < static_cast<int>(exchanges.size()) &&
                              exchanges[static_cast<size_t>(k) + 1].kind == sim::Exchange::Kind::Get;
        if (answered) {
            const sim::Exchange& get = exchanges[static_cast<size_t>(k) + 1];
            after = !get.ok ? " -> failed" : set.report[3] == 0x37 ? strfmt(" -> %02X", get.report[1]) : "";
            used = 2;
        }
        if (!set.ok) after += " failed";
        const uint8_t command = set.report[3];
        if (takesArgument(command))
            add(timeOfExchange(k), strfmt("%02X ", command), true, argument(set.report), after);
        else
            add(timeOfExchange(k), strfmt("%02X", command), false, 0, after);
        k += used;
    }
    for (; next < events_.size(); ++next) add(events_[next].atMs, events_[next].text, events_[next].hasNumber, events_[next].number, "");
    for (size_t period = 1; period <= 3; ++period) items = fold(items, period);
    std::string text;
    for (const Item& item : items) text += item.text() + "\n";
    return text;
}
