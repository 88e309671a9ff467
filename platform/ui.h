#pragma once
#include <functional>

namespace ui {

// Runs fn on the user-interface thread and waits until it has run; a direct call when the
// caller is already there. Workers reach widgets only through this, so updates stay in order.
void sendToUi(const std::function<void()>& fn);
// True on the user-interface thread (or when no application object exists yet).
bool onUiThread();

}  // namespace ui
