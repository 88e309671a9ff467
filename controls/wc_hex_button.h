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

    explicit wcHexButton(QWidget* parent = nullptr);
    ~wcHexButton() override;

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
