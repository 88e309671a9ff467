#pragma once
// The receive side of the gang-board link. The board answers a frame with
//     AA src cmd status n data[n] sum
// src F0 for a board frame, 0F for a target frame, 55 for a handshake (cmd then 00); cmd
// echoes the frame's command byte; sum is the low 8 bits of src through the last data byte.
//
// A COM step resets g_hReplyEvent, notes its tag in g_byReplyTag, queues one frame and waits.
// A reply counts only for the step that is pending: it must answer the frame last written,
// the tag noted with that frame must still stand in g_byReplyTag, and the step must not have
// its answer yet nor have given up waiting (ComWaitReply). So a late reply never answers the
// next step, unless the next step sends the very same frame under the same tag: the bytes of
// the two replies cannot be told apart. While the pending read's reply is still arriving, data
// bytes of it that look like a whole reply are its data, however the line splits it.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "link/serial_port.h"

struct ComReply {
    uint8_t src = 0;
    uint8_t cmd = 0;
    uint8_t status = 0;
    std::vector<uint8_t> data;
};

struct ReplyKey {
    uint8_t src;
    uint8_t cmd;
    bool operator==(const ReplyKey&) const = default;
};

constexpr uint8_t kReplyStart = 0xAA;
constexpr ReplyKey kHandshakeReply{0x55, 0x00};

// What a step waits for: the reply's kind, and for a read (0F 03 lo n, F0 24 n) the n bytes it
// asked for, the most its reply carries. Other replies have no bound of their own.
struct PendingReply {
    ReplyKey key;
    std::optional<size_t> maxData = std::nullopt;
};

// The reply a frame asks for, by its first bytes: F0 cmd and 0F cmd ask for the reply of
// that command; a frame that starts 55, or 0F 'R' (the chip-family text of the link start),
// asks for the handshake reply. Leading wake-up bytes 00 and FF are skipped.
std::optional<PendingReply> ExpectedReply(std::span<const uint8_t> frame);

// The bytes of a reply frame; data beyond 255 bytes is not sent.
std::vector<uint8_t> EncodeReply(const ComReply& reply);

// Finds reply frames in a byte stream that may split them, merge them or carry noise.
class ComReplyParser {
public:
    // The longest reply frame: header, 255 data bytes and the sum.
    static constexpr size_t kMaxReplySize = 5 + 255 + 1;

    // The reply the pending step waits for. While a read's reply is still arriving, its data
    // may hold bytes that look like a whole reply: no frame inside it counts, next() waits for
    // the rest. A header of its kind longer than the read asked for is noise. A reply of another
    // kind is not waited for: a start of its kind in noise could claim up to 255 bytes and hold
    // back the whole reply behind it, and its few data bytes hold no reply.
    void expect(std::optional<PendingReply> pending) { pending_ = pending; }
    // Keeps at most the newest 2 * kMaxReplySize bytes: fed at most kMaxReplySize bytes between
    // two calls of next(), it loses none.
    void feed(std::span<const uint8_t> bytes);
    // The earliest complete reply with a valid sum; the bytes before it are dropped. When there
    // is none, fewer than kMaxReplySize bytes stay: those of replies that may still complete.
    std::optional<ComReply> next();
    void clear() { buffer_.clear(); }

private:
    std::vector<uint8_t> buffer_;
    std::optional<PendingReply> pending_;
};

// The block buffer of the running COM worker: frames' data are staged in it, and the receive
// side leaves the data of a read reply at its start, cut to its size. The worker reads it
// after its step was answered.
class ComBlockBuffer {
public:
    // A buffer of size bytes, all 0xFF; false when the memory cannot be had.
    bool allocate(size_t size);
    // Tests make every allocation fail from now on, as when memory runs out, or no longer.
    void refuseAllocationsForTests(bool refuse);
    void release();
    uint8_t* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    uint8_t& operator[](size_t index) { return bytes_[index]; }
    // Copies bytes to the start, at most size() of them; returns how many were stored.
    size_t store(std::span<const uint8_t> bytes);
    // How many bytes replies stored since the last call: a short read shows as fewer.
    size_t takeStoredCount();

private:
    std::mutex lock_;
    std::vector<uint8_t> bytes_;
    size_t stored_ = 0;
    bool refused_ = false;
};

class ComReplyReceiver final : public SerialStreamListener {
public:
    void frameWriting(std::span<const uint8_t> frame, uint8_t stepTag) override;
    void bytesRead(std::span<const uint8_t> bytes) override;
    // The waiter gave up: no reply may answer the step any more.
    void closeStep();

private:
    void accept(const ComReply& reply);

    std::mutex lock_;
    ComReplyParser parser_;
    std::optional<PendingReply> expected_;
    uint8_t stepTag_ = 0;
    bool open_ = false;
};

// Reply state shared with the COM workers.
extern std::atomic<uint8_t> g_byReplyTag;
// Byte 0: the chip-ID or busy status byte of the requests with tag 0x3B, the target's status
// byte after a write with tag 0x3A (bit 0x08 busy, 0x04 program-memory error). Byte 1: the
// chip-ID byte of any other chip-ID request.
extern std::array<std::atomic<uint8_t>, 3> g_byReplyData;
// Two further reply bytes. No reply stores into them, so no run takes option bytes from them:
// the single-pass runs send 0xFF in their place.
extern std::array<std::atomic<uint8_t>, 2> g_byReplyExtra;
// How many data bytes the last accepted reply carried: a chip-ID reply without its byte, or a
// read-back shorter than asked, must not pass on bytes of an earlier reply.
extern std::atomic<uint32_t> g_nReplyDataSize;
// The status byte of the last accepted reply: 0 done; the board's serial flash answers 1 to a
// frame it refused.
extern std::atomic<uint8_t> g_byReplyStatus;
// Outcome of the last compare-result step: 1 the block matched, 0 it differed.
extern std::atomic<uint32_t> g_bSkipBlockErase;
// The target's status byte in the reply to the pending step's write (0F 22, 0F 26): bit 0x04
// set when a byte did not land as sent. None when that reply carried no data, as a board may
// answer a write, or the step's reply was not a write's: then the write reports nothing.
constexpr uint8_t kWriteFailed = 0x04;
std::optional<uint8_t> TargetWriteStatus();
extern ComBlockBuffer g_pBlockBuf;
extern ComReplyReceiver g_ComReplies;

// The step convention: ComBeginStep(tag), one frame function, ComWaitReply(ms). The wait runs
// on the link's clock (link/com_clock.h) and is true only when the reply came within it; after
// a false one a late reply stores nothing.
void ComBeginStep(uint8_t tag);
bool ComWaitReply(uint32_t ms);
