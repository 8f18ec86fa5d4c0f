#pragma once

#include <QFont>
#include <QString>
#include <QTextLayout>

#include <memory>

class QPainter;

namespace velmora {

// Lays out a plain text in one font with extra space between lines, the way every kit widget
// measures and paints its text. Right-to-left paragraphs lay out right to left.
class WrappedText {
public:
    WrappedText(const QString &text, const QFont &font, qreal lineSpacing, qreal width,
                Qt::Alignment alignment = Qt::AlignLeft);

    qreal height() const { return m_height; }
    // The widest line's natural width.
    qreal naturalWidth() const { return m_naturalWidth; }
    int lineCount() const { return m_layout ? m_layout->lineCount() : 0; }
    // The first line's baseline below the top.
    qreal firstBaseline() const;
    // Paints with the top-left corner at origin, each line aligned within the width (leading
    // alignment is the right edge for right-to-left text).
    void paint(QPainter *painter, const QPointF &origin) const;

private:
    std::unique_ptr<QTextLayout> m_layout;
    qreal m_height = 0;
    qreal m_naturalWidth = 0;
    qreal m_emptyAscent = 0;
};

// The natural width of a text on one line in a font (fallback fonts included).
qreal singleLineWidth(const QString &text, const QFont &font);
// The height of one line of a text in a font: taller when a fallback font (Japanese) is used.
qreal singleLineHeight(const QString &text, const QFont &font);

} // namespace velmora
