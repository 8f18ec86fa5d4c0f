#include "workspace/toolrecentsection.h"

#include "core/defaults.h"
#include "support/testsupport.h"
#include "ui/button.h"
#include "ui/styledlabel.h"
#include "workspace/appnavigation.h"
#include "workspace/recentcardfactory.h"
#include "workspace/toolrecententries.h"
#include "workspacefakes.h"

#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class Cards : public RecentCardFactory {
public:
    QWidget *createCard(const HistoryEntry &entry, WorkspaceTool sendFrom, QWidget *parent) override {
        auto *card = new QWidget(parent);
        card->setFixedSize(232, 168);
        card->setObjectName(entry.id.toString());
        sendFroms.append(sendFrom);
        return card;
    }
    QList<WorkspaceTool> sendFroms;
};

HistoryEntry entry(const QString &tool) {
    HistoryEntry e;
    e.id = QUuid::createUuid();
    e.tool = tool;
    e.createdAt = QDateTime::currentDateTimeUtc();
    e.text = QStringLiteral("text");
    return e;
}

class ToolRecentSectionTest : public ::testing::Test {
protected:
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    FakeHistorySource source;
    Cards cards;
};

} // namespace

TEST_F(ToolRecentSectionTest, NothingAtAllWithoutEntries) {
    QWidget page;
    auto *section = new ToolRecentSection(WorkspaceTool::Summarize, source, navigation, cards, &page);
    page.show();
    ASSERT_TRUE(waitUntil([&] { return !source.requests.isEmpty(); }));
    EXPECT_FALSE(section->isVisibleTo(&page));
    EXPECT_TRUE(section->cards().isEmpty());
}

TEST_F(ToolRecentSectionTest, CardsOfTheToolNewestFirstAndSeeAll) {
    for (int i = 0; i < 30; ++i)
        source.all.append(entry("translate"));
    source.all.insert(1, entry("proofread"));
    QWidget page;
    auto *section = new ToolRecentSection(WorkspaceTool::Translate, source, navigation, cards, &page);
    page.show();
    ASSERT_TRUE(waitUntil([&] { return section->cards().size() == 12; }));
    EXPECT_TRUE(section->isVisibleTo(&page));
    EXPECT_EQ(section->cards().first()->objectName(), source.all.first().id.toString());
    EXPECT_EQ(cards.sendFroms.value(0), WorkspaceTool::Translate);
    EXPECT_EQ(section->title()->text(), "Recent");

    // A finished run puts the new entry first.
    const HistoryEntry fresh = entry("translate");
    source.all.prepend(fresh);
    source.bump();
    ASSERT_TRUE(waitUntil([&] { return section->cards().value(0)->objectName() == fresh.id.toString(); }));

    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    QTest::mouseClick(section->seeAllButton(), Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::history());
    EXPECT_EQ(navigation.historyTools(), QSet<WorkspaceTool>{WorkspaceTool::Translate});
}

TEST_F(ToolRecentSectionTest, TheRowIsAsTallAsItsCardsAndShowsNoScrollBars) {
    for (int i = 0; i < 8; ++i)
        source.all.append(entry("translate"));
    QWidget page;
    page.resize(600, 800);
    auto *section = new ToolRecentSection(WorkspaceTool::Translate, source, navigation, cards, &page);
    page.show();
    ASSERT_TRUE(waitUntil([&] { return section->cards().size() == 8; }));
    ASSERT_TRUE(waitUntil([&] { return section->row()->height() == 168; }));
    EXPECT_EQ(section->row()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(section->row()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // Cards grow with the text size; the row follows.
    for (QWidget *card : section->cards())
        card->setFixedSize(232, 244);
    EXPECT_TRUE(waitUntil([&] { return section->row()->height() == 244; }));
}
