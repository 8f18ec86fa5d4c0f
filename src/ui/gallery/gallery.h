#pragma once

#include "ui/namedcolors.h"
#include "ui/textsize.h"

#include <QImage>
#include <QString>
#include <QStringList>

class QWidget;

namespace velmora::gallery {

// One way of looking at the kit: a text size, an appearance and a language ("en" or "ja").
struct Variant {
    TextSize size = TextSize::Standard;
    ColorScheme scheme = ColorScheme::Light;
    QString language = QStringLiteral("en");

    QString fileSuffix() const;
};

// Every combination of the four sizes, both appearances and both languages.
QList<Variant> allVariants();

// The gallery's pages: each shows a group of widgets in each of their states.
QStringList pageNames();

// Builds a page for a variant (its environment set on the returned root).
QWidget *makePage(const QString &name, const Variant &variant);

// Renders a page as it looks in a variant, hover tips included.
QImage render(const QString &name, const Variant &variant);

// Switches the kit's translations to a language ("en" removes them).
void setLanguage(const QString &language);

// Renders every page in every variant into folder as <page>-<size>-<scheme>-<language>.png;
// returns the files written.
QStringList saveAll(const QString &folder, const QStringList &pages = pageNames(),
                    const QList<Variant> &variants = allVariants());

} // namespace velmora::gallery
