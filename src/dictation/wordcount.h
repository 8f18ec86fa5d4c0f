#pragma once

// The counts every tool stores with its runs: user-perceived characters and words.

#include <QString>

#include <optional>

namespace velmora {

// The number of words of the text, found by ICU's word breaking: spaces and punctuation are not
// words, and text written without spaces (Japanese, Chinese) is split by its dictionaries. The
// language code ("en", "ja") is used as given; without one the rules decide by themselves.
qint64 countWords(const QString &text, const std::optional<QString> &language = std::nullopt);

// The number of user-perceived characters (grapheme clusters) of the text.
qint64 countCharacters(const QString &text);

// The first count user-perceived characters of the text.
QString firstCharacters(const QString &text, qint64 count);

} // namespace velmora
