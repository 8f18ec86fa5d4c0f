#include "ui/button.h"

#include "ui/environment.h"
#include "ui/symbols.h"
#include "ui/textlayout.h"
#include "ui/typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velmora {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// A symbol set at a font size of pt fills a box of about pt + 1 pixels: Breeze's 16 px grid at
// the standard sizes.
int symbolBox(double pt) {
    return int(std::lround(pt)) + 1;
}

struct Metrics {
    Typography textStyle = Typography::Body;
    int height = 0;    // exact height; 0 for the label's own
    int minHeight = 0; // at least this high
    int minWidth = 0;  // at least this wide
    int padding = 0;   // left and right
    int iconBox = 0;   // 0: no icon slot
    int iconGap = 0;   // between icon and title
    bool showTitle = true;
    qreal radius = 6;
    qreal hintGap = 8;
};

Metrics metricsFor(const ButtonStyle &style, TextSize size, bool hasSymbol,
                   std::optional<qreal> symbolSize = std::nullopt) {
    Metrics m;
    std::visit(Overloaded{
                   [&](const IconButtonStyle &) {
                       m.height = int(scaled(size, 24, 4));
                       m.minWidth = m.height;
                       m.iconBox = symbolBox(scaled(size, 15, 1));
                       m.showTitle = false;
                   },
                   [&](const TextButtonStyle &) {
                       m.minHeight = int(scaled(size, 28, 4));
                       m.radius = 0;
                       if (hasSymbol) {
                           m.iconBox = symbolBox(bodyPointSize(size));
                           m.iconGap = 6;
                       }
                   },
                   [&](const PrimaryButtonStyle &) {
                       m.textStyle = Typography::BodyEmphasis;
                       m.height = int(scaled(size, 28, 4));
                       m.padding = 16;
                       if (hasSymbol) {
                           m.iconBox = symbolBox(scaled(size, 12, 1));
                           m.iconGap = 6;
                       }
                   },
                   [&](const SmallButtonStyle &) {
                       m.height = int(scaled(size, 24, 4));
                       m.padding = 10;
                       if (hasSymbol) {
                           m.iconBox = symbolBox(bodyPointSize(size));
                           m.iconGap = 6;
                       }
                   },
                   [&](const SecondaryButtonStyle &s) {
                       m.height = int(scaled(size, 28, 4));
                       m.padding = s.iconOnly ? 0 : 12;
                       if (hasSymbol) {
                           m.iconBox = symbolBox(scaled(size, 13, 1));
                           m.iconGap = 6;
                       }
                       if (s.iconOnly && hasSymbol) {
                           m.showTitle = false;
                           m.minWidth = int(scaled(size, 28, 4));
                       }
                   },
                   [&](const PaneButtonStyle &s) {
                       m.textStyle = Typography::Meta;
                       m.height = int(scaled(size, 24, 4));
                       m.padding = 8;
                       if (hasSymbol) {
                           m.iconBox = symbolBox(scaled(size, 13, 1));
                           m.iconGap = 4;
                       }
                       if (s.iconOnly && hasSymbol)
                           m.showTitle = false;
                   },
                   [&](const FillButtonStyle &s) {
                       m.radius = s.radius;
                       m.showTitle = false;
                   },
               },
               style);
    if (symbolSize && m.iconBox > 0)
        m.iconBox = symbolBox(scaled(size, *symbolSize, 1));
    return m;
}

QColor brighten(const QColor &color, qreal amount) {
    auto channel = [amount](float v) { return std::clamp(v + float(amount), 0.0f, 1.0f); };
    return QColor::fromRgbF(channel(color.redF()), channel(color.greenF()), channel(color.blueF()), color.alphaF());
}

} // namespace

Button::Button(QWidget *parent) : QAbstractButton(parent), m_hover(new HoverFade(this)) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Text buttons draw no hover fill: nothing to fade.
    m_hover->setStillWhile([this] { return std::holds_alternative<TextButtonStyle>(m_style); });
    connect(this, &QAbstractButton::pressed, this, qOverload<>(&QWidget::update));
    connect(this, &QAbstractButton::released, this, qOverload<>(&QWidget::update));
}

Button::Button(const QString &text, const QString &symbol, const ButtonStyle &style, QWidget *parent) : Button(parent) {
    setText(text);
    m_symbol = symbol;
    m_style = style;
    updateToolTip();
}

Button::~Button() {
    // The fade asks for m_style: no leave event may reach it once that is gone.
    removeEventFilter(m_hover);
}

void Button::setText(const QString &text) {
    const QString old = QAbstractButton::text();
    if (toolTip() == old)
        setToolTip(QString());
    QAbstractButton::setText(text);
    updateToolTip();
}

template <class T>
void Button::setShapingField(T &field, const T &value) {
    if (value == field)
        return;
    field = value;
    updateToolTip();
    changed();
}

void Button::setButtonStyle(const ButtonStyle &style) {
    setShapingField(m_style, style);
}

void Button::setSymbol(const QString &symbol) {
    setShapingField(m_symbol, symbol);
}

void Button::setSymbolSize(std::optional<qreal> standardPoints) {
    m_symbolSize = standardPoints;
    changed();
}

void Button::setDisabledOpacity(std::optional<qreal> opacity) {
    m_disabledOpacity = opacity;
    update();
}

void Button::setLabelWidget(QWidget *label) {
    delete m_label;
    m_label = label;
    if (label) {
        label->setParent(this);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setGeometry(rect());
        label->show();
    }
    changed();
}

void Button::updateToolTip() {
    const Metrics m = metricsFor(m_style, Environment::textSize(this), !m_symbol.isEmpty());
    const bool iconOnly = !m.showTitle && !std::holds_alternative<FillButtonStyle>(m_style);
    // The symbol alone still says what it does to the pointer and to screen readers.
    if (iconOnly && toolTip().isEmpty())
        setToolTip(text());
    else if (!iconOnly && toolTip() == text())
        setToolTip(QString());
    setAccessibleName(text());
}

bool Button::isHighlighted() const {
    return isEnabled() && (m_hover->isHovering() || isDown());
}

void Button::resizeEvent(QResizeEvent *event) {
    if (m_label)
        m_label->setGeometry(rect());
    QAbstractButton::resizeEvent(event);
}

bool Button::hitButton(const QPoint &pos) const {
    return rect().contains(pos);
}

void Button::changed() {
    updateGeometry();
    update();
}

bool Button::event(QEvent *event) {
    if (Environment::isChange(event)) {
        updateToolTip();
        changed();
    }
    if (event->type() == QEvent::EnabledChange)
        update();
    return QAbstractButton::event(event);
}

Button::Look Button::look() const {
    const ColorScheme scheme = Environment::colorScheme(this);
    auto c = [scheme](ColorName name) { return NamedColors::color(name, scheme); };
    const bool enabled = isEnabled();
    const bool pressed = isDown();
    const qreal hover = enabled ? m_hover->progress() : 0.0;
    const QColor clear(0, 0, 0, 0);
    Look look;
    // Icon and pane buttons rest bare and take a pressed tint as they are hovered.
    auto bareLook = [&] {
        look.fill =
            pressed && enabled ? c(ColorName::SurfacePressed) : mixColors(clear, c(ColorName::SurfacePressed), hover);
        look.text = pressed && enabled ? c(ColorName::TextPrimary)
                                       : mixColors(c(ColorName::TextSecondary), c(ColorName::TextPrimary), hover);
        look.opacity = enabled ? 1.0 : 0.4;
    };
    std::visit(Overloaded{
                   [&](const IconButtonStyle &) { bareLook(); },
                   [&](const TextButtonStyle &) {
                       look.fill = clear;
                       look.text = c(ColorName::Accent);
                       look.opacity = pressed ? 0.6 : 1.0;
                   },
                   [&](const PrimaryButtonStyle &s) {
                       look.fill = c(ColorName::AccentFill);
                       look.text = c(ColorName::TextOnAccent);
                       const bool active = enabled && !s.running;
                       if (active)
                           look.brightness = pressed ? -0.08 : -0.04 * m_hover->progress();
                       look.opacity = s.running ? 0.7 : (enabled ? 1.0 : 0.4);
                   },
                   [&](const SmallButtonStyle &) {
                       const QColor resting =
                           scheme == ColorScheme::Dark ? c(ColorName::SurfacePressed) : c(ColorName::SurfaceContent);
                       look.fill = pressed ? c(ColorName::SurfacePressed)
                                           : mixColors(resting, c(ColorName::SurfaceHover), m_hover->progress());
                       look.border = c(ColorName::LineStrong);
                       look.text = c(ColorName::TextPrimary);
                   },
                   [&](const SecondaryButtonStyle &) {
                       const QColor resting =
                           scheme == ColorScheme::Dark ? c(ColorName::SurfacePressed) : c(ColorName::SurfaceContent);
                       look.fill = pressed && enabled ? c(ColorName::SurfacePressed)
                                                      : mixColors(resting, c(ColorName::SurfaceHover), hover);
                       look.border = c(ColorName::LineStrong);
                       look.text = c(ColorName::TextPrimary);
                       look.opacity = enabled ? 1.0 : 0.4;
                   },
                   [&](const PaneButtonStyle &) { bareLook(); },
                   [&](const FillButtonStyle &s) {
                       look.fill = pressed ? c(ColorName::SurfacePressed)
                                           : mixColors(c(s.fill), c(ColorName::SurfaceHover), m_hover->progress());
                       if (s.border)
                           look.border = c(*s.border);
                       look.text = c(ColorName::TextPrimary);
                   },
               },
               m_style);
    if (!enabled && m_disabledOpacity)
        look.opacity = *m_disabledOpacity;
    return look;
}

QSize Button::sizeHint() const {
    const TextSize size = Environment::textSize(this);
    const Metrics m = metricsFor(m_style, size, !m_symbol.isEmpty(), m_symbolSize);
    if (std::holds_alternative<FillButtonStyle>(m_style))
        return m_label ? m_label->sizeHint().expandedTo(m_label->minimumSize()) : QSize(0, 0);
    qreal width = 2 * m.padding;
    qreal textHeight = 0;
    if (m.iconBox > 0)
        width += m.iconBox;
    if (m.showTitle && !text().isEmpty()) {
        const QFont f = fontFor(m.textStyle, size);
        width += singleLineWidth(text(), f);
        textHeight = singleLineHeight(text(), f);
        if (m.iconBox > 0)
            width += m.iconGap;
    }
    if (const auto *primary = std::get_if<PrimaryButtonStyle>(&m_style)) {
        if (!primary->keyHint.isEmpty() && Environment::showsKeyHints(this))
            width += m.hintGap + singleLineWidth(primary->keyHint, fontFor(Typography::Meta, size));
    }
    int height = m.height > 0 ? m.height : std::max<int>(m.minHeight, int(std::ceil(textHeight)));
    return QSize(std::max(m.minWidth, int(std::ceil(width))), height);
}

QSize Button::minimumSizeHint() const {
    return sizeHint();
}

void Button::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const TextSize size = Environment::textSize(this);
    const Metrics m = metricsFor(m_style, size, !m_symbol.isEmpty(), m_symbolSize);
    const Look lk = look();
    painter.setOpacity(lk.opacity);

    const QRectF shape = QRectF(rect());
    QColor fill = lk.fill;
    if (lk.brightness != 0)
        fill = brighten(fill, lk.brightness);
    if (fill.alpha() > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(shape, m.radius, m.radius);
    }
    if (lk.border) {
        painter.setPen(QPen(*lk.border, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), std::max<qreal>(0, m.radius - 0.5),
                                std::max<qreal>(0, m.radius - 0.5));
    }
    if (std::holds_alternative<FillButtonStyle>(m_style))
        return; // the caller's label draws itself

    // Content: icon, title and key hint, centred as one row.
    const QFont titleFont = fontFor(m.textStyle, size);
    const bool showTitle = m.showTitle && !text().isEmpty();
    qreal titleWidth = showTitle ? singleLineWidth(text(), titleFont) : 0;
    QString hint;
    qreal hintWidth = 0;
    if (const auto *primary = std::get_if<PrimaryButtonStyle>(&m_style)) {
        if (!primary->keyHint.isEmpty() && Environment::showsKeyHints(this)) {
            hint = primary->keyHint;
            hintWidth = singleLineWidth(hint, fontFor(Typography::Meta, size));
        }
    }
    qreal content = (m.iconBox > 0 ? m.iconBox : 0) + titleWidth + (hint.isEmpty() ? 0 : m.hintGap + hintWidth);
    if (m.iconBox > 0 && showTitle)
        content += m.iconGap;
    const qreal available = width() - 2 * m.padding;
    if (content > available && showTitle) {
        titleWidth = std::max<qreal>(0, titleWidth - (content - available));
        content = available;
    }
    qreal x = std::round(m.padding + std::max<qreal>(0, (available - content) / 2));
    const QRectF row(0, 0, width(), height());

    QColor iconColor = lk.text;
    if (std::holds_alternative<SecondaryButtonStyle>(m_style))
        iconColor = Environment::color(this, ColorName::Accent);
    if (m.iconBox > 0) {
        Symbols::paint(&painter, QRectF(x, 0, m.iconBox, height()), m_symbol, m.iconBox, iconColor);
        x += m.iconBox + (showTitle ? m.iconGap : 0);
    }
    if (showTitle) {
        painter.setFont(titleFont);
        painter.setPen(lk.text);
        const QString shown = QFontMetricsF(titleFont).elidedText(text(), Qt::ElideRight, titleWidth + 1);
        painter.drawText(QRectF(x, row.top(), titleWidth + 1, row.height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
        x += titleWidth;
    }
    if (!hint.isEmpty()) {
        x += m.hintGap;
        painter.setFont(fontFor(Typography::Meta, size));
        painter.setOpacity(lk.opacity * 0.7);
        painter.drawText(QRectF(x, row.top(), hintWidth + 1, row.height()), Qt::AlignLeft | Qt::AlignVCenter, hint);
    }
}

} // namespace velmora
