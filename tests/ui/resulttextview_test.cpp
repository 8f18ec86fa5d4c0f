#include "ui/resulttextview.h"

#include "support/testsupport.h"
#include "ui/environment.h"
#include "ui/typography.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const QString kCursor = QString(QChar(ResultTextView::kStreamingCursor));

struct ResultViewTest : ::testing::Test {
    ResultViewTest() {
        view.resize(600, 400);
        view.show();
        view.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
    }
    ResultTextView view;
};

// Records every change the document reports, to tell appends from replacements.
struct ChangeLog {
    explicit ChangeLog(QTextDocument *doc) {
        QObject::connect(doc, &QTextDocument::contentsChange, [this](int position, int removed, int added) {
            changes.push_back({position, removed, added});
        });
    }
    struct Change {
        int position, removed, added;
    };
    std::vector<Change> changes;
};

} // namespace

TEST(ResultTextViewMarker, ListMarkersAreTheFourPrefixesOnly) {
    using M = ResultTextView::BulletMarker;
    struct Case {
        const char16_t *text;
        std::optional<M> expected;
    };
    const Case cases[] = {
        {u"- item", M{0, 1, 1}},
        {u"* item", M{0, 1, 1}},
        {u"\u2022 item", M{0, 1, 1}},
        {u"  - indented", M{2, 1, 1}},
        {u"\t* tabbed", M{1, 1, 1}},
        {u"\u30FB\u65E5\u672C\u8A9E", M{0, 1, 0}},
        {u"-word", std::nullopt},
        {u"\u2022word", std::nullopt},
        {u"1. numbered", std::nullopt},
        {u"\u2013 en dash", std::nullopt},
        {u"", std::nullopt},
        {u"   ", std::nullopt},
        {u"text - with hyphen", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ResultTextView::bulletMarker(QStringView(c.text)), c.expected)
            << QString::fromUtf16(c.text).toStdString();
}

TEST_F(ResultViewTest, StreamingAppendsOnlyTheNewTailAndKeepsEarlierText) {
    view.setResult(QStringLiteral("Hello"), true);
    EXPECT_EQ(view.document()->toPlainText(), "Hello" + kCursor);
    EXPECT_TRUE(view.isReadOnly());

    ChangeLog log(view.document());
    view.setResult(QStringLiteral("Hello, w"), true);
    ASSERT_FALSE(log.changes.empty());
    // Only the old cursor and beyond were replaced: nothing before position 5 was touched.
    for (const auto &change : log.changes)
        EXPECT_GE(change.position, 5);
    EXPECT_EQ(view.document()->toPlainText(), "Hello, w" + kCursor);

    // A text that is not a continuation (the last letter changed) replaces the whole.
    log.changes.clear();
    view.setResult(QStringLiteral("Hello, x"), true);
    ASSERT_FALSE(log.changes.empty());
    EXPECT_EQ(log.changes.front().position, 0);
    EXPECT_EQ(view.document()->toPlainText(), "Hello, x" + kCursor);

    // The end of the run drops the cursor and makes the text editable.
    view.setResult(QStringLiteral("Hello, x."), false);
    EXPECT_EQ(view.document()->toPlainText(), "Hello, x.");
    EXPECT_FALSE(view.isReadOnly());
    EXPECT_FALSE(view.document()->isUndoAvailable());
}

TEST_F(ResultViewTest, TheCursorIsAccentColouredAndTheTextInTheReadingStyle) {
    Environment::setTextSize(&view, TextSize::Larger);
    view.setResult(QStringLiteral("Streaming"), true);
    const QTextBlock block = view.document()->lastBlock();
    QTextCharFormat textFormat, cursorFormat;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().text().contains(kCursor))
            cursorFormat = it.fragment().charFormat();
        else
            textFormat = it.fragment().charFormat();
    }
    EXPECT_EQ(cursorFormat.foreground().color(), Environment::color(&view, ColorName::Accent));
    EXPECT_EQ(textFormat.foreground().color(), Environment::color(&view, ColorName::TextPrimary));
    EXPECT_EQ(textFormat.font().pixelSize(), pointSize(Typography::Reading, TextSize::Larger));
    EXPECT_EQ(block.blockFormat().lineHeight(), lineSpacing(Typography::Reading, TextSize::Larger));
}

TEST_F(ResultViewTest, ChangingTheTextSizeWhileStreamingRestylesAllAndKeepsTheCursor) {
    view.setResult(QStringLiteral("One\nTwo"), true);
    Environment::setTextSize(&view, TextSize::Largest);
    view.setResult(QStringLiteral("One\nTwo three"), true);
    EXPECT_EQ(view.document()->toPlainText(), "One\nTwo three" + kCursor);
    for (QTextBlock block = view.document()->firstBlock(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            EXPECT_EQ(it.fragment().charFormat().font().pixelSize(), 21);
    }
}

TEST_F(ResultViewTest, ReplacingClearsUndoAndUserEditsAreReportedWhole) {
    view.setResult(QStringLiteral("First result"), false);
    QSignalSpy edits(&view, &ResultTextView::edited);
    view.setFocus(Qt::MouseFocusReason);
    QTextCursor cursor = view.textCursor();
    cursor.movePosition(QTextCursor::End);
    view.setTextCursor(cursor);
    QTest::keyClicks(&view, QStringLiteral("!!"));
    ASSERT_EQ(edits.size(), 2);
    EXPECT_EQ(edits.last().first().toString(), "First result!!");
    EXPECT_TRUE(view.document()->isUndoAvailable());

    // Undo takes back the user's own typing, nothing older.
    view.document()->undo();
    EXPECT_EQ(view.document()->toPlainText(), "First result");
    EXPECT_FALSE(view.document()->isUndoAvailable());

    // A programmatic replace leaves no undo step leading back to the old text.
    view.setResult(QStringLiteral("Second result"), false);
    EXPECT_FALSE(view.document()->isUndoAvailable());
    view.document()->undo();
    EXPECT_EQ(view.document()->toPlainText(), "Second result");
}

TEST_F(ResultViewTest, TypingIsImpossibleWhileStreaming) {
    view.setResult(QStringLiteral("Growing"), true);
    QSignalSpy edits(&view, &ResultTextView::edited);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::keyClicks(&view, QStringLiteral("xyz"));
    EXPECT_EQ(view.document()->toPlainText(), "Growing" + kCursor);
    EXPECT_EQ(edits.size(), 0);
}

TEST_F(ResultViewTest, BulletsGetAHangingIndentAndAreDrawnOnTheFirstLineOnly) {
    view.setBulletSpacing(6);
    const QString longItem = QStringLiteral("- ") + QString(QStringLiteral("wrapping words ")).repeated(30);
    view.setResult(QStringLiteral("Intro line\n") + longItem + QStringLiteral("\n  - indented\n1. number\n-word"),
                   false);
    QApplication::processEvents();
    const QTextBlock intro = view.document()->firstBlock();
    const QTextBlock item = intro.next();
    EXPECT_EQ(intro.blockFormat().leftMargin(), 0);
    EXPECT_GT(item.blockFormat().leftMargin(), 0);
    EXPECT_EQ(item.blockFormat().textIndent(), -item.blockFormat().leftMargin());
    EXPECT_EQ(item.blockFormat().bottomMargin(), 6);
    ASSERT_GT(item.layout()->lineCount(), 1);
    // Continuation lines start under the item's text, not under the marker.
    EXPECT_NEAR(item.layout()->lineAt(1).x(), item.blockFormat().leftMargin(), 1.0);

    const QList<QRectF> bullets = view.bulletRects();
    ASSERT_EQ(bullets.size(), 2); // the long item and the indented one; not "1." or "-word"
    const QTextLine firstLine = item.layout()->lineAt(0);
    const QRectF itemBounds = view.document()->documentLayout()->blockBoundingRect(item);
    EXPECT_LT(bullets[0].top(), itemBounds.top() + firstLine.height());
    EXPECT_EQ(bullets[0].width(), 5); // 15 px reading text: 0.34 x 15 rounds to 5
    // The indented item's bullet sits further right than the first.
    EXPECT_GT(bullets[1].left(), bullets[0].left());
}

TEST_F(ResultViewTest, CentredColumnWidthsFollowTheTextSize) {
    view.setCentered(true);
    view.setInset(QSizeF(16, 12));
    const std::array<qreal, 4> expected{672, 760, 852, 940};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&view, size);
        EXPECT_EQ(view.columnWidth(), expected[position(size)]);
    }
    Environment::setTextSize(&view, TextSize::Standard);
    view.resize(1200, 400);
    QApplication::processEvents();
    EXPECT_NEAR(view.horizontalInset(), (view.viewport()->width() - 672) / 2.0, 0.01);
    // Narrower than the column: just the inset.
    view.resize(500, 400);
    QApplication::processEvents();
    EXPECT_EQ(view.horizontalInset(), 16);
    view.setCentered(false);
    EXPECT_EQ(view.columnWidth(), std::nullopt);
}

TEST_F(ResultViewTest, FocusComesOnlyFromAClickOrAKey) {
    view.setResult(QStringLiteral("Done"), false);
    view.activateWindow();
    QSignalSpy focus(&view, &ResultTextView::focusChanged);
    view.setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(view.isFocusedForEditing());
    EXPECT_TRUE(test::waitUntil([&] { return !view.hasFocus(); }));
    EXPECT_EQ(focus.size(), 0);

    view.setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(view.isFocusedForEditing());
    ASSERT_EQ(focus.size(), 1);
    EXPECT_TRUE(focus.last().first().toBool());
    view.clearFocus();
    EXPECT_FALSE(view.isFocusedForEditing());
    ASSERT_EQ(focus.size(), 2);
    EXPECT_FALSE(focus.last().first().toBool());
}

TEST_F(ResultViewTest, StreamingStartDropsFocus) {
    view.setResult(QStringLiteral("Old"), false);
    view.activateWindow();
    view.setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(view.hasFocus());
    view.setResult(QString(), true);
    EXPECT_TRUE(test::waitUntil([&] { return !view.hasFocus(); }));
    EXPECT_FALSE(view.isFocusedForEditing());
}

TEST_F(ResultViewTest, UpdatesDuringInputMethodCompositionWaitForTheNextOne) {
    view.setResult(QStringLiteral("Base"), false);
    view.setFocus(Qt::MouseFocusReason);
    QTextCursor cursor = view.textCursor();
    cursor.movePosition(QTextCursor::End);
    view.setTextCursor(cursor);
    QInputMethodEvent compose(QStringLiteral("\u306B\u307B"), {});
    QApplication::sendEvent(&view, &compose);
    view.setResult(QStringLiteral("Replaced"), false);
    EXPECT_TRUE(view.document()->toPlainText().startsWith(QStringLiteral("Base")));
    QInputMethodEvent commit;
    commit.setCommitString(QString());
    QApplication::sendEvent(&view, &commit);
    view.setResult(QStringLiteral("Replaced"), false);
    EXPECT_EQ(view.document()->toPlainText(), "Replaced");
}

TEST_F(ResultViewTest, SendToItemsJoinTheContextMenu) {
    struct Provider : TextMenuProvider {
        mutable int calls = 0;
        void addItems(QMenu *menu, QTextEdit *textView) const override {
            ++calls;
            EXPECT_NE(textView, nullptr);
            menu->insertAction(menu->actions().value(0), new QAction(QStringLiteral("Send to"), menu));
        }
    };
    auto provider = std::make_shared<Provider>();
    view.setSendTo(provider);
    view.setResult(QStringLiteral("Some text"), false);
    bool sawItem = false;
    QTimer::singleShot(0, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            sawItem = !menu->actions().isEmpty() && menu->actions().first()->text() == "Send to";
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), view.viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(view.viewport(), &event);
    EXPECT_EQ(provider->calls, 1);
    EXPECT_TRUE(sawItem);
}

TEST_F(ResultViewTest, HardTextsShowWithoutTrouble) {
    const QString texts[] = {
        QString(500, QChar(0x0301)),                                  // combining marks only
        QStringLiteral("\U0001F600\U0001F469\u200D\U0001F4BB emoji"), // emoji and a joiner sequence
        QStringLiteral("English \u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 mixed"),
        QString(QStringLiteral("long ")).repeated(20000),
    };
    for (const QString &text : texts) {
        view.setResult(text.left(text.size() / 2), true);
        view.setResult(text, true);
        view.setResult(text, false);
        EXPECT_EQ(view.document()->toPlainText(), text);
        view.grab();
    }
}
