#pragma once
// The ways an operator changes a check box: the mouse, the keyboard, or an accessibility
// action (a screen reader or test tool), which changes the state without any click.
#include <QAbstractButton>

enum class BoxChange { Mouse, SpaceKey, AccessibleToggle };
inline constexpr BoxChange kBoxChanges[] = {BoxChange::Mouse, BoxChange::SpaceKey, BoxChange::AccessibleToggle};

const char* BoxChangeName(BoxChange how);
void ChangeBox(QAbstractButton* box, BoxChange how);
