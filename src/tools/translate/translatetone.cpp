#include "tools/translate/translatetone.h"

#include <QCoreApplication>

namespace velmora {

QList<TranslateTone> allTranslateTones() {
    return {TranslateTone::Natural, TranslateTone::Business, TranslateTone::Casual};
}

QString toString(TranslateTone tone) {
    switch (tone) {
    case TranslateTone::Natural: return QStringLiteral("natural");
    case TranslateTone::Business: return QStringLiteral("business");
    case TranslateTone::Casual: return QStringLiteral("casual");
    }
    return {};
}

std::optional<TranslateTone> translateToneFromString(const QString &raw) {
    for (TranslateTone tone : allTranslateTones())
        if (toString(tone) == raw)
            return tone;
    return std::nullopt;
}

QString pillTitle(TranslateTone tone) {
    switch (tone) {
    case TranslateTone::Natural:
        return QCoreApplication::translate("Translate", "Natural",
                                           "Translation tone pill: keeps the original text's tone");
    case TranslateTone::Business: return QCoreApplication::translate("Translate", "Business", "Translation tone pill");
    case TranslateTone::Casual: return QCoreApplication::translate("Translate", "Casual", "Translation tone pill");
    }
    return {};
}

QString noteTitle(TranslateTone tone) {
    switch (tone) {
    case TranslateTone::Natural:
        return QCoreApplication::translate("Translate", "Natural tone", "Result pane note: the tone used");
    case TranslateTone::Business:
        return QCoreApplication::translate("Translate", "Business tone", "Result pane note: the tone used");
    case TranslateTone::Casual:
        return QCoreApplication::translate("Translate", "Casual tone", "Result pane note: the tone used");
    }
    return {};
}

} // namespace velmora
