#include "workspace/workspacepage.h"

#include <QCoreApplication>
#include <QHash>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QList<WorkspacePage> allPages() {
    QList<WorkspacePage> pages = {WorkspacePage::home(), WorkspacePage::notes(), WorkspacePage::history(),
                                  WorkspacePage::settings()};
    for (WorkspaceTool tool : allTools())
        pages.append(WorkspacePage::tool(tool));
    return pages;
}

} // namespace

TEST(WorkspacePageTest, IdsRoundTripAndOtherStringsNameNoPage) {
    for (const WorkspacePage &page : allPages())
        EXPECT_EQ(WorkspacePage::fromId(page.id()), page) << page.id().toStdString();
    EXPECT_EQ(WorkspacePage::fromId("home"), WorkspacePage::home());
    EXPECT_EQ(WorkspacePage::fromId("proofread"), WorkspacePage::tool(WorkspaceTool::Proofread));
    for (const char *id : {"Home", "", "pinned", "Translate", "OCR"})
        EXPECT_FALSE(WorkspacePage::fromId(QString::fromUtf8(id))) << id;
}

TEST(WorkspacePageTest, ToolPagesAreEqualOnlyForTheSameTool) {
    const auto translate = WorkspacePage::tool(WorkspaceTool::Translate);
    EXPECT_EQ(translate, WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_EQ(qHash(translate), qHash(WorkspacePage::tool(WorkspaceTool::Translate)));
    EXPECT_NE(translate, WorkspacePage::tool(WorkspaceTool::Summarize));
    // The home page carries no tool, even though it stores one internally.
    EXPECT_NE(WorkspacePage::home(), WorkspacePage::tool(WorkspaceTool::Dictation));
    EXPECT_FALSE(WorkspacePage::home().workspaceTool());

    QHash<WorkspacePage, int> byPage;
    for (const WorkspacePage &page : allPages())
        byPage.insert(page, 1);
    EXPECT_EQ(byPage.size(), allPages().size());
}

TEST(WorkspacePageTest, TitlesFollowTheInterfaceLanguageWithoutRestart) {
    EXPECT_EQ(WorkspacePage::home().title(), "Home");
    EXPECT_EQ(WorkspacePage::notes().title(), "Notes");
    EXPECT_EQ(WorkspacePage::settings().title(), "Settings");
    EXPECT_EQ(WorkspacePage::tool(WorkspaceTool::ExtractText).title(), "OCR");

    QTranslator japanese;
    ASSERT_TRUE(japanese.load(":/translations/workspace_ja.qm"));
    QCoreApplication::installTranslator(&japanese);
    EXPECT_EQ(WorkspacePage::home().title(), QString::fromUtf8("ホーム"));
    EXPECT_EQ(WorkspacePage::notes().title(), QString::fromUtf8("メモ"));
    EXPECT_EQ(WorkspacePage::history().title(), QString::fromUtf8("履歴"));
    EXPECT_EQ(WorkspacePage::settings().title(), QString::fromUtf8("設定"));
    EXPECT_EQ(WorkspacePage::tool(WorkspaceTool::Translate).title(), QString::fromUtf8("翻訳"));
    QCoreApplication::removeTranslator(&japanese);
    EXPECT_EQ(WorkspacePage::history().title(), "History");
}
