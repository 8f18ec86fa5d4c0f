#include "ui/styledlabel.h"

#include "ui/environment.h"

#include <QApplication>
#include <QImage>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace velmora;

TEST(StyledLabel, WrappedTextGetsTheHeightItNeedsInsideALayout) {
    const QString texts[] = {
        QStringLiteral("Thank you for the quick reply. I will send the revised schedule tomorrow morning."),
        QStringLiteral("\u65E9\u901F\u306E\u3054\u8FD4\u4FE1\u3042\u308A\u304C\u3068\u3046\u3054\u3056\u3044\u307E"
                       "\u3059\u3002\u4FEE\u6B63\u3057\u305F\u30B9\u30B1\u30B8\u30E5\u30FC\u30EB\u3092\u304A\u9001"
                       "\u308A\u3057\u307E\u3059\u3002"),
    };
    for (const QString &text : texts) {
        for (TextSize size : {TextSize::Standard, TextSize::Largest}) {
            QWidget root;
            Environment::setTextSize(&root, size);
            auto *box = new QWidget(&root);
            auto *layout = new QVBoxLayout(box);
            auto *label = new StyledLabel(text, Typography::Reading);
            label->setWordWrap(true);
            layout->addWidget(label);
            layout->addStretch(1);
            root.show();
            box->setGeometry(0, 0, 260, 400);
            QApplication::processEvents();
            EXPECT_GT(label->heightForWidth(label->width()), label->lineHeight());
            EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        }
    }
}

TEST(StyledLabel, OneLineTextIsElidedNotWrapped) {
    QWidget root;
    auto *label = new StyledLabel(QString(QStringLiteral("word ")).repeated(40), Typography::Body, &root);
    EXPECT_FALSE(label->hasHeightForWidth());
    EXPECT_LT(label->minimumSizeHint().width(), 40);
    EXPECT_EQ(label->sizeHint().height(), label->lineHeight());
    label->setKeepsIdealWidth(true);
    EXPECT_EQ(label->minimumSizeHint(), label->sizeHint());
}

TEST(StyledLabel, FullLineHeightPadsByHalfTheLineSpacing) {
    QWidget root;
    Environment::setTextSize(&root, TextSize::Larger);
    StyledLabel plain(QStringLiteral("Reading"), Typography::Reading, &root);
    StyledLabel padded(QStringLiteral("Reading"), Typography::Reading, &root);
    padded.setFullLineHeight(true);
    EXPECT_EQ(padded.sizeHint().height() - plain.sizeHint().height(), 2 * 3);
    StyledLabel title(QStringLiteral("Title"), Typography::Title, &root);
    StyledLabel titlePadded(QStringLiteral("Title"), Typography::Title, &root);
    titlePadded.setFullLineHeight(true);
    EXPECT_EQ(titlePadded.sizeHint(), title.sizeHint());
}

// The baseline a label reports is where its letters stand when painted: the foot of an "H" lies
// on it, for one line or wrapped, centred or at the top, with or without a fallback font in the
// line.
TEST(StyledLabel, FirstBaselineIsWhereTheLettersStand) {
    struct Case {
        Typography style;
        bool wrap;
        Qt::Alignment alignment;
        const char *text;
    };
    const Qt::Alignment top = Qt::AlignLeft | Qt::AlignTop;
    const Qt::Alignment centre = Qt::AlignLeft | Qt::AlignVCenter;
    const Case cases[] = {
        {Typography::Caption, false, centre, "HH"},           {Typography::Title, false, centre, "HH"},
        {Typography::Title, false, top, "HH 日本語"},         {Typography::Caption, true, top, "HH"},
        {Typography::Reading, true, top, "HH 日本語"},        {Typography::Reading, true, centre, "HH"},
        {Typography::Body, false, centre, "HH 音声入力の文"}, {Typography::Title, true, centre, "HH 日本語"},
    };
    for (TextSize size : allTextSizes()) {
        for (const Case &c : cases) {
            QWidget window;
            Environment::setTextSize(&window, size);
            auto *label = new StyledLabel(QString::fromUtf8(c.text), c.style, &window);
            label->setWordWrap(c.wrap);
            label->setAlignment(c.alignment);
            label->setGeometry(0, 0, 600, label->lineHeight() + 17);
            QImage image(label->size(), QImage::Format_RGB32);
            image.fill(Qt::white);
            label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            const int hWidth = int(QFontMetricsF(fontFor(c.style, size)).horizontalAdvance(QStringLiteral("HH")));
            int darkest = 255;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < hWidth; ++x)
                    darkest = std::min(darkest, qGray(image.pixel(x, y)));
            }
            int foot = -1;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < hWidth; ++x) {
                    // Solid ink only: the faint antialiased row under the foot belongs to no side.
                    if (qGray(image.pixel(x, y)) < (255 + darkest) / 2)
                        foot = y;
                }
            }
            ASSERT_GE(foot, 0) << c.text;
            EXPECT_NEAR(foot + 1, label->firstBaseline(), 1.0)
                << toString(c.style).toStdString() << " " << c.text << (c.wrap ? " wrapped" : "") << " at "
                << toString(size).toStdString();
        }
    }
}

TEST(StyledLabel, ALineLimitCutsLongTextAndLeavesShortTextAlone) {
    // Lines of one word, broken as the text kit breaks lines.
    const auto lines = [](int count) {
        QStringList words;
        for (int i = 0; i < count; ++i)
            words.append(QStringLiteral("word"));
        return words.join(QChar::LineSeparator);
    };
    const QString longText = QStringLiteral("one two three four five six seven eight nine ten ").repeated(8);
    const struct {
        QString text;
        int limit;
        QString sameHeightAs; // a text whose unlimited height the limited label must have
    } cases[] = {
        {longText, 2, lines(2)},
        {longText, 5, lines(5)},
        {lines(7), 5, lines(5)},
        {QStringLiteral("short"), 5, QStringLiteral("short")},
    };
    for (const auto &c : cases) {
        StyledLabel limited(c.text, Typography::Body);
        limited.setWordWrap(true);
        limited.setMaximumLineCount(c.limit);
        StyledLabel reference(c.sameHeightAs, Typography::Body);
        reference.setWordWrap(true);
        EXPECT_EQ(limited.heightForWidth(200), reference.heightForWidth(200)) << c.limit;
    }
    StyledLabel unlimited(longText, Typography::Body);
    unlimited.setWordWrap(true);
    StyledLabel limited(longText, Typography::Body);
    limited.setWordWrap(true);
    limited.setMaximumLineCount(5);
    EXPECT_GT(unlimited.heightForWidth(200), limited.heightForWidth(200));
    limited.setMaximumLineCount(0);
    EXPECT_EQ(unlimited.heightForWidth(200), limited.heightForWidth(200));
}
