#include "core/dump_listing.h"

#include <algorithm>

#include "core/worker_page.h"
#include "platform/durable_file.h"
#include "platform/strfmt.h"

std::string DumpListingLine(uint32_t address, std::span<const uint8_t> bytes) {
    std::string line = strfmt("%08xh :", address);
    for (const uint8_t b : bytes) line += strfmt(" %02X", b);
    line += "\r\n";
    return line;
}

ListingResult WriteDumpListing(const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                               const std::function<bool()>& stop) {
    platform::DurableWriter file(path);
    if (!file.opened()) return ListingResult::NotCreated;
    for (size_t at = 0; at < bytes.size(); at += kDumpLineBytes) {
        if (stop && stop()) return ListingResult::Stopped;
        const auto chunk = bytes.subspan(at, std::min<size_t>(kDumpLineBytes, bytes.size() - at));
        file.append(DumpListingLine(static_cast<uint32_t>(start + at), chunk));
    }
    return file.commit() ? ListingResult::Written : ListingResult::NotWritten;
}

ListingResult WriteDumpBinary(const std::string& path, std::span<const uint8_t> bytes) {
    platform::DurableWriter file(path);
    if (!file.opened()) return ListingResult::NotCreated;
    file.append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return file.commit() ? ListingResult::Written : ListingResult::NotWritten;
}

bool SaveDumpFile(WorkerPage& page, const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                  bool listing, const std::function<bool()>& stop) {
    switch (listing ? WriteDumpListing(path, start, bytes, stop) : WriteDumpBinary(path, bytes)) {
        case ListingResult::Written: return listing;
        case ListingResult::Stopped: return false;
        case ListingResult::NotCreated: page.messageBox("File can not open!", platform::MsgIcon::Error); return false;
        case ListingResult::NotWritten: page.messageBox(NotWrittenMessage(path), platform::MsgIcon::Error); return false;
    }
    return false;
}

std::string NotWrittenMessage(const std::string& path) {
    return strfmt("File could not be written !\r\n%s", path.c_str());
}
