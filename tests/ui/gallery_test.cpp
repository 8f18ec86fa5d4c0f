#include "ui/environment.h"
#include "ui/gallery/gallery.h"
#include "ui/namedcolors.h"

#include <QImage>
#include <QProcessEnvironment>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

using namespace velmora;

namespace {

std::mutex messagesMutex;
QStringList messages;

void collect(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    // The offscreen test platform cannot raise windows; a desktop can. Not a fault of a page.
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::lock_guard lock(messagesMutex);
    messages << message;
}

} // namespace

class Gallery : public ::testing::TestWithParam<QString> {};

// Paints a page of the gallery in every text size, appearance and language; any Qt warning
// fails the run. VELMORA_GALLERY_OUT names a folder to keep the pictures in.
TEST_P(Gallery, PagePaintsInEveryVariantWithoutWarnings) {
    const QString out = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VELMORA_GALLERY_OUT"));
    messages.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    int rendered = 0;
    const QString page = GetParam();
    {
        for (const gallery::Variant &variant : gallery::allVariants()) {
            const QImage image = gallery::render(page, variant);
            ASSERT_FALSE(image.isNull()) << page.toStdString();
            EXPECT_GT(image.width(), 400);
            EXPECT_GT(image.height(), 300);
            // A page that painted nothing would be one flat colour.
            const QRgb corner = image.pixel(0, 0);
            bool varied = false;
            for (int y = 0; y < image.height() && !varied; y += 7)
                for (int x = 0; x < image.width() && !varied; x += 7)
                    varied = image.pixel(x, y) != corner;
            EXPECT_TRUE(varied) << page.toStdString() << " " << variant.fileSuffix().toStdString();
            if (!out.isEmpty())
                image.save(QStringLiteral("%1/%2-%3.png").arg(out, page, variant.fileSuffix()));
            ++rendered;
        }
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(rendered, gallery::allVariants().size());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Pages, Gallery, ::testing::ValuesIn(gallery::pageNames()),
                         [](const ::testing::TestParamInfo<QString> &info) { return info.param.toStdString(); });

// Each swatch of the colours page shows its own name's value in the page's appearance.
TEST(GalleryColours, SwatchesShowTheirNamedValueInEachAppearance) {
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        gallery::Variant variant;
        variant.scheme = scheme;
        std::unique_ptr<QWidget> page(gallery::makePage(QStringLiteral("colors"), variant));
        ASSERT_TRUE(page);
        page->adjustSize();
        int checked = 0;
        for (QWidget *swatch : page->findChildren<QWidget *>()) {
            const QString name = swatch->property("galleryColour").toString();
            if (name.isEmpty())
                continue;
            const QColor expected = NamedColors::color(name, scheme).value_or(QColor());
            ASSERT_TRUE(expected.isValid()) << name.toStdString();
            // The centre shows the colour as painted over the page's own surface.
            QImage image(swatch->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(NamedColors::color(ColorName::SurfaceContent, scheme));
            swatch->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            const QColor shown = image.pixelColor(image.width() / 2, image.height() / 2);
            const qreal a = expected.alphaF();
            const QColor surface = NamedColors::color(ColorName::SurfaceContent, scheme);
            auto blend = [a](int top, int under) { return qRound(top * a + under * (1 - a)); };
            EXPECT_NEAR(shown.red(), blend(expected.red(), surface.red()), 2) << name.toStdString();
            EXPECT_NEAR(shown.green(), blend(expected.green(), surface.green()), 2) << name.toStdString();
            EXPECT_NEAR(shown.blue(), blend(expected.blue(), surface.blue()), 2) << name.toStdString();
            ++checked;
        }
        EXPECT_GT(checked, 20);
    }
}
