#pragma once
// The program's string resources by id.
#include <QString>

namespace res {

constexpr int kIdsAboutBox = 101;  // the system menu's About item

// The string of that id; an empty text for an id the program does not have.
QString loadString(int id);

}  // namespace res
