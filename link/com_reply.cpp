#include "link/com_reply.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/globals.h"
#include "link/com_clock.h"

namespace {

constexpr size_t kHeaderSize = 5;  // AA src cmd status n
// Enough for two of the longest replies; a stream of noise cannot grow the buffer further.
constexpr size_t kMaxBuffered = 2 * ComReplyParser::kMaxReplySize;

// Steps whose reply byte goes to g_byReplyData byte 0: the chip-ID request and busy poll with
// tag 0x3B, and the single-byte writes with tag 0x3A that answer with the target's status.
constexpr uint8_t kTagByte0Poll = 0x3B;
constexpr uint8_t kTagByte0Write = 0x3A;
constexpr uint8_t kCmdCompareResult = 0x0B;
constexpr uint8_t kCmdChipId = 0x49;
constexpr uint8_t kCmdChipIdByMode = 0x09;
constexpr uint8_t kCmdTargetRead = 0x03;
constexpr uint8_t kCmdFlashReadId = 0x21;
constexpr uint8_t kCmdFlashRead = 0x24;
constexpr uint8_t kCmdWrite = 0x22;   // the data frames of the two command sets
constexpr uint8_t kCmdWrite2 = 0x26;

// The status byte of the pending step's write reply, or none.
constexpr int kNoWriteStatus = -1;
std::atomic<int> writeStatus{kNoWriteStatus};

// Replies whose data are bytes read back: they go to the block buffer, nothing else does.
bool IsRead(const ComReply& reply) {
    if (reply.src == 0x0F) return reply.cmd == kCmdTargetRead;
    return reply.src == 0xF0 && (reply.cmd == kCmdFlashRead || reply.cmd == kCmdFlashReadId);
}

bool KnownSource(uint8_t src, uint8_t cmd) {
    return src == 0xF0 || src == 0x0F || (src == 0x55 && cmd == 0x00);
}

uint8_t SumOf(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>(sum);
}

}  // namespace

std::optional<PendingReply> ExpectedReply(std::span<const uint8_t> frame) {
    size_t i = 0;
    while (i < frame.size() && (frame[i] == 0x00 || frame[i] == 0xFF)) ++i;
    if (i + 1 >= frame.size()) return std::nullopt;
    const uint8_t lead = frame[i];
    const uint8_t next = frame[i + 1];
    if (lead == 0x55 || (lead == 0x0F && next == 'R')) return PendingReply{kHandshakeReply};
    if (lead != 0x0F && lead != 0xF0) return std::nullopt;
    PendingReply pending{{lead, next}};
    // The count a read asks for: 0F 03 lo n, F0 24 n.
    const size_t countAt = lead == 0x0F && next == kCmdTargetRead ? i + 3 : lead == 0xF0 && next == kCmdFlashRead ? i + 2 : 0;
    if (countAt != 0 && countAt < frame.size()) pending.maxData = frame[countAt];
    return pending;
}

std::vector<uint8_t> EncodeReply(const ComReply& reply) {
    const size_t n = std::min<size_t>(reply.data.size(), 255);
    std::vector<uint8_t> bytes;
    bytes.reserve(6 + n);
    for (uint8_t b : {kReplyStart, reply.src, reply.cmd, reply.status, static_cast<uint8_t>(n)})
        bytes.push_back(b);
    for (size_t i = 0; i < n; ++i) bytes.push_back(reply.data[i]);
    bytes.push_back(SumOf(std::span(bytes).subspan(1)));
    return bytes;
}

void ComReplyParser::feed(std::span<const uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() > kMaxBuffered)
        buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<ptrdiff_t>(kMaxBuffered));
}

std::optional<ComReply> ComReplyParser::next() {
    // An AA in noise may start a header whose length never arrives, or a frame of another kind
    // that never completes; a later complete reply still counts, so every start is tried. Only
    // a frame of the pending read's kind is waited for: what follows its header is its data
    // until its length has arrived.
    size_t keep = buffer_.size();  // the first start whose reply may still complete
    for (size_t start = 0; start < buffer_.size(); ++start) {
        if (buffer_[start] != kReplyStart) continue;
        if (buffer_.size() - start < kHeaderSize) {
            keep = std::min(keep, start);
            break;
        }
        const uint8_t src = buffer_[start + 1];
        const uint8_t cmd = buffer_[start + 2];
        if (!KnownSource(src, cmd)) continue;
        const size_t n = buffer_[start + 4];
        const bool waited = pending_ && pending_->maxData && pending_->key == ReplyKey{src, cmd};
        if (waited && n > *pending_->maxData) continue;
        const size_t length = kHeaderSize + n + 1;
        if (buffer_.size() - start < length) {
            keep = std::min(keep, start);
            if (waited) break;
            continue;
        }
        const std::span<const uint8_t> frame(buffer_.data() + start, length);
        if (SumOf(frame.subspan(1, length - 2)) != frame[length - 1]) continue;

        ComReply reply{src, cmd, frame[3], {frame.begin() + kHeaderSize, frame.end() - 1}};
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(start + length));
        return reply;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(keep));
    return std::nullopt;
}

bool ComBlockBuffer::allocate(size_t size) {
    std::lock_guard lock(lock_);
    try {
        if (refused_) throw std::bad_alloc();
        bytes_.assign(size, 0xFF);
        stored_ = 0;
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return false;
    }
    return true;
}

void ComBlockBuffer::refuseAllocationsForTests(bool refuse) {
    std::lock_guard lock(lock_);
    refused_ = refuse;
}

void ComBlockBuffer::release() {
    std::lock_guard lock(lock_);
    bytes_ = {};
    stored_ = 0;
}

size_t ComBlockBuffer::store(std::span<const uint8_t> bytes) {
    std::lock_guard lock(lock_);
    const size_t count = std::min(bytes.size(), bytes_.size());
    std::copy_n(bytes.begin(), count, bytes_.begin());
    stored_ = count;
    return count;
}

size_t ComBlockBuffer::takeStoredCount() {
    std::lock_guard lock(lock_);
    return std::exchange(stored_, 0);
}

void ComReplyReceiver::frameWriting(std::span<const uint8_t> frame, uint8_t stepTag) {
    std::lock_guard lock(lock_);
    parser_.clear();
    expected_ = ExpectedReply(frame);
    parser_.expect(expected_);
    stepTag_ = stepTag;
    open_ = expected_.has_value();
}

void ComReplyReceiver::bytesRead(std::span<const uint8_t> bytes) {
    std::lock_guard lock(lock_);
    // A reply's worth at a time, so the parser's bound never cuts off a reply still arriving.
    while (!bytes.empty()) {
        const size_t slice = std::min(bytes.size(), ComReplyParser::kMaxReplySize);
        parser_.feed(bytes.first(slice));
        bytes = bytes.subspan(slice);
        while (std::optional<ComReply> reply = parser_.next()) {
            if (!open_ || ReplyKey{reply->src, reply->cmd} != expected_->key || g_byReplyTag != stepTag_)
                continue;
            accept(*reply);
        }
    }
}

void ComReplyReceiver::closeStep() {
    std::lock_guard lock(lock_);
    open_ = false;
}

// The reply's data go where the workers read them, before the event wakes the worker.
void ComReplyReceiver::accept(const ComReply& reply) {
    open_ = false;
    g_byReplyStatus = reply.status;
    g_nReplyDataSize = static_cast<uint32_t>(reply.data.size());
    if (reply.src == 0x0F && (reply.cmd == kCmdWrite || reply.cmd == kCmdWrite2) && !reply.data.empty())
        writeStatus = reply.data[0];
    if (reply.src == 0x0F && reply.cmd == kCmdCompareResult) {
        g_bSkipBlockErase = reply.status == 0 ? 1 : 0;
    } else if (!reply.data.empty()) {
        if (stepTag_ == kTagByte0Poll || stepTag_ == kTagByte0Write)
            g_byReplyData[0] = reply.data[0];
        else if (reply.src == 0x0F && (reply.cmd == kCmdChipId || reply.cmd == kCmdChipIdByMode))
            g_byReplyData[1] = reply.data[0];
        else if (IsRead(reply))
            g_pBlockBuf.store(reply.data);
    }
    g_hReplyEvent.set();
}

void ComBeginStep(uint8_t tag) {
    // A frame sent without a wait (the leave frame) leaves its step open; a reply to it must
    // not set the event of this one before the new tag stands.
    g_ComReplies.closeStep();
    writeStatus = kNoWriteStatus;
    g_hReplyEvent.reset();
    g_byReplyTag = tag;
    CurrentComClock().stepBegins();
}

std::optional<uint8_t> TargetWriteStatus() {
    const int status = writeStatus;
    if (status == kNoWriteStatus) return std::nullopt;
    return static_cast<uint8_t>(status);
}

bool ComWaitReply(uint32_t ms) {
    if (CurrentComClock().waitReply(ms)) return true;
    // Timed out, even when a reply slips in before the close: the step has given up on it.
    g_ComReplies.closeStep();
    return false;
}

std::atomic<uint8_t> g_byReplyTag{0};
std::array<std::atomic<uint8_t>, 3> g_byReplyData{};
std::array<std::atomic<uint8_t>, 2> g_byReplyExtra{};
std::atomic<uint32_t> g_nReplyDataSize{0};
std::atomic<uint8_t> g_byReplyStatus{0};
std::atomic<uint32_t> g_bSkipBlockErase{1};
ComBlockBuffer g_pBlockBuf;
ComReplyReceiver g_ComReplies;
// Defined after the receive side it feeds, so that it is destroyed first: its destructor
// ends the monitor thread.
CSerialPort g_SerialPort(&g_ComReplies);
