#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmora {

// The interface text sizes, in order of growth; the order is the order the View menu steps in.
enum class TextSize { Standard, Large, Larger, Largest };

constexpr std::array<TextSize, 4> allTextSizes() {
    return {TextSize::Standard, TextSize::Large, TextSize::Larger, TextSize::Largest};
}

// Position in allTextSizes(), 0 to 3.
constexpr int position(TextSize size) {
    return static_cast<int>(size);
}

// The stored forms: "default", "large", "larger", "largest". Any other string (including one
// that differs only in letter case) is no size.
QString toString(TextSize size);
std::optional<TextSize> textSizeFromString(const QString &stored);

// The point size of the body style at this size (13, 15, 17, 19): the reference of scaled().
int bodyPointSize(TextSize size);

// A length given for the standard size, at this size: unchanged at the standard size, otherwise
// grown by the body point-size ratio and snapped to a multiple of step, halves away from zero.
double scaled(TextSize size, double length, double step);

// The same snapping with another ratio (the result column uses the reading style's ratio, the
// header tool icon the title style's); applied at every size, the standard one included.
double scaledByRatio(double length, double ratio, double step);

// Rounds halves away from zero, as every length rule of the kit does.
double roundHalfAway(double value);

} // namespace velmora
