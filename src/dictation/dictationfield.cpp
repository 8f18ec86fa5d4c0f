#include "dictation/dictationfield.h"

namespace velmora {

QString toString(DictationField field) {
    switch (field) {
    case DictationField::Unspecified: return QStringLiteral("unspecified");
    case DictationField::Software: return QStringLiteral("software");
    case DictationField::DataAI: return QStringLiteral("dataAI");
    case DictationField::Design: return QStringLiteral("design");
    case DictationField::Product: return QStringLiteral("product");
    case DictationField::Healthcare: return QStringLiteral("healthcare");
    case DictationField::Law: return QStringLiteral("law");
    case DictationField::Finance: return QStringLiteral("finance");
    case DictationField::Science: return QStringLiteral("science");
    case DictationField::Marketing: return QStringLiteral("marketing");
    case DictationField::Other: return QStringLiteral("other");
    }
    return {};
}

std::optional<DictationField> dictationFieldFromString(const QString &raw) {
    for (DictationField field : kAllDictationFields)
        if (toString(field) == raw)
            return field;
    return std::nullopt;
}

std::optional<QString> promptPhrase(DictationField field) {
    switch (field) {
    case DictationField::Unspecified: return std::nullopt;
    case DictationField::Software: return QStringLiteral("software development");
    case DictationField::DataAI: return QStringLiteral("data science and AI");
    case DictationField::Design: return QStringLiteral("design");
    case DictationField::Product: return QStringLiteral("product and project management");
    case DictationField::Healthcare: return QStringLiteral("healthcare and medicine");
    case DictationField::Law: return QStringLiteral("law");
    case DictationField::Finance: return QStringLiteral("finance and accounting");
    case DictationField::Science: return QStringLiteral("science and research");
    case DictationField::Marketing: return QStringLiteral("marketing and sales");
    case DictationField::Other: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace velmora
