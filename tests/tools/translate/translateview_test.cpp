#include "translatepagefixture.h"

#include "tools/translate/languagemenu.h"
#include "tools/translate/swapbutton.h"
#include "tools/translate/translatebutton.h"
#include "tools/translate/translatepanes.h"
#include "tools/translate/translateview.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/optionpills.h"
#include "ui/pagescaffold.h"
#include "ui/resulttextview.h"
#include "ui/styledlabel.h"
#include "ui/toolpageheader.h"
#include "ui/workspacepane.h"
#include "workspace/recentcardfactory.h"
#include "workspace/toolrecentsection.h"

#include "workspace/pinmenuitems.h"

#include <QMenu>
#include <QTest>
#include <QTranslator>

using namespace velmora;
using namespace velmora::test;

using TranslateViewTest = TranslatePageTest;

TEST_F(TranslateViewTest, TheBannerShowsWhileTheWritingModelIsAbsentAndNothingFetchesIt) {
    using Kind = ModelStore::State::Kind;
    TranslateView view(services());
    view.resize(1000, 800);
    view.show();
    const struct {
        ModelStore::State state;
        bool banner;
    } cases[] = {
        {Kind::Ready, false},       {Kind::Unavailable, true},
        {Kind::Downloading, false}, {ModelStore::State::failed(ModelFailure::Network), true},
        {Kind::Verifying, false},   {Kind::Canceled, true},
        {Kind::Checking, false},    {ModelStore::State::failed(ModelFailure::FileSystem), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state.toString().toStdString());
        setModelState(c.state, c.state.kind == Kind::Ready);
        EXPECT_EQ(view.showsBanner(), c.banner);
        // The change fades; it ends with the banner in or out.
        EXPECT_TRUE(waitUntil([&] { return view.banner()->isVisible() == c.banner; }));
    }
    // The panes stay whatever the model does.
    EXPECT_TRUE(view.panes()->isVisible());
}

TEST_F(TranslateViewTest, ThePreviewOfAMissingModelForcesTheBannerAndReduceMotionSkipsTheFade) {
    previewState = QStringLiteral("missing");
    QWidget root;
    Environment::setReduceMotion(&root, true);
    auto *view = new TranslateView(services(), &root);
    root.resize(1000, 800);
    root.show();
    EXPECT_TRUE(view->showsBanner());
    EXPECT_TRUE(view->banner()->isVisible());
    EXPECT_EQ(view->banner()->messageLabel()->text(), "Translate needs the writing model.");
    EXPECT_EQ(view->banner()->linkButton()->text(), "Download in Settings");
    // The sample text is there, but nothing can run.
    EXPECT_FALSE(session().text().isEmpty());
    EXPECT_FALSE(view->panes()->translateButton()->isEnabled());

    previewState.reset();
    resetSession();
}

TEST_F(TranslateViewTest, WithReduceMotionTheBannerComesAndGoesAtOnce) {
    QWidget root;
    Environment::setReduceMotion(&root, true);
    auto *view = new TranslateView(services(), &root);
    root.resize(1000, 800);
    root.show();
    EXPECT_FALSE(view->banner()->isVisible());
    setModelState(ModelStore::State::Kind::Unavailable, false);
    EXPECT_TRUE(view->banner()->isVisible());
    setModelState(ModelStore::State::Kind::Downloading, false);
    EXPECT_FALSE(view->banner()->isVisible());
}

TEST_F(TranslateViewTest, TheBannerLinkOpensSettingsOnModels) {
    setModelState(ModelStore::State::Kind::Unavailable, false);
    TranslateView view(services());
    view.show();
    view.banner()->linkButton()->click();
    EXPECT_EQ(navigation.page(), WorkspacePage::settings());
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Models);
}

TEST_F(TranslateViewTest, ThePageIsTheToolsScaffoldWithItsDescriptionAndRecentSection) {
    {
        TranslateView view(services());
        EXPECT_EQ(view.header()->nameLabel()->text(), "Translate");
        EXPECT_EQ(view.header()->descriptionLabel()->text(), "Translate between Japanese and English.");
        EXPECT_EQ(view.scaffold()->recentSection(), nullptr);
        // Only the workspace's pin items are in the header's menu.
        QMenu pinItems;
        PinMenuItems::addTo(&pinItems, WorkspaceTool::Translate, pins, navigation);
        QStringList items, expected;
        for (QAction *action : view.header()->moreMenu()->actions())
            items.append(action->text());
        for (QAction *action : pinItems.actions())
            expected.append(action->text());
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(items, expected);
    }
    FakeHistorySource history;
    struct Cards : RecentCardFactory {
        QWidget *createCard(const HistoryEntry &entry, WorkspaceTool, QWidget *parent) override {
            return new StyledLabel(entry.text.value_or(QString()), Typography::Body, parent);
        }
    } cards;
    HistoryEntry entry;
    entry.id = QUuid::createUuid();
    entry.tool = QStringLiteral("translate");
    entry.text = QStringLiteral("Hello.");
    history.all = {entry};
    TranslateView::Services s = services();
    s.workspace.recent = &history;
    s.workspace.cards = &cards;
    TranslateView view(s);
    view.show();
    ASSERT_NE(view.recentSection(), nullptr);
    EXPECT_EQ(view.scaffold()->recentSection(), view.recentSection());
    EXPECT_TRUE(waitUntil([&] { return view.recentSection()->cards().size() == 1; }));
    ASSERT_FALSE(history.requests.isEmpty());
    EXPECT_EQ(history.requests.first().first, std::optional(QSet<WorkspaceTool>{WorkspaceTool::Translate}));
}

TEST_F(TranslateViewTest, ShowingAndLeavingThePageTellTheSessionAndLeavingWritesAPendingEdit) {
    editDelay = std::chrono::hours(1);
    attach();
    translate(QStringLiteral("今日は晴れています。"));
    const QUuid task = *session().taskId();
    auto view = std::make_unique<TranslateView>(services());
    EXPECT_FALSE(session().isVisible());
    view->show();
    EXPECT_TRUE(session().isVisible());
    session().editResult(QStringLiteral("Edited by hand."));
    view->hide();
    EXPECT_FALSE(session().isVisible());
    EXPECT_TRUE(waitUntil([&] { return stored(task).output() == QStringLiteral("Edited by hand."); }));

    view->show();
    EXPECT_TRUE(session().isVisible());
    // The main window drops the page's view when another page opens.
    view.reset();
    EXPECT_FALSE(session().isVisible());
}

TEST_F(TranslateViewTest, SwitchingTheLanguageRelabelsThePage) {
    previewState = QStringLiteral("edited");
    setModelState(ModelStore::State::Kind::Unavailable, false);
    TranslateView view(services());
    view.resize(1100, 800);
    view.show();
    QTranslator translate, workspace, ui;
    ASSERT_TRUE(translate.load(QStringLiteral(":/translations/translate_ja.qm")));
    ASSERT_TRUE(workspace.load(QStringLiteral(":/translations/workspace_ja.qm")));
    ASSERT_TRUE(ui.load(QStringLiteral(":/translations/ui_ja.qm")));
    for (QTranslator *t : {&translate, &workspace, &ui})
        QCoreApplication::installTranslator(t);
    TranslatePanes *p = view.panes();
    EXPECT_TRUE(waitUntil([&] {
        return view.banner()->messageLabel()->text() != "Translate needs the writing model." &&
               p->clearButton()->text() != "Clear";
    }));
    EXPECT_EQ(view.banner()->messageLabel()->text(), QString::fromUtf8("翻訳には文章作成モデルが必要です。"));
    EXPECT_EQ(view.banner()->linkButton()->text(), QString::fromUtf8("設定でダウンロード"));
    EXPECT_EQ(view.header()->descriptionLabel()->text(),
              QCoreApplication::translate("Workspace", "Translate between Japanese and English.", "Tool description"));
    EXPECT_NE(view.header()->descriptionLabel()->text(), "Translate between Japanese and English.");
    EXPECT_EQ(p->translateButton()->text(), QString::fromUtf8("翻訳"));
    EXPECT_EQ(p->resultNotes(), QStringList{QString::fromUtf8("編集済み")});
    EXPECT_EQ(p->sourceCount(), QString::fromUtf8("157 文字"));
    EXPECT_EQ(p->sourceMenu()->title(), QString::fromUtf8("日本語（検出）"));
    EXPECT_EQ(p->clearButton()->text(), QString::fromUtf8("消去"));
    EXPECT_EQ(p->tonePills()->pills().first()->text(), QString::fromUtf8("自然"));
    for (QTranslator *t : {&translate, &workspace, &ui})
        QCoreApplication::removeTranslator(t);
    EXPECT_TRUE(waitUntil([&] { return p->clearButton()->text() == "Clear"; }));
    EXPECT_EQ(p->tonePills()->pills().first()->text(), "Natural");
}

TEST_F(TranslateViewTest, APageBuiltUnderAWindowTakesTheWindowsTextSizeThroughout) {
    QWidget root;
    Environment::setTextSize(&root, TextSize::Largest);
    auto *view = new TranslateView(services(), &root);
    TranslatePanes *p = view->panes();
    EXPECT_EQ(p->swapButton()->diameter(), 36);
    EXPECT_EQ(p->sourceMenu()->chevronPointSize(), 15);
    EXPECT_EQ(p->editor()->font(), fontFor(Typography::Reading, TextSize::Largest));
}

TEST_F(TranslateViewTest, TheTargetMenuKeepsItsWholeTitleInANarrowResultHeader) {
    TranslateView view(services());
    view.resize(900, 700);
    view.show();
    for (int width : {1000, 860, 760}) {
        view.resize(width, 700);
        QCoreApplication::processEvents();
        LanguageMenu *target = view.panes()->targetMenu();
        EXPECT_EQ(target->width(), target->sizeHint().width()) << width;
    }
    // At the narrowest of these the tone is what gave up width: its pills for its menu.
    EXPECT_FALSE(view.panes()->tonePills()->showsPills());
    EXPECT_LT(view.panes()->tonePills()->width(), view.panes()->tonePills()->sizeHint().width());
}
