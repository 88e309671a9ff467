#include "res/icons.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>
#include <map>
#include <memory>

namespace res {
namespace {

enum class Shape { Lamp, Number, Label, Burn, Gear, Switch, Chip };

struct IconPicture {
    int id;
    Shape shape;
    QColor colour;
    const char* text;
};

const IconPicture kPictures[] = {
    {kIconApp, Shape::Chip, QColor(40, 80, 160), nullptr},
    {kIconPass, Shape::Lamp, QColor(0, 200, 0), nullptr},
    {kIconFail, Shape::Lamp, QColor(230, 0, 0), nullptr},
    {kIconIdle, Shape::Lamp, QColor(160, 160, 160), nullptr},
    {kIconFound, Shape::Lamp, QColor(255, 140, 0), nullptr},
    {153, Shape::Number, QColor(0, 150, 0), "1"},
    {155, Shape::Number, QColor(0, 150, 0), "2"},
    {159, Shape::Number, QColor(0, 150, 0), "3"},
    {160, Shape::Number, QColor(0, 150, 0), "4"},
    {154, Shape::Number, QColor(150, 150, 150), "1"},
    {156, Shape::Number, QColor(150, 150, 150), "2"},
    {157, Shape::Number, QColor(150, 150, 150), "3"},
    {158, Shape::Number, QColor(150, 150, 150), "4"},
    {kIconFlashOn, Shape::Label, QColor(0, 0, 0), "Flash"},
    {kIconFlashOff, Shape::Label, QColor(160, 160, 160), "Flash"},
    {kIconBurnRunning, Shape::Burn, QColor(230, 120, 0), "P"},
    {kIconBurn, Shape::Burn, QColor(0, 150, 0), "P"},
    {kIconVerifyRunning, Shape::Burn, QColor(230, 120, 0), "V"},
    {kIconVerify, Shape::Burn, QColor(0, 90, 200), "V"},
    {kIconConfig, Shape::Gear, QColor(90, 90, 90), nullptr},
    {kIconWarning, Shape::Label, QColor(230, 0, 0), "!"},
    {kIconSwitchOn, Shape::Switch, QColor(0, 170, 0), nullptr},
    {kIconSwitchOff, Shape::Switch, QColor(150, 150, 150), nullptr},
};

const IconPicture* findPicture(int id) {
    for (const IconPicture& picture : kPictures)
        if (picture.id == id) return &picture;
    return nullptr;
}

void drawText(QPainter& p, const QRectF& box, const char* text, const QColor& colour, qreal scale) {
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(std::max(1, static_cast<int>(box.height() * scale)));
    // A word wider than the picture (a label) gets a smaller size rather than losing its ends.
    const QString shown = QString::fromLatin1(text);
    while (font.pixelSize() > 1 && QFontMetricsF(font).horizontalAdvance(shown) > box.width())
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, shown);
}

void draw(QPainter& p, const IconPicture& picture, int size) {
    const QRectF box(1, 1, size - 2, size - 2);
    const QColor dark = picture.colour.darker(150);
    switch (picture.shape) {
        case Shape::Lamp: {
            QRadialGradient shade(box.center() - QPointF(size / 6.0, size / 6.0), size / 2.0);
            shade.setColorAt(0, picture.colour.lighter(160));
            shade.setColorAt(1, picture.colour);
            p.setPen(QPen(dark, 1));
            p.setBrush(shade);
            p.drawEllipse(box);
            break;
        }
        case Shape::Number:
            p.setPen(QPen(picture.colour, std::max(1, size / 16)));
            p.setBrush(Qt::white);
            p.drawRoundedRect(box, size / 6.0, size / 6.0);
            drawText(p, box, picture.text, picture.colour, 0.7);
            break;
        case Shape::Label:
            drawText(p, box, picture.text, picture.colour, 0.4);
            break;
        case Shape::Burn:
            p.setPen(QPen(dark, 1));
            p.setBrush(picture.colour);
            p.drawRoundedRect(box, size / 5.0, size / 5.0);
            drawText(p, box, picture.text, Qt::white, 0.7);
            break;
        case Shape::Gear: {
            p.setPen(Qt::NoPen);
            p.setBrush(picture.colour);
            const QPointF centre = box.center();
            for (int tooth = 0; tooth < 8; ++tooth) {
                p.save();
                p.translate(centre);
                p.rotate(tooth * 45.0);
                p.drawRect(QRectF(-size / 12.0, -size / 2.2, size / 6.0, size / 4.0));
                p.restore();
            }
            p.drawEllipse(centre, size / 3.0, size / 3.0);
            p.setBrush(Qt::white);
            p.drawEllipse(centre, size / 8.0, size / 8.0);
            break;
        }
        case Shape::Switch: {
            const QRectF track(1, size / 4.0, size - 2, size / 2.0);
            p.setPen(QPen(dark, 1));
            p.setBrush(picture.colour);
            p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
            const bool on = picture.id == kIconSwitchOn;
            const qreal knob = track.height() - 2;
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(on ? track.right() - knob - 1 : track.left() + 1, track.top() + 1, knob, knob));
            break;
        }
        case Shape::Chip: {
            p.setPen(QPen(dark, 1));
            p.setBrush(picture.colour);
            const QRectF body(size * 0.2, size * 0.2, size * 0.6, size * 0.6);
            p.drawRect(body);
            for (int pin = 0; pin < 4; ++pin) {
                const qreal at = size * (0.27 + 0.14 * pin);
                p.drawLine(QPointF(at, 1), QPointF(at, size * 0.2));
                p.drawLine(QPointF(at, size * 0.8), QPointF(at, size - 1));
                p.drawLine(QPointF(1, at), QPointF(size * 0.2, at));
                p.drawLine(QPointF(size * 0.8, at), QPointF(size - 1, at));
            }
            drawText(p, body, "ISP", Qt::white, 0.35);
            break;
        }
    }
}

}  // namespace

QPixmap iconPixmap(int id, int size) {
    const IconPicture* picture = findPicture(id);
    if (picture == nullptr) return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, *picture, size);
    return pixmap;
}

namespace {

constexpr int kIconSizes[] = {16, 20, 32, 48};

// An icon drawn at one of four sizes when a size is first asked for, rather than at all four
// at once: text at each size costs a font engine. It answers as an icon holding the four
// pixmaps does: the smallest size whose area covers the request (else the largest), scaled
// down to fit, and the style's generated form for the modes other than Normal.
class DrawnIconEngine final : public QIconEngine {
public:
    explicit DrawnIconEngine(int id) : id_(id), drawn_(std::make_shared<std::map<int, QPixmap>>()) {}

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        QSize actual(pick(size), pick(size));
        if (actual.width() > size.width() || actual.height() > size.height()) actual.scale(size, Qt::KeepAspectRatio);
        return actual;
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const int side = pick(size);
        auto [entry, added] = drawn_->try_emplace(side);
        if (added) entry->second = iconPixmap(id_, side);
        QPixmap pixmap = entry->second;
        const QSize actual = actualSize(size, mode, state);
        if (pixmap.size() != actual) pixmap = pixmap.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (mode == QIcon::Normal) return pixmap;
        QStyleOption option(0);
        option.palette = QGuiApplication::palette();
        const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        return generated.isNull() ? pixmap : generated;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off)
            for (int side : kIconSizes) sizes.append(QSize(side, side));
        return sizes;
    }
    QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
    QString key() const override { return QStringLiteral("DrawnIconEngine"); }

private:
    static int pick(const QSize& size) {
        const qint64 area = qint64{size.width()} * size.height();
        for (int side : kIconSizes)
            if (side * side >= area) return side;
        return kIconSizes[std::size(kIconSizes) - 1];
    }

    int id_;
    std::shared_ptr<std::map<int, QPixmap>> drawn_;  // by size, shared by the icon's copies
};

}  // namespace

QIcon icon(int id) {
    if (findPicture(id) == nullptr) return {};
    // One engine per id: pages set the same icons again on every run.
    static std::map<int, QIcon> icons;
    if (const auto found = icons.find(id); found != icons.end()) return found->second;
    if (icons.empty()) qAddPostRoutine([] { icons.clear(); });
    return icons.emplace(id, QIcon(new DrawnIconEngine(id))).first->second;
}

QIcon overflowChevron() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1.5));
    for (qreal x : {4.0, 8.0}) painter.drawPolyline(QPolygonF({{x, 4}, {x + 4, 8}, {x, 12}}));
    return QIcon(pixmap);
}

}  // namespace res
