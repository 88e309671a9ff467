#pragma once
// The page of a benchmark run: nobody watches it, messages go to standard error, prompts
// answer continue.
#include <cstdio>
#include <string>

#include "core/worker_page.h"

class SilentPage final : public WorkerPage {
public:
    explicit SilentPage(std::string path) : path_(std::move(path)) {}
    void appendLog(const std::string&) override {}
    void scrollLog() override {}
    void setProgressRange(int, int) override {}
    void setProgressPos(int) override {}
    void setProgressMarquee(bool) override {}
    void showControl(int, bool) override {}
    void enableControl(int, bool) override {}
    void setControlText(int, const std::string&) override {}
    void setControlIcon(int, int) override {}
    int messageBox(const std::string& text, platform::MsgIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return platform::IDOK;
    }
    int stopPrompt(int, uint32_t) override { return platform::IDOK; }
    int warnPrompt(int, uint32_t) override { return platform::IDOK; }
    std::string imagePath() const override { return path_; }

private:
    std::string path_;
};
