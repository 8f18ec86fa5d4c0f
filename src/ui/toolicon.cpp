#include "ui/toolicon.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/typography.h"

#include <QPainter>

namespace velmora {

ToolIcon::ToolIcon(const QString &symbol, ColorName color, Size size, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_color(toString(color)), m_size(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ToolIcon::setSymbol(const QString &symbol) {
    m_symbol = symbol;
    update();
}

void ToolIcon::setColor(ColorName color) {
    setColorName(toString(color));
}

void ToolIcon::setColorName(const QString &name) {
    m_color = name;
    update();
}

int ToolIcon::symbolPointSize(Size size, TextSize textSize) {
    if (size == Size::Sidebar)
        return int(scaled(textSize, 17, 1));
    return int(scaledByRatio(30, pointSize(Typography::Title, textSize) / 26.0, 1));
}

int ToolIcon::frameWidth(Size size, TextSize textSize) {
    if (size == Size::Sidebar)
        return int(scaled(textSize, 20, 4));
    return int(scaledByRatio(36, pointSize(Typography::Title, textSize) / 26.0, 1));
}

QSize ToolIcon::sizeHint() const {
    const TextSize textSize = Environment::textSize(this);
    const int symbol = symbolPointSize(m_size, textSize);
    return {std::max(frameWidth(m_size, textSize), symbol), symbol + 2};
}

bool ToolIcon::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
    }
    return QWidget::event(event);
}

void ToolIcon::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int symbol = symbolPointSize(m_size, Environment::textSize(this));
    const QColor color = NamedColors::color(m_color, Environment::colorScheme(this))
                             .value_or(Environment::color(this, ColorName::TextSecondary));
    Symbols::paint(&painter, QRectF(rect()), m_symbol, symbol, color);
}

} // namespace velmora
