#pragma once
// Debug traces go to standard error only when SWD_ISP_DEBUG is set.
#include <string>

void DebugTrace(const std::string& text);
