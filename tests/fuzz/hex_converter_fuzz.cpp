// libFuzzer target: any input converts or is refused, without reading past the input or
// writing past the image buffer, and a converted image stays within 16 MB; read one record at a
// time from a stream, it comes to its end. A text the converter takes is whole to the stream
// reader too: every record well formed, an end-of-file record, and no data after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "core/hex_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const HexConversion result =
        ConvertHexText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (result.image.size() > kImageBufferSize || (!result.ok && result.error.empty())) {
        std::abort();
    }
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    HexRecord record;
    bool ended = false;
    for (HexRecordRead read; (read = ReadHexRecord(in, record)) != HexRecordRead::End;) {
        const bool dataAfterEnd = ended && record.type == 0x00 && record.count > 0;
        if (result.ok && (read == HexRecordRead::Malformed || dataAfterEnd)) std::abort();
        ended = ended || (read == HexRecordRead::Record && record.type == 0x01);
    }
    if (result.ok && !ended) std::abort();
    return 0;
}
