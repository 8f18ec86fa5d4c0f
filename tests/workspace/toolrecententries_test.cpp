#include "workspace/toolrecententries.h"

#include "core/defaults.h"
#include "support/testsupport.h"
#include "workspace/appnavigation.h"
#include "workspacefakes.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

HistoryEntry entry(const QString &tool, int minutesAgo) {
    HistoryEntry e;
    e.id = QUuid::createUuid();
    e.tool = tool;
    e.createdAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
    e.text = tool;
    return e;
}

class ToolRecentEntriesTest : public ::testing::Test {
protected:
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    FakeHistorySource source;
};

} // namespace

TEST_F(ToolRecentEntriesTest, ShowsTheTwelveNewestOfItsToolAndReloadsOnChange) {
    for (int i = 0; i < 30; ++i)
        source.all.append(entry("translate", i));
    source.all.insert(3, entry("summarize", 2));
    ToolRecentEntries recent(WorkspaceTool::Translate, source, navigation);
    QSignalSpy changed(&recent, &ToolRecentEntries::entriesChanged);
    EXPECT_TRUE(recent.entries().isEmpty());
    recent.start();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    ASSERT_EQ(recent.entries().size(), 12);
    EXPECT_EQ(recent.entries().first().id, source.all.first().id);
    EXPECT_EQ(source.requests.last(),
              std::make_pair(std::optional(QSet<WorkspaceTool>{WorkspaceTool::Translate}), std::optional(12)));

    const HistoryEntry fresh = entry("translate", -1);
    source.all.prepend(fresh);
    source.bump();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
    EXPECT_EQ(recent.entries().first().id, fresh.id);

    // Hidden: History changes are not read.
    recent.stop();
    const int requests = int(source.requests.size());
    source.bump();
    EXPECT_EQ(source.requests.size(), requests);
}

TEST_F(ToolRecentEntriesTest, ALoadOvertakenByANewerOneIsDropped) {
    source.all = {entry("proofread", 5)};
    source.hold = Promise<void>();
    Promise<void> first = *source.hold;
    ToolRecentEntries recent(WorkspaceTool::Proofread, source, navigation);
    QSignalSpy changed(&recent, &ToolRecentEntries::entriesChanged);
    recent.start(); // held with the old list
    source.hold.reset();
    const HistoryEntry newer = entry("proofread", 0);
    source.all.prepend(newer);
    source.bump(); // answers at once with both
    ASSERT_EQ(changed.count(), 1);
    first.resolve(); // the old answer arrives last and is ignored
    EXPECT_EQ(recent.entries().size(), 2);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ToolRecentEntriesTest, SeeAllOpensHistoryOnThisTool) {
    navigation.open(WorkspacePage::tool(WorkspaceTool::Summarize));
    navigation.setHistoryQuery("old search");
    navigation.setHistoryTools({WorkspaceTool::Translate});
    ToolRecentEntries recent(WorkspaceTool::Summarize, source, navigation);
    recent.seeAll();
    EXPECT_EQ(navigation.page(), WorkspacePage::history());
    EXPECT_TRUE(navigation.historyQuery().isEmpty());
    EXPECT_EQ(navigation.historyTools(), QSet<WorkspaceTool>{WorkspaceTool::Summarize});
    navigation.goBack();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Summarize));
}
