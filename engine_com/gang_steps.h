#pragma once
// The steps the gang-board runs are built from. Every exchange is one COM step: note the tag,
// queue one frame, wait a bounded time for the board's or the targets' reply. What a time-out
// does is the step's kind. A run keeps its flags, socket states and image in one GangRun, and
// each engine is a short sequence of the stages below.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine_hid/site_steps.h"
#include "link/com_clock.h"

class WorkerPage;

namespace engine_com {

constexpr int kSocketCount = 4;
constexpr uint8_t kNoWaitTag = 0x10;   // the leave frame's tag; nothing waits for it
constexpr uint8_t kIdleTag = 0x0F;     // noted after a block, with no frame
constexpr uint32_t kBoardWaitMs = 500;   // board steps, handshakes, stop, erase, chip ID
constexpr uint32_t kTargetWaitMs = 800;  // address, data and finish steps of the block loops
constexpr uint32_t kVerifyBlock = 64;
// What a run that ended by an unanswered step tells the operator last.
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";
// What a run that cannot open its port, at its start or again later, tells the operator.
constexpr const char* kPortText = "Can not open COM port !";
// Tags of the steps that more than one engine sends.
constexpr uint8_t kTagLinkStart = 3;  // the link start, ComIspStart
constexpr uint8_t kTagStopMcu = 4;
constexpr uint8_t kTagHiByte = 5;
constexpr uint8_t kTagData = 6;
constexpr uint8_t kTagData1 = 7;
constexpr uint8_t kTagErase = 0x0A;
constexpr uint8_t kTagPageErase = 0x0C;
constexpr uint8_t kTagFinish = 0x0D;
constexpr uint8_t kTagMultiplexer = 0x2A;
constexpr uint8_t kTagCompare = 0x13;
constexpr uint8_t kTagCompareResult = 0x14;

// What a time-out of a step does.
enum class Timeout {
    Message,    // the step's message, then the run ends by time-out
    Silent,     // the run ends by time-out without a message of its own
    Handshake,  // the socket holds no target; the caller goes on
    Verify,     // the socket's verify fails or skips; the caller decides
    Judge,      // as Verify, for a reply that judges the part (compare result, read-back); a line
                // that does not go quiet after it ends the run by time-out
    End,        // inside the end of the run: the step's message, the end goes on
};

struct ComStep {
    uint8_t tag;
    std::function<bool()> frame;
    uint32_t waitMs;
    Timeout onTimeout;
    std::string message = {};
};

enum SocketState : uint8_t { kVerifyFailed = 0, kGood = 1, kEmpty = 2, kWrongChip = 3 };

// Tests and benchmarks hear each pause, step and port service of a run, in the order the run
// does them: "pause <ms>", "step <tag> <wait>", "timeout", "send <tag>" (no wait), "tag <tag>"
// (no frame), "reopen" and "speed". An empty function stops it.
void SetGangNotesForTests(std::function<void(const std::string&)> listener);
// A pause of a run, on the link's clock (link/com_clock.h); false when Cancel cut it.
bool GangPause(uint32_t ms, PauseKind kind = PauseKind::Work);

// One run: its flags, the socket states, the sockets counted at the end, the image, and whether
// it holds the block buffer.
struct GangRun {
    explicit GangRun(WorkerPage& page);

    WorkerPage& page;
    bool running = true;   // clear: the failed end
    bool timedOut = false;
    int unansweredInRow = 0;  // steps gone unanswered since the last answer
    std::array<uint8_t, kSocketCount> state = {kGood, kGood, kGood, kGood};
    std::array<bool, kSocketCount> counted{};  // found by this run's scan
    engine_hid::RunImage image;
    uint32_t optionAddr = 0;  // P
    uint32_t dataLength = 0;  // L
    uint32_t startAddr = 0;
    uint32_t divisor = 1;     // progress: one step of the bar is divisor bytes (blocks for a verify run)
    uint32_t serialAtStart = 0;  // g_nGangSerialNext as the run began
    bool holdsBlockBuffer = false;  // g_pBlockBuf was allocated by this run
    bool portLost = false;  // the port stayed closed when the run opened it again: the end tries no more

    // One COM step; true when answered. A Message or Silent time-out ends the run by time-out, and
    // so does any other but the end's when the board is lost. A frame that Cancel kept from going
    // out (a handshake's wake-up pause cut) ends the run at once.
    // Replies carry no sequence number: after a time-out the pass goes on only once a late reply
    // can no longer answer a later frame of its kind. An unanswered handshake or verify step lets
    // go what comes within one more wait; a step that judges the part lets go until the line has
    // been quiet for two of its waits.
    bool step(const ComStep& s);
    // The leave frame: tag 0x10 noted, no wait.
    void leave();
    // A frame that nothing answers, sent under the tag that stands, without a wait.
    void sendUnanswered(const std::function<bool()>& frame);
    // A tag noted with no frame.
    void noteTag(uint8_t tag);
    // A pause of the run's work. Cancel cuts it, and the run ends there: running is cleared and
    // false given, so that the step after it does not go out.
    bool pause(uint32_t ms);
    void log(const std::string& line);
    bool stopRequested() const;
    // The port has closed, or the last two steps went unanswered: the board has stopped answering.
    bool boardLost() const;
    // Cancel, when pressed, ends the run here: running is cleared and true given.
    bool endsOnStop();
    bool found(int socket) const;
};

// Ends the run with the operator told why, under the error icon; false, for the step it ends.
bool Refuse(GangRun& run, const std::string& text);

// The refusal of an 8-byte option block at optionAddr that lies beyond a flash of flashSize
// bytes; empty when it lies within. The gate, the option byte reset (which takes no image) and
// the serial-flash runs over the board refuse it alike.
std::string OptionBeyondFlashRefusal(uint32_t optionAddr, uint64_t flashSize);
// The refusal of an option address that leaves codeLength, the code before it, at 0; empty
// otherwise. The gate and the serial-flash full runs over the board refuse it alike.
std::string NoCodeBeforeOptionRefusal(uint32_t optionAddr, uint32_t codeLength);
// Start: busy flag, Cancel and the run's start button (Auto. unless said), found and pass marks
// cleared, settings, the serial number from the INI file when the run gives serial numbers, image.
// The image's refusals carry the icon given, the error icon of every gang run's messages.
// Every run that programs or verifies starts here, and the gate after the image refuses, before
// any frame, what no part could be programmed or compared with: an option block or code beyond
// the flash, an option offset that leaves no code, code that reaches the option block, an option
// block across two 256-byte pages, and bytes other than the erased 0xFF past the option block.
// Sets the data length L (the image up to the option offset), which the verify-only runs compare.
bool StartRun(GangRun& run, bool serialNumbers, platform::MsgIcon refusalIcon = platform::MsgIcon::Error,
              int startButton = engine_hid::ctl::kAuto);
// The run's block buffer g_pBlockBuf of size bytes, in which the receive side leaves bytes read
// back; the end of the run frees it. A run that cannot have it tells the operator and ends.
bool AllocateBlockBuffer(GangRun& run, uint32_t size);
// Asks the operator, through the page, before an image that locks the target is burned; some
// variants leave out the prompt for an unset code option. The protection byte at P+4 locks the
// part at the values of its family of targets, each with the prompt's kind.
enum class CodeOptionPrompt { Asked, None };
struct ProtectionValue {
    uint8_t value;
    int kind;
};
constexpr std::array<ProtectionValue, 2> kLevelProtection = {{{0x10, 1}, {0x00, 2}}};
constexpr std::array<ProtectionValue, 2> kKeyProtection = {{{0xA5, 4}, {0x5A, 3}}};
bool ProtectionGuard(GangRun& run, CodeOptionPrompt codeOption = CodeOptionPrompt::Asked,
                     std::span<const ProtectionValue> locking = kLevelProtection);
bool OpenBoardPort(GangRun& run);
// A port that the run closed and could not open again ends the run, the operator told why; true
// when it opened.
bool PortOpenedAgain(GangRun& run, bool opened);

// The handshake of a socket and what follows an answer to it.
struct SocketHandshake {
    std::function<bool()> send;  // the handshake frame
    std::function<bool()> stop;  // stops the target's own program, tag 4; none in some variants
    std::array<uint8_t, kSocketCount> tags = {3, 3, 3, 3};  // the handshake's tag per socket
};
SocketHandshake StandardHandshake();

// The board line steps of one LED (1 to 8) or one socket's switch. The landed runs note a tag
// per line and state; the socket helpers one tag for every LED and one for every switch.
enum class LineTags { PerLine, Helper };
ComStep LedStep(int n, bool on, Timeout kind, LineTags tags = LineTags::PerLine);
ComStep SwitchStep(int socket, bool on, Timeout kind, LineTags tags = LineTags::PerLine);
// Opens the port again where the system loses it (Windows 6.1 and 6.2), in a bounded number of
// attempts, its pauses taken in full; false when it stays closed.
bool ReopenLostPort();

// Socket power on and the multiplexer.
bool PowerOnBoard(GangRun& run);
// Closes socket s's switch alone (A to D in turn).
bool SelectSocket(GangRun& run, int socket, Timeout kind);
// Selects socket s alone, then the handshake and, on an answer, the stop of the target's program.
// Target: it answered; Empty: no target; Ended: a step ended the run, or after an unanswered
// handshake the port stayed closed where the system loses it.
enum class Reach { Target, Empty, Ended };
Reach ConnectSocket(GangRun& run, int socket, const SocketHandshake& handshake);
// The scan of sockets 1 to 4: found marks, states, "No Target IC found!".
bool ScanSockets(GangRun& run, const SocketHandshake& handshake);
// Switch, LEDs and page icons of every socket, lit for a found one and dark for an empty one;
// leaves the found sockets' switches closed together.
bool ShowSockets(GangRun& run);
// The bar of a program run: one segment for the programming, one per found socket's verify.
void SetProgramProgressScale(GangRun& run);

// The board's line speed when the stored baud rate is not 115200, and the pause after it; false
// when the port did not open again at that speed or Cancel cut that pause, which ends the run.
bool ChangeLineSpeed(GangRun& run);
// The line speed first; then the whole chip from start address 0, else every 256-byte page from
// the start address's to the end of the flash; then the targets leave ISP mode and the port is
// opened again. The variants erase with another frame or pause, and open the port again in their
// own way.
struct ErasePlan {
    std::function<bool()> chipErase;
    uint32_t finishPause = 0;  // between the chip erase and its finish
    uint32_t pagePause = 40;   // between a page's erase and its finish
    std::function<bool(GangRun&)> reopen;
};
ErasePlan LandedErase();
bool EraseTargets(GangRun& run, const ErasePlan& plan = LandedErase());
// Re-opens the port with the stored settings (after the erase), with the pauses around it taken
// in full: the run's end needs the port.
struct ReopenPauses {
    uint32_t beforeClose = 30, afterClose = 30, afterOpen = 50, afterMonitor = 30;
};
bool ReopenPortAfterErase(const ReopenPauses& pauses = {});
// A second pass of handshakes over the found sockets with the chip-ID request: chip mode 2 and 3
// targets answer their own id, and a wrong one is released and marked. Then "No Target IC found!",
// or a silent stop when no socket is still good, else the sockets shown again.
bool CheckChipIds(GangRun& run, const SocketHandshake& handshake);

// Programs image offsets 0 to L-1 into every found target at once, blockSize bytes a frame. The
// landed run scales its bar first and moves it by offset; variants scale it themselves, may move
// it by block and blink through the socket helpers.
enum class Progress { ByOffset, ByBlock };
struct BlockPlan {
    bool scaleFirst = true;
    Progress progress = Progress::ByOffset;
    LineTags blink = LineTags::PerLine;
};
bool ProgramBlocks(GangRun& run, uint32_t blockSize, const BlockPlan& plan = {});

// The pass over the sockets that compares on the target, 64 bytes a frame.
struct VerifyPlan {
    bool programRun;  // erase a differing part; option block; the bar in segments
};
bool VerifySockets(GangRun& run, const VerifyPlan& plan);

// The option block of one socket, with the next serial number, and the key page. The landed rule
// clears bits 4 and 6 of byte 0 for the code option or the serial number and fills blank bytes 5
// to 7 from the chip mode; the variants' rule only for the code option, and fills them only
// where byte 0 enables the code option; the byte-wise rule clears no bit of byte 0 and always
// fills them.
enum class OptionRule { Landed, Variant, ByteWise };
// How the block goes out: one 8-byte frame and a finish in the first or the second command set,
// or a byte a frame to an MTP target, with its busy polls (byte_steps.h).
enum class OptionFrames { Eight, EightSecondSet, BytesPolled };
struct OptionPlan {
    OptionRule rule = OptionRule::Landed;
    std::function<bool(uint8_t)> hiByte;  // the frame that addresses the block's page
    uint32_t keyAddr = 0;                 // 0: the stored key page address
    OptionFrames frames = OptionFrames::Eight;
    bool forImageReachingIt = true;       // an image that reaches P asks for the block on its own
    // The block and the key page are read back once written: a run that writes them without an
    // erase before would leave the AND of this run's bytes and a failed run's, which a board that
    // answers writes without the target's status reports to no one.
    bool readBack = false;
};
std::array<uint8_t, 8> BuildOptionBlock(const GangRun& run, OptionRule rule = OptionRule::Landed);
// Whether the settings or the image ask for an option block at all.
bool OptionBlockWanted(const GangRun& run, const OptionPlan& plan);
// The option block and key page of the socket connected alone. A block or key byte that the
// target reports as not landed fails the socket, and what would follow it is not written. False
// when the run ends.
bool WriteOptionBlock(GangRun& run, int socket, const OptionPlan& plan = {});
// The key page of the plan, when encryption and "Key Write" ask for it, into a socket still good.
// False when the run ends.
bool WritePlannedKeyPage(GangRun& run, int socket, const OptionPlan& plan);
// The key page's erase is finished with the first command set's finish, or the one given.
bool WriteKeyPage(GangRun& run, int socket, uint32_t keyAddr, bool (*openingFinish)() = nullptr);
// A write that no compare of the same bytes follows is judged by the target's own report of it:
// a status byte that reports the program-memory error fails the part, and the operator is told
// the address (and the socket, where one is connected alone). A reply without a status byte
// reports nothing: the part is judged by its other checks. False when the write failed.
bool WriteLanded(GangRun& run, std::optional<uint8_t> status, uint32_t address, int socket = -1);

// Serial numbers go into option blocks ("Option Serial" and "Gang Serial En").
bool GivesSerialNumbers();
// The number for the next part into g_nGangSerial, read and advanced by count in the INI file
// under its lock, so that a second running copy never issues it too (0 peeks; 1 a part's number
// with auto-increment; more reserves a range); the file's number after the step into
// g_nGangSerialNext, as RegTakeLastSn leaves g_nLastSerial. A file that cannot be written ends the
// run before the part gets a number, and so do numbers used up, or a range that would pass FFFFFF.
bool TakeSerialNumber(GangRun& run, uint32_t count);
// The numbers one part takes: one with auto-increment, else none (the parts share one number).
uint32_t NumbersPerPart();
// "S/N Last" with the number the next part gets (g_nGangSerialNext), whichever step failed after
// the last take.
void ShowSerial(WorkerPage& page);

// The end of a run's link: the port opened again at the board's own speed when asked and the
// run used another, then closed.
void ReleaseBoardPort(bool atBoardSpeed = true);

// Result LEDs (not to a port the run lost) and icons, counters, serial number, switches and power
// off, buffers freed, port closed, tones, busy flag cleared.
struct EndPlan {
    engine_hid::SaveCounters save;
    int burnIcon;
    bool serialNumbers;
    LineTags lines = LineTags::PerLine;
    uint32_t holdMs = 0;  // after the counters are shown, before the page's buttons come back
    bool emptyShownOnAbort = false;  // an early end also shows the sockets without a target empty
};
void EndRun(GangRun& run, const EndPlan& plan);

}  // namespace engine_com
