#include "core/ini_settings.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>

#include "core/globals.h"
#include "core/own_numbers.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/strfmt.h"

CIniFile g_IniFile;

namespace {

constexpr size_t kTextBufferBytes = 260;  // reads keep at most 259 characters

constexpr const char* kSecurity = "Security";
constexpr const char* kCodeOption = "Code Option";
constexpr const char* kMisc = "Miscellaneous";

// The number at the start of a text as "%d" or "%X" reads it; nothing when there is none.
std::optional<long long> leadingNumber(const std::string& text, int base) {
    const char* start = text.c_str();
    char* end = nullptr;
    const long long number = std::strtoll(start, &end, base);
    if (end == start) return std::nullopt;
    return number;
}

std::string read(const std::string& path, const char* section, const char* key) {
    g_IniFile.SetFileName(path);
    return g_IniFile.GetString(section, key);
}

// A setting (see CIniFile::WriteString); why it failed, for the operator to be told.
CountsSave write(const std::string& path, const char* section, const char* key, const std::string& text) {
    bool lockNotOpened = false;
    if (platform::writeProfileString(path, section, key, text, platform::StaleWrite::Setting, &lockNotOpened))
        return CountsSave::Saved;
    return lockNotOpened ? CountsSave::LockNotOpened : CountsSave::StoreNotWritten;
}

// Stored texts compare exactly: "yes" is not "Yes".
bool readYes(const std::string& path, const char* section, const char* key) {
    return read(path, section, key) == "Yes";
}

bool readNotNo(const std::string& path, const char* section, const char* key) {
    return read(path, section, key) != "No";
}

CountsSave writeYesNo(bool on, const std::string& path, const char* section, const char* key) {
    return write(path, section, key, on ? "Yes" : "No");
}

// "Serial No" as "%X" reads it and writes it; a number above 0x1000000 is stored as 0. Any
// number past the last one, of whatever length or sign, reads as the used-up mark: cut to 32 or
// 24 bits it would give numbers again from 000000.
uint32_t serialNumberOf(const std::string& text) {
    const auto number = leadingNumber(text, 16);
    if (!number) return 0;
    return *number < 0 || *number > kLastSerialNo ? kSerialNoUsedUp : static_cast<uint32_t>(*number);
}

std::string serialNumberText(uint32_t serial) { return strfmt("%X", serial > 0x1000000 ? 0 : serial); }

// An INI file made anew under this copy without its numbers: "Serial No" goes on after the
// numbers this copy gave and saw.
std::optional<std::string> carrySerialNo(const std::optional<std::string>& seen, const std::optional<std::string>& found) {
    const uint32_t had = serialNumberOf(seen.value_or("")), has = serialNumberOf(found.value_or(""));
    return had > has ? std::optional(serialNumberText(had)) : found;
}

OwnNumbers g_ownSerialNo;  // "Serial No" as this copy gave it from each INI file

void noteOvertaken(const std::string& file, const std::optional<std::string>& found) {
    g_ownSerialNo.overtaken(file, serialNumberOf(found.value_or("")));
}
const bool g_serialNoCarried = (platform::setIniCarry(kCodeOption, "Serial No", carrySerialNo, noteOvertaken), true);

}  // namespace

bool CIniFile::SetFileName(const std::string& path) {
    m_strPath = path;
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool CIniFile::SectionExists(const std::string& section) {
    return !platform::profileKeyNames(m_strPath, section).empty();
}

std::string CIniFile::GetString(const std::string& section, const std::string& key) {
    return platform::profileString(m_strPath, section, key, "").substr(0, kTextBufferBytes - 1);
}

int CIniFile::GetInt(const std::string& section, const std::string& key) {
    std::string text = GetString(section, key);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool hex = text.rfind("0x", 0) == 0;
    const auto number = leadingNumber(hex ? text.substr(2) : text, hex ? 16 : 10);
    return number ? static_cast<int>(static_cast<uint32_t>(*number)) : 0;
}

void CIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& text) {
    platform::writeProfileString(m_strPath, section, key, text, platform::StaleWrite::Setting);
}

void CIniFile::DeleteKey(const std::string& section, const std::string& key) {
    platform::writeProfileString(m_strPath, section, key, std::nullopt, platform::StaleWrite::Setting);
}

void CIniFile::DeleteSection(const std::string& section) {
    platform::writeProfileString(m_strPath, section, std::nullopt, std::nullopt, platform::StaleWrite::Setting);
}

int CIniFile::GetSectionNames(std::vector<std::string>& names) {
    names.clear();
    for (const auto& name : platform::profileSectionNames(m_strPath))
        names.push_back(name.substr(0, kTextBufferBytes - 1));
    return static_cast<int>(names.size());
}

int CIniFile::GetSection(const std::string& section, std::vector<std::string>& keys,
                         std::vector<std::string>& values) {
    keys.clear();
    values.clear();
    for (const auto& entry : platform::profileSection(m_strPath, section)) {
        const auto equals = entry.find('=');
        keys.push_back(equals == std::string::npos ? "" : entry.substr(0, equals));
        values.push_back(equals == std::string::npos ? entry : entry.substr(equals + 1));
    }
    return static_cast<int>(keys.size());
}

void CIniFile::DeleteAllSections() {
    std::vector<std::string> names;
    GetSectionNames(names);
    for (const auto& name : names) DeleteSection(name);
}

void InitIniPath() {
    const std::string folder = platform::configFolder();
    g_strIniPath = folder.empty() ? "" : folder + "swd-isp.ini";  // never a file of the working folder
}

bool IniGetEncryption(const std::string& path) { return readYes(path, kSecurity, "Encryption"); }
void IniSetEncryption(bool on, const std::string& path) {
    writeYesNo(on, path, kSecurity, "Encryption");
}
bool IniGetKeyGen() { return read(g_strIniPath, kSecurity, "Key_Gen") == "Auto"; }
void IniSetKeyGen(bool automatic) {
    write(g_strIniPath, kSecurity, "Key_Gen", automatic ? "Auto" : "Manual");
}
std::string IniGetKey(const std::string& path) { return read(path, kSecurity, "Key"); }
void IniSetKey(const std::string& key, const std::string& path) {
    write(path, kSecurity, "Key", key);
}
bool IniGetFlashReadProtect(const std::string& path) {
    return readYes(path, kSecurity, "Flash Read Protect");
}
void IniSetFlashReadProtect(bool on, const std::string& path) {
    writeYesNo(on, path, kSecurity, "Flash Read Protect");
}
bool IniGetFlashWriteProtect(const std::string& path) {
    return readYes(path, kSecurity, "Flash Write Protect");
}
void IniSetFlashWriteProtect(bool on, const std::string& path) {
    writeYesNo(on, path, kSecurity, "Flash Write Protect");
}

std::string IniGetCustomerId(const std::string& path) {
    return read(path, kCodeOption, "Customer ID");
}
void IniSetCustomerId(const std::string& id, const std::string& path) {
    write(path, kCodeOption, "Customer ID", id);
}
std::string IniGetFfd(const std::string& path) { return read(path, kCodeOption, "FFD"); }
void IniSetFfd(const std::string& text, const std::string& path) {
    write(path, kCodeOption, "FFD", text);
}
std::string IniGetFfe(const std::string& path) { return read(path, kCodeOption, "FFE"); }
void IniSetFfe(const std::string& text, const std::string& path) {
    write(path, kCodeOption, "FFE", text);
}
std::string IniGetFff(const std::string& path) { return read(path, kCodeOption, "FFF"); }
void IniSetFff(const std::string& text, const std::string& path) {
    write(path, kCodeOption, "FFF", text);
}

uint32_t IniGetSerialNo(const std::string& path) { return serialNumberOf(read(path, kCodeOption, "Serial No")); }

// The operator's own number may make a lost file anew, also from a view another copy overtook.
void IniSetSerialNo(uint32_t serial, const std::string& path) {
    const std::string text = serialNumberText(serial);
    if (platform::writeProfileString(path, kCodeOption, "Serial No", text, platform::StaleWrite::Allow))
        g_ownSerialNo.reached(path, serialNumberOf(text));
}

std::optional<uint32_t> IniTakeSerialNo(const std::string& path, uint32_t count, TakeRefusal* why) {
    uint32_t taken = 0;
    bool withheld = false, lockNotOpened = false, outOfDate = false;
    const auto take = [&](const std::optional<std::string>& stored) -> std::optional<std::string> {
        taken = serialNumberOf(stored.value_or(""));
        withheld = g_ownSerialNo.withholds(path, taken);
        if (withheld) return std::nullopt;
        // Used up, or a range that would pass the last number: refused whole, the file untouched.
        if (taken > kLastSerialNo || uint64_t{taken} + count > kSerialNoUsedUp) {
            taken = kSerialNoUsedUp;
            return std::nullopt;
        }
        return serialNumberText(taken + count);
    };
    const bool written =
        platform::updateProfileString(path, kCodeOption, "Serial No", take, &lockNotOpened, &outOfDate);
    const TakeRefusal refusal = lockNotOpened              ? TakeRefusal::LockNotOpened
                                : outOfDate                ? TakeRefusal::OutOfDate
                                : !written                 ? TakeRefusal::NotSaved
                                : withheld                 ? TakeRefusal::HeldBack
                                : taken == kSerialNoUsedUp ? TakeRefusal::UsedUp
                                                           : TakeRefusal::None;
    if (why) *why = refusal;
    if (refusal != TakeRefusal::None && refusal != TakeRefusal::UsedUp) return std::nullopt;
    if (taken != kSerialNoUsedUp) g_ownSerialNo.reached(path, taken + count);
    return taken;
}

bool IniGetGenerateDesHex(const std::string& path) {
    return readYes(path, kMisc, "Generate Des HEX");
}
void IniSetGenerateDesHex(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Generate Des HEX");
}
bool IniGetAppendCodeOptionToHex(const std::string& path) {
    return readYes(path, kMisc, "Append Code Option to HEX");
}
void IniSetAppendCodeOptionToHex(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Append Code Option to HEX");
}
bool IniGetAppendKeyToHex(const std::string& path) {
    return readYes(path, kMisc, "Append Key to HEX");
}
void IniSetAppendKeyToHex(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Append Key to HEX");
}
bool IniGetUpdateCodeOption(const std::string& path) {
    return readYes(path, kMisc, "Update Code Option");
}
void IniSetUpdateCodeOption(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Update Code Option");
}
bool IniGetBeepSound(const std::string& path) { return readNotNo(path, kMisc, "Beep Sound"); }
CountsSave IniSetBeepSound(bool on, const std::string& path) {
    return writeYesNo(on, path, kMisc, "Beep Sound");
}
bool IniGetLog(const std::string& path) { return readNotNo(path, kMisc, "Log"); }
void IniSetLog(bool on, const std::string& path) { writeYesNo(on, path, kMisc, "Log"); }
bool IniGetBurnKey(const std::string& path) { return readYes(path, kMisc, "Burn Key"); }
void IniSetBurnKey(bool on, const std::string& path) { writeYesNo(on, path, kMisc, "Burn Key"); }
bool IniGetBurnLimit(const std::string& path) { return readYes(path, kMisc, "Burn Limit"); }
void IniSetBurnLimit(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Burn Limit");
}

int32_t IniGetLimitQuantity(const std::string& path) {
    const auto number = leadingNumber(read(path, kMisc, "Limit Quantity"), 10);
    return number ? static_cast<int32_t>(static_cast<uint32_t>(*number)) : 1000;
}

void IniSetLimitQuantity(int32_t quantity, const std::string& path) {
    write(path, kMisc, "Limit Quantity", strfmt("%d", quantity > 0x10000000 ? 1000 : quantity));
}

bool IniGetAsSerialNo(const std::string& path) { return readYes(path, kMisc, "As Serial No"); }
void IniSetAsSerialNo(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "As Serial No");
}
bool IniGetAutoIncSerialNo(const std::string& path) {
    return readYes(path, kMisc, "Auto Increasement Serial No");
}
void IniSetAutoIncSerialNo(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Auto Increasement Serial No");
}
bool IniGetEnableCustomerId(const std::string& path) {
    return readYes(path, kMisc, "Enable Customer ID");
}
void IniSetEnableCustomerId(bool on, const std::string& path) {
    writeYesNo(on, path, kMisc, "Enable Customer ID");
}
