#include "workspace/sidebargroup.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

SidebarItem tool(WorkspaceTool t, bool pinned = false) {
    return {WorkspacePage::tool(t), pinned};
}
const SidebarItem kHome{WorkspacePage::home(), false};
const SidebarItem kNotes{WorkspacePage::notes(), false};
const SidebarItem kHistory{WorkspacePage::history(), false};
const SidebarItem kSettings{WorkspacePage::settings(), false};

QStringList ids(const QList<SidebarGroup> &groups) {
    QStringList result;
    for (const auto &g : groups)
        result.append(g.id);
    return result;
}

} // namespace

TEST(SidebarGroupTest, PinnedGroupOnlyWithPinsAndEveryToolInItsGroup) {
    EXPECT_EQ(ids(SidebarGroup::groups({})), (QStringList{"audio", "meetings", "documents", "writing"}));
    const auto groups = SidebarGroup::groups({WorkspaceTool::Translate, WorkspaceTool::Dictation});
    EXPECT_EQ(ids(groups), (QStringList{"pinned", "audio", "meetings", "documents", "writing"}));
    EXPECT_EQ(groups[0].items,
              (QList<SidebarItem>{tool(WorkspaceTool::Translate, true), tool(WorkspaceTool::Dictation, true)}));
    EXPECT_EQ(groups[0].title(), "Pinned");
    // A pinned tool keeps its row in its own group.
    EXPECT_EQ(groups[3].items.first(), tool(WorkspaceTool::Translate));
    int rows = 0;
    for (int i = 1; i < groups.size(); ++i)
        rows += int(groups[i].items.size());
    EXPECT_EQ(rows, 12);
}

TEST(SidebarGroupTest, CollapsedStoredForm) {
    QString stored;
    stored = SidebarGroup::toggled("audio", stored);
    EXPECT_EQ(stored, "audio");
    stored = SidebarGroup::toggled("writing", stored);
    EXPECT_EQ(stored, "audio,writing");
    stored = SidebarGroup::toggled("audio", stored);
    EXPECT_EQ(stored, "writing");

    // Empty pieces vanish, every occurrence goes, a foreign word stays.
    const QString messy = "audio,,audio,elsewhere";
    EXPECT_TRUE(SidebarGroup::isCollapsed("audio", messy));
    EXPECT_FALSE(SidebarGroup::isCollapsed("Audio", messy));
    EXPECT_FALSE(SidebarGroup::isCollapsed("", messy));
    EXPECT_EQ(SidebarGroup::toggled("audio", messy), "elsewhere");
    EXPECT_EQ(SidebarGroup::toggled("meetings", ",audio"), "audio,meetings");
}

TEST(SidebarGroupTest, VisibleItemsSkipCollapsedGroups) {
    const QList<WorkspaceTool> pins = {WorkspaceTool::Translate};
    const auto all = SidebarGroup::visibleItems(pins, QString());
    ASSERT_EQ(all.size(), 3 + 1 + 12);
    EXPECT_EQ(all[3], tool(WorkspaceTool::Translate, true));
    EXPECT_EQ(all[4], tool(WorkspaceTool::Dictation));
    const auto collapsed = SidebarGroup::visibleItems(pins, "pinned,audio,meetings,documents,writing");
    EXPECT_EQ(collapsed, (QList<SidebarItem>{kHome, kNotes, kHistory}));
    // "pinned" stays stored while nothing is pinned and takes effect again later.
    EXPECT_EQ(SidebarGroup::visibleItems({}, "pinned").size(), 15);
    EXPECT_EQ(SidebarGroup::visibleItems(pins, "pinned").size(), 15);
}

TEST(SidebarGroupTest, SteppingWrapsAndStartsFromTheEndsForItemsNotListed) {
    const auto items = SidebarGroup::visibleItems({WorkspaceTool::Translate, WorkspaceTool::Proofread}, QString());
    const SidebarItem last = tool(WorkspaceTool::Humanize);
    struct Case {
        SidebarItem from;
        int by;
        SidebarItem to;
    };
    const Case cases[] = {
        {kHome, 1, kNotes},
        {last, 1, kHome},
        {kHome, -1, last},
        {kSettings, 1, kHome},
        {kSettings, -1, last},
        {kSettings, 0, last},
        {tool(WorkspaceTool::Translate, true), 1, tool(WorkspaceTool::Proofread, true)},
        {tool(WorkspaceTool::Proofread, true), 1, tool(WorkspaceTool::Dictation)},
        {tool(WorkspaceTool::Translate), 1, tool(WorkspaceTool::Summarize)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SidebarGroup::step(c.from, c.by, items), c.to) << c.from.page.id().toStdString() << " " << c.by;
    EXPECT_FALSE(SidebarGroup::step(kHome, 1, {}));

    // A tool whose group is collapsed is not in the list.
    const auto noDocuments = SidebarGroup::visibleItems({}, "documents");
    EXPECT_EQ(SidebarGroup::step(tool(WorkspaceTool::Translate), 1, noDocuments), kHome);
    const auto onlyPages = SidebarGroup::visibleItems({}, "audio,meetings,documents,writing");
    EXPECT_EQ(SidebarGroup::step(kHistory, 1, onlyPages), kHome);
    EXPECT_EQ(SidebarGroup::step(kHome, -1, onlyPages), kHistory);
}
