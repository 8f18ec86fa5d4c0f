#include "ui/textsize.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(TextSize, StoredFormsRoundTripAndOnlyExactFormsDecode) {
    const std::array<std::pair<TextSize, const char *>, 4> forms{{{TextSize::Standard, "default"},
                                                                  {TextSize::Large, "large"},
                                                                  {TextSize::Larger, "larger"},
                                                                  {TextSize::Largest, "largest"}}};
    for (const auto &[size, stored] : forms) {
        EXPECT_EQ(toString(size), QString::fromLatin1(stored));
        EXPECT_EQ(textSizeFromString(QString::fromLatin1(stored)), size);
    }
    for (const char *other : {"Default", "Large", "standard", "", "huge", " large"})
        EXPECT_EQ(textSizeFromString(QString::fromLatin1(other)), std::nullopt) << other;
}

TEST(TextSize, OrderIsTheOrderOfGrowth) {
    const auto sizes = allTextSizes();
    ASSERT_EQ(sizes.size(), 4u);
    int previous = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(position(sizes[i]), int(i));
        EXPECT_GT(bodyPointSize(sizes[i]), previous);
        previous = bodyPointSize(sizes[i]);
    }
    EXPECT_EQ(bodyPointSize(TextSize::Standard), 13);
    EXPECT_EQ(bodyPointSize(TextSize::Largest), 19);
}

TEST(TextSize, ScaledSnapsToTheStepAwayFromTheStandardSize) {
    struct Case {
        double length, step;
        std::array<double, 4> expected;
    };
    const Case cases[] = {
        {28, 4, {28, 32, 36, 40}},      {20, 4, {20, 24, 28, 28}}, {17, 1, {17, 20, 22, 25}},
        {672, 4, {672, 776, 880, 984}}, {24, 4, {24, 28, 32, 36}}, {15, 1, {15, 17, 20, 22}},
        {13, 1, {13, 15, 17, 19}},      {12, 1, {12, 14, 16, 18}}, {16, 4, {16, 20, 20, 24}},
        {36, 4, {36, 40, 48, 52}},      {32, 4, {32, 36, 40, 48}}, {18, 4, {18, 20, 24, 28}},
        {13.5, 4, {13.5, 16, 16, 20}},  {7, 1, {7, 8, 9, 10}},     {22, 4, {22, 24, 28, 32}},
    };
    for (const Case &c : cases) {
        for (TextSize size : allTextSizes())
            EXPECT_EQ(scaled(size, c.length, c.step), c.expected[position(size)])
                << c.length << " step " << c.step << " at " << toString(size).toStdString();
    }
}

TEST(TextSize, RatioScalingRoundsHalvesAwayFromZero) {
    EXPECT_EQ(scaledByRatio(10, 0.25, 1), 3);   // 2.5
    EXPECT_EQ(scaledByRatio(-10, 0.25, 1), -3); // -2.5
    EXPECT_EQ(scaledByRatio(30, 30.0 / 26, 1), 35);
    EXPECT_EQ(scaledByRatio(36, 32.0 / 26, 1), 44);
}
