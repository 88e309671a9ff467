#pragma once
// The programming configuration "Configuration" of the IC page and the serial-flash page: read
// protection, PcROP type and protected area of the targets' information block, the ISP boot
// data, the parameter file, and the CRC of the information block they give, shown before
// anything is burned. The dialog works on its own copies; its opener takes them over on OK.
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "core/counters.h"
#include "engine_hid/info_block_image.h"
#include "platform/dialog_builder.h"

class CChkGBox;
class CProtectArea;

// Runs the dialog unless a task runs. On OK the protection settings are stored and saved, and
// every setting the shown CRC was taken over becomes the one the next information-block burn
// writes. True on OK.
bool RunProgrammingConfig(QWidget* parent);

class CConfigDlg : public ui::TemplateDialog {
public:
    explicit CConfigDlg(QWidget* parent = nullptr);

    // CRC-16 of the information-block image of the dialog's settings; 0, after telling the
    // operator, when the parameter file is enabled and cannot be read.
    uint16_t CalcConfigCRC();
    void accept() override;

    InfoBlockSettings m_Info;   // what the image is built from
    // Whether OK's saves reached the settings store and the INI file; the opener tells the operator.
    CountsSave m_StoreSaved = CountsSave::Saved, m_IniSaved = CountsSave::Saved;
    uint32_t m_dwProtectAddr = 0;   // carried through to the opener unchanged
    uint32_t m_dwSerialAddr = 0;    // shown only
    uint32_t m_nInitialSerial = 0;  // shown only
    uint32_t m_nOpenedSerial = 0;   // what the field opened with, put back after a refusal

    // The delayed check of the hidden start-address field, which nothing starts: frame 1003
    // shows while the countdown runs down, one step each 50 ms, to 0 or until the stop flag is
    // set; then an address that is no multiple of 256 is refused and the stored one put back.
    void StartAddrCheck();
    // One step of the countdown (the check's timer calls it).
    void OnStartAddrTick();
    std::optional<uint32_t> m_StartAddrEntered;  // as field 1001 holds it; none when not hex
    int m_nStartAddrCountdown = 0;
    bool m_bStopStartAddrCheck = false;
    QTimer m_StartAddrTimer;

private:
    void OnChangeStartAddr();
    void OnSelChangeChipModel();
    void OnLevel(int box, uint32_t level);
    void OnPcropType(int box, uint32_t type);
    void OnProtectMap();
    void OnSetting();
    void OnBootDataEnable();
    void OnSerialEnable();
    void OnParamEnable();
    void OnChooseParamFile();
    void OnCalculateCrc();
    void OnChangeSerialAddr();
    void OnChangeInitialSerial();

    void ShowLevel();
    void ShowPcropType();
    void ShowProtectMap();
    void ShowCrc();

    CChkGBox* m_InfoGroup;
    CProtectArea* m_ProtectMap;
};
