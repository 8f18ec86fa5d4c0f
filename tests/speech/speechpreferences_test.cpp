#include "core/defaults.h"
#include "speech/speechpreferences.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;
using U = SpeechUnloadInterval;

namespace {

struct LanguageCase {
    const char *name;
    std::optional<QString> stored;
    std::optional<QString> appLanguage;
    QStringList preferred;
    QString expected;
};
void PrintTo(const LanguageCase &c, std::ostream *os) {
    *os << c.name;
}

class SpeechPreferencesLanguageTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(SpeechPreferencesLanguageTest, ChoosesTheStartLanguageAndWritesItBack) {
    const LanguageCase &c = GetParam();
    Defaults defaults(QString{});
    if (c.stored)
        defaults.setString(QStringLiteral("speechLanguage"), *c.stored);
    if (c.appLanguage)
        defaults.setString(QStringLiteral("appLanguage"), *c.appLanguage);
    SpeechPreferences preferences(defaults, c.preferred);
    EXPECT_EQ(preferences.languageCode(), c.expected);
    EXPECT_EQ(defaults.string(QStringLiteral("speechLanguage")), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, SpeechPreferencesLanguageTest,
    ::testing::Values(
        LanguageCase{"FirstPreferredRegional", {}, QStringLiteral("system"), {QStringLiteral("de-AT")}, "de"},
        LanguageCase{"ScriptAndRegion", {}, {}, {QStringLiteral("zh-Hans-CN")}, "zh"},
        LanguageCase{"UnderscoreForm", {}, {}, {QStringLiteral("pt_BR")}, "pt"},
        LanguageCase{"OnlyFirstPreferredCounts", {}, {}, {QStringLiteral("sv-SE"), QStringLiteral("fr-FR")}, "en"},
        LanguageCase{"AppLanguageJapanese", {}, QStringLiteral("ja"), {QStringLiteral("de-DE")}, "ja"},
        LanguageCase{"StoredWinsOverAppLanguage", QStringLiteral("fr"), QStringLiteral("ja"), {}, "fr"},
        LanguageCase{"UnsupportedStoredFallsBack", QStringLiteral("sv"), {}, {QStringLiteral("ko-KR")}, "ko"},
        LanguageCase{"NothingKnown", {}, {}, {}, "en"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SpeechPreferencesTest, MistypedStoredLanguageIsIgnored) {
    Defaults defaults(QString{});
    defaults.setInteger(QStringLiteral("speechLanguage"), 3);
    SpeechPreferences preferences(defaults, {QStringLiteral("it-IT")});
    EXPECT_EQ(preferences.languageCode(), QStringLiteral("it"));
    EXPECT_EQ(defaults.storedType(QStringLiteral("speechLanguage")), Defaults::Type::String);
}

struct IntervalCase {
    const char *name;
    std::function<void(Defaults &)> store;
    SpeechUnloadInterval expected;
};
void PrintTo(const IntervalCase &c, std::ostream *os) {
    *os << c.name;
}

class SpeechPreferencesIntervalTest : public ::testing::TestWithParam<IntervalCase> {};

// Stored intervals map onto the three choices and stay as stored until the user picks one.
TEST_P(SpeechPreferencesIntervalTest, LoadsStoredInterval) {
    Defaults defaults(QString{});
    GetParam().store(defaults);
    const QVariant before = defaults.value(QStringLiteral("speechUnloadInterval"));
    SpeechPreferences preferences(defaults, {});
    EXPECT_EQ(preferences.unloadInterval(), GetParam().expected);
    EXPECT_EQ(defaults.value(QStringLiteral("speechUnloadInterval")), before);
}

auto storeInt(qint64 v) {
    return [v](Defaults &d) { d.setInteger(QStringLiteral("speechUnloadInterval"), v); };
}

INSTANTIATE_TEST_SUITE_P(Stored, SpeechPreferencesIntervalTest,
                         ::testing::Values(IntervalCase{"Missing", [](Defaults &) {}, U::FiveMinutes},
                                           IntervalCase{"Zero", storeInt(0), U::FiveMinutes},
                                           IntervalCase{"Sixty", storeInt(60), U::FiveMinutes},
                                           IntervalCase{"ThreeHundred", storeInt(300), U::FiveMinutes},
                                           IntervalCase{"NineHundred", storeInt(900), U::ThirtyMinutes},
                                           IntervalCase{"EighteenHundred", storeInt(1800), U::ThirtyMinutes},
                                           IntervalCase{"Never", storeInt(-1), U::Never},
                                           IntervalCase{"Unknown", storeInt(7200), U::FiveMinutes},
                                           IntervalCase{"Text",
                                                        [](Defaults &d) {
                                                            d.setString(QStringLiteral("speechUnloadInterval"), "1800");
                                                        },
                                                        U::FiveMinutes}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SpeechPreferencesTest, IntervalRawValuesAndDelays) {
    EXPECT_EQ(speechUnloadIntervalFromRaw(300), U::FiveMinutes);
    EXPECT_EQ(speechUnloadIntervalFromRaw(1800), U::ThirtyMinutes);
    EXPECT_EQ(speechUnloadIntervalFromRaw(-1), U::Never);
    for (qint64 other : {0, 60, 900, 7200, -2})
        EXPECT_FALSE(speechUnloadIntervalFromRaw(other)) << other;
    EXPECT_EQ(unloadSeconds(U::FiveMinutes), 300.0);
    EXPECT_EQ(unloadSeconds(U::ThirtyMinutes), 1800.0);
    EXPECT_FALSE(unloadSeconds(U::Never));
}

TEST(SpeechPreferencesTest, FreshStoreReadsDefaultsAndWritesOnlyTheLanguage) {
    Defaults defaults(QString{});
    SpeechPreferences preferences(defaults, {});
    EXPECT_TRUE(preferences.soundsEnabled());
    EXPECT_TRUE(preferences.muteOutputEnabled());
    EXPECT_TRUE(preferences.cleanupEnabled());
    EXPECT_FALSE(preferences.selectedDeviceID());
    EXPECT_EQ(preferences.unloadInterval(), U::FiveMinutes);
    for (const char *key : {"speechDevice", "speechUnloadInterval", "speechSoundsEnabled", "speechMuteOutputEnabled",
                            "speechCleanupEnabled"})
        EXPECT_FALSE(defaults.contains(QString::fromLatin1(key))) << key;
}

TEST(SpeechPreferencesTest, StoredFormsAreReadBackByANewInstance) {
    Defaults defaults(QString{});
    {
        SpeechPreferences preferences(defaults, {});
        preferences.setLanguageCode(QStringLiteral("ja"));
        preferences.setSelectedDeviceID(QStringLiteral("usb-mic-1"));
        preferences.setUnloadInterval(U::Never);
        preferences.setSoundsEnabled(false);
        preferences.setMuteOutputEnabled(false);
        preferences.setCleanupEnabled(false);
    }
    EXPECT_EQ(defaults.storedType(QStringLiteral("speechDevice")), Defaults::Type::String);
    EXPECT_EQ(defaults.storedType(QStringLiteral("speechUnloadInterval")), Defaults::Type::Integer);
    EXPECT_EQ(defaults.integer(QStringLiteral("speechUnloadInterval")), -1);
    for (const char *key : {"speechSoundsEnabled", "speechMuteOutputEnabled", "speechCleanupEnabled"}) {
        EXPECT_EQ(defaults.storedType(QString::fromLatin1(key)), Defaults::Type::Bool) << key;
        EXPECT_FALSE(defaults.boolValue(QString::fromLatin1(key), true)) << key;
    }
    SpeechPreferences again(defaults, {QStringLiteral("de")});
    EXPECT_EQ(again.snapshot(), (SpeechPreferenceSnapshot{QStringLiteral("ja"), QStringLiteral("usb-mic-1")}));
    EXPECT_EQ(again.unloadInterval(), U::Never);
    EXPECT_FALSE(again.soundsEnabled());
    EXPECT_FALSE(again.muteOutputEnabled());
    EXPECT_FALSE(again.cleanupEnabled());
}

TEST(SpeechPreferencesTest, SwitchStoredAsOtherTypeReadsAsOn) {
    Defaults defaults(QString{});
    defaults.setString(QStringLiteral("speechSoundsEnabled"), QStringLiteral("false"));
    defaults.setInteger(QStringLiteral("speechCleanupEnabled"), 0);
    SpeechPreferences preferences(defaults, {});
    EXPECT_TRUE(preferences.soundsEnabled());
    EXPECT_TRUE(preferences.cleanupEnabled());
}

TEST(SpeechPreferencesTest, UnsupportedLanguageBecomesEnglish) {
    Defaults defaults(QString{});
    SpeechPreferences preferences(defaults, {QStringLiteral("fr")});
    preferences.setLanguageCode(QStringLiteral("sv"));
    EXPECT_EQ(preferences.languageCode(), QStringLiteral("en"));
    EXPECT_EQ(defaults.string(QStringLiteral("speechLanguage")), QStringLiteral("en"));
}

TEST(SpeechPreferencesTest, NoDeviceRemovesTheKey) {
    Defaults defaults(QString{});
    SpeechPreferences preferences(defaults, {});
    preferences.setSelectedDeviceID(QStringLiteral("built-in"));
    ASSERT_TRUE(defaults.contains(QStringLiteral("speechDevice")));
    preferences.setSelectedDeviceID(std::nullopt);
    EXPECT_FALSE(defaults.contains(QStringLiteral("speechDevice")));
    EXPECT_FALSE(preferences.selectedDeviceID());
}

// Every set writes its key and, for the interval, calls onUnloadChange; the change signal
// fires only when the value really changed.
TEST(SpeechPreferencesTest, SetsWriteEveryTimeButSignalOnlyChanges) {
    Defaults defaults(QString{});
    SpeechPreferences preferences(defaults, {});
    QSignalSpy keys(&defaults, &Defaults::changed);
    QSignalSpy interval(&preferences, &SpeechPreferences::unloadIntervalChanged);
    QSignalSpy sounds(&preferences, &SpeechPreferences::soundsEnabledChanged);
    int unloadCalls = 0;
    preferences.onUnloadChange = [&] {
        EXPECT_EQ(defaults.integer(QStringLiteral("speechUnloadInterval")), toRaw(preferences.unloadInterval()));
        ++unloadCalls;
    };

    preferences.setUnloadInterval(U::FiveMinutes);
    EXPECT_EQ(unloadCalls, 1);
    EXPECT_EQ(interval.count(), 0);
    EXPECT_EQ(defaults.integer(QStringLiteral("speechUnloadInterval")), 300);
    preferences.setUnloadInterval(U::ThirtyMinutes);
    EXPECT_EQ(unloadCalls, 2);
    EXPECT_EQ(interval.count(), 1);

    preferences.setSoundsEnabled(true);
    EXPECT_EQ(sounds.count(), 0);
    EXPECT_TRUE(defaults.contains(QStringLiteral("speechSoundsEnabled")));
    preferences.setSoundsEnabled(false);
    EXPECT_EQ(sounds.count(), 1);
    EXPECT_EQ(keys.count(), 4);
}

} // namespace
