#pragma once

#include <QEasingCurve>

#include <optional>

class QVariantAnimation;
class QWidget;

namespace velmora {

// The kit's shared animations, used by name across the interface.
struct Animation {
    int durationMs;
    QEasingCurve::Type curve;

    // Hover, press and copy feedback: ease-out 0.12 s. Never reduced.
    static Animation quick() { return {120, QEasingCurve::OutCubic}; }
    // Content inserted or removed: ease-in-out 0.2 s.
    static Animation standard() { return {200, QEasingCurve::InOutCubic}; }
    // A new item opening or a section revealed: ease-out 0.22 s.
    static Animation gentle() { return {220, QEasingCurve::OutCubic}; }

    bool operator==(const Animation &) const = default;
};

// Starts animation towards its end value with the given timing. A reducible animation of a
// widget whose environment has Reduce Motion on, or no timing at all, jumps to the end value at
// once (the value is delivered before this returns).
void startAnimation(QVariantAnimation *animation, std::optional<Animation> timing, bool reducible,
                    const QWidget *context);

// The same for content changes: the reducible form.
inline void startReducibleAnimation(QVariantAnimation *animation, std::optional<Animation> timing,
                                    const QWidget *context) {
    startAnimation(animation, timing, true, context);
}

} // namespace velmora
