#pragma once
// A number field with a small base button beside the digits: "x" for hexadecimal, "d" for
// decimal. The button (or Ctrl with the full stop) opens a list of the choices "Hex" and
// "Dec"; picking one switches the base and rewrites the number in it. The key filter lets
// through only what the current base allows. The holder learns of changes through
// textChanged, as from a plain edit.
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/dialog_builder.h"

class wcHexButton;

// The popup list of choices, placed below the field, or above it when the window holding
// the field leaves too little room below.
class wcHexDecWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kListId = 1002;
    static constexpr int kMinWidth = 45;

    explicit wcHexDecWnd(wcHexButton* owner);
    QListWidget* list() { return &m_list; }
    void FillAndPlace();
    // A click in the list: the first selected entry sets the base; no selection changes nothing.
    void OnChoiceClicked();
    // Copies each entry's check back into its choice and hides the list.
    void Close();
    // A key in the list: Enter or Esc closes the list without a choice (true: the key is
    // taken); any other key is the list's own.
    bool OnListKeyDown(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    wcHexButton* m_pOwner;
    QListWidget m_list;
};

class wcHexButton : public QLineEdit {
    Q_OBJECT
public:
    struct CChoice {
        int m_nValue;  // for the popup: 1 checked, 0 unchecked
        QString m_strName;
    };
    enum ButtonState { Normal = 0, Pressed = 1, Disabled = 2 };

    // Messages the field passes on to its parent with its own control id.
    static constexpr unsigned kMsgForward = 0x8B1;
    static constexpr unsigned kMsgForwardAfterReset = 0x8B2;  // the button is drawn normal first
    // Window styles that CreateEx reads.
    static constexpr uint32_t WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000, WS_BORDER = 0x00800000;
    static constexpr uint32_t WS_EX_CLIENTEDGE = 0x200;

    explicit wcHexButton(QWidget* parent = nullptr);
    ~wcHexButton() override;

    // Creates the field without a template: a child of parent at rect with the parent's font,
    // the button on the left or the right. False without a parent, or when the field is
    // already placed on a dialog.
    virtual bool CreateEx(bool buttonOnLeft, uint32_t exStyle, const QString& text, uint32_t style, const QRect& rect,
                          QWidget* parent, int id);
    // A message sent to the field: kMsgForward and kMsgForwardAfterReset reach the parent
    // through parentMessage with the same wParam and the field's id; false for any other.
    bool SendMessage(unsigned message, quintptr wParam);
    // The desktop's default beep.
    void DefaultBeep();

    int IsHex() const { return m_bHex; }
    // Stores the base only; the text is rewritten the next time the button is drawn.
    void SetHexMode(int hex) { m_bHex = hex; }
    void AddChoice(const QString& name, int value);
    int GetChoiceValue(int index) const;
    void SetChoiceValue(int index, int value);
    int GetChoiceCount() const { return static_cast<int>(m_choices.size()); }
    const QString& GetChoiceName(int index) const { return m_choices.at(static_cast<size_t>(index)).m_strName; }
    QListWidget* GetPopupList() { return m_pPopup->list(); }
    wcHexDecWnd* popup() { return m_pPopup.get(); }
    void ShowChoices();
    // Draws the button in the state and rewrites the text when the base changed since.
    void DrawButton(int state);
    bool HitButton(const QPoint& globalPos) const;
    void SetButtonOnLeft(bool onLeft);
    QRect buttonRect() const;
    // Top left of the base letter ("x" or "d") on the button.
    QPoint letterAt() const;
    int drawnState() const { return m_nDrawnState; }

    // When set, adding a choice enables the field while it has choices.
    int m_bAutoEnable = 0;

signals:
    // A message passed on to the parent: the holder connects to it as its handler.
    void parentMessage(unsigned message, quintptr wParam, qintptr controlId);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend void DDX_wcHexButton(ui::ControlSet& controls, int id, wcHexButton& field);
    void updateMargins();
    int borderWidth() const;

    int m_bHex = 1;
    int m_bShownHex = 1;
    int m_bButtonOnLeft = 0;
    int m_bTracking = 0;
    int m_nDrawnState = Normal;
    bool m_bBound = false;
    std::vector<CChoice> m_choices;
    std::unique_ptr<wcHexDecWnd> m_pPopup;
};

// The dialog's data exchange for a hex/decimal field: on the first exchange the field takes
// the place of the template's edit control of that id, with the button on the left; later
// exchanges leave it as it is.
void DDX_wcHexButton(ui::ControlSet& controls, int id, wcHexButton& field);
