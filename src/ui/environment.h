#pragma once

#include "ui/namedcolors.h"
#include "ui/textsize.h"

#include <QEvent>
#include <QPalette>

class QWidget;

namespace velmora {

// Values a container hands down to every widget below it, like the text size set at a window's
// root. A value set on a widget holds for it and its descendants until one of them sets its own;
// a widget with no setter above it reads the default. Setting a value sends an
// Environment::changeEventType() event to the widget and every descendant, so kit widgets re-read
// it; reparenting (QEvent::ParentChange) can change what a widget reads as well.
namespace Environment {

TextSize textSize(const QWidget *widget);
void setTextSize(QWidget *widget, TextSize size);

// Default: dark when the widget's window colour is dark, light otherwise.
ColorScheme colorScheme(const QWidget *widget);
void setColorScheme(QWidget *widget, ColorScheme scheme);

// A palette of the named colours for a scheme, so the toolkit's own widgets (menus, scroll bars,
// line edits) match the kit's.
QPalette paletteFor(ColorScheme scheme);
// Sets the scheme and its palette on a window's root.
void applyAppearance(QWidget *root, ColorScheme scheme);

// Default true; read by primary buttons only.
bool showsKeyHints(const QWidget *widget);
void setShowsKeyHints(QWidget *widget, bool shows);

// Default false; lets an options menu take less than its ideal width and truncate its title.
bool compressesHeaderOptions(const QWidget *widget);
void setCompressesHeaderOptions(QWidget *widget, bool compresses);
// Sizes an options menu by that: only a compressing header may take width from its title.
void applyHeaderOptionSizePolicy(QWidget *menu);

// Default false; reducible animations apply their change at once while it is true.
bool reduceMotion(const QWidget *widget);
void setReduceMotion(QWidget *widget, bool reduce);

// The event sent when a value changes; isChange() is also true for QEvent::ParentChange.
QEvent::Type changeEventType();
bool isChange(const QEvent *event);

// Named colour resolved in the widget's colour scheme.
QColor color(const QWidget *widget, ColorName name);

} // namespace Environment
} // namespace velmora
