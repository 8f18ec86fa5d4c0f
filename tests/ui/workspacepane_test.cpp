#include "ui/workspacepane.h"

#include "support/testsupport.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/optionpills.h"
#include "ui/styledlabel.h"

#include <QApplication>
#include <QScrollArea>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

WorkspacePane *makePane(QWidget *parent, QList<QWidget *> controls, QWidget *body = nullptr) {
    auto *pane = new WorkspacePane(new StyledLabel(QStringLiteral("Translation"), Typography::Body),
                                   body ? body : new QWidget, controls, parent);
    return pane;
}

} // namespace

TEST(WorkspacePane, HeaderInsetsFollowButtonsAndTheSwapEdge) {
    QWidget root;
    auto *bare = makePane(&root, {});
    auto *withButtons =
        makePane(&root, {new Button(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), PaneButtonStyle{})});
    EXPECT_EQ(bare->headerLeadingInset(), 16);
    EXPECT_EQ(bare->headerTrailingInset(), 16);
    EXPECT_EQ(withButtons->headerTrailingInset(), 4);
    withButtons->setSwapEdge(Qt::LeftEdge);
    EXPECT_EQ(withButtons->headerLeadingInset(), 32);
    withButtons->setSwapEdge(Qt::RightEdge);
    EXPECT_EQ(withButtons->headerTrailingInset(), 32);
    Environment::setTextSize(&root, TextSize::Largest);
    EXPECT_EQ(withButtons->headerTrailingInset(), 48);
    // Header and footer heights, and the 300 px least height.
    bare->resize(500, 100);
    EXPECT_EQ(bare->header()->height(), 52);
    EXPECT_EQ(bare->footer()->height(), 52);
    EXPECT_GE(bare->minimumSizeHint().height(), 300);
    EXPECT_GE(bare->sizeHint().height(), 300 + 2 * WorkspacePane::kRingBand);
}

TEST(WorkspacePane, NarrowingDropsTitlesThenKeyHints) {
    QWidget root;
    auto *copy = new Button(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), PaneButtonStyle{});
    auto *send = new Button(QStringLiteral("Send to"), QStringLiteral("arrowshape.turn.up.right"), PaneButtonStyle{});
    auto *primary =
        new Button(QStringLiteral("Summarize"), QString(), PrimaryButtonStyle{false, QStringLiteral("Ctrl+\u21A9")});
    auto *options = new OptionsMenu(QStringLiteral("Key points in English"));
    auto *pane = makePane(&root, {copy, send, options, primary});
    root.show();
    pane->resize(1200, 400);
    EXPECT_EQ(pane->headerLayout(), WorkspacePane::HeaderLayout::Full);
    EXPECT_FALSE(std::get<PaneButtonStyle>(copy->buttonStyle()).iconOnly);
    const int full = primary->sizeHint().width();

    int width = 1200;
    while (width > 100 && pane->headerLayout() == WorkspacePane::HeaderLayout::Full)
        pane->resize(width -= 10, 400);
    EXPECT_EQ(pane->headerLayout(), WorkspacePane::HeaderLayout::IconOnly);
    EXPECT_TRUE(std::get<PaneButtonStyle>(copy->buttonStyle()).iconOnly);
    EXPECT_EQ(primary->sizeHint().width(), full);

    while (width > 100 && pane->headerLayout() == WorkspacePane::HeaderLayout::IconOnly)
        pane->resize(width -= 10, 400);
    EXPECT_EQ(pane->headerLayout(), WorkspacePane::HeaderLayout::Compact);
    EXPECT_LT(primary->sizeHint().width(), full); // the key hint is gone
    EXPECT_TRUE(Environment::compressesHeaderOptions(options));
    EXPECT_LT(options->width(), options->sizeHint().width() + 1);

    pane->resize(1200, 400);
    EXPECT_EQ(pane->headerLayout(), WorkspacePane::HeaderLayout::Full);
    EXPECT_FALSE(Environment::compressesHeaderOptions(options));
}

TEST(WorkspacePane, LevelIsClampedAndAbsentMeansNoBar) {
    QWidget root;
    auto *pane = makePane(&root, {});
    pane->resize(406, 306);
    const int width = pane->paneRect().width();
    EXPECT_EQ(pane->levelFillWidth(), 0);
    pane->setLevel(1.4);
    EXPECT_EQ(pane->levelFillWidth(), width);
    Environment::setReduceMotion(&root, true);
    pane->setLevel(-0.2);
    EXPECT_EQ(pane->levelFillWidth(), 0);
    pane->setLevel(0.5);
    EXPECT_EQ(pane->levelFillWidth(), width * 0.5);
    pane->setLevel(std::nullopt);
    EXPECT_EQ(pane->levelFillWidth(), 0);
}

TEST(WorkspacePane, LiveRingFadesInAndABodyScrollsOnlyWhenAsked) {
    QWidget root;
    auto *tall = new QWidget;
    tall->setMinimumHeight(900);
    auto *pane = makePane(&root, {}, tall);
    pane->resize(400, 400);
    root.show();
    pane->setLive(true);
    EXPECT_TRUE(test::waitUntil([&] { return pane->ringOpacity() == 1.0; }));
    EXPECT_EQ(pane->findChild<QScrollArea *>(), nullptr);
    pane->setScrollsBody(true);
    auto *scroll = pane->findChild<QScrollArea *>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->widget(), tall);
    pane->setScrollsBody(false);
    EXPECT_EQ(pane->findChild<QScrollArea *>(), nullptr);
    EXPECT_EQ(tall->parentWidget(), pane);
}

TEST(SetupBanner, LongMessagesWrapAndTheLinkKeepsItsPlace) {
    QWidget root;
    SetupBanner banner(QString(QStringLiteral("Velmora needs permission to use the microphone. ")).repeated(4),
                       QStringLiteral("Allow Access…"), &root);
    QSignalSpy link(&banner, &SetupBanner::linkActivated);
    banner.resize(500, banner.heightForWidth(500));
    root.show();
    EXPECT_GT(banner.messageLabel()->height(), 2 * banner.messageLabel()->lineHeight());
    EXPECT_EQ(banner.linkButton()->geometry().right(), 500 - 12 - 1);
    EXPECT_EQ(banner.linkButton()->width(), banner.linkButton()->sizeHint().width());
    EXPECT_LE(banner.messageLabel()->geometry().right(), banner.linkButton()->x() - 28);
    banner.linkButton()->click();
    EXPECT_EQ(link.size(), 1);
    const std::array<int, 4> symbols{15, 17, 20, 22};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&root, size);
        EXPECT_EQ(banner.symbolPointSize(), symbols[position(size)]);
    }
}

// The footer: the count first, then the notes; a count that only changes its text keeps its
// label (a source pane's count changes on every keystroke).
TEST(WorkspacePane, FooterShowsTheCountThenTheNotesAndRelabelsACountInPlace) {
    WorkspacePane pane(new StyledLabel(QStringLiteral("Text"), Typography::BodyEmphasis), new QWidget);
    const auto texts = [&] {
        QStringList shown;
        for (StyledLabel *label : pane.footer()->findChildren<StyledLabel *>(Qt::FindDirectChildrenOnly))
            shown.append(label->text());
        return shown;
    };
    pane.setNotes({QStringLiteral("Edited")});
    EXPECT_EQ(texts(), QStringList{"Edited"});
    pane.setCount(QStringLiteral("12 characters"));
    EXPECT_EQ(texts(), (QStringList{"12 characters", "Edited"}));
    StyledLabel *count = pane.footer()->findChildren<StyledLabel *>(Qt::FindDirectChildrenOnly).first();
    pane.setCount(QStringLiteral("13 characters"));
    EXPECT_EQ(texts(), (QStringList{"13 characters", "Edited"}));
    EXPECT_EQ(pane.footer()->findChildren<StyledLabel *>(Qt::FindDirectChildrenOnly).first(), count);
    pane.setCount(std::nullopt);
    EXPECT_EQ(texts(), QStringList{"Edited"});
    pane.setNotes({});
    EXPECT_TRUE(texts().isEmpty());
}
