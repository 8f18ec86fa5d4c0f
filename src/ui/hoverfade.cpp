#include "ui/hoverfade.h"

#include "ui/animation.h"

#include <QColor>
#include <QEvent>
#include <QVariantAnimation>
#include <QWidget>

namespace velmora {

HoverFade::HoverFade(QWidget *widget) : QObject(widget), m_widget(widget), m_animation(new QVariantAnimation(this)) {
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toReal();
        m_widget->update();
    });
    widget->installEventFilter(this);
}

void HoverFade::setHovering(bool hovering) {
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    if (m_still && m_still()) {
        m_widget->update();
    } else {
        m_animation->setStartValue(m_progress);
        m_animation->setEndValue(hovering ? 1.0 : 0.0);
        startAnimation(m_animation, Animation::quick(), false, m_widget);
    }
    emit hoveringChanged(hovering);
}

bool HoverFade::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_widget && (event->type() == QEvent::Enter || event->type() == QEvent::Leave))
        setHovering(event->type() == QEvent::Enter);
    return QObject::eventFilter(watched, event);
}

QColor mixColors(const QColor &from, const QColor &to, qreal progress) {
    if (progress <= 0)
        return from;
    if (progress >= 1)
        return to;
    auto channel = [progress](float a, float b) { return float(a + (b - a) * progress); };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()), channel(from.alphaF(), to.alphaF()));
}

} // namespace velmora
