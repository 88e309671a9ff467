#include <algorithm>
#include <map>
#include <vector>

#include "platform/hid.h"

namespace platform {

namespace {

// Short-item prefix: bits 0-1 data size (3 means 4 bytes), bits 2-3 type, bits 4-7 tag.
enum ItemType : uint8_t { Main = 0, Global = 1, Local = 2 };
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint8_t kTagFeature = 0xB;
constexpr uint8_t kTagReportSize = 0x7;
constexpr uint8_t kTagReportId = 0x8;
constexpr uint8_t kTagReportCount = 0x9;
constexpr uint8_t kTagPush = 0xA;
constexpr uint8_t kTagPop = 0xB;
// The longest feature report whose length, with its id byte, fits the 16-bit length.
constexpr uint64_t kMaxReportBits = uint64_t{0xFFFE} * 8;

struct GlobalState {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

}  // namespace

std::optional<uint16_t> featureReportByteLength(std::span<const uint8_t> descriptor) {
    GlobalState globals;
    std::vector<GlobalState> stack;
    std::map<uint32_t, uint64_t> featureBits;  // per report id
    std::size_t at = 0;
    while (at < descriptor.size()) {
        const uint8_t prefix = descriptor[at];
        if (prefix == kLongItemPrefix) {
            if (at + 2 >= descriptor.size()) return std::nullopt;  // prefix, data size, long tag
            at += 3 + descriptor[at + 1];
            if (at > descriptor.size()) return std::nullopt;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (at + 1 + size > descriptor.size()) return std::nullopt;
        uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value |= uint32_t(descriptor[at + 1 + i]) << (8 * i);
        const uint8_t type = (prefix >> 2) & 3;
        const uint8_t tag = prefix >> 4;
        at += 1 + size;

        if (type == Main && tag == kTagFeature) {
            // Sizes no report can have are malformed, and the sum can never wrap.
            uint64_t& bits = featureBits[globals.reportId];
            const uint64_t added = uint64_t(globals.reportSize) * globals.reportCount;
            if (added > kMaxReportBits || bits + added > kMaxReportBits) return std::nullopt;
            bits += added;
        } else if (type == Global) {
            switch (tag) {
            case kTagReportSize: globals.reportSize = value; break;
            case kTagReportCount: globals.reportCount = value; break;
            case kTagReportId:
                if (value == 0 || value > 0xFF) return std::nullopt;
                globals.reportId = value;
                break;
            case kTagPush: stack.push_back(globals); break;
            case kTagPop:
                if (stack.empty()) return std::nullopt;
                globals = stack.back();
                stack.pop_back();
                break;
            default: break;
            }
        }
    }
    uint64_t longest = 0;
    bool any = false;
    for (const auto& [id, bits] : featureBits) {
        if (bits == 0) continue;
        any = true;
        longest = std::max(longest, (bits + 7) / 8);
    }
    if (!any) return uint16_t(0);
    return uint16_t(longest + 1);
}

}  // namespace platform
