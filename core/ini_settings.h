#pragma once
// The INI settings file beside the settings store: sections "Security", "Code Option" and
// "Miscellaneous". The program writes "Beep Sound", and the gang runs take their serial numbers
// from "Serial No". Every write but "Serial No"'s is a setting, stored over whatever the file
// holds, also in a copy whose view of it another copy overtook (platform::StaleWrite::Setting).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/counters.h"
#include "core/serial_take.h"

class CIniFile {
public:
    // Keeps the path; true when it names an existing file (not a folder).
    bool SetFileName(const std::string& path);
    bool SectionExists(const std::string& section);
    std::string GetString(const std::string& section, const std::string& key);  // "" when absent
    int GetInt(const std::string& section,
               const std::string& key);  // "0x.." hexadecimal, else decimal
    void WriteString(const std::string& section, const std::string& key, const std::string& text);
    void DeleteKey(const std::string& section, const std::string& key);
    void DeleteSection(const std::string& section);
    int GetSectionNames(std::vector<std::string>& names);
    // Each entry split at its first '='; an entry without one gives an empty key.
    int GetSection(const std::string& section, std::vector<std::string>& keys,
                   std::vector<std::string>& values);
    void DeleteAllSections();

private:
    std::string m_strPath;
};

extern CIniFile g_IniFile;

// Points g_strIniPath at the INI file beside the settings store (empty without a config
// folder: reads then give the defaults and writes fail). Reads nothing.
void InitIniPath();

// Read accessors take the file's path; write accessors the value and then the path.
bool IniGetEncryption(const std::string& path);
void IniSetEncryption(bool on, const std::string& path);
bool IniGetKeyGen();  // these two use g_strIniPath
void IniSetKeyGen(bool automatic);
std::string IniGetKey(const std::string& path);
void IniSetKey(const std::string& key, const std::string& path);
bool IniGetFlashReadProtect(const std::string& path);
void IniSetFlashReadProtect(bool on, const std::string& path);
bool IniGetFlashWriteProtect(const std::string& path);
void IniSetFlashWriteProtect(bool on, const std::string& path);

std::string IniGetCustomerId(const std::string& path);
void IniSetCustomerId(const std::string& id, const std::string& path);
std::string IniGetFfd(const std::string& path);
void IniSetFfd(const std::string& text, const std::string& path);
std::string IniGetFfe(const std::string& path);
void IniSetFfe(const std::string& text, const std::string& path);
std::string IniGetFff(const std::string& path);
void IniSetFff(const std::string& text, const std::string& path);
uint32_t IniGetSerialNo(const std::string& path);
void IniSetSerialNo(uint32_t serial, const std::string& path);
// Numbers are 24 bits. Once kLastSerialNo has been given the file holds kSerialNoUsedUp, and
// IniGetSerialNo reads any stored number past kLastSerialNo (a hand-edited "2000000" or
// "100000000") as kSerialNoUsedUp; a text without a number reads as 0.
constexpr uint32_t kLastSerialNo = 0xFFFFFF;
constexpr uint32_t kSerialNoUsedUp = kLastSerialNo + 1;
// Takes count serial numbers from "Serial No" under the file's lock and gives the first: the
// file moves on by count in the same step, so that two running copies never take one number
// twice. With count 0 the number is written back as it stands, which shows that the file can be
// written. kSerialNoUsedUp, with the file left byte for byte as it was, when it holds a number
// past kLastSerialNo or the count would take one past it (UsedUp). Nothing when the file cannot
// be locked, read or written (NotSaved; LockNotOpened when its lock file cannot be opened at
// all; OutOfDate when this copy's view of it is out of date, see platform::writeProfileString),
// or while "Serial No", found after another copy wrote over this copy's view of the file, stands
// below the number after the last one this copy took from it (HeldBack), until this copy
// sets one (IniSetSerialNo): as RegTakeLastSn. why, when given, receives the reason.
std::optional<uint32_t> IniTakeSerialNo(const std::string& path, uint32_t count, TakeRefusal* why = nullptr);

bool IniGetGenerateDesHex(const std::string& path);
void IniSetGenerateDesHex(bool on, const std::string& path);
bool IniGetAppendCodeOptionToHex(const std::string& path);
void IniSetAppendCodeOptionToHex(bool on, const std::string& path);
bool IniGetAppendKeyToHex(const std::string& path);
void IniSetAppendKeyToHex(bool on, const std::string& path);
bool IniGetUpdateCodeOption(const std::string& path);
void IniSetUpdateCodeOption(bool on, const std::string& path);
bool IniGetBeepSound(const std::string& path);
// Why the file did not take it, when it did not (CountsSave: the operator is told).
CountsSave IniSetBeepSound(bool on, const std::string& path);
bool IniGetLog(const std::string& path);
void IniSetLog(bool on, const std::string& path);
bool IniGetBurnKey(const std::string& path);
void IniSetBurnKey(bool on, const std::string& path);
bool IniGetBurnLimit(const std::string& path);
void IniSetBurnLimit(bool on, const std::string& path);
int32_t IniGetLimitQuantity(const std::string& path);
void IniSetLimitQuantity(int32_t quantity, const std::string& path);
bool IniGetAsSerialNo(const std::string& path);
void IniSetAsSerialNo(bool on, const std::string& path);
bool IniGetAutoIncSerialNo(const std::string& path);
void IniSetAutoIncSerialNo(bool on, const std::string& path);
bool IniGetEnableCustomerId(const std::string& path);
void IniSetEnableCustomerId(bool on, const std::string& path);
