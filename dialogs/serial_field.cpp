#include "dialogs/serial_field.h"

#include <cstdlib>

#include "core/validators.h"
#include "platform/services.h"

bool CheckSerialNumberField(ui::ControlSet& controls, int id, uint32_t& number, uint32_t opened) {
    const std::string text = CheckedText(controls.text(id).toStdString());
    switch (CheckDecString(text, 0xFFFFFFFF)) {
        case 0:
            number = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
            return true;
        case 1:
            MessageBox("Serial No Error! Serial No must be digital number", platform::MsgIcon::Error);
            break;
        default:
            MessageBox("Out of range! Serial No must be <= 0xFFFFFFFF", platform::MsgIcon::Error);
            break;
    }
    number = opened;
    controls.setText(id, QString::number(number));
    return false;
}
