#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

enum class ColorScheme { Light, Dark };

// The interface's named colours. Their light and dark values live in one resource table
// (resources/ui/colors.json), never in code; the names are the only thing code knows.
enum class ColorName {
    TextPrimary,
    TextSecondary,
    TextTertiary,
    TextOnAccent,
    Accent,
    AccentFill,
    Attention,
    AttentionSoft,
    Highlight,
    LineFocus,
    LineHairline,
    LineStrong,
    PinTint,
    Scrim,
    SurfaceCapsule,
    SurfaceChip,
    SurfaceContent,
    SurfaceHover,
    SurfacePanel,
    SurfacePressed,
    SurfaceSelection,
    SurfaceSidebar,
    SurfaceSunken,
};

QString toString(ColorName name);
QString toString(ColorScheme scheme);

namespace NamedColors {

// Every name of the enumeration, in declaration order.
QList<ColorName> all();

QColor color(ColorName name, ColorScheme scheme);
// A colour by its resource name (also the pin tints "PinTint1" to "PinTint9"); none when the
// table has no such name.
std::optional<QColor> color(const QString &name, ColorScheme scheme);
// Every name the resource table holds.
QStringList tableNames();

} // namespace NamedColors
} // namespace velmora
