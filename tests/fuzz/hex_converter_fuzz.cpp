// libFuzzer target: any input converts or is refused, without reading past the input or
// writing past the image buffer, and a converted image stays within 16 MB.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/hex_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const HexConversion result =
        ConvertHexText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (result.image.size() > kImageBufferSize || (!result.ok && result.error.empty())) {
        std::abort();
    }
    return 0;
}
