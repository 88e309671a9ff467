#pragma once
// Desktop services that answer instead of a person and remember what the program asked:
// message boxes (answered with a set answer), tones, files opened in the viewer. Installed for
// its lifetime.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/services.h"

class RecordingServices final : public platform::DesktopServices {
public:
    struct Message {
        std::string text;
        platform::MsgIcon icon;
        std::string caption;  // empty: the program's name
    };
    struct Tone {
        unsigned frequencyHz, durationMs;
        bool operator==(const Tone&) const = default;
    };

    RecordingServices() { platform::setServices(this); }
    ~RecordingServices() override { platform::setServices(nullptr); }

    int messageBox(const std::string& text, platform::MsgIcon icon, platform::MsgButtons,
                   const std::string& caption) override {
        locked([&] { messages_.push_back({text, icon, caption}); });
        if (whileShown) whileShown();
        return answer;
    }
    std::string openFileName(const platform::FileDialogRequest&) override { return chosenFile; }
    std::string saveFileName(const platform::FileDialogRequest&) override { return chosenFile; }
    void openInViewer(const std::string& path) override { locked([&] { viewed_.push_back(path); }); }
    void tone(unsigned frequencyHz, unsigned durationMs) override {
        locked([&] { tones_.push_back({frequencyHz, durationMs}); });
    }
    void defaultBeep() override { locked([&] { ++beeps_; }); }

    std::vector<Message> messages() const { return locked([&] { return messages_; }); }
    std::vector<Tone> tones() const { return locked([&] { return tones_; }); }
    std::vector<std::string> viewed() const { return locked([&] { return viewed_; }); }
    int beeps() const { return locked([&] { return beeps_; }); }
    void clear() {
        locked([&] {
            messages_.clear();
            tones_.clear();
            viewed_.clear();
            beeps_ = 0;
        });
    }

    int answer = platform::IDOK;
    std::string chosenFile;  // what the file dialogs answer
    std::function<void()> whileShown;  // runs before a message box is answered, as a modal box lets other work run

private:
    template <class F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }

    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<Tone> tones_;
    std::vector<std::string> viewed_;
    int beeps_ = 0;
};
