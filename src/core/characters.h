#pragma once

// Text measured and cut by user-perceived characters (grapheme clusters) and trimmed by code
// points.

#include <QString>

#include <functional>

namespace velmora {

// The number of user-perceived characters of the text.
qint64 countCharacters(const QString &text);

// The first count user-perceived characters of the text.
QString firstCharacters(const QString &text, qint64 count);

// The text without the code points at either end for which isTrimmed holds.
QString trimmedBy(const QString &text, const std::function<bool(char32_t)> &isTrimmed);

} // namespace velmora
