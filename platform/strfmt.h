#pragma once
// The program's texts are printf formats ("S/N Last : %d"); this is the one helper that
// fills them in core code.
#include <string>

std::string strfmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
