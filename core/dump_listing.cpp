#include "core/dump_listing.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/strfmt.h"

std::string DumpListingLine(uint32_t address, std::span<const uint8_t> bytes) {
    std::string line = strfmt("%08xh :", address);
    for (const uint8_t b : bytes) line += strfmt(" %02X", b);
    line += "\r\n";
    return line;
}

ListingResult WriteDumpListing(const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                               const std::function<bool()>& stop) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) return ListingResult::NotCreated;
    for (size_t at = 0; at < bytes.size(); at += kDumpLineBytes) {
        if (stop && stop()) return ListingResult::Stopped;
        const auto chunk = bytes.subspan(at, std::min<size_t>(kDumpLineBytes, bytes.size() - at));
        const std::string line = DumpListingLine(static_cast<uint32_t>(start + at), chunk);
        if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) return ListingResult::NotCreated;
    }
    return ListingResult::Written;
}
