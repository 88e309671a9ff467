#pragma once
// Names an operator may give where a small text file belongs: a FIFO that nobody writes (an
// open that waits would wait for ever), a link to the endless /dev/zero and a sparse 3 GB file.
#include <string>
#include <vector>

// Creates "fifo<extension>", "zero<extension>" and "huge<extension>" in folder (which ends
// in '/') and gives their names.
std::vector<std::string> MakeUnreadableFiles(const std::string& folder, const std::string& extension);
