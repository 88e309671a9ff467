#pragma once
// WorkerPage over a template's controls: each call runs on the user-interface thread and
// waits until it is done. The log list and the progress bar are the controls given (a list id
// of 0: no log, as in the tool dialogs); the marquee makes the progress bar busy. Pages with
// prompts or an image path add them.
#include "core/image_loader.h"
#include "core/worker_page.h"
#include "platform/dialog_builder.h"

class ControlSetPage : public WorkerPage {
public:
    ControlSetPage(ui::ControlSet& controls, int listId, int progressId)
        : controls_(controls), listId_(listId), progressId_(progressId) {}

    void appendLog(const std::string& line) override;
    void scrollLog() override;
    void setProgressRange(int lower, int upper) override;
    void setProgressPos(int pos) override;
    void setProgressMarquee(bool on) override;
    void showControl(int controlId, bool show) override;
    void enableControl(int controlId, bool enable) override;
    void setControlText(int controlId, const std::string& text) override;
    void setControlIcon(int controlId, int iconId) override;
    int messageBox(const std::string& text, platform::MsgIcon icon) override;
    int stopPrompt(int, uint32_t) override { return 0; }
    int warnPrompt(int, uint32_t) override { return 0; }
    std::string imagePath() const override { return {}; }

protected:
    ui::ControlSet& controls_;

private:
    int listId_;
    int progressId_;
};

class QListWidget;
class QObject;
struct HexConversion;
// The loader's first steps on a page: asks for a .bin or .hex file, notes its folder, empties
// the size and CRC fields and loads the file for the chip model, a .hex converted by the page's
// convert (1 converted, 0 failed and shown), reporting a refusal. False when the operator
// chooses nothing.
bool ChooseImageFile(ui::ControlSet& controls, int sizeId, int crcId, ImageFileLoad& load,
                     const HexToBinConverter& convert);
// A page's conversion as its loader reports it: 1 converted; 0 failed, the failure shown in an
// error box.
int ShowConversion(const HexConversion& conversion);
// The loader's last step: the chosen path in the list, the size and the CRC in their fields.
void ShowLoadedImage(ui::ControlSet& controls, QListWidget& list, int sizeId, int crcId, const ImageFileLoad& load);
// A reload's last step: its size and sum in their fields when it loaded, the chosen path in the
// list.
void ShowReloadedImage(ui::ControlSet& controls, QListWidget& list, int sizeId, int sumId, const std::string& chosenPath,
                       const ImageReload& reload);
// Shows the last five lines of an operation list: its top index becomes the count - 5.
void ScrollToLastLines(QListWidget& list);
// Writes the list to "ISP_log.txt" in the program folder with CR LF line ends and opens it
// in the viewer; "Could not create the file!" when it cannot be created, and a message naming
// it when it cannot be written whole.
void ExportOperationList(const QListWidget& list);
// Controls that only show settings get grey text.
void SetGreyText(ui::ControlSet& controls, std::initializer_list<int> ids);
