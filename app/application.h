#pragma once
// Start-up, the run of the main window and the exit.
#include <QObject>
#include <cstdint>
#include <string>

// The whole program: start-up, the main window until it closes. Returns the exit code.
int RunApplication(int argc, char** argv);

// Why the program must not start, or empty: without a home folder (and no absolute
// $XDG_CONFIG_HOME or $XDG_DATA_HOME where one is needed) its settings, serial numbers and files
// would have no folder of their own. Start-up then says so, on standard error and in a message,
// and ends with exit code 1 before any file is read or written.
std::string StartUpRefusal();

// The application: start-up before the main window, the delay-count keys, and the exit.
class CUart_ISPApp {
public:
    // Start-up: the operating-system version and the workers' pause, the program folder, the
    // INI file's path, the stored settings, then the stop and the reply event.
    void InitInstance();
    // The delay-count keys: '+' and '-' (keypad and main keyboard) change the delay count
    // within 0 to 2000, save it and show it. Returns false: the key goes on to the windows.
    bool PreTranslateMessage(int key);
    // The exit, after the main window has closed: the stop event, then the reply event, are
    // left not signalled, so no signal outlives the program's run.
    void ExitInstance();
};
extern CUart_ISPApp theApp;

// The eleven settings that start-up reads, in their order, and what follows from them.
void LoadStartupSettings();

// The serial-number address that the serial-number configuration corrects to: in main code
// (location 0) an address of 0x10 or less becomes half the flash size, since lower addresses
// would overwrite the image's vector table; elsewhere an address of 0x3FC or more becomes 0.
uint32_t CorrectedSerialAddress(uint32_t location, uint32_t address, uint32_t flashSize);

// The application-wide key filter: a key pressed in the main window goes to
// theApp.PreTranslateMessage once. Keys typed into a dialog (a file dialog, the
// configuration) do not count. The key then goes on to the windows.
class DelayKeyFilter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One press reaches the filter once for its first receiver and again for each parent it
    // travels up to; the shortcut override before it and the release after it mark its ends.
    bool pressSeen_ = false;
};
