#include "platform/debug.h"

#include <cstdio>
#include <cstdlib>

void DebugTrace(const std::string& text) {
    static const bool enabled = std::getenv("SWD_ISP_DEBUG") != nullptr;
    if (enabled) std::fprintf(stderr, "%s", text.c_str());
}
