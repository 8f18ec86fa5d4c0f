#include "ui/typography.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <array>

namespace velmora {

namespace {

struct Style {
    const char *name;
    std::array<int, 4> sizes;
    QFont::Weight weight;
    ColorName color;
    std::array<int, 4> lineSpacing;
};

// Point sizes, weights, colours and line spacings, as the style table gives them.
constexpr std::array<Style, 14> kStyles{{
    {"title", {26, 28, 30, 32}, QFont::Bold, ColorName::TextPrimary, {0, 0, 0, 0}},
    {"description", {13, 15, 17, 19}, QFont::Normal, ColorName::TextSecondary, {2, 2, 3, 3}},
    {"sectionHeader", {13, 15, 17, 19}, QFont::DemiBold, ColorName::Accent, {2, 2, 3, 3}},
    {"body", {13, 15, 17, 19}, QFont::Normal, ColorName::TextPrimary, {2, 2, 3, 3}},
    {"bodyEmphasis", {13, 15, 17, 19}, QFont::DemiBold, ColorName::TextPrimary, {2, 2, 3, 3}},
    {"cardTitle", {15, 17, 19, 21}, QFont::DemiBold, ColorName::TextPrimary, {2, 3, 3, 3}},
    {"meta", {12, 13, 14, 15}, QFont::Normal, ColorName::TextTertiary, {1, 1, 1, 2}},
    {"caption", {11, 12, 13, 14}, QFont::Normal, ColorName::TextTertiary, {1, 1, 1, 1}},
    {"badge", {11, 12, 13, 14}, QFont::DemiBold, ColorName::TextOnAccent, {0, 0, 0, 0}},
    {"reading", {15, 17, 19, 21}, QFont::Normal, ColorName::TextPrimary, {5, 5, 6, 6}},
    {"noteTitle", {22, 24, 26, 28}, QFont::Bold, ColorName::TextPrimary, {4, 5, 5, 6}},
    {"noteHeading", {18, 20, 22, 24}, QFont::DemiBold, ColorName::TextPrimary, {3, 3, 3, 4}},
    {"noteSubheading", {15, 17, 19, 21}, QFont::DemiBold, ColorName::TextPrimary, {2, 3, 3, 3}},
    {"code", {14, 16, 18, 20}, QFont::Normal, ColorName::TextPrimary, {2, 2, 3, 3}},
}};

const Style &styleOf(Typography style) {
    return kStyles[static_cast<size_t>(style)];
}

bool hasFamily(const QString &family) {
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

} // namespace

QList<Typography> allTypographies() {
    QList<Typography> styles;
    for (size_t i = 0; i < kStyles.size(); ++i)
        styles.append(static_cast<Typography>(i));
    return styles;
}

QString toString(Typography style) {
    return QString::fromLatin1(styleOf(style).name);
}

int pointSize(Typography style, TextSize size) {
    return styleOf(style).sizes[position(size)];
}

int lineSpacing(Typography style, TextSize size) {
    return styleOf(style).lineSpacing[position(size)];
}

int fullLineHeightPadding(Typography style, TextSize size) {
    return lineSpacing(style, size) / 2;
}

QFont::Weight weight(Typography style) {
    return styleOf(style).weight;
}

ColorName defaultColor(Typography style) {
    return styleOf(style).color;
}

QFont fontFor(Typography style, TextSize size) {
    QFont font;
    font.setFamilies(style == Typography::Code ? Fonts::monospaceFamilies() : Fonts::sansFamilies());
    font.setPixelSize(pointSize(style, size));
    font.setWeight(weight(style));
    font.setStyleHint(style == Typography::Code ? QFont::Monospace : QFont::SansSerif);
    // Full hinting distorts glyph widths at these small pixel sizes; vertical-only keeps widths
    // true so measured and painted text agree.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

namespace Fonts {

QStringList sansFamilies() {
    static const QStringList families = [] {
        QStringList list;
        // The desktop's interface font when the platform names an installed one; fontconfig's
        // sans-serif otherwise.
        const QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        if (hasFamily(general))
            list << general;
        QFont sans(QStringLiteral("sans-serif"));
        sans.setStyleHint(QFont::SansSerif);
        list << QFontInfo(sans).family();
        // Japanese: Noto's JP forms of the shared CJK characters, never another region's.
        if (hasFamily(QStringLiteral("Noto Sans CJK JP")))
            list << QStringLiteral("Noto Sans CJK JP");
        list.removeDuplicates();
        list.removeAll(QString());
        return list;
    }();
    return families;
}

QStringList monospaceFamilies() {
    static const QStringList families = [] {
        QStringList list;
        const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        if (hasFamily(fixed) && QFontDatabase::isFixedPitch(fixed))
            list << fixed;
        for (const char *known : {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono"}) {
            if (hasFamily(QString::fromLatin1(known)))
                list << QString::fromLatin1(known);
        }
        if (list.isEmpty()) {
            const QStringList all = QFontDatabase::families();
            for (const QString &family : all) {
                if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family)) {
                    list << family;
                    break;
                }
            }
        }
        if (hasFamily(QStringLiteral("Noto Sans Mono CJK JP")))
            list << QStringLiteral("Noto Sans Mono CJK JP");
        list.removeDuplicates();
        return list;
    }();
    return families;
}

} // namespace Fonts
} // namespace velmora
