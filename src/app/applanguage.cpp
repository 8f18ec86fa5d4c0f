#include "app/applanguage.h"

#include "app/appsettings.h"
#include "core/defaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

namespace velmora {

QString AppLanguage::toString(Preference preference) {
    switch (preference) {
    case Preference::System: return QStringLiteral("system");
    case Preference::English: return QStringLiteral("en");
    case Preference::Japanese: return QStringLiteral("ja");
    }
    return QStringLiteral("system");
}

AppLanguage::Preference AppLanguage::preferenceFromString(const QString &raw) {
    if (raw == QLatin1String("en"))
        return Preference::English;
    if (raw == QLatin1String("ja"))
        return Preference::Japanese;
    return Preference::System;
}

QStringList AppLanguage::systemPreferredLanguages() {
    return QLocale::system().uiLanguages();
}

AppLanguage::AppLanguage(Defaults &defaults, PreferredLanguages preferredLanguages, QObject *parent)
    : QObject(parent), m_defaults(defaults), m_preferredLanguages(std::move(preferredLanguages)),
      m_previousDefault(QLocale()) {
    m_preference = preferenceFromString(m_defaults.string(kAppLanguage.name));
    m_locale = QLocale(resolve(m_preference, m_preferredLanguages()));
    applyTranslators();
}

AppLanguage::~AppLanguage() {
    for (auto &translator : m_translators)
        QCoreApplication::removeTranslator(translator.get());
    QLocale::setDefault(m_previousDefault);
}

void AppLanguage::setPreference(Preference preference) {
    const bool changed = preference != m_preference;
    m_preference = preference;
    m_defaults.set(kAppLanguage, toString(preference));
    if (changed)
        emit preferenceChanged();
    refreshLocale();
}

void AppLanguage::setLocale(const QLocale &locale) {
    if (locale == m_locale)
        return;
    m_locale = locale;
    applyTranslators();
    emit localeChanged();
}

void AppLanguage::refreshLocale() {
    setLocale(QLocale(resolve(m_preference, m_preferredLanguages())));
}

QString AppLanguage::resolve(Preference preference, const QStringList &preferredLanguages) {
    switch (preference) {
    case Preference::Japanese: return QStringLiteral("ja");
    case Preference::English: return QStringLiteral("en");
    case Preference::System: break;
    }
    if (preferredLanguages.isEmpty() || preferredLanguages.first().isEmpty())
        return QStringLiteral("en");
    // "ja", "ja-JP", "ja_JP.UTF-8": only the language part counts.
    const QString first = preferredLanguages.first();
    const QString code = first.section(QRegularExpression(QStringLiteral("[-_.@]")), 0, 0).toLower();
    return code == QLatin1String("ja") ? QStringLiteral("ja") : QStringLiteral("en");
}

QLocale AppLanguage::formattingLocale() const {
    return QLocale(m_locale.language(), QLocale::system().territory());
}

QStringList AppLanguage::translationFiles(const QString &languageCode) {
    QStringList files;
    const QDir folder(QStringLiteral(":/translations"));
    for (const QString &name :
         folder.entryList({QStringLiteral("*_") + languageCode + QStringLiteral(".qm")}, QDir::Files, QDir::Name))
        files.append(folder.filePath(name));
    return files;
}

void AppLanguage::applyTranslators() {
    for (auto &translator : m_translators)
        QCoreApplication::removeTranslator(translator.get());
    m_translators.clear();
    QLocale::setDefault(formattingLocale());
    // English texts are the sources themselves; its small tables only hold the singular of counts.
    QStringList files = translationFiles(isJapanese() ? QStringLiteral("ja") : QStringLiteral("en"));
    if (isJapanese()) {
        // Qt's own texts (standard dialogs, context menus of text fields).
        const QString qtBase = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
        if (QFile::exists(qtBase))
            files.prepend(qtBase);
    }
    for (const QString &file : files) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(file))
            continue;
        QCoreApplication::installTranslator(translator.get());
        m_translators.push_back(std::move(translator));
    }
}

} // namespace velmora
