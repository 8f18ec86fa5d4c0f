#include "workspace/selectionsendto.h"

#include "handofffakes.h"
#include "menutitles.h"
#include "support/testsupport.h"
#include "ui/resulttextview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class SelectionSendToTest : public ::testing::Test, protected HandoffFakes {
protected:
    void select(QTextEdit &edit, int from, int to) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }
};

} // namespace

TEST_F(SelectionSendToTest, NothingOrOnlySpacesSelectedLeavesTheStandardMenu) {
    QTextEdit edit;
    edit.setPlainText("one  \n  two");
    auto *sendTo = SelectionSendTo::attach(&edit, handoff);
    std::unique_ptr<QMenu> standard(edit.createStandardContextMenu());
    for (auto [from, to] : {std::pair{0, 0}, std::pair{3, 8}}) {
        select(edit, from, to);
        std::unique_ptr<QMenu> menu(sendTo->createMenu(QPoint(1, 1)));
        EXPECT_EQ(menuTitles(*menu), menuTitles(*standard));
    }
}

TEST_F(SelectionSendToTest, SendToComesFirstAndSendsTheSelectionAsSelected) {
    QTextEdit edit;
    edit.setPlainText("keep  this part\nand this  ");
    auto *sendTo = SelectionSendTo::attach(&edit, handoff, WorkspaceTool::Summarize);
    select(edit, 4, 26);
    std::unique_ptr<QMenu> standard(edit.createStandardContextMenu());
    std::unique_ptr<QMenu> menu(sendTo->createMenu(QPoint(1, 1)));
    const QStringList all = menuTitles(*menu);
    ASSERT_GE(all.size(), 2);
    EXPECT_EQ(all.mid(0, 2), (QStringList{"Send to", "—"}));
    EXPECT_EQ(all.mid(2), menuTitles(*standard));
    QMenu *submenu = menu->actions()[0]->menu();
    ASSERT_TRUE(submenu);
    EXPECT_EQ(menuTitles(*submenu), (QStringList{"New Note", "—", "Translate", "Proofread"}));
    submenu->actions()[3]->trigger();
    EXPECT_EQ(proofreadTarget.received.value(0).first, "  this part\nand this  ");
    submenu->actions()[0]->trigger();
    EXPECT_EQ(notes.created, QStringList{"  this part\nand this  "});
}

TEST_F(SelectionSendToTest, ARightClickShowsTheMenuOfPlainAndLineEdits) {
    QPlainTextEdit plain;
    plain.setPlainText("plain text");
    plain.selectAll();
    SelectionSendTo::attach(&plain, handoff);
    QLineEdit line;
    line.setText("line");
    line.selectAll();
    SelectionSendTo::attach(&line, handoff, WorkspaceTool::Translate);

    for (QWidget *target : {static_cast<QWidget *>(plain.viewport()), static_cast<QWidget *>(&line)}) {
        target->window()->show();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
        ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->actions().value(0)->text(), "Send to");
        const QStringList sub = menuTitles(*menu->actions()[0]->menu());
        EXPECT_EQ(sub.contains("Translate"), target != &line);
        menu->close();
        ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() == nullptr; }));
        target->window()->hide();
    }
}

TEST_F(SelectionSendToTest, TheResultViewAsksForTheSameItems) {
    ResultTextView view;
    view.setResult("a summary to send", false);
    view.setSendTo(SelectionSendTo::menuProvider(handoff, WorkspaceTool::Summarize));
    view.selectAll();
    QMenu menu;
    menu.addAction("Copy");
    SelectionSendTo::menuProvider(handoff, WorkspaceTool::Summarize)->addItems(&menu, &view);
    EXPECT_EQ(menuTitles(menu), (QStringList{"Send to", "—", "Copy"}));
    menu.actions()[0]->menu()->actions()[2]->trigger(); // Translate
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Translate));
}
