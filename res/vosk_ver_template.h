#pragma once
#include "res/dialog_template.h"

// "SWD Vosk Version": the adapter's firmware version texts.
namespace res::vosk_ver {

constexpr int kMainVersion = 1125;
constexpr int kSubVersion = 1126;

extern const DialogTemplate kVoskVer171;

}  // namespace res::vosk_ver
