#include "app/appcommands.h"
#include "app/updater.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QVBoxLayout>

using namespace velmora;

namespace {
QAction *item(QMenu *menu, const QString &text) {
    for (QAction *a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}
} // namespace

// With the update switch off both update items are there and disabled; Quit asks the
// lifetime, with the standard key.
TEST(AppCommands, UpdateItemsDisabledAndQuitWired) {
    QMainWindow window;
    Updater updater{QString()};
    int quits = 0;
    AppCommands commands(window, updater, {[&quits] { ++quits; }, [] {}});
    EXPECT_FALSE(commands.checkForUpdatesAction()->isEnabled());
    EXPECT_FALSE(commands.automaticChecksAction()->isEnabled());
    EXPECT_TRUE(commands.helpMenu()->actions().contains(commands.checkForUpdatesAction()));
    QAction *quit = item(commands.fileMenu(), QStringLiteral("Quit Velmora"));
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(QKeySequence::Quit));
    quit->trigger();
    EXPECT_EQ(quits, 1);
}

// The Edit menu acts on the focused text field and is enabled by what that field allows.
TEST(AppCommands, EditMenuActsOnTheFocusedField) {
    QMainWindow window;
    Updater updater{QString()};
    AppCommands commands(window, updater, {[] {}, [] {}});
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    auto *field = new QLineEdit(QStringLiteral("hello world"));
    auto *readOnly = new QLineEdit(QStringLiteral("fixed"));
    readOnly->setReadOnly(true);
    layout->addWidget(field);
    layout->addWidget(readOnly);
    window.setCentralWidget(central);
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == field; }));

    QMenu *edit = commands.editMenu();
    emit edit->aboutToShow();
    item(edit, QStringLiteral("Select All"))->trigger();
    EXPECT_EQ(field->selectedText(), QStringLiteral("hello world"));
    item(edit, QStringLiteral("Delete"))->trigger();
    EXPECT_EQ(field->text(), QString());
    item(edit, QStringLiteral("Undo"))->trigger();
    EXPECT_EQ(field->text(), QStringLiteral("hello world"));

    readOnly->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == readOnly; }));
    emit edit->aboutToShow();
    EXPECT_FALSE(item(edit, QStringLiteral("Paste"))->isEnabled());
    EXPECT_FALSE(item(edit, QStringLiteral("Cut"))->isEnabled());
    EXPECT_TRUE(item(edit, QStringLiteral("Copy"))->isEnabled());
}
