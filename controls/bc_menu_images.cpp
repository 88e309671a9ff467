#include "controls/bc_menu.h"

#include <algorithm>

#include "res/icons.h"

using namespace menus;

namespace {

// The program's icons stand in for bitmap resources, drawn over the face colour, which is
// the colour an image list treats as transparent.
QImage iconBitmap(int id) {
    const QPixmap icon = res::iconPixmap(id, 16);
    if (icon.isNull()) return {};
    QImage bitmap(icon.size(), QImage::Format_RGB32);
    bitmap.fill(colorFromRef(GetSysColor(COLOR_3DFACE)));
    QPainter p(&bitmap);
    p.drawPixmap(0, 0, icon);
    return bitmap;
}

BCMenu::BitmapLookup& bitmapLookup() {
    static BCMenu::BitmapLookup lookup = iconBitmap;
    return lookup;
}

BCMenu::ToolbarLookup& toolbarLookup() {
    static BCMenu::ToolbarLookup lookup;
    return lookup;
}

bool effectsOn() {
    return BCMenu::IsXpStyle() && BCMenu::g_bcmOptionFlag != 0;
}

// The XP look's copies of a picture rendered on the face colour: every pixel that is not the
// face colour faded towards white, or in the shadow colour; the face colour stays transparent.
QImage effectCopy(const QImage& rendered, const std::function<COLORREF(COLORREF)>& recolour) {
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    QImage copy(rendered.size(), QImage::Format_ARGB32);
    for (int y = 0; y < rendered.height(); ++y)
        for (int x = 0; x < rendered.width(); ++x) {
            const COLORREF pixel = refFromColor(QColor(rendered.pixel(x, y)));
            copy.setPixel(x, y, pixel == face ? 0 : colorFromRef(recolour(pixel)).rgb());
        }
    return copy;
}

QImage fadedCopy(const QImage& rendered) {
    return effectCopy(rendered, [](COLORREF c) { return BCMenu::BlendToWhite(c, 0.3); });
}

QImage shadowCopy(const QImage& rendered) {
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    const COLORREF colour = BCMenu::IsThemedXp() ? shadow : BCMenu::BlendToWhite(shadow, 0.49);
    return effectCopy(rendered, [colour](COLORREF) { return colour; });
}

Qt::BrushStyle hatchPattern(int style) {
    switch (style) {
        case 0: return Qt::HorPattern;
        case 1: return Qt::VerPattern;
        case 2: return Qt::FDiagPattern;
        case 3: return Qt::BDiagPattern;
        case 4: return Qt::CrossPattern;
        default: return Qt::DiagCrossPattern;
    }
}

}  // namespace

void BCMenu::SetResourceLookup(BitmapLookup bitmaps, ToolbarLookup toolbars) {
    bitmapLookup() = bitmaps ? std::move(bitmaps) : BitmapLookup(iconBitmap);
    toolbarLookup() = std::move(toolbars);
}

QImage BCMenu::BitmapResource(int id) { return bitmapLookup()(id); }

COLORREF BCMenu::BlendToWhite(COLORREF color, double factor) {
    if (factor <= 0.0 || factor > 1.0) return color;
    COLORREF out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = static_cast<int>((color >> shift) & 0xFF);
        out |= static_cast<COLORREF>(static_cast<int>((255 - c) * factor + c)) << shift;
    }
    return out;
}

COLORREF BCMenu::BlendToBlack(COLORREF color, double factor) {
    if (factor <= 0.0 || factor > 1.0) return color;
    COLORREF out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = static_cast<int>((color >> shift) & 0xFF);
        out |= static_cast<COLORREF>(static_cast<int>(c - c * factor)) << shift;
    }
    return out;
}

COLORREF BCMenu::transparentColor() const {
    return m_useImageBackground ? m_imageBackground : GetSysColor(COLOR_3DFACE);
}

QImage BCMenu::RenderImage(const CImageList& list, int index) const {
    QImage bitmap(m_imageWidth, m_imageHeight, QImage::Format_RGB32);
    bitmap.fill(colorFromRef(GetSysColor(COLOR_3DFACE)));
    QPainter p(&bitmap);
    list.Draw(p, index, QPoint(0, 0));
    return bitmap;
}

void BCMenu::addEffects(CImageList& list, const QImage& rendered) const {
    list.AddIcon(fadedCopy(rendered));
    list.AddIcon(shadowCopy(rendered));
}

bool BCMenu::AddResourceImage(CImageList& list, int bitmapId, bool withEffects) const {
    const QImage bitmap = BitmapResource(bitmapId);
    if (bitmap.isNull()) return false;
    const int index = list.Add(bitmap, transparentColor());
    if (index < 0) return false;
    if (withEffects && effectsOn()) addEffects(list, RenderImage(list, index));
    return true;
}

bool BCMenu::CopyListImage(const CImageList* source, int index, CImageList* target) const {
    if (source == nullptr || target == nullptr || index < 0) return false;
    target->Create(*source);
    if (target->AddIcon(source->ExtractIcon(index)) < 0) return false;
    if (effectsOn()) addEffects(*target, RenderImage(*target, 0));
    return true;
}

int BCMenu::StoreSharedImage(const CImageList& source, int index, std::uintptr_t command) const {
    if (!g_bcmImageList.created()) g_bcmImageList.Create(QSize(m_imageWidth, m_imageHeight));
    const QImage icon = source.ExtractIcon(index);
    if (icon.isNull()) return -1;
    const bool effects = effectsOn();
    const int existing = sharedImageOf(command);
    if (existing >= 0) {
        g_bcmImageList.Replace(existing, icon);
        const size_t at = static_cast<size_t>(existing);
        if (effects && at + 2 < g_bcmImageIds.size() && g_bcmImageIds[at + 1] == command &&
            g_bcmImageIds[at + 2] == command) {
            const QImage rendered = RenderImage(g_bcmImageList, existing);
            g_bcmImageList.Replace(existing + 1, fadedCopy(rendered));
            g_bcmImageList.Replace(existing + 2, shadowCopy(rendered));
        }
        return existing;
    }
    const int added = g_bcmImageList.AddIcon(icon);
    if (added < 0) return -1;
    g_bcmImageIds.push_back(command);
    if (effects) {
        addEffects(g_bcmImageList, RenderImage(g_bcmImageList, added));
        g_bcmImageIds.insert(g_bcmImageIds.end(), 2, command);
    }
    return added;
}

int BCMenu::sharedImageFromResource(int imageId, std::uintptr_t command) const {
    // A toolbar of the same id tells which picture of the strip belongs to the command.
    int index = 0;
    if (toolbarLookup()) {
        if (const std::optional<BCMenuToolBar> toolbar = toolbarLookup()(imageId)) {
            int number = 0;
            for (const int button : toolbar->commands) {
                if (button == 0) continue;
                if (static_cast<std::uintptr_t>(button) == command) {
                    index = number;
                    break;
                }
                ++number;
            }
        }
    }
    CImageList strip;
    strip.Create(QSize(m_imageWidth, m_imageHeight));
    if (!AddResourceImage(strip, imageId, false)) return -1;
    return StoreSharedImage(strip, index, command);
}

void BCMenu::LoadCheckImages(int normalId, int selectedId) {
    if (normalId < 1 || selectedId < 1) return;
    m_normalCheckId = normalId;
    m_selectedCheckId = selectedId;
    if (!m_checkImages) m_checkImages = std::make_shared<CImageList>();
    m_checkImages->Create(QSize(m_imageWidth, m_imageHeight));
    // Index 0 for an item that is not highlighted, 1 for a highlighted one: no faded or
    // shadow copies come between them.
    if (!AddResourceImage(*m_checkImages, normalId, false) || !AddResourceImage(*m_checkImages, selectedId, false))
        m_checkImages.reset();
}

bool BCMenu::LoadToolbarImages(int toolbarId) {
    const std::optional<BCMenuToolBar> toolbar = toolbarLookup() ? toolbarLookup()(toolbarId) : std::nullopt;
    if (!toolbar || toolbar->imageWidth <= 0 || toolbar->imageHeight <= 0) return false;
    m_imageWidth = std::max(m_imageWidth, toolbar->imageWidth);
    m_imageHeight = std::max(m_imageHeight, toolbar->imageHeight);
    CImageList strip;
    strip.Create(QSize(toolbar->imageWidth, toolbar->imageHeight));
    if (!AddResourceImage(strip, toolbarId, false)) return false;
    // Pictures are numbered over the buttons; separators have none.
    int number = 0;
    for (const int button : toolbar->commands) {
        if (button == 0) continue;
        int position = -1;
        if (FindOwner(static_cast<std::uintptr_t>(button), position) != nullptr)
            ModifyItem(QString(), static_cast<std::uintptr_t>(button), &strip, number);
        ++number;
    }
    return true;
}

int BCMenu::AddToolbarImages(const BCMenuToolBar& toolbar, int bitmapId) {
    const QSize pictureSize = toolbar.imageWidth > 0 && toolbar.imageHeight > 0
                                  ? QSize(toolbar.imageWidth, toolbar.imageHeight)
                                  : QSize(m_imageWidth, m_imageHeight);
    int number = 0;  // pictures are numbered over the buttons; separators have none
    for (const int button : toolbar.commands) {
        if (button == 0) continue;
        const auto command = static_cast<std::uintptr_t>(button);
        const int picture = number++;
        int position = -1;
        if (FindOwner(command, position) == nullptr) continue;
        BCMenuData* record = FindItemData(command);
        if (record == nullptr) {
            m_items.push_back(newRecord(QString(), 0, command));
            record = m_items.back().get();
        }
        record->flags = MF_OWNERDRAW;
        record->images = std::make_unique<CImageList>();
        record->images->Create(pictureSize);
        if (AddResourceImage(*record->images, bitmapId)) {
            record->imageId = bitmapId;
            record->imageOffset = picture;
        } else {
            record->images.reset();
            record->imageId = -1;
            record->imageOffset = -1;
        }
        menus::ModifyMenu(m_hMenu, static_cast<uint32_t>(command), record->flags, command, QString(), record);
    }
    return static_cast<int>(toolbar.commands.size());
}

std::unique_ptr<CImageList> BCMenu::bitmapList(const QImage& bitmap) const {
    auto list = std::make_unique<CImageList>();
    list->Create(QSize(m_imageWidth, m_imageHeight));
    if (list->Add(bitmap, transparentColor()) < 0) list.reset();
    return list;
}

bool BCMenu::LoadToolbarImages(std::span<const int> toolbarIds) {
    bool all = true;
    for (const int id : toolbarIds) all = LoadToolbarImages(id) && all;
    return all;
}

QImage BCMenu::MakeSwatch(QSize swatch, QSize bitmap, COLORREF fill, COLORREF border, int hatchStyle) const {
    QImage image(bitmap, QImage::Format_ARGB32);
    const COLORREF background = IsThemedXp() ? GetSysColor(COLOR_3DFACE) : GetSysColor(COLOR_MENU);
    image.fill(colorFromRef(background));
    QRect r(QPoint(0, 0), bitmap);
    if (swatch != bitmap)
        r = QRect(QPoint((bitmap.width() - swatch.width()) / 2, (bitmap.height() - swatch.height()) / 2), swatch);
    QPainter p(&image);
    const QRect inside = r.adjusted(1, 1, -1, -1);
    if (hatchStyle < 0) {
        p.fillRect(inside, colorFromRef(fill));
    } else {
        // Hatch gaps show the background colour of an opaque drawing: white.
        p.fillRect(inside, Qt::white);
        p.fillRect(inside, QBrush(colorFromRef(fill), hatchPattern(hatchStyle)));
    }
    gdi::draw3dRect(p, r, colorFromRef(border), colorFromRef(border));
    return image;
}

void BCMenu::PaintDisabledMasked(QPainter& p, QPoint at, const QImage& picture, QColor background) {
    const QRgb face = colorFromRef(GetSysColor(COLOR_3DFACE)).rgb();
    const QRgb light = colorFromRef(GetSysColor(COLOR_3DHILIGHT)).rgb();
    const QRgb shadow = colorFromRef(GetSysColor(COLOR_3DSHADOW)).rgb();
    const int w = picture.width(), h = picture.height();
    // The mask is black where the picture is neither face nor highlight.
    const auto black = [&](int x, int y) {
        const QRgb c = picture.pixel(x, y) | 0xFF000000;
        return c != face && c != light;
    };
    QImage block(w, h, QImage::Format_RGB32);
    block.fill(background);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) block.setPixel(x, y, light);
    p.drawImage(at + QPoint(1, 1), block);
    for (int y = 0; y + 1 < h; ++y)
        for (int x = 0; x + 1 < w; ++x)
            if (black(x, y)) block.setPixel(x + 1, y + 1, light);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) block.setPixel(x, y, shadow);
    p.drawImage(at, block);
}

void BCMenu::PaintDisabledEmbossed(QPainter& p, QPoint at, const QImage& picture, QColor background) {
    // As a copy into a black-and-white bitmap: the picture's background (the face colour it
    // was rendered on) and white stay white, every other colour is black. Taking the face
    // colour for black would etch the whole cell as one block.
    const QColor light = colorFromRef(GetSysColor(COLOR_3DHILIGHT));
    const QColor shadow = colorFromRef(GetSysColor(COLOR_3DSHADOW));
    const QRgb face = colorFromRef(GetSysColor(COLOR_3DFACE)).rgb();
    const int w = picture.width(), h = picture.height();
    const auto black = [&](int x, int y) {
        const QRgb c = picture.pixel(x, y) | 0xFF000000;
        return c != 0xFFFFFFFF && c != face;
    };
    p.fillRect(QRect(at, QSize(w, h)), background);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) gdi::pixel(p, at + QPoint(x + 1, y + 1), light);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) gdi::pixel(p, at + QPoint(x, y), shadow);
}
