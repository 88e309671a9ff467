#include "dialogs/option_words_view.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>

#include "platform/strfmt.h"
#include "res/info_block_templates.h"

using namespace res;

namespace {

const QStringList kOnOff = {"Disable", "Enable"};

constexpr int kTextFields[] = {kIdcVid, kIdcPid, kIdcPllL, kIdcPllH, kIdcSn1, kIdcSn2, kIdcSn3};
constexpr int kBootLists[] = {kIdcBootEnable, kIdcBootPort, kIdcBootPin, kIdcBootPull, kIdcBootActive};

}  // namespace

BootPinConfig DecodeBootPin(uint16_t word) {
    return {(word >> 12) == 0xB, (word >> 8) & 0xF, (word >> 4) & 0xF, (word & 2) != 0, (word & 1) != 0};
}

UartConfig DecodeUart(uint16_t word) { return {(word & 0x10) == 0, word & 7}; }

void SelectChoice(ui::ControlSet& controls, int id, int index) {
    auto* list = controls.control<QComboBox>(id);
    if (!list) return;
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

void FillOptionChoices(ui::ControlSet& controls, int snEnableId) {
    const auto fill = [&](int id, const QStringList& items) {
        if (auto* list = controls.control<QComboBox>(id)) {
            list->addItems(items);
            list->setCurrentIndex(-1);
        }
    };
    QStringList pins;
    for (int pin = 0; pin < 16; ++pin) pins << QString::number(pin);
    fill(snEnableId, kOnOff);
    fill(kIdcBootEnable, kOnOff);
    fill(kIdcBootPort, {"PA", "PB", "PC", "PD"});
    fill(kIdcBootPin, pins);
    fill(kIdcBootPull, kOnOff);
    fill(kIdcBootActive, {"Low", "High"});
    fill(kIdcUsbIsp, kOnOff);
    fill(kIdcUartPos, {"UART0_DEF_PA9PA10", "UART0_ALT_PB6PB7", "UART1_DEF_PA2PA3", "UART1_ALT_PB8PB9"});
}

void ClearOptionFields(ui::ControlSet& controls, int snEnableId) {
    for (int id : kTextFields) controls.setText(id, "");
    for (int id : kBootLists) SelectChoice(controls, id, -1);
    for (int id : {snEnableId, kIdcUsbIsp, kIdcUartPos}) SelectChoice(controls, id, -1);
    // Radios of a group are exclusive: unchecking one needs the group's exclusivity off.
    for (int id : {kIdcLevel0, kIdcLevel1, kIdcReadWriteProtect, kIdcWriteProtect, kIdcNoneProtect}) {
        auto* button = controls.control<QAbstractButton>(id);
        if (!button) continue;
        QButtonGroup* group = button->group();
        if (group) group->setExclusive(false);
        button->setChecked(false);
        if (group) group->setExclusive(true);
    }
}

void ShowBootPin(ui::ControlSet& controls, const BootPinConfig& config, bool withSettings) {
    SelectChoice(controls, kIdcBootEnable, config.enabled ? 1 : 0);
    if (!withSettings) return;
    SelectChoice(controls, kIdcBootPort, config.port);
    SelectChoice(controls, kIdcBootPin, config.pin);
    SelectChoice(controls, kIdcBootPull, config.pullEnable ? 1 : 0);
    SelectChoice(controls, kIdcBootActive, config.activeHigh ? 1 : 0);
}

void ShowUart(ui::ControlSet& controls, const UartConfig& config) {
    SelectChoice(controls, kIdcUsbIsp, config.usbIspEnabled ? 1 : 0);
    SelectChoice(controls, kIdcUartPos, config.position);
}

void ShowUsbAndPll(ui::ControlSet& controls, const uint32_t (&words)[4]) {
    const int ids[] = {kIdcVid, kIdcPid, kIdcPllL, kIdcPllH};
    for (int i = 0; i < 4; ++i) controls.setText(ids[i], QString::fromStdString(strfmt("%04X", words[i] & 0xFFFF)));
}
