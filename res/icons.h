#pragma once
// Icons by their resource ids. The pictures are drawn here; unknown ids give an empty icon.
#include <QIcon>
#include <QPixmap>

namespace res {

constexpr int kIconApp = 128;
constexpr int kIconPass = 150;       // green lamp
constexpr int kIconFail = 151;       // red lamp
constexpr int kIconIdle = 152;       // grey lamp: no target
constexpr int kIconFound = 166;      // orange lamp: target present
constexpr int kIconFlashOn = 163;    // black "Flash"
constexpr int kIconFlashOff = 164;   // grey "Flash"
constexpr int kIconBurnRunning = 167;
constexpr int kIconBurn = 168;
constexpr int kIconVerifyRunning = 169;
constexpr int kIconVerify = 170;
constexpr int kIconConfig = 177;
constexpr int kIconWarning = 145;  // red "!" of the write-protect warning
constexpr int kIconSwitchOn = 178;
constexpr int kIconSwitchOff = 180;

// Socket number icons 1 to 4: target present, and no target.
constexpr int kIconSocketPresent[4] = {153, 155, 159, 160};
constexpr int kIconSocketEmpty[4] = {154, 156, 157, 158};

QPixmap iconPixmap(int id, int size = 32);
QIcon icon(int id);
// The chevron of the menu bar's button for the commands that do not fit.
QIcon overflowChevron();

}  // namespace res
