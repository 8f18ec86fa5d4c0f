#include "ui/textlayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

#include <cmath>

namespace velmora {

namespace {

QTextOption optionFor(const QString &text, bool wrap, Qt::Alignment alignment = Qt::AlignLeft) {
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    option.setUseDesignMetrics(true);
    return option;
}

} // namespace

WrappedText::WrappedText(const QString &text, const QFont &font, qreal lineSpacing, qreal width,
                         Qt::Alignment alignment, int maxLines)
    : m_layout(std::make_unique<QTextLayout>(text, font)) {
    m_layout->setTextOption(optionFor(text, true, alignment));
    m_layout->setCacheEnabled(true);
    if (layOut(lineSpacing, width, maxLines)) {
        // The last line takes the rest of the text, on one line and cut with an ellipsis.
        const int start = m_layout->lineAt(maxLines - 1).textStart();
        QString rest = text.mid(start);
        for (QChar &c : rest) {
            if (c == QLatin1Char('\n') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
        const QString shown = text.left(start) + QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
        m_layout = std::make_unique<QTextLayout>(shown, font);
        m_layout->setTextOption(optionFor(shown, true, alignment));
        m_layout->setCacheEnabled(true);
        m_naturalWidth = 0;
        layOut(lineSpacing, width, maxLines);
    }
    if (m_layout->lineCount() == 0)
        m_height = std::ceil(QFontMetricsF(font).height());
    m_emptyAscent = QFontMetricsF(font).ascent();
}

bool WrappedText::layOut(qreal lineSpacing, qreal width, int maxLines) {
    m_layout->beginLayout();
    qreal y = 0;
    bool first = true;
    bool leftOver = false;
    for (;;) {
        if (maxLines > 0 && m_layout->lineCount() == maxLines) {
            const QTextLine last = m_layout->lineAt(maxLines - 1);
            leftOver = last.textStart() + last.textLength() < m_layout->text().size();
            break;
        }
        QTextLine line = m_layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(std::max<qreal>(1, width));
        if (!first)
            y += lineSpacing;
        first = false;
        line.setPosition(QPointF(0, y));
        y += line.height();
        m_naturalWidth = std::max(m_naturalWidth, line.naturalTextWidth());
    }
    m_layout->endLayout();
    m_height = std::ceil(y);
    return leftOver;
}

qreal WrappedText::firstBaseline() const {
    if (m_layout->lineCount() == 0)
        return m_emptyAscent;
    const QTextLine first = m_layout->lineAt(0);
    return first.y() + first.ascent();
}

void WrappedText::paint(QPainter *painter, const QPointF &origin) const {
    m_layout->draw(painter, origin);
}

qreal singleLineWidth(const QString &text, const QFont &font) {
    QTextLayout layout(text, font);
    layout.setTextOption(optionFor(text, false));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    qreal width = 0;
    if (line.isValid()) {
        line.setNumColumns(text.size() + 1);
        width = line.naturalTextWidth();
    }
    layout.endLayout();
    return width;
}

qreal singleLineHeight(const QString &text, const QFont &font) {
    if (text.isEmpty())
        return QFontMetricsF(font).height();
    QTextLayout layout(text, font);
    layout.setTextOption(optionFor(text, false));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    qreal height = QFontMetricsF(font).height();
    if (line.isValid())
        height = std::max(height, line.height());
    layout.endLayout();
    return height;
}

} // namespace velmora
