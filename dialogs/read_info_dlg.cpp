#include "dialogs/read_info_dlg.h"

#include <bit>

#include "core/globals.h"
#include "core/protect_area.h"
#include "dialogs/info_block_workers.h"
#include "dialogs/option_words_view.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "link/serial_flash_status.h"
#include "platform/byte_order.h"
#include "platform/strfmt.h"
#include "platform/ui.h"
#include "res/adapter_tool_templates.h"

using namespace res;
using engine_hid::Pause;

namespace {

constexpr uint32_t kImagePage = 0x100;
constexpr uint32_t kLimitsPage = 0x101;
constexpr uint32_t kOptionsPage = 0x105;
constexpr uint32_t kSerialPage = 0x130;
constexpr uint8_t kMarkerOn = 0xAA;
constexpr size_t kSerialFlags = 7;
constexpr size_t kOptionSlots = 0x28;

uint32_t Slot(const SerialFlashPage& page, int index) { return LittleEndianAt(page, kOptionSlots + 4 * index); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

bool ReadSerialFlashPage(WorkerPage& report, uint32_t index, SerialFlashPage& out) {
    out.fill(0xFF);
    if (HidSfReadPage(index) == 1 && HidSfReadPageBuffer(0, out) == 1) return true;
    out.fill(0xFF);
    ReportReadFailure(report, index * kSerialFlashPageSize);
    return false;
}

}  // namespace

FlashInfoPages ReadFlashInfoPages(WorkerPage& page) {
    for (int i = 0; i < 6; ++i) Pause(1);
    FlashInfoPages pages;
    for (SerialFlashPage* p : {&pages.image, &pages.limits, &pages.options, &pages.serial}) p->fill(0xFF);
    // A busy flash ignores page reads: the adapter's page buffer would show as the block.
    if (serial_flash::waitWhileBusy(page)) {
        ReadSerialFlashPage(page, kImagePage, pages.image);
        ReadSerialFlashPage(page, kLimitsPage, pages.limits);
        ReadSerialFlashPage(page, kOptionsPage, pages.options);
        if (pages.limits[kSerialFlags] != 0xFF) ReadSerialFlashPage(page, kSerialPage, pages.serial);
    }
    SettleAfterTask();
    return pages;
}

CReadInfoDlg::CReadInfoDlg(QWidget* parent) : ToolDialog(kReadInfo181, kNoId, parent), m_Map(new CProtectArea(this)) {
    controls().replace(kIdcProtectMap, m_Map);
    FillOptionChoices(controls(), kIdcSnEnableInfo);
    onClicked(1, &CReadInfoDlg::accept);
    // The fields only show what was read.
    for (int id : {kIdcLimitEnable, kIdcInfoBlockOn, kIdcBootDataOn, kIdcLevel0, kIdcLevel1, kIdcSerialOn,
                   kIdcSerialInEeprom, kIdcSerialAutoInc})
        controls().control(id)->setAttribute(Qt::WA_TransparentForMouseEvents);
    task_.start([this] { ReadInfoThread(*this); });
}

void ReadInfoThread(CReadInfoDlg& dialog) {
    const FlashInfoPages pages = ReadFlashInfoPages(dialog.page_);
    ui::sendToUi([&] { dialog.ShowFlashInfo(pages); });
}

void CReadInfoDlg::ShowFlashInfo(const FlashInfoPages& pages) {
    controls().setText(kIdcImageSizeInfo, Text(strfmt("%d", LittleEndianAt(pages.image, 0, 2) + 1)));
    controls().setText(kIdcImageCrcInfo, Text(strfmt("%04X", LittleEndianAt(pages.image, 2, 2))));
    const bool bootData = pages.image[4] == kMarkerOn;
    controls().setChecked(kIdcBootDataOn, bootData);

    const uint32_t chipMode = pages.limits[3];
    controls().setText(kIdcChipNameInfo, chipMode < kChipModeCount ? Text(g_strChipName[chipMode]) : QString());
    controls().setChecked(kIdcInfoBlockOn, pages.limits[2] == kMarkerOn);
    const uint32_t quantity = LittleEndianAt(pages.limits, 0, 2);
    controls().setChecked(kIdcLimitEnable, quantity != 0xFFFF);
    controls().setText(kIdcLimitQuantity, quantity != 0xFFFF ? Text(strfmt("%d", quantity)) : QString());

    const uint8_t serialFlags = pages.limits[kSerialFlags];
    const bool serialOn = serialFlags != 0xFF;
    controls().setChecked(kIdcSerialOn, serialOn);
    controls().setChecked(kIdcSerialInEeprom, serialOn && (serialFlags & 0x80));
    controls().setChecked(kIdcSerialAutoInc, serialOn && (serialFlags & 0x40));
    controls().setText(kIdcSerialAddrInfo, serialOn ? Text(strfmt("%X", LittleEndianAt(pages.limits, 4, 3))) : QString());
    controls().setText(kIdcLastSerialInfo, serialOn ? Text(strfmt("%u", LittleEndianAt(pages.serial, 0, 4))) : QString());

    const SerialFlashPage& options = pages.options;
    const bool level0 = options[0x10] == kMarkerOn;
    controls().setChecked(kIdcLevel0, level0);
    controls().setChecked(kIdcLevel1, !level0);
    // Type 0 protects the blocks whose mask bits are clear, type 1 those whose bits are set.
    const uint32_t type = (options[0x11] & 1) ? 0 : 1;
    const uint16_t mask = static_cast<uint16_t>(LittleEndianAt(options, 0x18, 2));
    const uint16_t protectedBlocks = type == 0 ? static_cast<uint16_t>(~mask) : mask;
    m_Map->m_dwProtectAddr = static_cast<uint32_t>(std::popcount(protectedBlocks)) * 4096;
    m_Map->m_wMask = protectedBlocks;
    m_Map->m_nType = type;
    m_Map->update();

    const uint32_t usbAndPll[4] = {Slot(options, 0), Slot(options, 1), Slot(options, 2), Slot(options, 3)};
    ShowUsbAndPll(controls(), usbAndPll);
    if (bootData) SelectChoice(controls(), kIdcSnEnableInfo, (Slot(options, 4) & 0xFFFF) == 0xFFFF ? 1 : 0);
    const int serialIds[] = {kIdcSn1, kIdcSn2, kIdcSn3};
    for (int i = 0; i < 3; ++i) controls().setText(serialIds[i], Text(strfmt("%04X", Slot(options, 5 + i) & 0xFFFF)));
    if (bootData) {
        ShowBootPin(controls(), DecodeBootPin(static_cast<uint16_t>(Slot(options, 8))), true);
        ShowUart(controls(), DecodeUart(static_cast<uint16_t>(Slot(options, 9))));
    }
}
