#include "ui/styledlabel.h"

#include "ui/environment.h"
#include "ui/textlayout.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace velmora {

StyledLabel::StyledLabel(Typography style, QWidget *parent) : QWidget(parent), m_style(style) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
}

StyledLabel::StyledLabel(const QString &text, Typography style, QWidget *parent) : StyledLabel(style, parent) {
    setText(text);
}

void StyledLabel::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    changed();
}

void StyledLabel::setTypography(Typography style) {
    if (style == m_style)
        return;
    m_style = style;
    changed();
}

void StyledLabel::setColor(std::optional<ColorName> color) {
    m_color = color;
    update();
}

void StyledLabel::setWordWrap(bool wrap) {
    if (wrap == m_wrap)
        return;
    m_wrap = wrap;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(wrap);
    // A fixed vertical policy would cap the height at one line's: wrapped text needs its height
    // for the width it is given.
    policy.setVerticalPolicy(wrap ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    setSizePolicy(policy);
    changed();
}

void StyledLabel::setMaximumLineCount(int lines) {
    if (lines == m_maxLines)
        return;
    m_maxLines = lines;
    changed();
}

void StyledLabel::setFullLineHeight(bool on) {
    m_fullLineHeight = on;
    changed();
}

void StyledLabel::setHeading(bool heading) {
    m_heading = heading;
}

void StyledLabel::setKeepsIdealWidth(bool keeps) {
    m_keepsIdeal = keeps;
    changed();
}

void StyledLabel::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void StyledLabel::setOpacity(qreal opacity) {
    m_opacity = opacity;
    update();
}

int StyledLabel::padding() const {
    return m_fullLineHeight ? fullLineHeightPadding(m_style, Environment::textSize(this)) : 0;
}

qreal StyledLabel::idealTextWidth() const {
    return singleLineWidth(m_text, fontFor(m_style, Environment::textSize(this)));
}

int StyledLabel::lineHeight() const {
    return int(std::ceil(singleLineHeight(m_text, fontFor(m_style, Environment::textSize(this))))) + 2 * padding();
}

qreal StyledLabel::firstBaseline() const {
    const TextSize size = Environment::textSize(this);
    const QFont f = fontFor(m_style, size);
    const int pad = padding();
    if (m_wrap) {
        const WrappedText text(m_text, f, lineSpacing(m_style, size), width(), m_alignment, m_maxLines);
        const qreal top = (m_alignment & Qt::AlignVCenter) ? (height() - text.height()) / 2 : qreal(pad);
        return top + text.firstBaseline();
    }
    // As QPainter::drawText sets one line in the padded area: by the line's own ascent and descent.
    qreal ascent = QFontMetricsF(f).ascent();
    qreal descent = QFontMetricsF(f).descent();
    if (!m_text.isEmpty()) {
        QTextLayout layout(m_text, f);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        if (line.isValid()) {
            ascent = line.ascent();
            descent = line.descent();
        }
    }
    const QRectF area = QRectF(rect()).adjusted(0, pad, 0, -pad);
    if (m_alignment & Qt::AlignBottom)
        return area.bottom() - descent;
    if (m_alignment & Qt::AlignVCenter)
        return area.top() + (area.height() - ascent - descent) / 2 + ascent;
    return area.top() + ascent;
}

QSize StyledLabel::sizeHint() const {
    const int width = int(std::ceil(idealTextWidth()));
    if (!m_wrap)
        return {width, lineHeight()};
    return {width, heightForWidth(width)};
}

QSize StyledLabel::minimumSizeHint() const {
    if (m_keepsIdeal)
        return sizeHint();
    if (m_wrap) {
        // Wrapping text can narrow down to about one short word.
        const QFont f = fontFor(m_style, Environment::textSize(this));
        // Layouts ask heightForWidth for the width they give; one line is the least height.
        const int narrow = std::min(sizeHint().width(), int(QFontMetricsF(f).averageCharWidth() * 6));
        return {narrow, lineHeight()};
    }
    const QFont f = fontFor(m_style, Environment::textSize(this));
    const int ellipsis = int(std::ceil(QFontMetricsF(f).horizontalAdvance(QStringLiteral("…"))));
    return {std::min(sizeHint().width(), ellipsis), lineHeight()};
}

int StyledLabel::heightForWidth(int width) const {
    if (!m_wrap)
        return lineHeight();
    const TextSize size = Environment::textSize(this);
    const WrappedText text(m_text, fontFor(m_style, size), lineSpacing(m_style, size), width, Qt::AlignLeft,
                           m_maxLines);
    return int(text.height()) + 2 * padding();
}

void StyledLabel::changed() {
    updateGeometry();
    update();
}

bool StyledLabel::event(QEvent *event) {
    if (Environment::isChange(event))
        changed();
    return QWidget::event(event);
}

void StyledLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    const TextSize size = Environment::textSize(this);
    const QFont f = fontFor(m_style, size);
    painter.setPen(Environment::color(this, m_color.value_or(defaultColor(m_style))));
    painter.setFont(f);
    const int pad = padding();
    if (m_wrap) {
        const WrappedText text(m_text, f, lineSpacing(m_style, size), width(), m_alignment, m_maxLines);
        qreal y = pad;
        if (m_alignment & Qt::AlignVCenter)
            y = (height() - text.height()) / 2;
        text.paint(&painter, QPointF(0, y));
        return;
    }
    const QRectF area = QRectF(rect()).adjusted(0, pad, 0, -pad);
    const QString shown = QFontMetricsF(f).elidedText(m_text, Qt::ElideRight, area.width());
    QTextOption option(m_alignment);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(m_text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    painter.drawText(area, shown, option);
}

} // namespace velmora
