#pragma once
// A handle on one key of the settings store, with the typed reads and writes the settings
// use. Every result is a Windows error code, as the callers compare them.
#include <cstdint>
#include <span>
#include <string>

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_DATA = 13;  // the value exists but is of another type
constexpr long ERROR_MORE_DATA = 234;    // the value does not fit the reader's buffer

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens the key of that path in the one settings store; a missing key counts as empty and
    // is created by the first write.
    long Open(const std::string& path);
    void Close();

    // Settings: each is stored over whatever the store holds, also in a copy whose view of the
    // store another copy overtook (platform::StaleWrite::Setting). Numbers given and counts go
    // through their own steps (core/registry_settings.h).
    long WriteDword(const std::string& name, uint32_t value);
    long WriteString(const std::string& name, const std::string& text);
    long WriteBinary(const std::string& name, std::span<const uint8_t> bytes);

    // The out argument is written only when the result is ERROR_SUCCESS.
    long ReadDword(const std::string& name, uint32_t& value);
    long ReadString(const std::string& name, std::string& text);  // at most 199 characters
    // count: in, the buffer's usable size; out, the value's size (also on ERROR_MORE_DATA).
    long ReadBinary(const std::string& name, std::span<uint8_t> buffer, uint32_t& count);

private:
    bool m_bOpen = false;
    std::string m_strKeyName;
};
