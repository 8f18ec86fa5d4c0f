// The UI kit's gallery: every widget in each of its states, at the four text sizes, light and
// dark, in English and Japanese. "--out FOLDER" saves every page as PNG files; "--page NAME"
// limits it to one page. Without --out it shows the pages in a window.
#include "ui/gallery/gallery.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>

using namespace velmora;

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("out"), QStringLiteral("Save PNG files into this folder."), QStringLiteral("folder")});
    parser.addOption({QStringLiteral("page"), QStringLiteral("Only this page."), QStringLiteral("name")});
    parser.process(app);

    QStringList pages = gallery::pageNames();
    if (parser.isSet(QStringLiteral("page")))
        pages = {parser.value(QStringLiteral("page"))};
    if (parser.isSet(QStringLiteral("out"))) {
        const QStringList written = gallery::saveAll(parser.value(QStringLiteral("out")), pages);
        QTextStream out(stdout);
        for (const QString &path : written)
            out << path << '\n';
        return written.isEmpty() ? 1 : 0;
    }

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *controls = new QHBoxLayout;
    auto *page = new QComboBox;
    page->addItems(pages);
    auto *variant = new QComboBox;
    const QList<gallery::Variant> variants = gallery::allVariants();
    for (const gallery::Variant &v : variants)
        variant->addItem(v.fileSuffix());
    controls->addWidget(page);
    controls->addWidget(variant);
    controls->addStretch(1);
    layout->addLayout(controls);
    auto *scroll = new QScrollArea;
    layout->addWidget(scroll, 1);
    auto show = [&] {
        QWidget *built = gallery::makePage(page->currentText(), variants.value(variant->currentIndex()));
        if (built)
            scroll->setWidget(built);
    };
    QObject::connect(page, &QComboBox::currentIndexChanged, &window, show);
    QObject::connect(variant, &QComboBox::currentIndexChanged, &window, show);
    show();
    window.resize(1100, 800);
    window.show();
    return app.exec();
}
