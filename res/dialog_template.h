#pragma once
// Dialog templates as data: one table per dialog, places in dialog units of the template's
// font. platform/dialog_builder turns a table into widgets.
#include <cstdint>
#include <vector>

namespace res {

// The kinds of control a template holds.
enum class Ctl {
    Button,
    DefButton,     // the button that Enter presses
    CheckBox,      // automatic check box
    Radio,         // automatic radio button
    Edit,
    Static,        // text
    GroupBox,
    ListBox,
    ComboBox,      // drop-down list
    Icon,          // static picture of an icon resource
    BlackFrame,    // static black outline
    BlackRect,     // static filled black rectangle
    Progress,
    Custom,        // a place that the dialog fills with its own widget class
};

// Style flags of a control.
enum Style : uint32_t {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kRight = 1u << 2,      // right-aligned text
    kCenter = 1u << 3,     // centred text
    kMultiLine = 1u << 4,
    kReadOnly = 1u << 5,
    kVScroll = 1u << 6,
    kHScroll = 1u << 7,
    kNoTabStop = 1u << 8,
    kIconButton = 1u << 9,  // a button that shows an icon resource in place of its text
};

constexpr int kNoId = -1;  // controls that nothing addresses

struct Place {
    int x, y, w, h;
};

struct ControlTemplate {
    int id;
    Ctl kind;
    const char* text;
    Place place;
    uint32_t style = 0;
    int image = 0;  // icon resource of an icon control or icon button
};

struct FontSpec {
    const char* face;
    int points;
};

struct DialogTemplate {
    int id;
    const char* caption;
    FontSpec font;
    int width, height;  // client size in dialog units
    std::vector<ControlTemplate> controls;
};

}  // namespace res
