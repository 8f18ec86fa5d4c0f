#include "app/appcommands.h"
#include "app/applanguage.h"
#include "app/appsettings.h"
#include "app/mainwindow.h"
#include "app/updater.h"
#include "core/defaults.h"
#include "support/testsupport.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

using namespace velmora;

namespace {
QStringList languages(std::initializer_list<const char *> list) {
    QStringList out;
    for (const char *l : list)
        out.append(QString::fromLatin1(l));
    return out;
}
} // namespace

TEST(AppLanguage, ResolvesThePreferenceAgainstTheSystemLanguages) {
    struct Case {
        AppLanguage::Preference preference;
        QStringList preferred;
        const char *expected;
    };
    using P = AppLanguage::Preference;
    const Case cases[] = {
        {P::System, languages({"ja-JP", "en-US"}), "ja"},
        {P::System, languages({"ja"}), "ja"},
        {P::System, languages({"ja_JP.UTF-8"}), "ja"},
        {P::System, languages({"en-JP", "ja-JP"}), "en"},
        {P::System, languages({"zh-Hans-JP", "ja"}), "en"},
        {P::System, {}, "en"},
        {P::System, languages({""}), "en"},
        {P::English, languages({"ja-JP"}), "en"},
        {P::Japanese, languages({"en-US"}), "ja"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AppLanguage::resolve(c.preference, c.preferred), QString::fromLatin1(c.expected))
            << AppLanguage::toString(c.preference).toStdString() << " " << c.preferred.join(',').toStdString();
}

TEST(AppLanguage, ReadsOnlyExactStoredValues) {
    struct Case {
        std::optional<QString> stored;
        AppLanguage::Preference expected;
    };
    using P = AppLanguage::Preference;
    const Case cases[] = {{std::nullopt, P::System},           {QStringLiteral("en"), P::English},
                          {QStringLiteral("ja"), P::Japanese}, {QStringLiteral("fr"), P::System},
                          {QStringLiteral("EN"), P::System},   {QStringLiteral("system"), P::System}};
    for (const Case &c : cases) {
        Defaults defaults{QString()};
        if (c.stored)
            defaults.set(kAppLanguage, *c.stored);
        AppLanguage language(defaults, [] { return languages({"ja-JP"}); });
        EXPECT_EQ(language.preference(), c.expected) << c.stored.value_or(QStringLiteral("<absent>")).toStdString();
        // Reading writes nothing.
        EXPECT_EQ(defaults.contains(kAppLanguage.name), c.stored.has_value());
    }
}

// Every choice is written, also a repeated one (it restores a value removed meanwhile);
// observers hear of real changes only.
TEST(AppLanguage, ChoosingTwiceWritesTwiceAndNotifiesOnce) {
    Defaults defaults{QString()};
    AppLanguage language(defaults, [] { return languages({"en-US"}); });
    QSignalSpy preference(&language, &AppLanguage::preferenceChanged);
    QSignalSpy locale(&language, &AppLanguage::localeChanged);
    language.setPreference(AppLanguage::Preference::Japanese);
    defaults.remove(kAppLanguage.name);
    language.setPreference(AppLanguage::Preference::Japanese);
    EXPECT_EQ(defaults.get(kAppLanguage), QStringLiteral("ja"));
    EXPECT_EQ(preference.count(), 1);
    EXPECT_EQ(locale.count(), 1);
    EXPECT_EQ(defaults.get(kAppLanguage), QStringLiteral("ja"));
    EXPECT_TRUE(language.isJapanese());
}

// A "system" preference follows the system's language when it is resolved again (on
// activation); a fixed choice does not.
TEST(AppLanguage, SystemPreferenceFollowsTheSystemOnRefresh) {
    Defaults defaults{QString()};
    QStringList system = languages({"en-US"});
    AppLanguage language(defaults, [&system] { return system; });
    QSignalSpy locale(&language, &AppLanguage::localeChanged);
    language.refreshLocale();
    EXPECT_EQ(locale.count(), 0);
    system = languages({"ja-JP"});
    language.refreshLocale();
    EXPECT_TRUE(language.isJapanese());
    EXPECT_EQ(locale.count(), 1);

    language.setPreference(AppLanguage::Preference::English);
    system = languages({"ja-JP"});
    language.refreshLocale();
    EXPECT_FALSE(language.isJapanese());
}

// Dates and numbers are written in the app's language with the system's region.
TEST(AppLanguage, FormattingLocaleTakesTheAppLanguage) {
    Defaults defaults{QString()};
    defaults.set(kAppLanguage, QStringLiteral("ja"));
    {
        AppLanguage language(defaults, [] { return languages({"en-US"}); });
        EXPECT_EQ(language.formattingLocale().language(), QLocale::Japanese);
        EXPECT_EQ(QLocale().language(), QLocale::Japanese);
        EXPECT_EQ(QLocale().monthName(1), QStringLiteral("1月"));
        language.setPreference(AppLanguage::Preference::English);
        EXPECT_EQ(QLocale().language(), QLocale::English);
        EXPECT_EQ(QLocale().monthName(1), QStringLiteral("January"));
    }
}

// Every library's embedded Japanese translations are found, the app's own among them.
TEST(AppLanguage, FindsTheEmbeddedTranslations) {
    const QStringList files = AppLanguage::translationFiles(QStringLiteral("ja"));
    EXPECT_TRUE(files.contains(QStringLiteral(":/translations/app_ja.qm"))) << files.join(',').toStdString();
    EXPECT_TRUE(AppLanguage::translationFiles(QStringLiteral("xx")).isEmpty());
}

// Switching the language re-translates an open window's menus at once, and back.
TEST(AppLanguage, SwitchingRetranslatesALiveWindow) {
    Defaults defaults{QString()};
    AppLanguage language(defaults, [] { return languages({"en-US"}); });
    MainWindow window;
    Updater updater{QString()};
    AppCommands commands(window, updater, {[] {}, [] {}});
    window.show();
    ASSERT_EQ(commands.fileMenu()->title(), QStringLiteral("&File"));
    ASSERT_EQ(commands.checkForUpdatesAction()->text(), QStringLiteral("Check for Updates…"));

    language.setPreference(AppLanguage::Preference::Japanese);
    ASSERT_TRUE(test::waitUntil([&] { return commands.fileMenu()->title() == QStringLiteral("ファイル(&F)"); }));
    EXPECT_EQ(commands.checkForUpdatesAction()->text(), QStringLiteral("アップデートを確認…"));

    language.setPreference(AppLanguage::Preference::English);
    ASSERT_TRUE(test::waitUntil([&] { return commands.fileMenu()->title() == QStringLiteral("&File"); }));
    EXPECT_EQ(commands.checkForUpdatesAction()->text(), QStringLiteral("Check for Updates…"));
}

// Counts read in the singular for one in English, and keep their one form in Japanese.
TEST(AppLanguage, CountsAgreeWithTheirNumberInEachLanguage) {
    Defaults defaults{QString()};
    AppLanguage language(defaults, [] { return languages({"en-US"}); });
    language.setPreference(AppLanguage::Preference::English);
    struct Case {
        const char *context, *source, *comment, *one, *five, *japanese;
    };
    const Case cases[] = {
        {"Workspace", "%n words", "Count of an entry's words", "1 word", "5 words", "1 語"},
        {"Workspace", "%n characters", "Count of an entry's characters", "1 character", "5 characters", "1 文字"},
        {"Translate", "%n characters", "Character count of the source", "1 character", "5 characters", "1 文字"},
        {"Translate", "%n words", "Result pane word count", "1 word", "5 words", "1 語"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.context) + " " + c.source);
        EXPECT_EQ(QCoreApplication::translate(c.context, c.source, c.comment, 1), QString::fromUtf8(c.one));
        EXPECT_EQ(QCoreApplication::translate(c.context, c.source, c.comment, 5), QString::fromUtf8(c.five));
    }
    language.setPreference(AppLanguage::Preference::Japanese);
    for (const Case &c : cases)
        EXPECT_EQ(QCoreApplication::translate(c.context, c.source, c.comment, 1), QString::fromUtf8(c.japanese))
            << c.context << " " << c.source;
    language.setPreference(AppLanguage::Preference::English);
}
