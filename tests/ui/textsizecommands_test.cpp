#include "ui/textsizecommands.h"

#include "core/defaults.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/textsizeenvironment.h"
#include "ui/uisettings.h"

#include <QAction>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTranslator>
#include <QWidget>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct Enabled {
    bool bigger, smaller, actual;
};

Enabled enabled(const TextSizeCommands &commands) {
    return {commands.bigger()->isEnabled(), commands.smaller()->isEnabled(), commands.actualSize()->isEnabled()};
}

} // namespace

TEST(TextSizeCommands, ItemsEnableByTheStoredSize) {
    Defaults defaults{QString()};
    TextSizeCommands commands(defaults);
    struct Case {
        QString stored;
        Enabled expected;
    };
    const Case cases[] = {
        {QString(), {true, false, false}}, {"default", {true, false, false}}, {"large", {true, true, true}},
        {"larger", {true, true, true}},    {"largest", {false, true, true}},  {"Largest", {true, false, false}},
    };
    for (const Case &c : cases) {
        defaults.set(kTextSize, c.stored);
        const Enabled got = enabled(commands);
        EXPECT_EQ(got.bigger, c.expected.bigger) << c.stored.toStdString();
        EXPECT_EQ(got.smaller, c.expected.smaller) << c.stored.toStdString();
        EXPECT_EQ(got.actual, c.expected.actual) << c.stored.toStdString();
    }
    EXPECT_TRUE(commands.equalsShortcut()->isEnabled());
}

TEST(TextSizeCommands, StepsClampAndWriteEvenWhenUnchanged) {
    Defaults defaults{QString()};
    TextSizeCommands commands(defaults);
    QStringList writes;
    QObject::connect(&defaults, &Defaults::changed, [&](const QString &key) {
        if (key == kTextSize.name)
            writes << defaults.get(kTextSize);
    });
    commands.bigger()->trigger();
    commands.bigger()->trigger();
    commands.bigger()->trigger();
    commands.equalsShortcut()->trigger(); // at the largest: stays there
    EXPECT_EQ(defaults.get(kTextSize), "largest");
    commands.smaller()->trigger();
    commands.actualSize()->trigger();
    EXPECT_EQ(writes, (QStringList{"large", "larger", "largest", "larger", "default"}));

    // A stored value that is no size counts as the standard size.
    defaults.set(kTextSize, QStringLiteral("enormous"));
    TextSizeCommands::step(defaults, +1);
    EXPECT_EQ(defaults.get(kTextSize), "large");
    defaults.set(kTextSize, QStringLiteral("enormous"));
    TextSizeCommands::step(defaults, -1);
    EXPECT_EQ(defaults.get(kTextSize), "default");
}

TEST(TextSizeCommands, ShortcutsAreCtrlPlusMinusZeroAndTheHiddenEquals) {
    Defaults defaults{QString()};
    TextSizeCommands commands(defaults);
    EXPECT_EQ(commands.bigger()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    EXPECT_EQ(commands.smaller()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    EXPECT_EQ(commands.actualSize()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_EQ(commands.equalsShortcut()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
}

TEST(TextSizeCommands, OverrideWinsForTheViewWhileCommandsActOnTheStoredSize) {
    Defaults defaults{QString()};
    defaults.set(kTextSize, QStringLiteral("larger"));
    defaults.setArguments({QStringLiteral("velmora"), QStringLiteral("-textSizeOverride"), QStringLiteral("default")});
    QWidget root;
    auto *label = new StyledLabel(QStringLiteral("Text"), Typography::Body, &root);
    TextSizeEnvironment environment(&root, defaults);
    TextSizeCommands commands(defaults);
    EXPECT_EQ(Environment::textSize(label), TextSize::Standard);
    EXPECT_TRUE(commands.smaller()->isEnabled());
    commands.bigger()->trigger();
    EXPECT_EQ(defaults.get(kTextSize), "largest");
    EXPECT_EQ(Environment::textSize(label), TextSize::Standard);
    EXPECT_FALSE(commands.bigger()->isEnabled());

    // An override that names no size is ignored.
    defaults.setArguments({QStringLiteral("velmora"), QStringLiteral("-textSizeOverride"), QStringLiteral("tiny")});
    EXPECT_EQ(TextSizeEnvironment::effectiveSize(defaults), TextSize::Largest);
}

TEST(TextSizeEnvironment, AStoredChangeReachesEveryWidgetAtOnce) {
    Defaults defaults{QString()};
    QWidget root;
    auto *inner = new QWidget(&root);
    auto *label = new StyledLabel(QStringLiteral("Grows"), Typography::Body, inner);
    TextSizeEnvironment environment(&root, defaults);
    QSignalSpy changes(&environment, &TextSizeEnvironment::changed);
    const int before = label->sizeHint().height();
    EXPECT_EQ(Environment::textSize(label), TextSize::Standard);
    defaults.set(kTextSize, QStringLiteral("largest"));
    EXPECT_EQ(Environment::textSize(label), TextSize::Largest);
    EXPECT_GT(label->sizeHint().height(), before);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.first().first().value<TextSize>(), TextSize::Largest);
    // A stored value that differs only in letter case is not a size.
    defaults.set(kTextSize, QStringLiteral("Larger"));
    EXPECT_EQ(Environment::textSize(label), TextSize::Standard);
    defaults.set(kReduceMotion, true);
    EXPECT_TRUE(Environment::reduceMotion(label));
}

TEST(TextSizeCommands, LabelsFollowTheInAppLanguage) {
    Defaults defaults{QString()};
    TextSizeCommands commands(defaults);
    EXPECT_EQ(commands.bigger()->text(), "Bigger");
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/translations/ui_ja.qm")));
    QCoreApplication::installTranslator(&japanese);
    const QString bigger = commands.bigger()->text();
    const QString actual = commands.actualSize()->text();
    QCoreApplication::removeTranslator(&japanese);
    EXPECT_NE(bigger, "Bigger");
    EXPECT_NE(actual, "Actual Size");
    EXPECT_EQ(commands.bigger()->text(), "Bigger");
}
