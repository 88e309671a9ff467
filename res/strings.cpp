#include "res/strings.h"

#include <array>
#include <utility>

namespace res {

namespace {

constexpr std::array<std::pair<int, const char*>, 1> kStrings = {{
    {kIdsAboutBox, "&About Uart_ISP..."},
}};

}  // namespace

QString loadString(int id) {
    for (const auto& [stringId, text] : kStrings)
        if (stringId == id) return QString::fromLatin1(text);
    return {};
}

}  // namespace res
