#include "workspace/sidebarbutton.h"

#include "ui/environment.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace velmora {

SidebarButton::SidebarButton(QWidget *parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)), m_hover(new HoverFade(this)) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_layout->setContentsMargins(kOuterMargin + kInnerMargin, 0, kOuterMargin + kInnerMargin, 0);
    m_layout->setSpacing(kSpacing);
    connect(m_hover, &HoverFade::hoveringChanged, this, &SidebarButton::hoveringChanged);
    applyMetrics();
}

void SidebarButton::setSelected(bool selected) {
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

int SidebarButton::lineHeight() const {
    return int(scaled(Environment::textSize(this), 32, 4));
}

QSize SidebarButton::sizeHint() const {
    return {QWidget::sizeHint().width(), lineHeight()};
}

QSize SidebarButton::minimumSizeHint() const {
    return {2 * (kOuterMargin + kInnerMargin), lineHeight()};
}

QColor SidebarButton::fill() const {
    if (m_pressed)
        return Environment::color(this, ColorName::SurfacePressed);
    if (m_selected)
        return Environment::color(this, ColorName::SurfaceSelection);
    QColor hover = Environment::color(this, ColorName::SurfaceHover);
    hover.setAlphaF(hover.alphaF() * m_hover->progress());
    return hover;
}

void SidebarButton::applyMetrics() {
    setFixedHeight(lineHeight());
    updateGeometry();
}

bool SidebarButton::event(QEvent *event) {
    if (Environment::isChange(event)) {
        applyMetrics();
        textSizeChanged();
        update();
    }
    return QWidget::event(event);
}

void SidebarButton::paintEvent(QPaintEvent *) {
    const QColor color = fill();
    if (color.alpha() == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(kOuterMargin, 0, -kOuterMargin, 0), kRadius, kRadius);
    painter.fillPath(path, color);
}

void SidebarButton::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_pressAt = event->position().toPoint();
    update();
}

void SidebarButton::mouseMoveEvent(QMouseEvent *event) {
    if (!m_pressed)
        return QWidget::mouseMoveEvent(event);
    m_hover->setHovering(rect().contains(event->position().toPoint()));
}

void SidebarButton::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    update();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void SidebarButton::cancelPress() {
    m_pressed = false;
    update();
}

} // namespace velmora
