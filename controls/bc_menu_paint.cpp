#include "controls/bc_menu.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidgetAction>
#include <algorithm>

using namespace menus;

namespace {

QColor sys(int index) { return colorFromRef(GetSysColor(index)); }

// Where an item's picture comes from: its own list, or the shared list of its command.
struct Picture {
    const CImageList* list = nullptr;
    int index = -1;
    int faded = -1, shadow = -1;  // the XP look's copies, when the list holds them
    explicit operator bool() const { return list != nullptr; }
};

Picture pictureOf(const BCMenuData& record) {
    Picture pic;
    if (record.images && record.imageOffset >= 0 && record.imageOffset < record.images->GetImageCount()) {
        pic.list = record.images.get();
        pic.index = record.imageOffset;
        if (record.imageOffset == 0 && BCMenu::g_bcmOptionFlag != 0 && record.images->GetImageCount() > 2) {
            pic.faded = 1;
            pic.shadow = 2;
        }
    } else if (record.imageId < 0 && record.globalImage >= 0 &&
               record.globalImage < BCMenu::g_bcmImageList.GetImageCount()) {
        pic.list = &BCMenu::g_bcmImageList;
        pic.index = record.globalImage;
        const auto& ids = BCMenu::g_bcmImageIds;
        const size_t g = static_cast<size_t>(record.globalImage);
        if (BCMenu::g_bcmOptionFlag != 0 && g + 2 < ids.size() && ids[g + 1] == ids[g] && ids[g + 2] == ids[g]) {
            pic.faded = record.globalImage + 1;
            pic.shadow = record.globalImage + 2;
        }
    }
    return pic;
}

// A rectangle from Windows edges: [left, right) x [top, bottom).
QRect edges(int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); }

void frame(QPainter& p, const QRect& r, const QColor& c) { gdi::draw3dRect(p, r, c, c); }

// The etched line of a separator: shadow above, highlight below.
void etchedTop(QPainter& p, int l, int r, int top) {
    p.fillRect(edges(l, top, r, top + 1), sys(COLOR_3DSHADOW));
    p.fillRect(edges(l, top + 1, r, top + 2), sys(COLOR_3DHILIGHT));
}

// The tick: seven strokes of three pixels, each starting lower or higher than the last.
void tick(QPainter& p, QPoint at, const QColor& c) {
    constexpr int kStart[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i) p.fillRect(at.x() + i, at.y() + kStart[i], 1, 3, c);
}

void drawText(QPainter& p, QRect r, const QString& text, int imageWidth, const QColor& color) {
    if (text.isEmpty()) return;
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QString left = tab < 0 ? text : text.left(tab);
    p.setPen(color);
    p.setFont(BCMenu::menuFont());
    constexpr int kFlags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextShowMnemonic;
    if (tab >= 0) {
        r.setRight(r.right() - imageWidth);
        p.drawText(r, kFlags | Qt::AlignRight, text.mid(tab + 1));
    }
    p.drawText(r, kFlags | Qt::AlignLeft, left);
}

}  // namespace

BCMenuMemDC::BCMenuMemDC(QPainter& target, const QRect& rect)
    : target_(target), rect_(rect), offScreen_(target.device()->devType() != QInternal::Printer) {
    if (!offScreen_) return;
    bitmap_ = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
    surface_.begin(&bitmap_);
    surface_.setRenderHints(target.renderHints());
    surface_.setFont(target.font());
    surface_.setPen(target.pen());
    surface_.translate(-rect.topLeft());
}

BCMenuMemDC::~BCMenuMemDC() {
    if (!offScreen_) return;
    surface_.end();
    target_.drawImage(rect_.topLeft(), bitmap_);
}

void BCMenu::DrawItem(const DrawItemStruct& item) {
    if (item.data == nullptr || item.painter == nullptr) return;
    if (!item.palette256 && IsXpStyle())
        drawXp(item);
    else
        drawClassic(item);
}

void BCMenu::drawClassic(const DrawItemStruct& item) {
    QPainter& p = *item.painter;
    const BCMenuData& record = *item.data;
    const QRect& rc = item.item;
    const int l = rc.left(), t = rc.top(), r = rc.x() + rc.width(), b = rc.y() + rc.height();
    const QColor B = IsThemedXp() ? sys(COLOR_3DFACE) : sys(COLOR_MENU);
    const bool disabled = (item.state & ODS_GRAYED) != 0;
    const bool checked = (item.state & ODS_CHECKED) != 0;
    const bool selected = (item.state & ODS_SELECTED) != 0 && !(disabled && g_bcmSelectDisabledClassic == 0);
    if ((record.flags & MF_SEPARATOR) != 0) {
        p.fillRect(rc, B);
        etchedTop(p, l, r, t + rc.height() / 2);
        return;
    }
    const Picture pic = pictureOf(record);
    const bool checkImages = checked && !pic && m_checkImages &&
                             ((selected && m_selectedCheckId > 0) || m_normalCheckId > 0);
    const bool modern = g_bcmShellType >= 2;
    // The menu window's own background, which the system lays before the item is drawn.
    p.fillRect(rc, B);
    QColor textColor;
    if (selected) {
        const int from = pic || checkImages || checked ? l + m_imageWidth + 5 : l;
        p.fillRect(edges(from, t, r, b), sys(COLOR_HIGHLIGHT));
        textColor = sys(COLOR_HIGHLIGHTTEXT);
    } else {
        textColor = sys(COLOR_MENUTEXT);
    }
    const int dy = std::max(0, (rc.height() - 4 - m_imageHeight) / 2);
    const QRect cell = edges(l, t + dy, l + m_imageWidth + 4, t + dy + m_imageHeight + 4);
    const QPoint at(l + 2, t + dy + 2);
    if (pic || checkImages) frame(p, edges(l + 1, t + dy + 1, l + m_imageWidth + 3, t + dy + m_imageHeight + 3), B);
    if (checkImages) {
        p.fillRect(cell, B);
        m_checkImages->Draw(p, selected ? 1 : 0, at);
    } else if (pic && disabled) {
        frame(p, cell, B);
        const QImage rendered = RenderImage(*pic.list, pic.index);
        (m_embossDisabled ? PaintDisabledEmbossed : PaintDisabledMasked)(p, at, rendered, B);
    } else if (pic && selected && !disabled) {
        p.fillRect(cell, B);
        if (modern)
            gdi::draw3dRect(p, cell, checked ? sys(COLOR_3DSHADOW) : sys(COLOR_3DHILIGHT),
                            checked ? sys(COLOR_3DHILIGHT) : sys(COLOR_3DSHADOW));
        pic.list->Draw(p, pic.index, at);
    } else if (pic) {
        p.fillRect(cell, checked ? colorFromRef(BlendToWhite(refFromColor(B), 0.6)) : B);
        if (checked && modern) gdi::draw3dRect(p, cell, sys(COLOR_3DSHADOW), sys(COLOR_3DHILIGHT));
        pic.list->Draw(p, pic.index, at);
    } else if (checked) {
        const QRect box = edges(l + 1, t + dy + 2, l + m_imageWidth + 1, t + dy + m_imageHeight + 2);
        p.fillRect(box, selected ? B : colorFromRef(BlendToWhite(refFromColor(B), 0.6)));
        if (modern) gdi::draw3dRect(p, box, sys(COLOR_3DSHADOW), sys(COLOR_3DHILIGHT));
        tick(p, box.topLeft() + QPoint(4, 4), sys(COLOR_MENUTEXT));
    }
    const QRect text = edges(l + m_imageWidth + 9, t - 1, r, b - 1);
    if (!disabled) {
        drawText(p, text, record.text, m_imageWidth, textColor);
    } else if (selected) {
        drawText(p, text, record.text, m_imageWidth, B);
    } else {
        drawText(p, text.translated(1, 1), record.text, m_imageWidth, sys(COLOR_3DHILIGHT));
        drawText(p, text, record.text, m_imageWidth, sys(COLOR_GRAYTEXT));
    }
}

void BCMenu::drawXp(const DrawItemStruct& item) {
    // A disabled item that does not light up is drawn off screen and copied in one piece.
    if ((item.state & ODS_GRAYED) != 0 && g_bcmSelectDisabledXp == 0) {
        BCMenuMemDC surface(*item.painter, item.item);
        DrawItemStruct offScreen = item;
        offScreen.painter = &surface.painter();
        drawXpItem(offScreen);
        return;
    }
    drawXpItem(item);
}

void BCMenu::drawXpItem(const DrawItemStruct& item) {
    QPainter& p = *item.painter;
    const BCMenuData& record = *item.data;
    const QRect& rc = item.item;
    const int l = rc.left(), t = rc.top(), r = rc.x() + rc.width(), b = rc.y() + rc.height();
    const bool themed = IsThemedXp();
    const int gap = g_bcmOptionFlag != 0 ? 7 : 4;
    const int SW = m_imageWidth + gap;
    const QColor H = sys(COLOR_HIGHLIGHT);
    const QColor S = themed ? sys(COLOR_3DFACE) : colorFromRef(BlendToWhite(GetSysColor(COLOR_3DFACE), 0.25));
    const QColor M = sys(COLOR_WINDOW);
    const QColor F = colorFromRef(BlendToWhite(GetSysColor(COLOR_HIGHLIGHT), themed ? 0.7 : 0.85));
    const QColor checkFill = colorFromRef(BlendToWhite(GetSysColor(COLOR_HIGHLIGHT), 0.85));
    const bool disabled = (item.state & ODS_GRAYED) != 0;
    const bool checked = (item.state & ODS_CHECKED) != 0;
    const bool selected = (item.state & ODS_SELECTED) != 0 && !(disabled && g_bcmSelectDisabledXp == 0);
    const QRect strip = edges(l, t, l + SW, b);
    if ((record.flags & MF_SEPARATOR) != 0) {
        p.fillRect(rc, M);
        p.fillRect(strip, S);
        etchedTop(p, l + SW + gap, r, t + rc.height() / 2);
        return;
    }
    const Picture pic = pictureOf(record);
    const bool checkImages = checked && !pic && m_checkImages &&
                             ((selected && m_selectedCheckId > 0) || m_normalCheckId > 0);
    if (selected) {
        p.fillRect(rc, F);
        frame(p, rc, H);
    } else {
        p.fillRect(rc, M);
        p.fillRect(strip, S);
    }
    const int dx = std::max(0, (SW - m_imageWidth + 1) / 2);
    const int dy = std::max(0, (rc.height() - m_imageHeight + 1) / 2);
    const QRect cell = edges(l + 1, t + 1, l + SW - 1, b - 1);
    const QPoint at(l + dx, t + dy);
    if (checkImages) {
        p.fillRect(cell, S);
        m_checkImages->Draw(p, selected ? 1 : 0, at);
    } else if (pic && disabled) {
        const QImage rendered = RenderImage(*pic.list, pic.index);
        (m_embossDisabled ? PaintDisabledEmbossed : PaintDisabledMasked)(p, at, rendered, selected ? F : S);
        if (selected) frame(p, cell, H);
    } else if (pic && selected && !disabled) {
        p.fillRect(cell, F);
        if (checked) {
            frame(p, cell, H);
            pic.list->Draw(p, pic.index, at - QPoint(1, 1));
        } else if (pic.shadow >= 0) {
            // The shadow one pixel right and down, the picture one up and left: it floats.
            pic.list->Draw(p, pic.shadow, at + QPoint(1, 1));
            pic.list->Draw(p, pic.index, at - QPoint(1, 1));
        } else {
            pic.list->Draw(p, pic.index, at);
        }
    } else if (pic && checked) {
        p.fillRect(cell, checkFill);
        frame(p, cell, H);
        pic.list->Draw(p, pic.index, at - QPoint(1, 1));
    } else if (pic) {
        p.fillRect(cell, S);
        pic.list->Draw(p, pic.faded >= 0 ? pic.faded : pic.index, at);
    } else if (checked) {
        const int dx16 = std::max(0, (SW - 16 + 1) / 2), dy16 = std::max(0, (rc.height() - 16 + 1) / 2);
        const QRect box(l + dx16, t + dy16, 16, 16);
        p.fillRect(box, checkFill);
        frame(p, box, H);
        tick(p, box.topLeft() + QPoint(5, 4), sys(COLOR_MENUTEXT));
    }
    const QRect text = edges(l + SW + 8, t - 1, r, b - 1);
    QColor textColor = sys(COLOR_MENUTEXT);
    if (disabled)
        textColor = themed || selected ? sys(COLOR_GRAYTEXT) : colorFromRef(BlendToWhite(GetSysColor(COLOR_GRAYTEXT), 0.4));
    drawText(p, text, record.text, m_imageWidth, textColor);
}

namespace {

// One item of a shown menu level, sized by MeasureItem and painted by DrawItem.
class MenuItemWidget : public QWidget {
public:
    MenuItemWidget(BCMenuView* view, BCMenu& menu, HMENU level, int position)
        : m_view(view), m_menu(menu), m_level(level), m_position(position) {
        setMouseTracking(true);
        if (GetMenuItemData(level, position) == nullptr) {
            // A plain item of a menu bar: drawn from its text.
            m_plain.SetText(GetMenuString(level, static_cast<uint32_t>(position), MF_BYPOSITION));
            m_plain.commandId = GetMenuItemID(level, position);
        }
    }

    QSize sizeHint() const override {
        MeasureItemStruct measure{record()};
        m_menu.MeasureItem(measure);
        return {measure.itemWidth, measure.itemHeight};
    }

protected:
    void enterEvent(QEnterEvent*) override { setHover(true); }
    void leaveEvent(QEvent*) override { setHover(false); }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const uint32_t flags = state();
        const uint32_t odState = ((flags & MF_GRAYED) != 0 ? ODS_GRAYED : 0) |
                                 ((flags & MF_CHECKED) != 0 ? ODS_CHECKED : 0) | (m_hover ? ODS_SELECTED : 0);
        m_menu.DrawItem({&p, rect(), odState, record()});
    }

    void mouseReleaseEvent(QMouseEvent*) override {
        const uint32_t flags = state();
        if ((flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR)) != 0) return;
        if ((flags & MF_POPUP) != 0) {
            const HMENU sub = GetSubMenu(m_level, m_position);
            BCMenu* subMenu = BCMenu::FromHandlePermanent(sub);
            BCMenuView nested(subMenu != nullptr ? *subMenu : m_menu, sub, m_view);
            if (const int command = nested.execAt(mapToGlobal(QPoint(width(), 0)))) m_view->choose(static_cast<std::uintptr_t>(command));
            return;
        }
        m_view->choose(GetMenuItemID(m_level, m_position));
    }

private:
    uint32_t state() const { return GetMenuState(m_level, static_cast<uint32_t>(m_position), MF_BYPOSITION); }
    const BCMenuData* record() const {
        const auto* data = static_cast<const BCMenuData*>(GetMenuItemData(m_level, m_position));
        return data != nullptr ? data : &m_plain;
    }
    void setHover(bool on) {
        m_hover = on;
        update();
    }

    BCMenuView* m_view;
    BCMenu& m_menu;
    HMENU m_level;
    int m_position;
    BCMenuData m_plain;
    bool m_hover = false;
};

}  // namespace

BCMenuView::BCMenuView(BCMenu& menu, HMENU level, QWidget* parent) : QMenu(parent), m_level(level) {
    const int count = GetMenuItemCount(level);
    for (int pos = 0; pos < count; ++pos) {
        auto* action = new QWidgetAction(this);
        BCMenu* own = BCMenu::FromHandlePermanent(level);
        auto* widget = new MenuItemWidget(this, own != nullptr ? *own : menu, level, pos);
        action->setDefaultWidget(widget);
        addAction(action);
        m_itemWidgets.push_back(widget);
    }
}

int BCMenuView::execAt(QPoint globalPos) {
    m_chosen = 0;
    exec(globalPos);
    return static_cast<int>(m_chosen);
}

void BCMenuView::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const uint32_t answer = typed.size() == 1 ? BCMenu::FindShortcut(typed[0], MF_POPUP, m_level) : 0;
    if (answer >> 16 != BCMenu::MNC_EXECUTE) {
        QMenu::keyPressEvent(event);
        return;
    }
    const int position = static_cast<int>(answer & 0xFFFF);
    if ((GetMenuState(m_level, static_cast<uint32_t>(position), MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED | MF_POPUP)) == 0)
        choose(GetMenuItemID(m_level, position));
}

void BCMenuView::choose(std::uintptr_t command) {
    m_chosen = command;
    close();
}
