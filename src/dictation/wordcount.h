#pragma once

// The counts every tool stores with its runs: user-perceived characters (core/characters.h)
// and words.

#include "core/characters.h"

#include <QString>

#include <optional>

namespace velmora {

// The number of words of the text, found by ICU's word breaking: spaces and punctuation are not
// words, and text written without spaces (Japanese, Chinese) is split by its dictionaries. The
// language code ("en", "ja") is used as given; without one the rules decide by themselves.
qint64 countWords(const QString &text, const std::optional<QString> &language = std::nullopt);

} // namespace velmora
