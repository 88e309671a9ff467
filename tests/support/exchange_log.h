#pragma once
// The simulated adapter's exchange log as reviewed text, and its comparison with a golden file.
// One line per command: the pause before it in ms, the command byte, its first argument, the
// value or data it carries, and "?" when its answer was asked for (with the target id of a
// connect and the text of a version). A run of commands that differ only in an address that
// steps evenly, with no pause between them, folds into one line "first..last/step".
#include <string>
#include <vector>

#include "sim/hid_adapter.h"

std::string RenderExchanges(const std::vector<sim::Exchange>& log);

// Compares text with tests/<path>; with SWD_ISP_UPDATE_GOLDEN=1 in the environment the file is
// written instead (for review before it is committed).
void ExpectGolden(const std::string& path, const std::string& text);
