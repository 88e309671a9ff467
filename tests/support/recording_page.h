#pragma once
// A WorkerPage that remembers what a worker did to it: log lines and scroll points, progress,
// control states, icons and texts, message boxes. The workers under test run on the test's
// thread, so it needs no lock.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/worker_page.h"

class RecordingPage final : public WorkerPage {
public:
    void appendLog(const std::string& line) override { log.push_back(line); }
    void scrollLog() override { scrolledAt.push_back(log.size()); }
    void setProgressRange(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    void setProgressPos(int pos) override { positions.push_back(pos); }
    void setProgressMarquee(bool) override {}
    void showControl(int controlId, bool show) override { shown[controlId] = show; }
    void enableControl(int controlId, bool enable) override { enabled[controlId] = enable; }
    void setControlText(int controlId, const std::string& text) override { texts[controlId] = text; }
    void setControlIcon(int controlId, int iconId) override { icons[controlId] = iconId; }
    int messageBox(const std::string& text, platform::MsgIcon icon) override {
        messages.push_back(text);
        messageIcons.push_back(icon);
        return platform::IDOK;
    }
    int stopPrompt(int kind, uint32_t address) override {
        prompts.push_back({13, kind, address});
        return 0;
    }
    int warnPrompt(int kind, uint32_t address) override {
        prompts.push_back({14, kind, address});
        return onWarn ? onWarn(kind, address) : 1;
    }
    std::string imagePath() const override { return image; }
    void reopenComPort() override {
        ++reopens;
        if (onReopen) onReopen();
    }
    PageRange pageEraseRange() const override { return pageErase; }

    // The log lines that contain part.
    std::vector<std::string> logLinesWith(const std::string& part) const {
        std::vector<std::string> lines;
        for (const auto& line : log) {
            if (line.find(part) != std::string::npos) lines.push_back(line);
        }
        return lines;
    }

    struct Prompt {
        int message, kind;
        uint32_t address;
        bool operator==(const Prompt&) const = default;
    };

    std::string image;  // what imagePath() answers
    std::vector<Prompt> prompts;                    // 13 stop, 14 warning
    std::function<int(int, uint32_t)> onWarn;       // the warning's answer; 1 when unset
    std::vector<std::string> log;
    std::vector<size_t> scrolledAt;           // the log's line count at each scroll
    std::vector<std::pair<int, int>> ranges;  // every progress range set
    std::vector<int> positions;               // every progress position set
    std::map<int, bool> shown, enabled;       // last state by control id
    std::map<int, std::string> texts;
    std::map<int, int> icons;
    std::vector<std::string> messages;
    std::vector<platform::MsgIcon> messageIcons;  // the icon of each message, in the same order
    int reopens = 0;                    // port re-opens asked of the page
    std::function<void()> onReopen;
    PageRange pageErase;                // what pageEraseRange() answers
};
