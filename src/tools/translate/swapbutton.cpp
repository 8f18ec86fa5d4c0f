#include "tools/translate/swapbutton.h"

#include "ui/environment.h"
#include "ui/symbols.h"

#include <QPainter>

namespace velmora {

SwapButton::SwapButton(const QString &symbol, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_hover(new HoverFade(this)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int SwapButton::diameter() const {
    return int(scaled(Environment::textSize(this), 24, 4));
}

int SwapButton::symbolPointSize() const {
    return int(scaled(Environment::textSize(this), 13, 1));
}

SwapButton::Look SwapButton::look() const {
    const bool dark = Environment::colorScheme(this) == ColorScheme::Dark;
    const QColor rest = Environment::color(this, dark ? ColorName::SurfacePressed : ColorName::SurfaceContent);
    Look look;
    look.fill = isDown() ? Environment::color(this, ColorName::SurfacePressed)
                         : mixColors(rest, Environment::color(this, ColorName::SurfaceHover), m_hover->progress());
    look.border = Environment::color(this, ColorName::LineStrong);
    look.symbol = mixColors(Environment::color(this, ColorName::TextSecondary),
                            Environment::color(this, ColorName::TextPrimary), m_hover->progress());
    return look;
}

QSize SwapButton::sizeHint() const {
    return {diameter(), diameter()};
}

bool SwapButton::hitButton(const QPoint &pos) const {
    const QPointF centre = QRectF(rect()).center();
    const qreal radius = diameter() / 2.0;
    const QPointF d = QPointF(pos) + QPointF(0.5, 0.5) - centre;
    return d.x() * d.x() + d.y() * d.y() <= radius * radius;
}

bool SwapButton::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
    }
    return QAbstractButton::event(event);
}

void SwapButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Look colours = look();
    const qreal side = diameter();
    const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.fill);
    painter.drawEllipse(circle);
    painter.setPen(QPen(colours.border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    Symbols::paint(&painter, circle, m_symbol, symbolPointSize(), colours.symbol);
}

} // namespace velmora
