#pragma once
// What the program asks of the desktop: message boxes, file dialogs, opening a file in the
// desktop's viewer and tones. The running program uses the Qt desktop; tests install a
// recorder that answers instead of a person.
#include <string>
#include <vector>

namespace platform {

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers as the Windows message box gave them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct FileDialogRequest {
    std::string title;
    std::string filter;            // "bin(*.bin)|*.bin|hex(*.hex)|*.hex||" as the program writes it
    std::string defaultExtension;  // without the dot
    std::string defaultName;
    std::string startFolder;
};

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // An empty caption is the program's name.
    virtual int messageBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& caption) = 0;
    // The chosen path, or an empty text when the operator cancels.
    virtual std::string openFileName(const FileDialogRequest& request) = 0;
    virtual std::string saveFileName(const FileDialogRequest& request) = 0;
    virtual void openInViewer(const std::string& path) = 0;
    // Sounds a tone and returns when it has ended, as Beep does.
    virtual void tone(unsigned frequencyHz, unsigned durationMs) = 0;
    // The desktop's default beep, as MessageBeep(-1) gives it; returns at once.
    virtual void defaultBeep() = 0;
};

// The services in force. Never null: the desktop services until a test installs others.
DesktopServices& services();
// Installs other services (tests); nullptr restores the desktop services.
void setServices(DesktopServices* replacement);

}  // namespace platform

// Shorthands used throughout the program.
int MessageBox(const std::string& text, platform::MsgIcon icon = platform::MsgIcon::None,
               platform::MsgButtons buttons = platform::MsgButtons::Ok, const std::string& caption = {});
void Beep(unsigned frequencyHz, unsigned durationMs);
void MessageBeep();
