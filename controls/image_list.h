#pragma once
// A list of same-sized pictures with colour masks: a bitmap strip is cut into pictures of the
// list's size, and its transparent colour becomes the mask (transparent pixels).
#include <QImage>
#include <QPainter>
#include <QSize>
#include <vector>

#include "controls/gdi_paint.h"

class CImageList {
public:
    bool Create(QSize size);
    bool Create(const CImageList& like) { return Create(like.m_size); }
    bool created() const { return m_created; }
    void DeleteImageList();
    QSize size() const { return m_size; }
    int GetImageCount() const { return static_cast<int>(m_pictures.size()); }

    // Cuts the strip into pictures of the list's width; pixels of the transparent colour are
    // masked. The index of the first picture, or -1 when nothing was added.
    int Add(const QImage& strip, COLORREF transparent);
    // One picture whose mask is its alpha channel (as an icon's).
    int AddIcon(const QImage& picture);
    bool Replace(int index, const QImage& picture);
    // The picture with its mask, or a null image for an index out of range.
    QImage ExtractIcon(int index) const;
    // Draws the picture transparently; nothing for an index out of range.
    void Draw(QPainter& p, int index, QPoint at) const;

private:
    QImage fitted(const QImage& picture) const;

    bool m_created = false;
    QSize m_size;
    std::vector<QImage> m_pictures;
};
