#include "dictation/dictationprogresstext.h"

#include "dictation/overlayclock.h"
#include "ui/environment.h"
#include "ui/typography.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <numbers>

namespace velmora {

namespace {
constexpr std::chrono::milliseconds kFrame{34};
const QChar kEllipsis(0x2026);
} // namespace

DictationProgressText::DictationProgressText(QString text, ColorName color, OverlayClock &clock, QWidget *parent)
    : QWidget(parent), m_text(std::move(text)), m_color(color), m_clock(clock) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(m_text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

DictationProgressText::~DictationProgressText() = default;

double DictationProgressText::dotOpacity(double t, int k) {
    const double u = t - 0.2 * k;
    double p = std::fmod(u, 1.2) / 1.2;
    if (p < 0)
        p += 1;
    return p < 0.4 ? std::sin(p * std::numbers::pi / 0.4) * 0.7 + 0.3 : 0.3;
}

void DictationProgressText::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(m_text);
    updateGeometry();
    update();
    restartFrames();
}

void DictationProgressText::setAnimates(bool animates) {
    m_animates = animates;
    update();
    restartFrames();
}

bool DictationProgressText::isAnimated() const {
    return m_animates && m_text.endsWith(kEllipsis) && !Environment::reduceMotion(this);
}

QFont DictationProgressText::font() const {
    return fontFor(Typography::Body, Environment::textSize(this));
}

QSize DictationProgressText::sizeHint() const {
    const QFontMetricsF metrics(font());
    double width = metrics.horizontalAdvance(m_text);
    if (m_text.endsWith(kEllipsis))
        width = std::max(width, metrics.horizontalAdvance(m_text.chopped(1)) + 3 * metrics.horizontalAdvance(u'.'));
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(metrics.height()))};
}

void DictationProgressText::restartFrames() {
    m_frame.reset();
    if (!isAnimated() || !isVisible())
        return;
    m_frame = m_clock.after(kFrame, [this] {
        update();
        restartFrames();
    });
}

void DictationProgressText::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    restartFrames();
}

void DictationProgressText::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_frame.reset();
}

void DictationProgressText::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
        restartFrames();
    }
}

void DictationProgressText::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont f = font();
    painter.setFont(f);
    const QColor color = Environment::color(this, m_color);
    const QFontMetricsF metrics(f);
    const double baseline = (height() - metrics.height()) / 2 + metrics.ascent();
    painter.setPen(color);
    if (!isAnimated()) {
        painter.drawText(QPointF(0, baseline), m_text);
        return;
    }
    const QString head = m_text.chopped(1);
    painter.drawText(QPointF(0, baseline), head);
    double x = metrics.horizontalAdvance(head);
    const double t = m_clock.now();
    for (int k = 0; k < 3; ++k) {
        QColor dot = color;
        dot.setAlphaF(static_cast<float>(color.alphaF() * dotOpacity(t, k)));
        painter.setPen(dot);
        painter.drawText(QPointF(x, baseline), QStringLiteral("."));
        x += metrics.horizontalAdvance(u'.');
    }
}

} // namespace velmora
