#pragma once
// The byte frames to the gang board, one function per frame, each queued on g_SerialPort:
//   board frame   F0 cmd ... FF      (socket power, multiplexer, switches, LEDs, serial flash)
//   target frame  0F cmd p1 n data FF (through the board to the targets switched in)
//   handshake     wake-up bytes, then 55 0F "<chip family>" FF (or 0F "RQ273K" FF)
// Multi-byte addresses go high byte first. A board line function's state bytes are 01 01 01
// for the state 1 and 00 00 00 for any other value.
//
// The functions only queue bytes: the caller notes the step (ComBeginStep) and waits for the
// reply (ComWaitReply). Each returns whether its frame was queued: false on a closed port or
// for a frame longer than the 256 bytes a frame may take.
#include <cstdint>
#include <span>

class SerialPortOwner;

// Board line frames: F0 cmd s s s FF.
bool ComSetLed1(int on);
bool ComSetLed2(int on);
bool ComSetLed3(int on);
bool ComSetLed4(int on);
bool ComSetLed5(int on);
bool ComSetLed6(int on);
bool ComSetLed7(int on);
bool ComSetLed8(int on);
bool ComSetLedByIndex(uint32_t index, int on);  // LED line index + 1
bool ComSet4053(int on);                         // the multiplexer
bool ComSet4066A(int on);                        // the analogue switches of sockets A to D
bool ComSet4066B(int on);
bool ComSet4066C(int on);
bool ComSet4066D(int on);
bool ComSet4066ByIndex(uint32_t index, int on);  // 0 = A
bool ComSetWakeup(int on);
bool ComSet2501(int on);                         // socket power
bool ComBoardCmd10();                            // F0 10 01 01 01 FF

// Board serial-flash frames; instr is a serial-NOR instruction, addresses are 24 bits.
bool ComSfCmd20();
bool ComSfReadId();
bool ComSfCmd22(uint8_t instr);
bool ComSfCmd23(uint8_t instr, uint8_t value);
bool ComSfRead(uint8_t instr, uint32_t address, uint8_t count);
bool ComSfProgram(uint8_t instr, uint32_t address, std::span<const uint8_t> data);  // up to 248

// Target frames, first command set.
bool ComIspStopMcu();
bool ComIspCmd40();
bool ComIspCmd58();
bool ComIspTransHiByte(uint8_t hi);
bool ComIspTrans8Data(uint8_t lo, std::span<const uint8_t, 8> data);
bool ComIspTrans1Data(uint8_t lo, uint8_t value);
bool ComIspTransData(uint8_t lo, std::span<const uint8_t> data);  // up to 251 bytes
bool ComIspRead8(uint8_t lo);
bool ComIspReadN(uint8_t lo, uint8_t count);
bool ComIspCmd3A8(uint8_t lo, std::span<const uint8_t, 8> data);
bool ComIspCmd3A(uint8_t lo, std::span<const uint8_t> data);  // bytes to compare, up to 251
bool ComIspCmd0B();                                             // compare result
bool ComIspEraseChip();
bool ComIspEraseChip2();
bool ComIspCmd0A00();
bool ComIspCmd0E80();
bool ComIspCmd0E82();
bool ComIspCmd18();  // erase the page of the last high byte
bool ComIspCmdFinish();
bool ComIspLeave();
bool ComIspCmd0841();
bool ComIspCmd0840();
bool ComIspCmd0A62();
bool ComIspCmd0A60();
bool ComIspCmd49();  // chip-ID request
bool ComIspCmd09();  // chip-ID request of the handshake by chip mode
bool ComIspCmd09p2();

// Target frames, second command set (command bytes of the first plus 4).
bool ComIsp2StopMcu();
bool ComIsp2TransHiByte(uint8_t hi);
bool ComIsp2Trans8Data(uint8_t lo, std::span<const uint8_t, 8> data);
bool ComIsp2Trans1Data(uint8_t lo, uint8_t value);
bool ComIsp2TransData(uint8_t lo, std::span<const uint8_t> data);  // up to 251 bytes
bool ComIsp2EraseChip();
bool ComIsp2Cmd1C();
bool ComIsp2CmdFinish();

// Raw sends.
bool ComSendRaw(std::span<const uint8_t> bytes);
bool ComSendZeroByte();
bool ComSendZeroFF();

// Handshakes. ComIspStart sends the wake-up pairs and the link start in one write. The others
// send a wake-up, pause and send 55 0F "<chip family>" FF; on Windows 6.1 and 6.2 they re-open
// the port in place of the pause, and return false after "Can not open COM port !" when it
// stays closed. Cancel in the pause keeps the frame back (false).
bool ComIspStart();
bool ComHandshake1();
bool ComHandshake2();
bool ComHandshake3();
bool ComHandshakeById(std::span<const uint8_t> id);  // 55 followed by the id bytes

// Port maintenance with the stored settings (link/com_settings.h).
// Loads the stored "COMPort" and "BaudRate", opens the port for owner at that speed and starts
// its monitor thread; whether the port is open.
bool ComOpenPort(SerialPortOwner* owner);
// Asks the board for the speed of g_nComBaudRate (57600 or 115200) and re-opens the port at it;
// whether the port opened again.
bool ComChangeBaudRate();
// Re-opens the port at g_nComBaudRate2 for the IC page; whether the monitor thread runs again.
bool ComReopenPort();
// The same re-open for owner: a page's or dialog's answer to a re-open request.
bool ComReopenPort(SerialPortOwner* owner);
// The pauses around closing and opening the port are taken in full, whatever Cancel says.
// Closes an open port and pauses 500 ms; false at once when it was not open.
bool ComClosePort();
