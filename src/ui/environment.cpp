#include "ui/environment.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

namespace velmora::Environment {

namespace {

constexpr const char *kTextSize = "_velmora_textSize";
constexpr const char *kColorScheme = "_velmora_colorScheme";
constexpr const char *kShowsKeyHints = "_velmora_showsKeyHints";
constexpr const char *kCompresses = "_velmora_compressesHeaderOptions";
constexpr const char *kReduceMotion = "_velmora_reduceMotion";

QVariant lookUp(const QWidget *widget, const char *name) {
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        const QVariant value = w->property(name);
        if (value.isValid())
            return value;
    }
    return {};
}

void notify(QWidget *widget) {
    QEvent event(changeEventType());
    QApplication::sendEvent(widget, &event);
    const auto children = widget->findChildren<QWidget *>();
    for (QWidget *child : children) {
        QEvent childEvent(changeEventType());
        QApplication::sendEvent(child, &childEvent);
    }
}

void set(QWidget *widget, const char *name, const QVariant &value) {
    if (widget->property(name) == value)
        return;
    widget->setProperty(name, value);
    notify(widget);
}

} // namespace

QEvent::Type changeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool isChange(const QEvent *event) {
    return event->type() == changeEventType() || event->type() == QEvent::ParentChange;
}

TextSize textSize(const QWidget *widget) {
    const QVariant value = lookUp(widget, kTextSize);
    return value.isValid() ? static_cast<TextSize>(value.toInt()) : TextSize::Standard;
}

void setTextSize(QWidget *widget, TextSize size) {
    set(widget, kTextSize, static_cast<int>(size));
}

ColorScheme colorScheme(const QWidget *widget) {
    const QVariant value = lookUp(widget, kColorScheme);
    if (value.isValid())
        return static_cast<ColorScheme>(value.toInt());
    const QColor window = widget ? widget->palette().color(QPalette::Window) : QApplication::palette().window().color();
    return window.lightness() < 128 ? ColorScheme::Dark : ColorScheme::Light;
}

void setColorScheme(QWidget *widget, ColorScheme scheme) {
    set(widget, kColorScheme, static_cast<int>(scheme));
}

QPalette paletteFor(ColorScheme scheme) {
    auto c = [scheme](ColorName name) { return NamedColors::color(name, scheme); };
    QPalette palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, c(ColorName::SurfaceContent));
        palette.setColor(group, QPalette::WindowText, c(ColorName::TextPrimary));
        palette.setColor(group, QPalette::Base, c(ColorName::SurfaceContent));
        palette.setColor(group, QPalette::AlternateBase, c(ColorName::SurfaceSunken));
        palette.setColor(group, QPalette::Text, c(ColorName::TextPrimary));
        palette.setColor(group, QPalette::Button, c(ColorName::SurfaceContent));
        palette.setColor(group, QPalette::ButtonText, c(ColorName::TextPrimary));
        palette.setColor(group, QPalette::Highlight, c(ColorName::SurfaceSelection));
        palette.setColor(group, QPalette::HighlightedText, c(ColorName::TextPrimary));
        palette.setColor(group, QPalette::PlaceholderText, c(ColorName::TextTertiary));
        palette.setColor(group, QPalette::ToolTipBase, c(ColorName::SurfacePanel));
        palette.setColor(group, QPalette::ToolTipText, c(ColorName::TextPrimary));
        palette.setColor(group, QPalette::Link, c(ColorName::Accent));
        palette.setColor(group, QPalette::Mid, c(ColorName::LineStrong));
        palette.setColor(group, QPalette::Midlight, c(ColorName::LineHairline));
        palette.setColor(group, QPalette::Light, c(ColorName::SurfaceContent));
        palette.setColor(group, QPalette::Dark, c(ColorName::LineStrong));
        palette.setColor(group, QPalette::Shadow, c(ColorName::Scrim));
    }
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, c(ColorName::TextTertiary));
    return palette;
}

void applyAppearance(QWidget *root, ColorScheme scheme) {
    root->setPalette(paletteFor(scheme));
    setColorScheme(root, scheme);
}

bool showsKeyHints(const QWidget *widget) {
    const QVariant value = lookUp(widget, kShowsKeyHints);
    return value.isValid() ? value.toBool() : true;
}

void setShowsKeyHints(QWidget *widget, bool shows) {
    set(widget, kShowsKeyHints, shows);
}

bool compressesHeaderOptions(const QWidget *widget) {
    return lookUp(widget, kCompresses).toBool();
}

void setCompressesHeaderOptions(QWidget *widget, bool compresses) {
    set(widget, kCompresses, compresses);
}

void applyHeaderOptionSizePolicy(QWidget *menu) {
    menu->setSizePolicy(compressesHeaderOptions(menu) ? QSizePolicy::Preferred : QSizePolicy::Fixed,
                        QSizePolicy::Fixed);
}

bool reduceMotion(const QWidget *widget) {
    return lookUp(widget, kReduceMotion).toBool();
}

void setReduceMotion(QWidget *widget, bool reduce) {
    set(widget, kReduceMotion, reduce);
}

QColor color(const QWidget *widget, ColorName name) {
    return NamedColors::color(name, colorScheme(widget));
}

} // namespace velmora::Environment
