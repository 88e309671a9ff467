#include "controls/image_list.h"

#include <algorithm>

bool CImageList::Create(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return false;
    m_size = size;
    m_pictures.clear();
    m_created = true;
    return true;
}

void CImageList::DeleteImageList() {
    m_pictures.clear();
    m_created = false;
}

QImage CImageList::fitted(const QImage& picture) const {
    QImage out(m_size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, picture.convertToFormat(QImage::Format_ARGB32));
    return out;
}

int CImageList::Add(const QImage& strip, COLORREF transparent) {
    if (!m_created || strip.isNull()) return -1;
    const QRgb key = colorFromRef(transparent).rgb();
    const QImage rgb = strip.convertToFormat(QImage::Format_ARGB32);
    const int first = GetImageCount();
    // A strip narrower than one picture still gives one picture.
    const int count = std::max(1, rgb.width() / m_size.width());
    for (int i = 0; i < count; ++i) {
        QImage picture = fitted(rgb.copy(i * m_size.width(), 0, m_size.width(), m_size.height()));
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if ((picture.pixel(x, y) | 0xFF000000) == key) picture.setPixel(x, y, 0);
        m_pictures.push_back(picture);
    }
    return first;
}

int CImageList::AddIcon(const QImage& picture) {
    if (!m_created || picture.isNull()) return -1;
    m_pictures.push_back(fitted(picture));
    return GetImageCount() - 1;
}

bool CImageList::Replace(int index, const QImage& picture) {
    if (index < 0 || index >= GetImageCount() || picture.isNull()) return false;
    m_pictures[static_cast<size_t>(index)] = fitted(picture);
    return true;
}

QImage CImageList::ExtractIcon(int index) const {
    if (index < 0 || index >= GetImageCount()) return {};
    return m_pictures[static_cast<size_t>(index)];
}

void CImageList::Draw(QPainter& p, int index, QPoint at) const {
    if (index < 0 || index >= GetImageCount()) return;
    p.drawImage(at, m_pictures[static_cast<size_t>(index)]);
}
