#pragma once
// "Page Erase": a range of 256-byte pages as a first page and a page count, each typed in
// hexadecimal or decimal, with the byte range they cover. The dialog erases nothing itself.
#include <cstdint>
#include <optional>

#include "controls/wc_hex_button.h"
#include "platform/dialog_builder.h"

class CPageEraseDlg : public ui::TemplateDialog {
public:
    static constexpr uint32_t kMaxPages = 1000;

    explicit CPageEraseDlg(QWidget* parent = nullptr);

    // Set by the caller before exec(); values outside 0..1000 and 1..1000 are brought inside
    // before the dialog shows them.
    uint32_t m_nFromPage = 0;
    uint32_t m_nPageCount = 1;

    wcHexButton m_editFromPage;
    wcHexButton m_editPageCount;

    // 0 valid, 1 a bad character (an empty text too), 2 above the limit; every character counts.
    static uint32_t CheckDecText(const std::string& text, uint32_t limit);
    static uint32_t CheckHexText(const std::string& text, uint32_t limit);

    int exec() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Binds the two number fields to their edits.
    void DoDataExchange();
    void OnInitDialog();
    void OnChangeFromPage();
    void OnChangePageCount();
    // The number in a field; a rejected text brings its message and the field's last value back.
    std::optional<uint32_t> ReadPageField(wcHexButton& field, uint32_t current, const char* what);
    // Enter moves on (or presses OK when it has the focus), Esc stays, Up and Down move the focus.
    bool PreTranslateMessage(QObject* target, int key);
    void ShowBytes();
};
