#pragma once
// Line settings of the COM link and the device behind a COM port number. The port number and
// the baud rate are the stored settings "COMPort" and "BaudRate" (g_nComPort,
// g_nComBaudRate in core/globals.h), loaded by RegLoadComPort / RegLoadBaudRate before a task
// opens the port.
#include <atomic>
#include <cstdint>
#include <string>

class SerialPortOwner;

extern char g_chComParity;             // 'N'
extern uint32_t g_nComDataBits;        // 8
extern uint32_t g_nComStopBits;        // 1
extern uint32_t g_dwComEventMask;      // 0: no line events (kComEv* bits); bytes always arrive
extern uint32_t g_nComWriteBufSize;    // 256: the longest frame the frame functions build
extern uint32_t g_nComBaudRate2;       // 115200, the rate of ComReopenPort
extern std::atomic<uint32_t> g_bComPortOpen;  // set by ComReopenPort
// The IC page as owner of the port; ComChangeBaudRate and ComReopenPort open the port for it.
extern SerialPortOwner* g_pComPageOwner;

// The stored "COMPort Device" value (or the test override): the device path that COM port
// numbers map to; empty when none is stored.
std::string RegLoadComPortDevice();
// Tests point the COM port at a pseudo-terminal; an empty path removes the override.
void SetComPortDeviceOverride(const std::string& path);

// The device that COM port `port` maps to: "COMPort Device" when it is set, else
// /dev/ttyUSB<port-1>; empty for port 0, which maps to no device.
std::string ComPortDevicePath(unsigned port);
