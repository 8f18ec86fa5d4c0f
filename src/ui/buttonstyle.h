#pragma once

#include "ui/namedcolors.h"

#include <QString>

#include <optional>
#include <variant>

namespace velmora {

// A bare symbol in a small square.
struct IconButtonStyle {
    bool operator==(const IconButtonStyle &) const = default;
};
// An accent-coloured text link.
struct TextButtonStyle {
    bool operator==(const TextButtonStyle &) const = default;
};
// The page's main action, accent-filled. running dims it without changing anything else; the
// key hint (shown verbatim) is drawn after the title unless the environment hides key hints.
struct PrimaryButtonStyle {
    bool running = false;
    QString keyHint;
    bool operator==(const PrimaryButtonStyle &) const = default;
};
// A compact bordered button.
struct SmallButtonStyle {
    bool operator==(const SmallButtonStyle &) const = default;
};
// A bordered button beside a primary one, optionally showing its symbol alone.
struct SecondaryButtonStyle {
    bool iconOnly = false;
    bool operator==(const SecondaryButtonStyle &) const = default;
};
// A quiet button inside a pane's header or toolbar, optionally showing its symbol alone.
struct PaneButtonStyle {
    bool iconOnly = false;
    bool operator==(const PaneButtonStyle &) const = default;
};
// A caller-coloured rounded fill around a caller-built label.
struct FillButtonStyle {
    ColorName fill = ColorName::SurfaceContent;
    qreal radius = 6;
    std::optional<ColorName> border;
    bool operator==(const FillButtonStyle &) const = default;
};

using ButtonStyle = std::variant<IconButtonStyle, TextButtonStyle, PrimaryButtonStyle, SmallButtonStyle,
                                 SecondaryButtonStyle, PaneButtonStyle, FillButtonStyle>;

} // namespace velmora
