#include "ui/badge.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/textlayout.h"
#include "ui/typography.h"

#include <QLocale>
#include <QPainter>

#include <cmath>

namespace velmora {

Badge::Badge(qint64 count, QWidget *parent) : QWidget(parent), m_count(count) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text());
}

void Badge::setCount(qint64 count) {
    m_count = count;
    setAccessibleName(text());
    updateGeometry();
    update();
}

QString Badge::text() const {
    return QLocale::system().toString(m_count);
}

QSize Badge::sizeHint() const {
    const TextSize size = Environment::textSize(this);
    const QFont f = fontFor(Typography::Badge, size);
    const int minimum = int(scaled(size, 16, 4));
    const int width = int(std::ceil(singleLineWidth(text(), f))) + 10;
    const int height = int(std::ceil(singleLineHeight(text(), f)));
    return {std::max(minimum, width), std::max(minimum, height)};
}

bool Badge::event(QEvent *event) {
    if (Environment::isChange(event) || event->type() == QEvent::LocaleChange) {
        updateGeometry();
        update();
    }
    return QWidget::event(event);
}

void Badge::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule(rect());
    const qreal radius = capsule.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::Attention));
    painter.drawRoundedRect(capsule, radius, radius);
    painter.setFont(fontFor(Typography::Badge, Environment::textSize(this)));
    painter.setPen(Environment::color(this, ColorName::TextOnAccent));
    painter.drawText(capsule, Qt::AlignCenter, text());
}

EmptyStateIcon::EmptyStateIcon(const QString &symbol, QWidget *parent) : QWidget(parent), m_symbol(symbol) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void EmptyStateIcon::setSymbol(const QString &symbol) {
    // Only the glyph changes: the tile keeps its place and size.
    m_symbol = symbol;
    update();
}

int EmptyStateIcon::tileSide() const {
    return int(scaled(Environment::textSize(this), 36, 4));
}

int EmptyStateIcon::symbolPointSize() const {
    return int(scaled(Environment::textSize(this), 20, 1));
}

QSize EmptyStateIcon::sizeHint() const {
    return {tileSide(), tileSide()};
}

bool EmptyStateIcon::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateGeometry();
        update();
    }
    return QWidget::event(event);
}

void EmptyStateIcon::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(0, 0, tileSide(), tileSide());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Environment::color(this, ColorName::SurfaceContent));
    painter.drawRoundedRect(tile, 9, 9);
    painter.setPen(QPen(Environment::color(this, ColorName::LineStrong), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 8.5, 8.5);
    Symbols::paint(&painter, tile, m_symbol, symbolPointSize(), Environment::color(this, ColorName::TextSecondary));
}

} // namespace velmora
