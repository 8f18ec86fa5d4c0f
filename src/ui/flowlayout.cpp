#include "ui/flowlayout.h"

#include <QWidget>

#include <cmath>

namespace velmora {

FlowLayout::FlowLayout(qreal spacing, QWidget *parent) : QLayout(parent), m_spacing(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

QList<QRectF> FlowLayout::arrange(const QList<QSizeF> &sizes, qreal spacing, qreal maxWidth) {
    QList<QRectF> frames;
    qreal x = 0, y = 0, rowHeight = 0;
    for (const QSizeF &size : sizes) {
        const qreal width = std::min(maxWidth, size.width());
        // Strictly past the edge starts a new row; the first item of a row never moves.
        if (x > 0 && x + width > maxWidth) {
            y += rowHeight + spacing;
            rowHeight = 0;
            x = 0;
        }
        frames.append(QRectF(x, y, width, size.height()));
        rowHeight = std::max(rowHeight, size.height());
        x += width + spacing;
    }
    return frames;
}

QSizeF FlowLayout::extent(const QList<QRectF> &frames) {
    qreal width = 0, height = 0;
    for (const QRectF &frame : frames) {
        width = std::max(width, frame.right());
        height = std::max(height, frame.bottom());
    }
    return {width, height};
}

QList<QSizeF> FlowLayout::idealSizes() const {
    QList<QSizeF> sizes;
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            sizes.append(QSizeF(0, 0));
        else
            sizes.append(QSizeF(item->sizeHint()));
    }
    return sizes;
}

QSizeF FlowLayout::sizeThatFits(qreal width) const {
    return extent(arrange(idealSizes(), m_spacing, width));
}

void FlowLayout::addItem(QLayoutItem *item) {
    m_items.append(item);
}

int FlowLayout::count() const {
    return int(m_items.size());
}

QLayoutItem *FlowLayout::itemAt(int index) const {
    return m_items.value(index);
}

QLayoutItem *FlowLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

QSize FlowLayout::sizeHint() const {
    const QSizeF size = sizeThatFits();
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

QSize FlowLayout::minimumSize() const {
    // As narrow as the widest single item.
    QSizeF widest;
    for (const QSizeF &size : idealSizes())
        widest = widest.expandedTo(size);
    return {int(std::ceil(widest.width())), int(std::ceil(widest.height()))};
}

int FlowLayout::heightForWidth(int width) const {
    return int(std::ceil(sizeThatFits(width).height()));
}

void FlowLayout::setGeometry(const QRect &rect) {
    QLayout::setGeometry(rect);
    const QList<QRectF> frames = arrange(idealSizes(), m_spacing, rect.width());
    for (int i = 0; i < m_items.size(); ++i) {
        const QRectF frame = frames[i].translated(rect.topLeft());
        m_items[i]->setGeometry(frame.toAlignedRect());
    }
}

} // namespace velmora
