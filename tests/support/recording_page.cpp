#include "recording_page.h"

void RecordingPage::addLog(const std::string& line) {
    std::lock_guard lock(mutex_);
    log.push_back(line);
}

void RecordingPage::scrollLog() {
    std::lock_guard lock(mutex_);
    scrolledAt.push_back(log.size());
}

void RecordingPage::setProgressRange(int lower, int upper) {
    std::lock_guard lock(mutex_);
    ranges.emplace_back(lower, upper);
}

void RecordingPage::setProgressPos(int pos) {
    std::lock_guard lock(mutex_);
    positions.push_back(pos);
}

void RecordingPage::setProgressMarquee(bool) {}

void RecordingPage::showControl(int controlId, bool show) {
    std::lock_guard lock(mutex_);
    shown[controlId] = show;
}

void RecordingPage::enableControl(int controlId, bool enable) {
    std::lock_guard lock(mutex_);
    enabled[controlId] = enable;
}

void RecordingPage::setControlText(int controlId, const std::string& text) {
    std::lock_guard lock(mutex_);
    texts[controlId] = text;
}

void RecordingPage::setControlIcon(int controlId, int iconId) {
    std::lock_guard lock(mutex_);
    icons[controlId] = iconId;
}

int RecordingPage::messageBox(const std::string& text, platform::MsgIcon icon) {
    std::lock_guard lock(mutex_);
    messages.push_back({text, icon});
    return platform::IDOK;
}

int RecordingPage::stopPrompt(int, uint32_t) { return promptAnswer; }
int RecordingPage::warnPrompt(int, uint32_t) { return promptAnswer; }

std::string RecordingPage::imagePath() const {
    std::lock_guard lock(mutex_);
    return image;
}

std::vector<std::string> RecordingPage::logLinesWith(const std::string& part) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& line : log) {
        if (line.find(part) != std::string::npos) lines.push_back(line);
    }
    return lines;
}
