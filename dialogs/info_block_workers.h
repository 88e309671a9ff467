#pragma once
// The adapter work of the information-block page and the "Information Block" dialog: reading,
// writing and erasing the parameter area and whole information pages of the target on one
// site. Each runs on a worker thread (or a test's thread), reports through the page and returns
// what it read; the caller holds the busy flag.
//
// Memory buffers start at 0xFF, so bytes that a failed read did not deliver read as erased and
// never as stale data; the first failed block is reported. A site that cannot be selected gets
// no further command (it would reach the site selected before), and the failure is reported.
#include <array>
#include <cstdint>
#include <span>

class WorkerPage;

constexpr uint32_t kInfoPageSize = 1024;
constexpr uint32_t kParameterAreaAddr = 0x1FF00600;

using ParameterArea = std::array<uint8_t, 512>;
using InfoPageWords = std::array<uint32_t, kInfoPageSize / 4>;

// Reads out.size() bytes from address with single-byte reads in 32-byte blocks, the progress
// bar at each block's index; bytes a failed read did not deliver keep what out held. The first
// failed block is reported; false when there was one.
bool ReadByteBlocks(WorkerPage& page, uint32_t address, std::span<uint8_t> out);
// "Read fail at 0x%08X!" with the address of the first block that could not be read.
void ReportReadFailure(WorkerPage& page, uint32_t address);
// The two 1 ms pauses with which every tool task ends.
void SettleAfterTask();

// The parameter area, 512 bytes from 0x1FF00600, read byte by byte.
ParameterArea ReadParameterArea(WorkerPage& page, uint32_t socket);
// Writes the 128 words of the area (no erase before, no read-back after).
void WriteParameterArea(WorkerPage& page, uint32_t socket, const ParameterArea& area);

// Information page pageIndex (0: 0x1FF00000, 1: 0x1FF00400), read byte by byte without a
// progress bar.
std::array<uint8_t, kInfoPageSize> ReadInfoPageBytes(WorkerPage& page, uint32_t socket, uint32_t pageIndex);
// The same page as 256 little-endian words, with the progress bar.
InfoPageWords ReadInfoPage(WorkerPage& page, uint32_t socket, uint32_t pageIndex);
void WriteInfoPage(WorkerPage& page, uint32_t socket, uint32_t pageIndex, const InfoPageWords& words);

// Erases information page pageIndex and writes the page-1 security words (0x000-0x07F, 0x100,
// 0x108) back at the same offsets of it. When any of those words cannot be read first the page
// is left as it is. True when everything reached the target and the write was enabled;
// failures are reported.
bool EraseInfoPageKeepingSecurity(WorkerPage& page, uint32_t socket, uint32_t pageIndex);

// Open Debug: selects and powers the site and connects its target (10 ms after the select and
// after the power-on); the connect's result, and on success the prepare command is sent. A
// select that fails is a failed transfer: nothing more is sent.
int PowerAndConnect(uint32_t socket);
// Open Debug of the information-block tools, on the user-interface thread: refused while a task
// runs; HidNotOpenedText() or "No Target IC found!" when it cannot reach a target.
void OpenDebugSite(uint32_t socket);

// The register sequence of "Back Info1 Sicurity to Info2"; true when every exchange went through.
bool CopySecurityToPage2(WorkerPage& page, uint32_t socket);
