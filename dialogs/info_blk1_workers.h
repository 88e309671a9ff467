#pragma once
// The four operations of the information-block page over the COM link. Each runs as a worker
// started with g_bTaskWorking already taken and the port open, sends target frames through
// g_SerialPort under the COM step convention (tag, frame, wait), and ends with the common close:
// the time-out message when a step went unanswered, the port back at 115200, the leave frame
// (not after a Reset that sent its own), the port closed and g_bTaskWorking given back. Cancel
// ends an operation at the pause of its work that it cuts, with nothing after it sent; the close
// then lets the target go, Reset's too, its own pauses taken in full.
//
// The operations cover target low addresses 0x00 to 0xFF with high address byte 0, eight bytes
// per data or read frame.
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "platform/services.h"

constexpr uint32_t kInfoBlk1Bytes = 256;

// What the workers need of their page; every call may come from the worker thread.
class InfoBlk1Page {
public:
    virtual ~InfoBlk1Page() = default;
    // The grid bytes that Write sends.
    virtual std::array<uint8_t, kInfoBlk1Bytes> gridBytes() = 0;
    // Puts the bytes Read got into the grid and repaints it.
    virtual void showGridBytes(std::span<const uint8_t, kInfoBlk1Bytes> bytes) = 0;
    virtual int messageBox(const std::string& text, platform::MsgIcon icon) = 0;
    virtual void setBusyCursor(bool busy) = 0;
};

// Set once a link start was answered: the target is in ISP mode and the next operation skips
// the link start. The leave frame and every unanswered step end ISP mode, so both clear it.
extern std::atomic<uint32_t> g_bInfoBlk1Busy;

void InfoBlk1ReadThread(InfoBlk1Page& page);
// A data frame whose reply reports the program-memory error (0x04) ends the writes with
// "Program memory error at 0x%X!!!"; a reply without a status byte reports nothing.
void InfoBlk1WriteThread(InfoBlk1Page& page);
void InfoBlk1EraseThread(InfoBlk1Page& page);
void InfoBlk1ResetThread(InfoBlk1Page& page);
