#include "ui/pagescaffold.h"

#include "support/testsupport.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/toolicon.h"
#include "ui/toolpageheader.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;

TEST(ToolPageScaffold, ShortWorkspaceFillsTheFirstScreenAndRecentShowsAtItsBottom) {
    auto *workspace = new QWidget;
    workspace->setMinimumHeight(100);
    auto *recent = new StyledLabel(QStringLiteral("Recent"), Typography::SectionHeader);
    ToolPageScaffold page(new StyledLabel(QStringLiteral("Header"), Typography::Title), workspace, recent);
    page.resize(800, 700);
    page.show();
    // The window's new size and the layout arrive over a few turns of the event loop.
    int height = 700;
    auto settled = [&] {
        const int visible = page.viewport()->height();
        return page.height() == height && page.workBlock()->height() == visible - 100 &&
               recent->mapTo(page.viewport(), QPoint(0, 0)).y() == visible - 36;
    };
    // The block reaches 100 px above the bottom; the recent section starts 36 px above it.
    EXPECT_TRUE(test::waitUntil(settled))
        << page.height() << " " << page.workBlock()->height() << " " << page.viewport()->height();

    height = 900;
    page.resize(800, height);
    EXPECT_TRUE(test::waitUntil(settled))
        << page.height() << " " << page.workBlock()->height() << " " << page.viewport()->height();

    // A tall workspace is not clipped: the recent section follows it.
    workspace->setMinimumHeight(2000);
    EXPECT_TRUE(test::waitUntil([&] {
        return page.workBlock()->height() >= 2000 && recent->mapTo(page.widget(), QPoint(0, 0)).y() > 2000;
    })) << page.workBlock()->height();
}

TEST(ToolPageScaffold, MinimumBlockHeightNeverGoesBelowZero) {
    EXPECT_EQ(ToolPageScaffold::minimumBlockHeight(100), 0);
    EXPECT_EQ(ToolPageScaffold::minimumBlockHeight(40), 0);
    EXPECT_EQ(ToolPageScaffold::minimumBlockHeight(101), 1);
    EXPECT_EQ(ToolPageScaffold::minimumBlockHeight(700), 600);
}

TEST(PageScaffold, InsetsStayFixedAtEveryTextSize) {
    PageScaffold page(32, 24);
    auto *header = new StyledLabel(QStringLiteral("Header"), Typography::Title);
    auto *section = new StyledLabel(QStringLiteral("Section"), Typography::Body);
    page.setHeader(header);
    page.addSection(section);
    page.resize(700, 500);
    page.show();
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&page, size);
        EXPECT_TRUE(test::waitUntil([&] {
            return header->height() == header->sizeHint().height() &&
                   section->mapTo(page.widget(), QPoint(0, 0)).y() == 32 + header->height() + 24;
        }));
        EXPECT_EQ(header->mapTo(page.widget(), QPoint(0, 0)), QPoint(40, 32));
        EXPECT_EQ(header->width(), page.viewport()->width() - 80);
    }
}

TEST(ToolPageHeader, IconSizesNameAndMoreMenu) {
    QString language = QStringLiteral("en");
    ToolPageHeader header(
        QStringLiteral("character.bubble"),
        [&] { return language == "en" ? QStringLiteral("Translate") : QStringLiteral("\u7FFB\u8A33"); },
        QStringLiteral("Translate between Japanese and English."));
    header.resize(600, 120);
    header.show();
    EXPECT_EQ(header.nameLabel()->text(), "Translate");
    EXPECT_TRUE(header.nameLabel()->isHeading());
    EXPECT_EQ(header.moreButton()->accessibleName(), "More");

    const std::array<std::pair<int, int>, 4> icons{{{30, 36}, {32, 39}, {35, 42}, {37, 44}}};
    const std::array<int, 4> more{19, 22, 25, 27}; // 18, 21, 24, 26 pt symbols in their box
    for (TextSize size : allTextSizes()) {
        EXPECT_EQ(ToolIcon::symbolPointSize(ToolIcon::Size::Header, size), icons[position(size)].first);
        EXPECT_EQ(ToolIcon::frameWidth(ToolIcon::Size::Header, size), icons[position(size)].second);
        Environment::setTextSize(&header, size);
        EXPECT_EQ(header.icon()->sizeHint().width(), icons[position(size)].second);
        EXPECT_GE(header.moreButton()->sizeHint().width(), more[position(size)]);
    }
    const std::array<std::pair<int, int>, 4> sidebar{{{17, 20}, {20, 24}, {22, 28}, {25, 28}}};
    for (TextSize size : allTextSizes()) {
        EXPECT_EQ(ToolIcon::symbolPointSize(ToolIcon::Size::Sidebar, size), sidebar[position(size)].first);
        EXPECT_EQ(ToolIcon::frameWidth(ToolIcon::Size::Sidebar, size), sidebar[position(size)].second);
    }

    // The name follows a language change at once.
    language = QStringLiteral("ja");
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&header, &change);
    EXPECT_EQ(header.nameLabel()->text(), QStringLiteral("\u7FFB\u8A33"));

    // A long description wraps and is never cut off.
    header.setDescription(QString(QStringLiteral("A long description that wraps. ")).repeated(20));
    header.resize(400, header.heightForWidth(400));
    EXPECT_GT(header.descriptionLabel()->heightForWidth(300), header.descriptionLabel()->lineHeight() * 3);
}

TEST(SectionHeader, TrailingControlOverlaysTheTitleLine) {
    auto *trailing = new Button(QStringLiteral("Clear"), QString(), TextButtonStyle{});
    SectionHeader header(QStringLiteral("A section title"), trailing);
    header.resize(400, header.sizeHint().height());
    header.show();
    EXPECT_TRUE(test::waitUntil([&] { return trailing->geometry().right() == 399; }));
    EXPECT_EQ(header.titleLabel()->width(), 400);
    EXPECT_EQ(header.rule()->height(), 1);
    EXPECT_EQ(header.rule()->y(), header.titleLabel()->geometry().bottom() + 1 + 8);
    // The title keeps its full line height: body line plus half the spacing above and below.
    EXPECT_EQ(header.titleLabel()->lineHeight(), header.titleLabel()->sizeHint().height());
}
