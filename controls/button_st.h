#pragma once
// A push button that paints itself: flat or 3D, six colours, one picture for the pointer over
// the button (or pressed) and one for the pointer outside, the picture left of, above or right
// of the text, hover while the pointer is over it, a check-box mode, a transparent mode over
// the holder's background, and a click that drops down an owner-drawn menu or opens a link.
// Setters answer a result code: 0 done, else one of the codes below.
#include <QCursor>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

#include "controls/bc_menu.h"
#include "controls/gdi_paint.h"

class CButtonST : public QPushButton {
    Q_OBJECT
public:
    enum Result {
        BTNST_OK = 0,
        BTNST_INVALIDRESOURCE = 1,  // a picture, cursor or menu that could not be used
        BTNST_FAILEDMASK = 2,
        BTNST_INVALIDINDEX = 3,  // colour index not 0 to 5
        BTNST_INVALIDALIGN = 4,  // alignment not 0 to 2
        BTNST_BADPARAM = 5,      // shade outside -255 to 255
    };
    enum ColorIndex { BTNST_COLOR_BK_IN, BTNST_COLOR_FG_IN, BTNST_COLOR_BK_OUT, BTNST_COLOR_FG_OUT,
                      BTNST_COLOR_BK_FOCUS, BTNST_COLOR_FG_FOCUS, BTNST_MAX_COLORS };
    enum Align { ST_ALIGN_HORIZ = 0, ST_ALIGN_VERT = 1, ST_ALIGN_HORIZ_RIGHT = 2 };
    static constexpr int BTNST_AUTO_GRAY = -2;  // the outside picture: a grey copy of the inside one
    static constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX_BIT = 0x2;

    explicit CButtonST(QWidget* parent = nullptr);
    ~CButtonST() override;

    // Attaching to a template's button: bit 0x2 of its style makes a check box, the
    // default-button type makes the default button.
    void Attach(uint32_t style);
    // A new button style from the holder: the default-button type sets the default mark,
    // the plain type clears it.
    void SetButtonStyle(uint32_t style);

    int SetIconImages(int inId, int outId);
    int SetIconImages(const QImage& in, const QImage& out = {}, bool outGrey = false);
    int SetBitmapImages(const QImage& in, COLORREF inTransparent, const QImage& out = {}, COLORREF outTransparent = 0);
    // Bitmap resources by id; out id 0 for none.
    int SetBitmapImages(int inId, COLORREF inTransparent, int outId = 0, COLORREF outTransparent = 0);
    int SetFlatLook(bool flat, bool repaint = true);
    int SetImageAlignment(int align, bool repaint = true);
    int SetCheck(bool checked, bool repaint = true);
    bool GetCheck() const { return m_checked; }
    // A check state sent to the button: 1 or 2 check it, anything else unchecks it.
    void OnSetCheck(int state);
    int ResetColors(bool repaint = true);
    int SetColorEntry(int index, COLORREF color, bool repaint = true);
    int GetColorEntry(int index, COLORREF& color) const;
    int ShadeColorEntry(int index, int shade, bool repaint = true);
    int SetHoverAlways(bool always);
    int SetHoverCursor(const QCursor* cursor, bool repaint = true);
    int SetBorderOnHover(bool border, bool repaint = true);
    int SetFocusInFlat(bool focus, bool repaint = true);
    void SetTipText(const QString& text, bool activate = true);
    // The tip from the string resources; an id without a string changes nothing.
    void SetTipText(int stringId, bool activate = true);
    void EnableTip(bool enable);
    bool IsDefaultButton() const { return m_isDefault; }
    bool IsCheckBox() const { return m_isCheckBox; }
    bool IsHovered() const { return m_mouseOver; }
    bool IsMenuShowing() const { return m_menuShowing; }
    void UseParentBackground(bool repaint = true);
    int SetLinkTarget(const QString& url);
    QString linkTarget() const { return m_url; }
    // The drop-down menu: its first popup opens under the button on a click, and a chosen
    // command reaches `onCommand` as a queued call in the notify object's thread. Menu id 0
    // removes the menu.
    int SetDropDownMenu(int menuId, QObject* notify, std::function<void(int)> onCommand, bool xp = true,
                        int toolbarId = 0, QSize imageSize = {16, 15}, COLORREF toolbarBackground = 0xC0C0C0,
                        bool repaint = true);
    int SetDropDownMenu(const res::MenuTemplate& menu, QObject* notify, std::function<void(int)> onCommand,
                        bool xp = true);
    BCMenu& dropDownMenu() { return m_menu; }
    // The view of the open drop-down, while it shows.
    BCMenuView* openMenuView() const { return m_menuView; }

    virtual int PaintFace(QPainter& p, const QRect& r);
    virtual int PaintFrame(QPainter& p, const QRect& r);

    // A grey copy of an icon: every pixel that is not pure black takes its grey value; the
    // mask stays.
    static QImage GreyCopy(const QImage& icon);
    // How links open; tests install a recorder. nullptr restores the desktop's.
    static void SetLinkOpener(std::function<bool(const QUrl&)> opener);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Picture {
        QImage image;  // its mask is the alpha channel
    };
    void OnClicked();
    void trackHover();
    void endHover();
    void freeImages();
    void repaintIf(bool repaint);
    bool pressed() const;
    QColor color(int index) const { return colorFromRef(m_colors[static_cast<size_t>(index)]); }
    void drawPicture(QPainter& p, const QRect& item, QRect& textRect, bool pressedState, bool disabled);
    int setDropDown(const std::function<bool(BCMenu&)>& load, QObject* notify, std::function<void(int)> onCommand,
                    bool xp, int toolbarId, QSize imageSize, COLORREF toolbarBackground, bool repaint);

    bool m_showDisabledBitmap = true;
    bool m_isFlat = true;
    bool m_mouseOver = false;
    bool m_drawTransparent = false;
    bool m_isDefault = false;
    bool m_isCheckBox = false;
    int m_align = ST_ALIGN_HORIZ;
    bool m_drawBorder = true;
    bool m_drawFlatFocus = false;
    std::array<COLORREF, BTNST_MAX_COLORS> m_colors{};
    QPointer<QObject> m_menuNotify;
    std::function<void(int)> m_onMenuCommand;
    bool m_menuShowing = false;
    BCMenu m_menu;
    BCMenuView* m_menuView = nullptr;
    std::unique_ptr<QCursor> m_cursor;
    QString m_tipText;
    bool m_tipActive = false;
    QPixmap m_background;  // the holder's pixels under the button, for the transparent mode
    bool m_alwaysTrack = true;
    bool m_checked = false;
    QString m_url;
    std::array<Picture, 2> m_pictures;  // [0] pointer over or pressed, [1] pointer outside
};
