#pragma once
// A WorkerPage that remembers what a worker did to it: log lines, progress, control states,
// icons and texts, message boxes. Safe to call from the worker's thread; read it after the
// worker has ended.
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/worker_page.h"

class RecordingPage final : public WorkerPage {
public:
    void addLog(const std::string& line) override;
    void scrollLog() override;
    void setProgressRange(int lower, int upper) override;
    void setProgressPos(int pos) override;
    void setProgressMarquee(bool on) override;
    void showControl(int controlId, bool show) override;
    void enableControl(int controlId, bool enable) override;
    void setControlText(int controlId, const std::string& text) override;
    void setControlIcon(int controlId, int iconId) override;
    int messageBox(const std::string& text, platform::MsgIcon icon) override;
    int stopPrompt(int kind, uint32_t address) override;
    int warnPrompt(int kind, uint32_t address) override;
    std::string imagePath() const override;

    struct Message {
        std::string text;
        platform::MsgIcon icon;
    };

    std::string image;                       // what imagePath() answers
    std::vector<std::string> log;
    std::vector<size_t> scrolledAt;          // the log's line count at each scroll
    std::vector<std::pair<int, int>> ranges;  // every progress range set
    std::vector<int> positions;               // every progress position set
    std::map<int, bool> shown;                // last show state by control id
    std::map<int, bool> enabled;
    std::map<int, std::string> texts;
    std::map<int, int> icons;                 // last icon by control id
    std::vector<Message> messages;
    int promptAnswer = 1;

    // The log lines that contain part.
    std::vector<std::string> logLinesWith(const std::string& part) const;

private:
    mutable std::mutex mutex_;
};
