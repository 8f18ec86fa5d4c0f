#include "tools/translate/translatedraft.h"

#include "core/jsonfield.h"
#include "core/uuid.h"
#include "library/libraryerror.h"

namespace velmora {

using namespace jsonfield;

namespace {

[[noreturn]] void fail(const char *key) {
    throw LibraryDecodingError(QStringLiteral("translate draft: bad or missing \"%1\"").arg(QLatin1StringView(key)));
}

QString requiredString(const QJsonObject &o, const char *key) {
    std::optional<QString> value;
    if (readString(o, QLatin1StringView(key), value) != Read::Value)
        fail(key);
    return *value;
}

} // namespace

std::optional<TranslateLanguage> TranslateDraft::chosenSource() const {
    return translateLanguageFromString(sourceMode);
}

QString TranslateDraft::sourceModeFor(std::optional<TranslateLanguage> chosen) {
    return chosen ? toString(*chosen) : QStringLiteral("auto");
}

QJsonObject TranslateDraft::toJson() const {
    QJsonObject o;
    o.insert(QLatin1StringView("source"), source);
    o.insert(QLatin1StringView("sourceMode"), sourceMode);
    o.insert(QLatin1StringView("target"), toString(target));
    o.insert(QLatin1StringView("tone"), toString(tone));
    o.insert(QLatin1StringView("result"), result);
    if (taskId)
        o.insert(QLatin1StringView("taskId"), uuidString(*taskId));
    return o;
}

TranslateDraft TranslateDraft::fromJson(const QJsonObject &o) {
    TranslateDraft draft;
    draft.source = requiredString(o, "source");
    draft.sourceMode = requiredString(o, "sourceMode");
    const std::optional<TranslateLanguage> target = translateLanguageFromString(requiredString(o, "target"));
    if (!target)
        fail("target");
    draft.target = *target;
    const std::optional<TranslateTone> tone = translateToneFromString(requiredString(o, "tone"));
    if (!tone)
        fail("tone");
    draft.tone = *tone;
    draft.result = requiredString(o, "result");
    std::optional<QString> taskId;
    switch (readString(o, QLatin1StringView("taskId"), taskId)) {
    case Read::Absent: break;
    case Read::WrongType: fail("taskId");
    case Read::Value: {
        const QUuid id = parseUuid(*taskId);
        if (id.isNull())
            fail("taskId");
        draft.taskId = id;
    }
    }
    return draft;
}

} // namespace velmora
