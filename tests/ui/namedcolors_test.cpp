#include "ui/namedcolors.h"
#include "ui/symbols.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

TEST(NamedColors, EveryNameTheInterfaceUsesHasALightAndADarkValue) {
    const QStringList required{"TextPrimary",      "TextSecondary",  "TextTertiary",  "TextOnAccent", "Accent",
                               "AccentFill",       "Attention",      "AttentionSoft", "Highlight",    "LineFocus",
                               "LineHairline",     "LineStrong",     "PinTint",       "Scrim",        "SurfaceCapsule",
                               "SurfaceChip",      "SurfaceContent", "SurfaceHover",  "SurfacePanel", "SurfacePressed",
                               "SurfaceSelection", "SurfaceSidebar", "SurfaceSunken"};
    for (const QString &name : required) {
        for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
            const auto color = NamedColors::color(name, scheme);
            ASSERT_TRUE(color.has_value()) << name.toStdString();
            EXPECT_TRUE(color->isValid()) << name.toStdString();
        }
    }
    for (ColorName name : NamedColors::all())
        EXPECT_TRUE(required.contains(toString(name))) << toString(name).toStdString();
    for (int digit = 1; digit <= 9; ++digit)
        EXPECT_TRUE(NamedColors::color(QStringLiteral("PinTint%1").arg(digit), ColorScheme::Dark).has_value());
    EXPECT_EQ(NamedColors::color(QStringLiteral("NoSuchColour"), ColorScheme::Light), std::nullopt);
}

TEST(NamedColors, TextStaysReadableOnItsSurfaceInBothAppearances) {
    // A contrast ratio below 4.5 makes body text hard to read; check the pairs the kit draws.
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    auto contrast = [&](const QColor &a, const QColor &b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    const std::pair<ColorName, ColorName> pairs[] = {
        {ColorName::TextPrimary, ColorName::SurfaceContent}, {ColorName::TextSecondary, ColorName::SurfaceContent},
        {ColorName::Accent, ColorName::SurfaceContent},      {ColorName::TextOnAccent, ColorName::AccentFill},
        {ColorName::TextPrimary, ColorName::AttentionSoft},
    };
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        for (const auto &[text, surface] : pairs) {
            EXPECT_GE(contrast(NamedColors::color(text, scheme), NamedColors::color(surface, scheme)), 4.5)
                << toString(text).toStdString() << " on " << toString(surface).toStdString() << " "
                << toString(scheme).toStdString();
        }
    }
}

TEST(Symbols, EverySymbolOfTheTableDrawsFromTheIconThemeOrTheKitsOwnFile) {
    for (const QString &symbol : Symbols::names()) {
        const QString path = Symbols::filePath(symbol, 16);
        if (QDir(QStringLiteral("/usr/share/icons/breeze")).exists()) {
            EXPECT_FALSE(path.isEmpty()) << symbol.toStdString();
        }
        if (path.isEmpty())
            continue;
        const QImage image = Symbols::pixmap(symbol, 16, Qt::red).toImage();
        int painted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 0) {
                    ++painted;
                    // Tinted: every covered pixel is the one colour.
                    EXPECT_GT(pixel.red(), 200) << symbol.toStdString();
                    EXPECT_EQ(pixel.green(), 0) << symbol.toStdString();
                }
            }
        }
        EXPECT_GT(painted, 4) << symbol.toStdString();
    }
}

TEST(Symbols, WithoutAnIconThemeAReadableGlyphStandsIn) {
    QTemporaryDir empty;
    Symbols::setThemeSearchPaths({empty.path()});
    const QString path = Symbols::filePath(QStringLiteral("doc.on.doc"), 16);
    const QImage image = Symbols::pixmap(QStringLiteral("doc.on.doc"), 16, Qt::black).toImage();
    const QImage unknown = Symbols::pixmap(QStringLiteral("no.such.symbol"), 16, Qt::black).toImage();
    Symbols::setThemeSearchPaths({});
    EXPECT_TRUE(path.isEmpty());
    auto painted = [](const QImage &img) {
        int count = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                count += img.pixelColor(x, y).alpha() > 0;
        return count;
    };
    EXPECT_GT(painted(image), 4);
    EXPECT_GT(painted(unknown), 4);
    EXPECT_FALSE(Symbols::fallbackGlyph(QStringLiteral("doc.on.doc")).isEmpty());
}

TEST(Symbols, LineArtIsScaledUpRatherThanAFullColourDrawingTinted) {
    const QByteArray lineArt =
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 22 22"><style>.ColorScheme-Text{color:#232629;}</style>)"
        R"(<path class="ColorScheme-Text" style="fill:currentColor" d="M3 3h16v2H3z"/></svg>)";
    const QByteArray colour =
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><path fill="#1d99f3" d="M0 0h32v32H0z"/>)"
        R"(<path fill="#fcfcfc" d="M4 4h8v8H4z"/><path fill="#d35400" d="M20 20h8v8h-8z"/></svg>)";
    struct Case {
        const char *name;
        std::vector<std::pair<int, bool>> files; // size, is line art
        int box;
        int expected;
    };
    const std::vector<Case> cases{
        {"line art below the box wins over colour above it",
         {{16, true}, {22, true}, {32, false}, {64, false}},
         25,
         22},
        {"the closest line art at or above the box", {{16, true}, {22, true}, {32, true}, {64, false}}, 25, 32},
        {"the largest line art below a big box", {{16, true}, {22, true}, {48, false}}, 40, 22},
        {"colour only when there is nothing else", {{32, false}, {64, false}}, 25, 32},
        {"small boxes keep their own size", {{16, true}, {22, true}, {64, false}}, 16, 16},
    };
    for (const Case &c : cases) {
        QTemporaryDir theme;
        for (const auto &[size, isLineArt] : c.files) {
            const QString folder = theme.filePath(QStringLiteral("breeze/actions/%1").arg(size));
            ASSERT_TRUE(QDir().mkpath(folder));
            QFile file(folder + QStringLiteral("/go-home.svg"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(isLineArt ? lineArt : colour);
        }
        Symbols::setThemeSearchPaths({theme.path()});
        const QString path = Symbols::filePath(QStringLiteral("house"), c.box);
        Symbols::setThemeSearchPaths({});
        EXPECT_EQ(path.toStdString(),
                  theme.filePath(QStringLiteral("breeze/actions/%1/go-home.svg").arg(c.expected)).toStdString())
            << c.name;
    }
}

// Breeze has the two opposite arrows of "swap" only standing up: the Translate panes sit side by
// side, so the drawing is turned a quarter. Other symbols are drawn as the file has them.
TEST(Symbols, ADrawingOnItsSideIsTurnedAndOthersAreNot) {
    // A bar along the top edge.
    const QByteArray bar =
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 16 16"><style>.ColorScheme-Text{color:#232629;}</style>)"
        R"(<path class="ColorScheme-Text" style="fill:currentColor" d="M0 0h16v4H0z"/></svg>)";
    QTemporaryDir theme;
    const QString folder = theme.filePath(QStringLiteral("breeze/actions/16"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char *name : {"reverse", "go-home"}) {
        QFile file(folder + QStringLiteral("/%1.svg").arg(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bar);
    }
    Symbols::setThemeSearchPaths({theme.path()});
    const QImage swap = Symbols::pixmap(QStringLiteral("arrow.left.arrow.right"), 16, Qt::black).toImage();
    const QImage house = Symbols::pixmap(QStringLiteral("house"), 16, Qt::black).toImage();
    Symbols::setThemeSearchPaths({});
    const auto covered = [](const QImage &image, int x, int y) { return image.pixelColor(x, y).alpha() > 128; };
    // Turned clockwise, the top bar runs down the right edge.
    EXPECT_TRUE(covered(swap, 14, 8));
    EXPECT_FALSE(covered(swap, 8, 1));
    EXPECT_TRUE(covered(house, 8, 1));
    EXPECT_FALSE(covered(house, 14, 8));
}

TEST(Symbols, TintedSymbolsKeepTheirShapeAtEverySize) {
    if (!QDir(QStringLiteral("/usr/share/icons/breeze")).exists())
        GTEST_SKIP() << "the Breeze icon theme is not installed";
    // Share of the box a tinted symbol covers; a full-colour drawing tinted covers far more than
    // the same symbol's line art.
    auto coverage = [](const QString &symbol, int size) {
        const QImage image = Symbols::pixmap(symbol, size, Qt::black).toImage();
        qreal covered = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                covered += image.pixelColor(x, y).alphaF();
        return covered / (image.width() * image.height());
    };
    for (const QString &symbol : Symbols::names()) {
        const qreal small = coverage(symbol, 16);
        for (int size : {20, 25, 32, 40}) {
            EXPECT_LT(coverage(symbol, size), small + 0.2) << symbol.toStdString() << " at " << size;
        }
    }
}
