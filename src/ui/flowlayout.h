#pragma once

#include <QLayout>
#include <QList>
#include <QRectF>
#include <QSizeF>

#include <limits>

namespace velmora {

// Places its items one after another in rows, left to right, starting a new row when the next
// item would pass the available width, like words in a paragraph. Rows are left-aligned and
// top-aligned; an item wider than the row is narrowed to it. The layout hugs its rows: its width
// is the widest row's, not the width it is given.
class FlowLayout : public QLayout {
    Q_OBJECT
public:
    explicit FlowLayout(qreal spacing, QWidget *parent = nullptr);
    ~FlowLayout() override;

    // The frames of items of the given ideal sizes for a row width (infinity: one row).
    static QList<QRectF> arrange(const QList<QSizeF> &sizes, qreal spacing, qreal maxWidth);
    // The size the frames take: the largest right and bottom edges.
    static QSizeF extent(const QList<QRectF> &frames);
    QSizeF sizeThatFits(qreal width = std::numeric_limits<qreal>::infinity()) const;

    qreal flowSpacing() const { return m_spacing; }

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QSizeF> idealSizes() const;

    qreal m_spacing;
    QList<QLayoutItem *> m_items;
};

} // namespace velmora
