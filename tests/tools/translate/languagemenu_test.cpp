#include "tools/translate/languagemenu.h"

#include "ui/environment.h"
#include "workspace/menutitles.h"

#include <QMenu>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Item {
    QString title;
    bool checked;
    bool separator;
    bool operator==(const Item &) const = default;
};

QList<Item> itemsOf(QMenu &menu) {
    QList<Item> items;
    for (QAction *action : menu.actions())
        items.append({action->text(), action->isChecked(), action->isSeparator()});
    return items;
}

} // namespace

TEST(LanguageMenuTest, TheSourceMenuOffersDetectionFirstAndReportsPicksWithoutCheckingThem) {
    LanguageMenu menu(QStringLiteral("Detect language"));
    QSignalSpy picked(&menu, &LanguageMenu::selected);
    std::unique_ptr<QMenu> shown(menu.createMenu());
    EXPECT_EQ(itemsOf(*shown), (QList<Item>{{"Detect language", true, false},
                                            {"", false, true},
                                            {QString::fromUtf8("日本語"), false, false},
                                            {"English", false, false}}));
    menuItemTitled(*shown, "English")->trigger();
    ASSERT_EQ(picked.size(), 1);
    EXPECT_EQ(picked.at(0).at(0).value<std::optional<TranslateLanguage>>(), TranslateLanguage::English);
    // The caller owns the selection: nothing moved until it sets one.
    EXPECT_EQ(menu.selection(), std::nullopt);
    std::unique_ptr<QMenu> again(menu.createMenu());
    EXPECT_TRUE(menuItemTitled(*again, "Detect language")->isChecked());

    menuItemTitled(*again, "Detect language")->trigger();
    ASSERT_EQ(picked.size(), 2);
    EXPECT_EQ(picked.at(1).at(0).value<std::optional<TranslateLanguage>>(), std::nullopt);
}

TEST(LanguageMenuTest, TheTargetMenuHasTheTwoLanguagesAndPickingTheCheckedOneReportsItAgain) {
    LanguageMenu menu;
    menu.setSelection(TranslateLanguage::Japanese);
    QSignalSpy picked(&menu, &LanguageMenu::selected);
    std::unique_ptr<QMenu> shown(menu.createMenu());
    EXPECT_EQ(itemsOf(*shown), (QList<Item>{{QString::fromUtf8("日本語"), true, false}, {"English", false, false}}));
    menuItemTitled(*shown, QString::fromUtf8("日本語"))->trigger();
    menuItemTitled(*shown, QString::fromUtf8("日本語"))->trigger();
    ASSERT_EQ(picked.size(), 2);
    EXPECT_EQ(picked.at(1).at(0).value<std::optional<TranslateLanguage>>(), TranslateLanguage::Japanese);
}

TEST(LanguageMenuTest, OnlyACompressingHeaderLetsTheTitleShrink) {
    QWidget header;
    auto *menu = new LanguageMenu(std::nullopt, &header);
    menu->setTitle(QStringLiteral("A rather long language title (detected)"));
    EXPECT_EQ(menu->minimumSizeHint(), menu->sizeHint());
    Environment::setCompressesHeaderOptions(&header, true);
    EXPECT_LT(menu->minimumSizeHint().width(), menu->sizeHint().width() / 2);
    EXPECT_EQ(menu->minimumSizeHint().height(), menu->sizeHint().height());
}

TEST(LanguageMenuTest, TheChevronGrowsWithTheTextSize) {
    const std::pair<TextSize, int> cases[] = {
        {TextSize::Standard, 10}, {TextSize::Large, 12}, {TextSize::Larger, 13}, {TextSize::Largest, 15}};
    for (const auto &[size, points] : cases) {
        QWidget root;
        auto *menu = new LanguageMenu(std::nullopt, &root);
        Environment::setTextSize(&root, size);
        EXPECT_EQ(menu->chevronPointSize(), points) << toString(size).toStdString();
    }
}
