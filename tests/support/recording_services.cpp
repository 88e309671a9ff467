#include "recording_services.h"

RecordingServices::RecordingServices() { platform::setServices(this); }
RecordingServices::~RecordingServices() { platform::setServices(nullptr); }

int RecordingServices::messageBox(const std::string& text, platform::MsgIcon icon, platform::MsgButtons) {
    std::lock_guard lock(mutex_);
    messages_.push_back({text, icon});
    return answer;
}

std::string RecordingServices::openFileName(const platform::FileDialogRequest&) { return chosenFile; }
std::string RecordingServices::saveFileName(const platform::FileDialogRequest&) { return chosenFile; }

void RecordingServices::openInViewer(const std::string& path) {
    std::lock_guard lock(mutex_);
    viewed_.push_back(path);
}

void RecordingServices::tone(unsigned frequencyHz, unsigned durationMs) {
    std::lock_guard lock(mutex_);
    tones_.push_back({frequencyHz, durationMs});
}

std::vector<RecordingServices::Message> RecordingServices::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<RecordingServices::Tone> RecordingServices::tones() const {
    std::lock_guard lock(mutex_);
    return tones_;
}

std::vector<std::string> RecordingServices::viewed() const {
    std::lock_guard lock(mutex_);
    return viewed_;
}

void RecordingServices::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    tones_.clear();
    viewed_.clear();
}
