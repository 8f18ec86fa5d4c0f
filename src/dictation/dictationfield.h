#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmora {

// The speaker's field of work. The stored form is the raw string; the prompt phrase is what the
// cleanup prompt reads (always English).
enum class DictationField {
    Unspecified,
    Software,
    DataAI,
    Design,
    Product,
    Healthcare,
    Law,
    Finance,
    Science,
    Marketing,
    Other,
};

inline constexpr std::array kAllDictationFields{
    DictationField::Unspecified, DictationField::Software,   DictationField::DataAI, DictationField::Design,
    DictationField::Product,     DictationField::Healthcare, DictationField::Law,    DictationField::Finance,
    DictationField::Science,     DictationField::Marketing,  DictationField::Other,
};

QString toString(DictationField field);
// Exact, case-sensitive match of the stored form; none for anything else.
std::optional<DictationField> dictationFieldFromString(const QString &raw);
// None for Unspecified and for Other (whose own name is used instead).
std::optional<QString> promptPhrase(DictationField field);

} // namespace velmora
