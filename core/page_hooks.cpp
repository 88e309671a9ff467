#include "core/page_hooks.h"

std::function<std::optional<ConfigAnswer>(QWidget* parent)> RunConfigDialog;
std::function<QWidget*(int templateId, QWidget* parent)> CreatePageWindow;
std::function<void()> BurnFromKey;
std::function<void(int templateId, QWidget* parent)> RunToolDialog;
std::function<void(QWidget* parent)> RunDumpDialog;
std::function<void()> RefreshIcPageSettings;
