#include "workspace/pinmenuitems.h"

#include "core/defaults.h"
#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"
#include "workspacefakes.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Item {
    QString title;
    bool enabled;
    bool operator==(const Item &) const = default;
};

QList<Item> items(const QMenu &menu) {
    QList<Item> result;
    for (QAction *action : menu.actions())
        result.append({action->text(), action->isEnabled()});
    return result;
}

class PinMenuItemsTest : public ::testing::Test {
protected:
    void SetUp() override { defaults.setStringList("pinnedTools", {"dictation", "extractText", "translate"}); }
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    std::unique_ptr<PinnedTools> pins;
};

} // namespace

TEST_F(PinMenuItemsTest, PinUnpinOrFull) {
    pins = std::make_unique<PinnedTools>(defaults);
    QMenu pinned, other;
    PinMenuItems::addTo(&pinned, WorkspaceTool::Translate, *pins, navigation);
    PinMenuItems::addTo(&other, WorkspaceTool::Redact, *pins, navigation);
    EXPECT_EQ(items(pinned), (QList<Item>{{"Unpin", true}}));
    EXPECT_EQ(items(other), (QList<Item>{{"Pin", true}}));
    other.actions()[0]->trigger();
    EXPECT_TRUE(pins->isPinned(WorkspaceTool::Redact));

    for (WorkspaceTool tool : allTools())
        pins->pin(tool);
    ASSERT_EQ(pins->tools().size(), 9);
    QMenu full;
    PinMenuItems::addTo(&full, WorkspaceTool::Humanize, *pins, navigation);
    EXPECT_EQ(items(full), (QList<Item>{{"Pin (Unpin a Tool First)", false}}));
}

TEST_F(PinMenuItemsTest, UnpinningTheOpenPinnedToolKeepsItsPageFromItsGroup) {
    pins = std::make_unique<PinnedTools>(defaults);
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate), true);
    PinMenuItems::unpin(WorkspaceTool::Translate, *pins, navigation);
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_FALSE(navigation.fromPinned());
    EXPECT_TRUE(navigation.history().backSteps().size() == 1); // only Home → Translate

    navigation.open(WorkspacePage::tool(WorkspaceTool::Dictation), false);
    PinMenuItems::unpin(WorkspaceTool::Dictation, *pins, navigation);
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Dictation));
    EXPECT_EQ(pins->tools(), QList<WorkspaceTool>{WorkspaceTool::ExtractText});
}

TEST_F(PinMenuItemsTest, MoveItemsAreDisabledAtTheEnds) {
    pins = std::make_unique<PinnedTools>(defaults);
    struct Case {
        WorkspaceTool tool;
        bool up, down;
    };
    for (const Case &c : {Case{WorkspaceTool::Dictation, false, true}, Case{WorkspaceTool::ExtractText, true, true},
                          Case{WorkspaceTool::Translate, true, false}}) {
        QMenu menu;
        PinMoveMenuItems::addTo(&menu, c.tool, *pins);
        EXPECT_EQ(items(menu), (QList<Item>{{"Move Up", c.up}, {"Move Down", c.down}}));
    }
    QMenu menu;
    PinMoveMenuItems::addTo(&menu, WorkspaceTool::Translate, *pins);
    menu.actions()[0]->trigger();
    EXPECT_EQ(pins->tools(),
              (QList<WorkspaceTool>{WorkspaceTool::Dictation, WorkspaceTool::Translate, WorkspaceTool::ExtractText}));

    defaults.setStringList("pinnedTools", {"summarize"});
    PinnedTools single(defaults);
    QMenu alone;
    PinMoveMenuItems::addTo(&alone, WorkspaceTool::Summarize, single);
    EXPECT_EQ(items(alone), (QList<Item>{{"Move Up", false}, {"Move Down", false}}));
}
