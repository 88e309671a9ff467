// libFuzzer target: any input converts or is refused, without reading past the input or
// writing past the image buffer, and a converted image stays within 16 MB; read one record at a
// time from a stream, it comes to its end.
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
    while (ReadHexRecord(in, record) != HexRecordRead::End) {
    }
    return 0;
}
