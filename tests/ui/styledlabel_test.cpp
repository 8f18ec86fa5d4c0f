#include "ui/styledlabel.h"

#include "ui/environment.h"

#include <QApplication>
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
