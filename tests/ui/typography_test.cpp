#include "ui/typography.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct Row {
    Typography style;
    std::array<int, 4> sizes;
    QFont::Weight weight;
    ColorName color;
    std::array<int, 4> spacing;
    std::array<int, 4> fullLinePadding;
};

// The style table as the design gives it, written out independently of the code's own table.
const Row kRows[] = {
    {Typography::Title, {26, 28, 30, 32}, QFont::Bold, ColorName::TextPrimary, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {Typography::Description, {13, 15, 17, 19}, QFont::Normal, ColorName::TextSecondary, {2, 2, 3, 3}, {1, 1, 1, 1}},
    {Typography::SectionHeader, {13, 15, 17, 19}, QFont::DemiBold, ColorName::Accent, {2, 2, 3, 3}, {1, 1, 1, 1}},
    {Typography::Body, {13, 15, 17, 19}, QFont::Normal, ColorName::TextPrimary, {2, 2, 3, 3}, {1, 1, 1, 1}},
    {Typography::BodyEmphasis, {13, 15, 17, 19}, QFont::DemiBold, ColorName::TextPrimary, {2, 2, 3, 3}, {1, 1, 1, 1}},
    {Typography::CardTitle, {15, 17, 19, 21}, QFont::DemiBold, ColorName::TextPrimary, {2, 3, 3, 3}, {1, 1, 1, 1}},
    {Typography::Meta, {12, 13, 14, 15}, QFont::Normal, ColorName::TextTertiary, {1, 1, 1, 2}, {0, 0, 0, 1}},
    {Typography::Caption, {11, 12, 13, 14}, QFont::Normal, ColorName::TextTertiary, {1, 1, 1, 1}, {0, 0, 0, 0}},
    {Typography::Badge, {11, 12, 13, 14}, QFont::DemiBold, ColorName::TextOnAccent, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {Typography::Reading, {15, 17, 19, 21}, QFont::Normal, ColorName::TextPrimary, {5, 5, 6, 6}, {2, 2, 3, 3}},
    {Typography::NoteTitle, {22, 24, 26, 28}, QFont::Bold, ColorName::TextPrimary, {4, 5, 5, 6}, {2, 2, 2, 3}},
    {Typography::NoteHeading, {18, 20, 22, 24}, QFont::DemiBold, ColorName::TextPrimary, {3, 3, 3, 4}, {1, 1, 1, 2}},
    {Typography::NoteSubheading, {15, 17, 19, 21}, QFont::DemiBold, ColorName::TextPrimary, {2, 3, 3, 3}, {1, 1, 1, 1}},
    {Typography::Code, {14, 16, 18, 20}, QFont::Normal, ColorName::TextPrimary, {2, 2, 3, 3}, {1, 1, 1, 1}},
};

} // namespace

TEST(Typography, EveryStyleHasItsSizesWeightColourAndSpacingAtEachTextSize) {
    ASSERT_EQ(allTypographies().size(), int(std::size(kRows)));
    for (const Row &row : kRows) {
        const std::string name = toString(row.style).toStdString();
        EXPECT_EQ(weight(row.style), row.weight) << name;
        EXPECT_EQ(defaultColor(row.style), row.color) << name;
        for (TextSize size : allTextSizes()) {
            const int i = position(size);
            EXPECT_EQ(pointSize(row.style, size), row.sizes[i]) << name << " " << i;
            EXPECT_EQ(lineSpacing(row.style, size), row.spacing[i]) << name << " " << i;
            EXPECT_EQ(fullLineHeightPadding(row.style, size), row.fullLinePadding[i]) << name << " " << i;
            const QFont font = fontFor(row.style, size);
            EXPECT_EQ(font.pixelSize(), row.sizes[i]) << name;
            EXPECT_EQ(font.weight(), row.weight) << name;
        }
    }
}

TEST(Typography, CodeIsMonospacedAndTheRestSansSerifWithJapaneseBehindIt) {
    const QFont code = fontFor(Typography::Code, TextSize::Standard);
    EXPECT_TRUE(QFontInfo(code).fixedPitch());
    const QFont body = fontFor(Typography::Body, TextSize::Standard);
    EXPECT_FALSE(QFontInfo(body).fixedPitch());
    // Japanese falls back to Noto Sans CJK JP when it is installed (the setup script installs it).
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        EXPECT_TRUE(body.families().contains(QStringLiteral("Noto Sans CJK JP")));
    }
    EXPECT_FALSE(body.families().isEmpty());
}
