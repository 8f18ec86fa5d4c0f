#pragma once

#include <QFont>
#include <QString>
#include <QTextLayout>

#include <memory>

class QPainter;

namespace velmora {

// Lays out a plain text in one font with extra space between lines, the way every kit widget
// measures and paints its text. Right-to-left paragraphs lay out right to left. With a line
// limit, text that needs more lines ends the last one with an ellipsis.
class WrappedText {
public:
    WrappedText(const QString &text, const QFont &font, qreal lineSpacing, qreal width,
                Qt::Alignment alignment = Qt::AlignLeft, int maxLines = 0);

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
    // Lays out at most maxLines lines (0: all); true when text was left over.
    bool layOut(qreal lineSpacing, qreal width, int maxLines);

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
