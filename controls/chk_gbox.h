#pragma once
// A group box whose caption is a check box: checked, every control of the dialog that lies
// on the group box's frame (even partly) is enabled; otherwise they are all disabled.
#include <QAbstractButton>
#include <QGroupBox>
#include <memory>

class CChkGBox : public QGroupBox {
    Q_OBJECT
public:
    static constexpr int kTitleButtonId = 0xFFFF;
    static constexpr int kCheckBoxStyle = 3;  // auto check box, the one the dialogs use
    static constexpr int kRadioStyle = 9;     // auto radio button; boxes of one group id exclude each other

    explicit CChkGBox(QWidget* parent = nullptr);
    ~CChkGBox() override;

    // Lays the title button over the caption; any style but the two above creates nothing.
    void CreateTitleButton(int style);
    // 0 unchecked, 1 checked, 2 indeterminate (which disables the framed controls).
    int GetCheck() const;
    void SetCheck(int state);
    void EnableGroupControls();
    void SetGroupId(int id) { m_nGroupId = id; }
    int GetGroupId() const { return m_nGroupId; }
    QAbstractButton* titleButton() const { return m_pTitle.get(); }

private:
    void OnTitleClicked();

    std::unique_ptr<QAbstractButton> m_pTitle;
    int m_nGroupId = 0;
};
