#include "core/registry_key.h"

#include <algorithm>

#include "platform/registry_store.h"

using platform::RegType;
using platform::RegValue;
using platform::StoreResult;

namespace {

constexpr size_t kStringBufferBytes = 200;  // the reader's buffer, terminator included
constexpr platform::StaleWrite kSetting = platform::StaleWrite::Setting;

long writeResult(StoreResult result) {
    return result == StoreResult::Ok ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

long readStored(bool open, const std::string& key, const std::string& name, RegValue& value) {
    if (!open) return ERROR_ACCESS_DENIED;
    switch (platform::registryRead(key, name, value)) {
    case StoreResult::NotFound: return ERROR_FILE_NOT_FOUND;
    case StoreResult::Unavailable:
    case StoreResult::LockNotOpened:
    case StoreResult::OutOfDate: return ERROR_ACCESS_DENIED;
    case StoreResult::Ok: break;
    }
    return ERROR_SUCCESS;
}

// A value read as a number or a text must be of that type and fit the reader's buffer.
long checkTyped(const RegValue& value, RegType type, size_t limit) {
    if (value.data.size() > limit) return ERROR_MORE_DATA;
    return value.type == type ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

}  // namespace

long CRegistryKey::Open(const std::string& path) {
    Close();
    m_strKeyName = path;
    if (platform::registryOpenStore() != StoreResult::Ok) return ERROR_ACCESS_DENIED;
    m_bOpen = true;
    return ERROR_SUCCESS;
}

void CRegistryKey::Close() { m_bOpen = false; }

long CRegistryKey::WriteDword(const std::string& name, uint32_t value) {
    if (!m_bOpen) return ERROR_ACCESS_DENIED;
    return writeResult(platform::registryWrite(m_strKeyName, name, RegValue::dword(value), kSetting));
}

long CRegistryKey::WriteString(const std::string& name, const std::string& text) {
    if (!m_bOpen) return ERROR_ACCESS_DENIED;
    return writeResult(platform::registryWrite(m_strKeyName, name, RegValue::string(text), kSetting));
}

long CRegistryKey::WriteBinary(const std::string& name, std::span<const uint8_t> bytes) {
    if (!m_bOpen) return ERROR_ACCESS_DENIED;
    return writeResult(platform::registryWrite(m_strKeyName, name, RegValue::binary(bytes), kSetting));
}

long CRegistryKey::ReadDword(const std::string& name, uint32_t& value) {
    RegValue stored;
    long result = readStored(m_bOpen, m_strKeyName, name, stored);
    if (result == ERROR_SUCCESS) result = checkTyped(stored, RegType::Dword, 4);
    if (result != ERROR_SUCCESS) return result;
    value = stored.data[0] | stored.data[1] << 8 | stored.data[2] << 16 |
            static_cast<uint32_t>(stored.data[3]) << 24;
    return ERROR_SUCCESS;
}

long CRegistryKey::ReadString(const std::string& name, std::string& text) {
    RegValue stored;
    long result = readStored(m_bOpen, m_strKeyName, name, stored);
    if (result == ERROR_SUCCESS) result = checkTyped(stored, RegType::String, kStringBufferBytes);
    if (result != ERROR_SUCCESS) return result;
    text.assign(stored.data.begin(), stored.data.end() - 1);
    return ERROR_SUCCESS;
}

long CRegistryKey::ReadBinary(const std::string& name, std::span<uint8_t> buffer, uint32_t& count) {
    RegValue stored;
    if (const long result = readStored(m_bOpen, m_strKeyName, name, stored)) return result;
    const size_t room = std::min<size_t>(count, buffer.size());
    count = static_cast<uint32_t>(stored.data.size());
    if (stored.data.size() > room) return ERROR_MORE_DATA;
    std::copy(stored.data.begin(), stored.data.end(), buffer.begin());
    return ERROR_SUCCESS;
}
