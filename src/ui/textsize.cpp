#include "ui/textsize.h"

#include <cmath>

namespace velmora {

QString toString(TextSize size) {
    switch (size) {
    case TextSize::Standard: return QStringLiteral("default");
    case TextSize::Large: return QStringLiteral("large");
    case TextSize::Larger: return QStringLiteral("larger");
    case TextSize::Largest: return QStringLiteral("largest");
    }
    return QStringLiteral("default");
}

std::optional<TextSize> textSizeFromString(const QString &stored) {
    for (TextSize size : allTextSizes()) {
        if (toString(size) == stored)
            return size;
    }
    return std::nullopt;
}

int bodyPointSize(TextSize size) {
    constexpr std::array<int, 4> sizes{13, 15, 17, 19};
    return sizes[position(size)];
}

double roundHalfAway(double value) {
    return std::round(value);
}

double scaled(TextSize size, double length, double step) {
    if (size == TextSize::Standard)
        return length;
    return scaledByRatio(length, bodyPointSize(size) / 13.0, step);
}

double scaledByRatio(double length, double ratio, double step) {
    if (step <= 0)
        return length * ratio;
    return roundHalfAway(length * ratio / step) * step;
}

} // namespace velmora
