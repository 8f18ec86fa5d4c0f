#pragma once

#include <QLocale>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QTranslator;

namespace velmora {

class Defaults;

// The interface language, chosen inside the program (follow the system, English or Japanese)
// and switched while it runs. The chosen language reaches every part of the program through
// Qt itself, so lower layers need no reference to this service: the translators of every
// library are installed into the application (each widget gets QEvent::LanguageChange), and
// QLocale's default is set to the formatting locale (the system's region with the app's
// language), by which dates and numbers are written.
class AppLanguage : public QObject {
    Q_OBJECT
public:
    enum class Preference { System, English, Japanese };
    static QString toString(Preference preference);
    // "en" and "ja" exactly; every other value (also an absent one) is System.
    static Preference preferenceFromString(const QString &raw);

    using PreferredLanguages = std::function<QStringList()>;
    // The desktop's preferred interface languages, most preferred first.
    static QStringList systemPreferredLanguages();

    explicit AppLanguage(Defaults &defaults, PreferredLanguages preferredLanguages = systemPreferredLanguages,
                         QObject *parent = nullptr);
    ~AppLanguage() override;

    Preference preference() const { return m_preference; }
    // Stores the choice (also when unchanged) and re-resolves the locale.
    void setPreference(Preference preference);

    // The locale texts are looked up in: "en" or "ja".
    const QLocale &locale() const { return m_locale; }
    void setLocale(const QLocale &locale);
    bool isJapanese() const { return m_locale.language() == QLocale::Japanese; }

    // The region of the system's locale with the app's language.
    QLocale formattingLocale() const;

    // "ja" or "en": Japanese only when asked for, or when following a system whose first
    // preferred language is Japanese.
    static QString resolve(Preference preference, const QStringList &preferredLanguages);
    // Resolves the preference again against the current system languages (on activation,
    // so a system change is followed).
    void refreshLocale();

    // The translation files found, for the language code: ":/translations/*_<code>.qm".
    static QStringList translationFiles(const QString &languageCode);

signals:
    void preferenceChanged();
    void localeChanged();

private:
    void applyTranslators();

    Preference m_preference = Preference::System;
    QLocale m_locale{QLocale::English};
    Defaults &m_defaults;
    PreferredLanguages m_preferredLanguages;
    std::vector<std::unique_ptr<QTranslator>> m_translators;
    QLocale m_previousDefault;
};

} // namespace velmora
