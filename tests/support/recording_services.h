#pragma once
// Desktop services that answer instead of a person and remember what the program asked:
// message boxes (answered with a set answer), tones, files opened in the viewer. Installed for
// its lifetime.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"

class RecordingServices final : public platform::DesktopServices {
public:
    struct Message {
        std::string text;
        platform::MsgIcon icon;
    };
    struct Tone {
        unsigned frequencyHz, durationMs;
        bool operator==(const Tone&) const = default;
    };

    RecordingServices();
    ~RecordingServices() override;

    int messageBox(const std::string& text, platform::MsgIcon icon, platform::MsgButtons buttons) override;
    std::string openFileName(const platform::FileDialogRequest& request) override;
    std::string saveFileName(const platform::FileDialogRequest& request) override;
    void openInViewer(const std::string& path) override;
    void tone(unsigned frequencyHz, unsigned durationMs) override;

    std::vector<Message> messages() const;
    std::vector<Tone> tones() const;
    std::vector<std::string> viewed() const;
    void clear();

    int answer = platform::IDOK;
    std::string chosenFile;  // what the file dialogs answer

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<Tone> tones_;
    std::vector<std::string> viewed_;
};
