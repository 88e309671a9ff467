#include "controls/button_st.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "res/icons.h"
#include "res/strings.h"

namespace {

std::function<bool(const QUrl&)>& linkOpener() {
    static std::function<bool(const QUrl&)> opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

QColor sys(int index) { return colorFromRef(GetSysColor(index)); }

// A picture drawn in the disabled style: its shape in the highlight colour one pixel right
// and down, then in the shadow colour in place.
void drawDisabled(QPainter& p, QPoint at, const QImage& picture) {
    for (const auto& [offset, colour] : {std::pair{QPoint(1, 1), sys(COLOR_3DHILIGHT)}, {QPoint(0, 0), sys(COLOR_3DSHADOW)}})
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (qAlpha(picture.pixel(x, y)) != 0) gdi::pixel(p, at + offset + QPoint(x, y), colour);
}

}  // namespace

CButtonST::CButtonST(QWidget* parent) : QPushButton(parent) {
    ResetColors(false);
    setMouseTracking(true);
    connect(this, &QAbstractButton::clicked, this, &CButtonST::OnClicked);
}

CButtonST::~CButtonST() = default;

void CButtonST::SetLinkOpener(std::function<bool(const QUrl&)> opener) {
    linkOpener() = opener ? std::move(opener) : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void CButtonST::Attach(uint32_t style) {
    m_isCheckBox = (style & BS_CHECKBOX_BIT) != 0;
    m_isDefault = (style & 0x1F) == BS_DEFPUSHBUTTON;
    update();
}

void CButtonST::SetButtonStyle(uint32_t style) {
    if ((style & 0x1F) == BS_DEFPUSHBUTTON) m_isDefault = true;
    if ((style & 0x1F) == BS_PUSHBUTTON) m_isDefault = false;
    update();
}

void CButtonST::repaintIf(bool repaint) {
    if (repaint) update();
}

void CButtonST::freeImages() {
    for (Picture& picture : m_pictures) picture = {};
}

QImage CButtonST::GreyCopy(const QImage& icon) {
    QImage grey = icon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb c = grey.pixel(x, y);
            if ((c & 0xFFFFFF) == 0) continue;
            const int v = static_cast<int>(qRed(c) * 0.299 + qGreen(c) * 0.587 + qBlue(c) * 0.114);
            grey.setPixel(x, y, qRgba(v, v, v, qAlpha(c)));
        }
    return grey;
}

int CButtonST::SetIconImages(int inId, int outId) {
    const QImage in = res::iconPixmap(inId, 32).toImage();
    const QImage out = outId > 0 ? res::iconPixmap(outId, 32).toImage() : QImage();
    if (outId > 0 && out.isNull()) {
        freeImages();
        return BTNST_INVALIDRESOURCE;
    }
    return SetIconImages(in, out, outId == BTNST_AUTO_GRAY);
}

int CButtonST::SetIconImages(const QImage& in, const QImage& out, bool outGrey) {
    freeImages();
    // A grey copy needs the icon it copies: without one the button stays without pictures.
    if (in.isNull()) return BTNST_INVALIDRESOURCE;
    m_pictures[0].image = in.convertToFormat(QImage::Format_ARGB32);
    if (outGrey)
        m_pictures[1].image = GreyCopy(in);
    else if (!out.isNull())
        m_pictures[1].image = out.convertToFormat(QImage::Format_ARGB32);
    update();
    return BTNST_OK;
}

int CButtonST::SetBitmapImages(const QImage& in, COLORREF inTransparent, const QImage& out, COLORREF outTransparent) {
    freeImages();
    if (in.isNull()) return BTNST_INVALIDRESOURCE;
    // The transparent colour becomes the mask; those pixels are blackened and left undrawn.
    const auto masked = [](const QImage& bitmap, COLORREF transparent) {
        QImage image = bitmap.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = colorFromRef(transparent).rgb();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) | 0xFF000000) == key) image.setPixel(x, y, 0);
        return image;
    };
    m_pictures[0].image = masked(in, inTransparent);
    if (!out.isNull()) m_pictures[1].image = masked(out, outTransparent);
    update();
    return BTNST_OK;
}

int CButtonST::SetBitmapImages(int inId, COLORREF inTransparent, int outId, COLORREF outTransparent) {
    const QImage in = BCMenu::BitmapResource(inId);
    const QImage out = outId != 0 ? BCMenu::BitmapResource(outId) : QImage();
    if (outId != 0 && out.isNull()) {
        freeImages();
        return BTNST_INVALIDRESOURCE;
    }
    return SetBitmapImages(in, inTransparent, out, outTransparent);
}

int CButtonST::SetFlatLook(bool flat, bool repaint) {
    m_isFlat = flat;
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetImageAlignment(int align, bool repaint) {
    if (align < ST_ALIGN_HORIZ || align > ST_ALIGN_HORIZ_RIGHT) return BTNST_INVALIDALIGN;
    m_align = align;
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetCheck(bool checked, bool repaint) {
    if (m_isCheckBox) {
        m_checked = checked;
        repaintIf(repaint);
    }
    return BTNST_OK;
}

void CButtonST::OnSetCheck(int state) {
    if (!m_isCheckBox) return;
    m_checked = state == 1 || state == 2;
    update();
}

int CButtonST::ResetColors(bool repaint) {
    const COLORREF face = GetSysColor(COLOR_3DFACE), text = GetSysColor(COLOR_BTNTEXT);
    m_colors = {face, text, face, text, face, text};
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetColorEntry(int index, COLORREF color, bool repaint) {
    if (index < 0 || index >= BTNST_MAX_COLORS) return BTNST_INVALIDINDEX;
    m_colors[static_cast<size_t>(index)] = color;
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::GetColorEntry(int index, COLORREF& color) const {
    if (index < 0 || index >= BTNST_MAX_COLORS) return BTNST_INVALIDINDEX;
    color = m_colors[static_cast<size_t>(index)];
    return BTNST_OK;
}

int CButtonST::ShadeColorEntry(int index, int shade, bool repaint) {
    if (index < 0 || index >= BTNST_MAX_COLORS) return BTNST_INVALIDINDEX;
    if (shade < -255 || shade > 255) return BTNST_BADPARAM;
    COLORREF& color = m_colors[static_cast<size_t>(index)];
    // The shade shrinks so that no channel is clipped and the hue stays.
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = static_cast<int>((color >> shift) & 0xFF);
        if (shade > 0 && c + shade > 255) shade = 255 - c;
        if (shade < 0 && c + shade < 0) shade = -c;
    }
    COLORREF shaded = 0;
    for (int shift = 0; shift < 24; shift += 8)
        shaded |= static_cast<COLORREF>(static_cast<int>((color >> shift) & 0xFF) + shade) << shift;
    color = shaded;
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetHoverAlways(bool always) {
    m_alwaysTrack = always;
    return BTNST_OK;
}

int CButtonST::SetHoverCursor(const QCursor* cursor, bool repaint) {
    m_cursor = cursor != nullptr ? std::make_unique<QCursor>(*cursor) : nullptr;
    if (m_cursor)
        setCursor(*m_cursor);
    else
        unsetCursor();
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetBorderOnHover(bool border, bool repaint) {
    m_drawBorder = border;
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetFocusInFlat(bool focus, bool repaint) {
    m_drawFlatFocus = focus;
    repaintIf(repaint);
    return BTNST_OK;
}

void CButtonST::SetTipText(const QString& text, bool activate) {
    m_tipText = text;
    EnableTip(activate);
}

void CButtonST::SetTipText(int stringId, bool activate) {
    const QString text = res::loadString(stringId);
    if (!text.isEmpty()) SetTipText(text, activate);
}

void CButtonST::EnableTip(bool enable) {
    if (m_tipText.isNull()) return;
    m_tipActive = enable;
    setToolTip(enable ? m_tipText : QString());
}

void CButtonST::UseParentBackground(bool repaint) {
    m_drawTransparent = true;
    m_background = QPixmap();
    repaintIf(repaint);
}

int CButtonST::SetLinkTarget(const QString& url) {
    // Kept whole, however long.
    m_url = url;
    return BTNST_OK;
}

int CButtonST::setDropDown(const std::function<bool(BCMenu&)>& load, QObject* notify,
                           std::function<void(int)> onCommand, bool xp, int toolbarId, QSize imageSize,
                           COLORREF toolbarBackground, bool repaint) {
    m_menu.DestroyMenu();
    m_menuNotify = nullptr;
    m_onMenuCommand = nullptr;
    if (load) {
        BCMenu::SetDrawMode(xp ? 1 : 0);
        if (!load(m_menu)) return BTNST_INVALIDRESOURCE;
        if (toolbarId != 0) {
            m_menu.SetImageBackground(toolbarBackground);
            m_menu.SetImageSize(imageSize.width(), imageSize.height());
            if (!m_menu.LoadToolbarImages(toolbarId)) {
                m_menu.DestroyMenu();
                return BTNST_INVALIDRESOURCE;
            }
        }
        m_menuNotify = notify;
        m_onMenuCommand = std::move(onCommand);
    }
    repaintIf(repaint);
    return BTNST_OK;
}

int CButtonST::SetDropDownMenu(int menuId, QObject* notify, std::function<void(int)> onCommand, bool xp,
                               int toolbarId, QSize imageSize, COLORREF toolbarBackground, bool repaint) {
    std::function<bool(BCMenu&)> load;
    if (menuId != 0) load = [menuId](BCMenu& menu) { return menu.LoadMenu(menuId); };
    return setDropDown(load, notify, std::move(onCommand), xp, toolbarId, imageSize, toolbarBackground, repaint);
}

int CButtonST::SetDropDownMenu(const res::MenuTemplate& menu, QObject* notify, std::function<void(int)> onCommand,
                               bool xp) {
    return setDropDown([&menu](BCMenu& m) { return m.LoadMenu(menu); }, notify, std::move(onCommand), xp, 0,
                       {16, 15}, 0xC0C0C0, true);
}

void CButtonST::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (m_isCheckBox) {
        m_checked = !m_checked;
        update();
        return;
    }
    if (m_menu.GetSafeHmenu() != 0) {
        // Only a popup can drop down; a menu without one shows nothing.
        const HMENU popup = menus::GetSubMenu(m_menu.GetSafeHmenu(), 0);
        if (popup == 0) return;
        m_menuShowing = true;
        repaint();
        BCMenu* level = BCMenu::FromHandlePermanent(popup);
        BCMenuView view(level != nullptr ? *level : m_menu, popup, this);
        m_menuView = &view;
        const int command = view.execAt(mapToGlobal(QPoint(0, height())));
        m_menuView = nullptr;
        m_menuShowing = false;
        update();
        if (command != 0 && m_menuNotify && m_onMenuCommand) {
            QMetaObject::invokeMethod(m_menuNotify, [handler = m_onMenuCommand, command] { handler(command); },
                                      Qt::QueuedConnection);
        }
        return;
    }
    if (!m_url.isEmpty()) linkOpener()(QUrl(m_url));
}

void CButtonST::trackHover() {
    if (!m_isFlat || m_mouseOver) return;
    // A press that started elsewhere does not light the button.
    if ((QApplication::mouseButtons() & Qt::LeftButton) != 0) return;
    if (!underMouse() && !rect().contains(mapFromGlobal(QCursor::pos()))) return;
    if (!m_alwaysTrack && QApplication::activeWindow() == nullptr) return;
    m_mouseOver = true;
    update();
}

void CButtonST::endHover() {
    if (m_isFlat && m_mouseOver) {
        m_mouseOver = false;
        update();
    }
}

void CButtonST::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    trackHover();
}

void CButtonST::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if (rect().contains(event->position().toPoint()))
        trackHover();
    else
        endHover();
}

void CButtonST::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    endHover();
}

void CButtonST::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    endHover();
}

void CButtonST::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        if (hasFocus() && parentWidget() != nullptr) {
            // The next tab stop of the holder takes the focus, or the holder when there is none.
            QWidget* next = nextInFocusChain();
            while (next != this && !(next->isEnabled() && (next->focusPolicy() & Qt::TabFocus) != 0 &&
                                     parentWidget()->isAncestorOf(next)))
                next = next->nextInFocusChain();
            (next != this ? next : parentWidget())->setFocus(Qt::TabFocusReason);
        }
        endHover();
    } else if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        endHover();
    }
}

bool CButtonST::pressed() const {
    if (isDown()) return true;
    if (m_isCheckBox) return m_checked;
    return m_menuShowing;
}

int CButtonST::PaintFace(QPainter& p, const QRect& r) {
    const bool down = pressed();
    const int index = m_mouseOver || down ? BTNST_COLOR_BK_IN : hasFocus() ? BTNST_COLOR_BK_FOCUS : BTNST_COLOR_BK_OUT;
    p.fillRect(r, color(index));
    return BTNST_OK;
}

int CButtonST::PaintFrame(QPainter& p, const QRect& r) {
    if (pressed())
        gdi::draw3dRect(p, r, sys(COLOR_3DSHADOW), sys(COLOR_3DHILIGHT));
    else
        gdi::draw3dRect(p, r, sys(COLOR_3DHILIGHT), sys(COLOR_3DSHADOW));
    return BTNST_OK;
}

void CButtonST::drawPicture(QPainter& p, const QRect& item, QRect& textRect, bool pressedState, bool disabled) {
    const bool outside = m_isCheckBox ? !pressedState : !pressedState && !m_mouseOver;
    const QImage& picture = outside && !m_pictures[1].image.isNull() ? m_pictures[1].image : m_pictures[0].image;
    if (picture.isNull()) return;
    const int w = picture.width(), h = picture.height();
    const bool hasText = !text().isEmpty();
    const int l = item.left(), t = item.top();
    QPoint at(l + (item.width() - w) / 2, t + (item.height() - h) / 2);
    switch (m_align) {
        case ST_ALIGN_HORIZ:
            if (hasText) {
                at.setX(l + 3);
                textRect.setLeft(l + w + 3);
            }
            break;
        case ST_ALIGN_VERT:
            if (hasText) {
                at.setY(t + 3);
                textRect.setTop(textRect.top() + h);
            }
            break;
        default:
            if (hasText) {
                // The text keeps the width left of the picture, from 3 on.
                const int textEnd = textRect.width() - w - 3;
                at.setX(width() - w - 3);
                textRect.setLeft(3);
                textRect.setRight(textEnd - 1);
            } else {
                at.setY(t);
            }
            break;
    }
    if (pressedState && !m_isCheckBox) at += QPoint(1, 1);
    if (disabled && m_showDisabledBitmap)
        drawDisabled(p, at, picture);
    else
        p.drawImage(at, picture);
}

void CButtonST::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool down = pressed();
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();
    QRect item = rect();
    if (!m_isFlat && (focused || m_isDefault)) {
        gdi::draw3dRect(p, item, Qt::black, Qt::black);
        item.adjust(1, 1, -1, -1);
    }
    if (m_drawTransparent) {
        if (m_background.isNull() && parentWidget() != nullptr) {
            // Only the holder's own painting, not its children, this button included.
            m_background = QPixmap(size());
            parentWidget()->render(&m_background, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
        }
        p.drawPixmap(0, 0, m_background);
    } else {
        PaintFace(p, item);
    }
    const int l = item.left(), t = item.top(), r = item.x() + item.width(), b = item.y() + item.height();
    if (down) {
        if (!m_isFlat)
            gdi::draw3dRect(p, item, sys(COLOR_3DSHADOW), sys(COLOR_3DSHADOW));
        else if (m_drawBorder)
            PaintFrame(p, item);
    } else if (!m_isFlat) {
        gdi::polyline(p, {{l, b - 1}, {l, t}, {r, t}}, sys(COLOR_3DHILIGHT));
        gdi::polyline(p, {{l + 1, b - 1}, {l + 1, t + 1}, {r, t + 1}}, sys(COLOR_3DLIGHT));
        gdi::polyline(p, {{l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}}, sys(COLOR_3DDKSHADOW));
        gdi::polyline(p, {{l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}}, sys(COLOR_3DSHADOW));
    } else if (m_mouseOver && m_drawBorder) {
        PaintFrame(p, item);
    }
    QRect textRect = item;
    drawPicture(p, item, textRect, down, disabled);
    if (!text().isEmpty()) {
        if (down && !m_isCheckBox) textRect.translate(1, 1);
        constexpr int kFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::TextShowMnemonic;
        p.setFont(font());
        QRect bounds = p.fontMetrics().boundingRect(textRect, kFlags, text());
        bounds.moveCenter(textRect.center());
        if (disabled) {
            p.setPen(sys(COLOR_3DHILIGHT));
            p.drawText(bounds.translated(1, 1), kFlags, text());
            p.setPen(sys(COLOR_3DSHADOW));
        } else {
            const bool outside = !m_mouseOver && !down;
            p.setPen(color(outside ? BTNST_COLOR_FG_OUT : BTNST_COLOR_FG_IN));
        }
        p.drawText(bounds, kFlags, text());
    }
    if ((focused && !m_isFlat) || (m_isFlat && m_drawFlatFocus)) {
        // The dotted focus frame, every other pixel.
        const QRect f = item.adjusted(3, 3, -3, -3);
        for (int x = f.left(); x <= f.right(); x += 2) {
            gdi::pixel(p, {x, f.top()}, Qt::black);
            gdi::pixel(p, {x, f.bottom()}, Qt::black);
        }
        for (int y = f.top(); y <= f.bottom(); y += 2) {
            gdi::pixel(p, {f.left(), y}, Qt::black);
            gdi::pixel(p, {f.right(), y}, Qt::black);
        }
    }
}
