#pragma once
// What a worker may do to the page that started it. Workers never touch widgets: the page
// implements this on the user-interface thread (each call waits until it is done, so updates
// stay in order), and tests implement it with a recorder.
#include <cstdint>
#include <string>

#include "platform/services.h"

class WorkerPage {
public:
    virtual ~WorkerPage() = default;

    // The operation list: a line at its end, without the line end that some texts carry (a list
    // line shows no line-end character); scrollLog shows the last five lines.
    void addLog(const std::string& line) {
        const std::size_t last = line.find_last_not_of("\r\n");
        appendLog(line.substr(0, last == std::string::npos ? 0 : last + 1));
    }
    virtual void scrollLog() = 0;

    virtual void setProgressRange(int lower, int upper) = 0;
    virtual void setProgressPos(int pos) = 0;
    virtual void setProgressMarquee(bool on) = 0;

    // Controls by their ids.
    virtual void showControl(int controlId, bool show) = 0;
    virtual void enableControl(int controlId, bool enable) = 0;
    virtual void setControlText(int controlId, const std::string& text) = 0;
    // Puts icon iconId (a resource id) on a static icon or a button.
    virtual void setControlIcon(int controlId, int iconId) = 0;

    virtual int messageBox(const std::string& text, platform::MsgIcon icon) = 0;
    // The gang workers' requests: the stop prompt (WM_USER+13) and the warning prompt
    // (WM_USER+14) with their kind and byte address; the answer is the message's result.
    virtual int stopPrompt(int kind, uint32_t address) = 0;
    virtual int warnPrompt(int kind, uint32_t address) = 0;

    // The image file chosen on the page.
    virtual std::string imagePath() const = 0;

    // The gang runs' requests of the page that owns the COM port: re-open the port at the
    // second baud rate (WM_USER+12), and the 256-byte pages that a page erase covers. A page
    // that starts no gang run keeps the port as it is; no page of the window holds a range.
    struct PageRange {
        uint32_t first = 0;
        uint32_t count = 0;
    };
    virtual void reopenComPort() {}
    virtual PageRange pageEraseRange() const { return {}; }

protected:
    virtual void appendLog(const std::string& line) = 0;
};
