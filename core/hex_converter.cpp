#include "core/hex_converter.h"

#include <array>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/strfmt.h"

namespace {

constexpr std::array<int8_t, 256> makeDigitTable() {
    std::array<int8_t, 256> table{};
    for (auto& entry : table) entry = -1;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 10);
    return table;
}
constexpr std::array<int8_t, 256> kDigit = makeDigitTable();

enum : int { kData = 0, kEndOfFile = 1, kExtSegment = 2, kExtLinear = 4 };

// Walks the text record by record; pos always stays within the text.
class HexReader {
public:
    explicit HexReader(std::string_view text) : text_(text) {}

    HexConversion run() {
        HexConversion result;
        std::vector<uint8_t>& image = result.image;
        try {
            while (findRecordStart()) {
                if (!readRecord()) return fail(result);
                if (type_ == kEndOfFile) break;
                if (type_ == kExtSegment) {
                    error_ = "extended segment address records are not supported";
                    return fail(result);
                }
                if (type_ == kExtLinear) {
                    if (count_ != 2) {
                        error_ = "extended linear address record without two data bytes";
                        return fail(result);
                    }
                    upper_ = (uint32_t{data_[0]} << 24) | (uint32_t{data_[1]} << 16);
                    if (!baseSeen_) reference_ = upper_;
                    baseSeen_ = true;
                    continue;
                }
                if (type_ != kData || count_ == 0) continue;
                // Data before any type 04 record lies in the window of base 0.
                baseSeen_ = true;
                const uint64_t absolute = uint64_t{upper_} + address_;
                if (absolute < reference_ ||
                    absolute - reference_ + count_ > kImageBufferSize) {
                    error_ = "data does not fit the 16 MB image buffer";
                    return fail(result);
                }
                const size_t offset = static_cast<size_t>(absolute - reference_);
                if (image.size() < offset + count_) image.resize(offset + count_, 0x00);
                std::copy(data_.begin(), data_.begin() + count_, image.begin() + offset);
            }
        } catch (const std::bad_alloc&) {
            result.error = strfmt("Error allocating data buffer memory for %d  bytes\n",
                                  static_cast<int>(kImageBufferSize));
            result.image.clear();
            return result;
        }
        result.ok = true;
        return result;
    }

private:
    HexConversion& fail(HexConversion& result) const {
        result.image.clear();
        result.error = strfmt("HEX file error in line %zu: %s", recordLine_, error_);
        return result;
    }

    // Skips to the character after the next ':', counting lines.
    bool findRecordStart() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == ':') {
                recordLine_ = line_;
                return true;
            }
            if (c == '\n') ++line_;
        }
        return false;
    }

    // Reads one byte as two hex digits; false with error_ set when they are missing or bad.
    bool readByte(uint8_t& value) {
        if (pos_ + 2 > text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r' ||
            text_[pos_ + 1] == '\n' || text_[pos_ + 1] == '\r') {
            error_ = "the record runs past the end of its line";
            return false;
        }
        const int high = kDigit[static_cast<uint8_t>(text_[pos_])];
        const int low = kDigit[static_cast<uint8_t>(text_[pos_ + 1])];
        if (high < 0 || low < 0) {
            error_ = "a character that is not a hex digit";
            return false;
        }
        pos_ += 2;
        value = static_cast<uint8_t>(high * 16 + low);
        sum_ = static_cast<uint8_t>(sum_ + value);
        return true;
    }

    bool readRecord() {
        sum_ = 0;
        uint8_t count = 0, addressHigh = 0, addressLow = 0, type = 0;
        if (!readByte(count) || !readByte(addressHigh) || !readByte(addressLow) ||
            !readByte(type)) {
            return false;
        }
        count_ = count;
        address_ = static_cast<uint32_t>(addressHigh << 8 | addressLow);
        type_ = type;
        for (unsigned i = 0; i < count_; ++i) {
            if (!readByte(data_[i])) return false;
        }
        uint8_t checksum = 0;
        if (!readByte(checksum)) return false;
        if (sum_ != 0) {
            error_ = "checksum error";
            return false;
        }
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    size_t line_ = 1;
    size_t recordLine_ = 0;
    const char* error_ = "";
    uint8_t sum_ = 0;
    unsigned count_ = 0;
    uint32_t address_ = 0;
    int type_ = 0;
    std::array<uint8_t, 255> data_{};
    uint32_t upper_ = 0;      // upper address of the last extended linear address record
    uint32_t reference_ = 0;  // the first base in force: offset 0 of the binary
    bool baseSeen_ = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string cannotOpen(const std::string& path) {
    return strfmt("File : %s could not be opened!!!", path.c_str());
}

}  // namespace

HexConversion ConvertHexText(std::string_view text) {
    return HexReader(text).run();
}

HexConversion ConvertHexToBin(const std::string& hexPath, const std::string& binPath) {
    HexConversion result;
    std::string text;
    {
        File hex(std::fopen(hexPath.c_str(), "rb"));
        if (!hex) {
            result.error = cannotOpen(hexPath);
            return result;
        }
        char chunk[1 << 16];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, hex.get())) > 0) text.append(chunk, got);
        if (std::ferror(hex.get())) {
            result.error = cannotOpen(hexPath);
            return result;
        }
    }
    result = ConvertHexText(text);
    if (!result.ok) return result;

    std::FILE* bin = std::fopen(binPath.c_str(), "wb");
    bool written = bin != nullptr;
    if (bin) {
        written = std::fwrite(result.image.data(), 1, result.image.size(), bin) ==
                  result.image.size();
        written = std::fclose(bin) == 0 && written;
    }
    if (!written) {
        result.ok = false;
        result.error = cannotOpen(binPath);
    }
    return result;
}

std::string BinPathBesideHex(const std::string& hexPath) {
    const size_t slash = hexPath.rfind('/');
    const size_t dot = hexPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? hexPath.substr(0, dot) : hexPath) + ".bin";
}
