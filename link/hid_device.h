#pragma once
// Finding and opening the programmer adapter, and the shared feature reports that every
// adapter command goes through.
#include <array>
#include <cstdint>
#include <string>

#include "platform/hid.h"

constexpr uint16_t kAdapterVendorId = 0x040B;
constexpr uint16_t kAdapterProductId = 0x917F;
// Both report buffers hold 80 bytes; an adapter whose feature report is longer, or too short
// for a page-buffer load (bytes 0 to 39), is not used.
constexpr std::size_t kHidReportSize = 80;
constexpr uint16_t kHidMinFeatureLen = 40;

// The opened adapter; kInvalidHidHandle when none is open. Set only by OpenHidDevice (and
// CloseHidDevice); owned by this module.
using HidHandle = platform::HidDevice*;
inline constexpr HidHandle kInvalidHidHandle = nullptr;
extern HidHandle g_hHidDevice;
// The adapter's feature-report length, report-id byte included; every report goes out and comes
// in with this length.
extern uint16_t g_nHidFeatureLen;
// The outgoing and the incoming report, shared by all commands. Before each command only bytes
// 0 to 2 of the outgoing report are cleared: bytes a command does not set go out as the previous
// command left them.
extern std::array<uint8_t, kHidReportSize> g_HidFeatureOut;
extern std::array<uint8_t, kHidReportSize> g_HidFeatureIn;
// The text of the last search's report ("RQ29K165 HID device connect ok", the length found, or
// the failure text).
extern std::string g_strHidMsg;

// Searches the present HID interfaces afresh and keeps the last matching adapter (vendor 0x040B,
// product 0x917F) in g_hHidDevice with its report length; true when an adapter is kept. The
// handle a new search replaces is closed. An adapter another copy of the program holds is not
// opened. When the interface's report descriptor cannot be read it shows "Get HID PREPARED DATA
// fail! \n" and keeps nothing. With SWD_ISP_SIMULATOR=1 in the environment (and no other back end
// installed) the search runs over the simulated adapter.
bool OpenHidDevice();
// What the starters tell the operator when OpenHidDevice kept no adapter: "HID device Not Found
// !", or "HID device In Use by another program !" when the search found one that another copy
// of the program holds.
const char* HidNotOpenedText();
// Closes the kept adapter, if any (tests, and the end of the program).
void CloseHidDevice();
