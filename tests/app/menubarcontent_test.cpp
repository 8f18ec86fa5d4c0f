#include "app/applanguage.h"
#include "app/appsettings.h"
#include "app/menubarcontent.h"
#include "core/defaults.h"
#include "support/testsupport.h"

#include <QAction>
#include <QMenu>

using namespace velmora;

namespace {
QStringList titles(QMenu *menu) {
    QStringList out;
    for (QAction *a : menu->actions())
        out.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}
QAction *action(QMenu *menu, const char *name) {
    return menu->findChild<QAction *>(QLatin1String(name));
}
} // namespace

// The items in order, "Copy Last Transcript" only while there is a transcript, "Free Up
// Memory" only while a model is loaded, each doing its action; titles in the in-app language
// each time the menu opens.
TEST(MenuBarContent, ItemsFollowTheModelsAndTheLanguage) {
    Defaults defaults{QString()};
    AppLanguage language(defaults, [] { return QStringList{QStringLiteral("en-US")}; });
    bool loaded = false;
    bool transcript = false;
    QStringList calls;
    MenuBarContent content(
        language, defaults,
        {[&] { calls.append(QStringLiteral("open")); }, [&] { calls.append(QStringLiteral("settings")); },
         [&] { return transcript; }, [&] { calls.append(QStringLiteral("copy")); }, [&] { return loaded; },
         [&] { calls.append(QStringLiteral("free")); }, [&] { calls.append(QStringLiteral("quit")); }});
    QMenu *menu = content.menu();
    EXPECT_EQ(titles(menu), (QStringList{"Open Velmora", "Settings…", "Copy Last Transcript", "Free Up Memory", "-",
                                         "Quit Velmora"}));
    EXPECT_FALSE(action(menu, "copyLastTranscript")->isEnabled());
    EXPECT_FALSE(action(menu, "freeUpMemory")->isEnabled());

    loaded = true;
    transcript = true;
    content.refresh();
    ASSERT_TRUE(action(menu, "freeUpMemory")->isEnabled());
    ASSERT_TRUE(action(menu, "copyLastTranscript")->isEnabled());
    action(menu, "openVelmora")->trigger();
    action(menu, "settings")->trigger();
    action(menu, "copyLastTranscript")->trigger();
    action(menu, "freeUpMemory")->trigger();
    action(menu, "quitVelmora")->trigger();
    EXPECT_EQ(calls, (QStringList{"open", "settings", "copy", "free", "quit"}));

    language.setPreference(AppLanguage::Preference::Japanese);
    content.refresh();
    EXPECT_EQ(titles(menu), (QStringList{"Velmoraを開く", "設定…", "最後の文字起こしをコピー", "メモリを解放", "-",
                                         "Velmoraを終了"}));
}

// Without a tray on the desktop the item is simply not there, said once in the log; switching
// "showInMenuBar" off and on again follows at once and breaks nothing.
TEST(MenuBarContent, NoTrayIsHarmless) {
    Defaults defaults{QString()};
    AppLanguage language(defaults, [] { return QStringList{QStringLiteral("en-US")}; });
    MenuBarContent content(language, defaults,
                           {[] {}, [] {}, [] { return false; }, [] {}, [] { return false; }, [] {}, [] {}});
    if (content.isTrayAvailable())
        GTEST_SKIP() << "this test needs a desktop without a tray (offscreen)";
    defaults.set(kShowInMenuBar, false);
    EXPECT_FALSE(content.isShown());
    defaults.set(kShowInMenuBar, true);
    EXPECT_NE(content.menu(), nullptr);
}
