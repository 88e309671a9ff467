#include "core/hex_converter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <istream>
#include <new>
#include <span>

#include "platform/durable_file.h"
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

// What may follow a record's checksum: its line end, blanks, or the next record. Anything else
// means the count is short of the record, and its last bytes would be lost unseen.
bool mayFollowRecord(int c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == ':'; }

constexpr size_t kChunkBytes = 1 << 16;

// Reads on into buffer; total counts what the file gave so far. EFBIG once that passes
// kMaxHexFileBytes, whatever size the file showed when it was opened: it grew since, or it is a
// file of the kernel's that shows none and reads on without end.
int readChunk(int fd, std::span<std::byte> buffer, size_t& got, uint64_t& total) {
    const int error = platform::readInto(fd, buffer, got);
    total += got;
    return error != 0 ? error : total > kMaxHexFileBytes ? EFBIG : 0;
}
// The characters of a record after its ':': count, address, type, 255 data bytes, checksum.
constexpr size_t kMaxRecordChars = 2 + 4 + 2 + 2 * 255 + 2;

// Walks the text record by record; pos always stays within the text. The text is whole in
// memory, or read from a file in fixed chunks: a record that a chunk cuts is moved to the
// front of the buffer and the rest read after it.
class HexReader {
public:
    explicit HexReader(std::string_view text) : text_(text.data()), size_(text.size()) {}
    explicit HexReader(int fd) : fd_(fd), buffer_(kChunkBytes), text_(buffer_.data()) {}

    int readError() const { return readError_; }
    const HexRecord& record() const { return record_; }

    // Hands each data record to sink.place(offset, bytes) in file order; stops when that fails.
    template <typename Sink>
    HexConversion run(Sink& sink) {
        HexConversion result;
        // A file cut short at a record's end, or two files joined, would otherwise lose data.
        bool ended = false;
        while (findRecordStart()) {
            if (!readRecord()) return fail(result);
            if (record_.type != kEndOfFile && pos_ < size_ && !mayFollowRecord(text_[pos_])) {
                error_ = "characters after its checksum: the count is short of the record";
                return fail(result);
            }
            if (ended) {
                if (record_.type != kData || record_.count == 0) continue;
                error_ = "data after the end-of-file record";
                return fail(result);
            }
            if (record_.type == kEndOfFile) {
                ended = true;
                continue;
            }
            if (record_.type == kExtSegment) {
                error_ = "extended segment address records are not supported";
                return fail(result);
            }
            if (record_.type == kExtLinear) {
                if (record_.count != 2) {
                    error_ = "extended linear address record without two data bytes";
                    return fail(result);
                }
                upper_ = (uint32_t{record_.data[0]} << 24) | (uint32_t{record_.data[1]} << 16);
                if (!baseSeen_) reference_ = upper_;
                baseSeen_ = true;
                continue;
            }
            if (record_.type != kData || record_.count == 0) continue;
            // Data before any type 04 record lies in the window of base 0.
            baseSeen_ = true;
            const uint64_t absolute = uint64_t{upper_} + record_.address;
            if (absolute < reference_ || absolute - reference_ + record_.count > kImageBufferSize) {
                error_ = "data does not fit the 16 MB image buffer";
                return fail(result);
            }
            const auto offset = static_cast<uint32_t>(absolute - reference_);
            if (!sink.place(offset, std::span<const uint8_t>(record_.data.data(), record_.count))) return result;
            result.size = std::max(result.size, offset + record_.count);
        }
        if (!ended && readError_ == 0) {
            recordLine_ = line_;
            error_ = "the file ends without an end-of-file record";
            return fail(result);
        }
        result.ok = readError_ == 0;
        return result;
    }

    // Reads the record that starts at the reading position, just after its ':', and checks its
    // sum; false with error_ set when it is malformed.
    bool readRecord() {
        sum_ = 0;
        uint8_t addressHigh = 0, addressLow = 0;
        if (!readByte(record_.count) || !readByte(addressHigh) || !readByte(addressLow) ||
            !readByte(record_.type)) {
            return false;
        }
        record_.address = static_cast<uint16_t>(addressHigh << 8 | addressLow);
        for (unsigned i = 0; i < record_.count; ++i) {
            if (!readByte(record_.data[i])) return false;
        }
        uint8_t checksum = 0;
        if (!readByte(checksum)) return false;
        if (sum_ != 0) {
            error_ = "checksum error";
            return false;
        }
        return true;
    }

private:
    HexConversion& fail(HexConversion& result) const {
        result.error = strfmt("HEX file error in line %zu: %s", recordLine_, error_);
        return result;
    }

    // Reads on into the buffer behind what is left of it; false at the end of the input.
    bool readMore() {
        if (fd_ < 0 || ended_) return false;
        std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(size_), buffer_.begin());
        size_ -= pos_;
        pos_ = 0;
        size_t got = 0;
        readError_ = readChunk(fd_, std::as_writable_bytes(std::span(buffer_).subspan(size_)), got, total_);
        size_ += got;
        ended_ = got == 0 || readError_ != 0;
        return got > 0;
    }

    // Skips to the character after the next ':', counting lines, with the whole record after
    // it, and the character that follows the record, in the buffer when the input holds them.
    bool findRecordStart() {
        for (;;) {
            while (pos_ < size_) {
                const char c = text_[pos_++];
                if (c == ':') {
                    recordLine_ = line_;
                    while (size_ - pos_ <= kMaxRecordChars && readMore()) {
                    }
                    return true;
                }
                if (c == '\n') ++line_;
            }
            if (!readMore()) return false;
        }
    }

    // Reads one byte as two hex digits; false with error_ set when they are missing or bad.
    bool readByte(uint8_t& value) {
        if (pos_ + 2 > size_) {
            error_ = "the record runs past the end of its line";
            return false;
        }
        const int high = kDigit[static_cast<uint8_t>(text_[pos_])];
        const int low = kDigit[static_cast<uint8_t>(text_[pos_ + 1])];
        if ((high | low) < 0) {
            const bool lineEnds = text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_ + 1] == '\n' ||
                                  text_[pos_ + 1] == '\r';
            error_ = lineEnds ? "the record runs past the end of its line" : "a character that is not a hex digit";
            return false;
        }
        pos_ += 2;
        value = static_cast<uint8_t>(high * 16 + low);
        sum_ = static_cast<uint8_t>(sum_ + value);
        return true;
    }

    int fd_ = -1;
    std::vector<char> buffer_;
    bool ended_ = false;
    int readError_ = 0;
    uint64_t total_ = 0;  // bytes read from fd_
    const char* text_;
    size_t size_ = 0;
    size_t pos_ = 0;
    size_t line_ = 1;
    size_t recordLine_ = 0;
    const char* error_ = "";
    uint8_t sum_ = 0;
    HexRecord record_;
    uint32_t upper_ = 0;      // upper address of the last extended linear address record
    uint32_t reference_ = 0;  // the first base in force: offset 0 of the binary
    bool baseSeen_ = false;
};

// The binary in memory, growing to the highest end of the records.
struct ImageSink {
    std::vector<uint8_t>& image;
    bool place(uint32_t offset, std::span<const uint8_t> bytes) {
        if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size(), 0x00);
        std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
        return true;
    }
};

// The binary written to a file as the records come: records that continue one another are
// gathered and written together; a gap reads as zeros.
class FileSink {
public:
    explicit FileSink(platform::DurableWriter& file) : file_(file) { run_.reserve(kChunkBytes); }
    bool place(uint32_t offset, std::span<const uint8_t> bytes) {
        if (offset != runStart_ + run_.size() || run_.size() + bytes.size() > kChunkBytes) {
            if (!flush()) return false;
            runStart_ = offset;
        }
        run_.insert(run_.end(), bytes.begin(), bytes.end());
        return true;
    }
    bool flush() {
        const bool written = file_.writeAt(runStart_, std::as_bytes(std::span(run_)));
        run_.clear();
        return written;
    }

private:
    platform::DurableWriter& file_;
    uint64_t runStart_ = 0;
    std::vector<uint8_t> run_;
};

}  // namespace

namespace {

std::string TooLarge(const std::string& path) {
    return strfmt("File : %s is too large for an image!", path.c_str());
}

// Opens a text file to convert, at most kMaxHexFileBytes of a regular file; false with the
// message in result.error.
bool openTextFile(const std::string& path, int& fd, HexConversion& result) {
    struct stat info {};
    const int error = platform::openForReading(path, kMaxHexFileBytes, fd, info);
    if (error == 0) return true;
    result.error = error == EINVAL ? NotARegularFile(path) : error == EFBIG ? TooLarge(path) : CouldNotOpen(path);
    return false;
}

// True, with the message in result.error, when binPath names the open input by any name (the
// path itself, a link, a hard link): the binary would be written over its own source.
bool writesOverInput(int fd, const std::string& inputPath, const std::string& binPath, HexConversion& result) {
    struct stat input {}, output {};
    if (::fstat(fd, &input) != 0 || ::stat(binPath.c_str(), &output) != 0) return false;
    if (input.st_dev != output.st_dev || input.st_ino != output.st_ino) return false;
    result.error = strfmt("File : %s is %s itself!", binPath.c_str(), inputPath.c_str());
    return true;
}

// The message for a read that failed, or found the file too large.
std::string ReadFailure(const std::string& path, int error) {
    return error == EFBIG ? TooLarge(path) : CouldNotRead(path);
}

}  // namespace

std::string CouldNotOpen(const std::string& path) {
    return strfmt("File : %s could not be opened!!!", path.c_str());
}

std::string HoldsNoCode(const std::string& path) { return strfmt("File : %s holds no code!", path.c_str()); }

std::string CouldNotRead(const std::string& path) {
    return strfmt("File : %s could not be read!!!", path.c_str());
}

std::string NotARegularFile(const std::string& path) {
    return strfmt("File : %s is not a regular file!", path.c_str());
}

HexConversion ConvertHexText(std::string_view text) {
    std::vector<uint8_t> image;
    ImageSink sink{image};
    HexConversion result;
    try {
        result = HexReader(text).run(sink);
    } catch (const std::bad_alloc&) {
        result = {};
        result.error = strfmt("Error allocating data buffer memory for %d  bytes\n",
                              static_cast<int>(kImageBufferSize));
    }
    if (result.ok) result.image = std::move(image);
    return result;
}

HexConversion ConvertHexToBin(const std::string& hexPath, const std::string& binPath) {
    HexConversion result;
    int fd = -1;
    if (!openTextFile(hexPath, fd, result)) return result;
    HexReader reader(fd);
    platform::DurableWriter bin(binPath);
    FileSink sink(bin);
    result = reader.run(sink);
    const bool overInput =
        reader.readError() == 0 && result.error.empty() && writesOverInput(fd, hexPath, binPath, result);
    ::close(fd);
    if (reader.readError() != 0) {
        result.ok = false;
        result.error = ReadFailure(hexPath, reader.readError());
    } else if (overInput) {
        result.ok = false;
    } else if (result.error.empty() && !(result.ok && sink.flush() && bin.commit())) {
        result.ok = false;
        result.error = CouldNotOpen(binPath);
    }
    return result;
}

HexRecordRead ReadHexRecord(std::istream& in, HexRecord& record) {
    char c = 0;
    while (in.get(c) && c != ':') {
    }
    if (!in) return HexRecordRead::End;
    // The count, address and type, then as many data bytes as the count says and the sum.
    std::string text(8, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    const int high = text.size() == 8 ? kDigit[static_cast<uint8_t>(text[0])] : -1;
    const int low = text.size() == 8 ? kDigit[static_cast<uint8_t>(text[1])] : -1;
    if ((high | low) >= 0) {
        std::string rest(2 * static_cast<size_t>(high * 16 + low) + 2, '\0');
        in.read(rest.data(), static_cast<std::streamsize>(rest.size()));
        text.append(rest.data(), static_cast<size_t>(in.gcount()));
    }
    HexReader reader(text);
    if (!reader.readRecord()) return HexRecordRead::Malformed;
    record = reader.record();
    const int next = in.peek();
    if (record.type != kEndOfFile && next != std::char_traits<char>::eof() && !mayFollowRecord(next))
        return HexRecordRead::Malformed;
    return HexRecordRead::Record;
}

std::string BinPathBesideHex(const std::string& hexPath) {
    const size_t slash = hexPath.rfind('/');
    const size_t dot = hexPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? hexPath.substr(0, dot) : hexPath) + ".bin";
}

HexConversion ConvertByteLinesToBin(const std::string& textPath, const std::string& binPath) {
    HexConversion result;
    int fd = -1;
    if (!openTextFile(textPath, fd, result)) return result;
    std::vector<uint8_t> bytes;
    std::vector<char> chunk(kChunkBytes);
    char first[2] = {};     // the line's first two characters
    size_t lineLength = 0;  // how many of them the line has so far
    size_t line = 1;
    const char* error = nullptr;
    // At a line's end its byte is appended; an empty line is skipped.
    const auto endLine = [&] {
        if (lineLength == 0) return true;
        const int high = kDigit[static_cast<uint8_t>(first[0])];
        const int low = lineLength > 1 ? kDigit[static_cast<uint8_t>(first[1])] : -1;
        lineLength = 0;
        if ((high | low) < 0) {
            error = "the line does not begin with two hex digits";
            return false;
        }
        if (bytes.size() == kImageBufferSize) {
            error = "data does not fit the 16 MB image buffer";
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        return true;
    };
    int readError = 0;
    uint64_t total = 0;
    while (error == nullptr) {
        size_t got = 0;
        readError = readChunk(fd, std::as_writable_bytes(std::span(chunk)), got, total);
        if (readError != 0 || got == 0) break;
        for (size_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                if (!endLine()) break;
                ++line;
            } else if (c != '\r' && lineLength < 2) {
                first[lineLength++] = c;
            }
        }
    }
    if (error == nullptr && readError == 0) endLine();
    const bool overInput = readError == 0 && error == nullptr && writesOverInput(fd, textPath, binPath, result);
    ::close(fd);
    if (readError != 0) {
        result.error = ReadFailure(textPath, readError);
        return result;
    }
    if (error != nullptr) {
        result.error = strfmt("HEX file error in line %zu: %s", line, error);
        return result;
    }
    if (overInput) return result;
    platform::DurableWriter bin(binPath);
    if (!bin.writeAt(0, std::as_bytes(std::span(bytes))) || !bin.commit()) {
        result.error = CouldNotOpen(binPath);
        return result;
    }
    result.ok = true;
    result.size = static_cast<uint32_t>(bytes.size());
    return result;
}
