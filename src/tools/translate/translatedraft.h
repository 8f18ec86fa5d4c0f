#pragma once

// The Translate page's unfinished state, kept between launches as the "translate" draft: the
// source text, the source-language choice, target, tone, the result (with the user's edits)
// and the History task the result belongs to.

#include "tools/translate/translatelanguage.h"
#include "tools/translate/translatetone.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace velmora {

struct TranslateDraft {
    QString source;
    // "auto", "ja" or "en" as written; any other string reads as "auto".
    QString sourceMode = QStringLiteral("auto");
    TranslateLanguage target = TranslateLanguage::English;
    TranslateTone tone = TranslateTone::Natural;
    QString result;
    std::optional<QUuid> taskId;

    bool operator==(const TranslateDraft &) const = default;

    // The chosen source language the mode names; none (automatic) for "auto" and anything else.
    std::optional<TranslateLanguage> chosenSource() const;
    // "auto" for none, else the language's code.
    static QString sourceModeFor(std::optional<TranslateLanguage> chosen);

    // Five keys, and "taskId" (upper-case UUID) only when there is a task.
    QJsonObject toJson() const;
    // Throws LibraryDecodingError when one of the five keys is missing or not of its type, the
    // target or tone is not one of its raw strings, or the task id is not a UUID string; a
    // missing or null task id is no task.
    static TranslateDraft fromJson(const QJsonObject &object);
};

} // namespace velmora
