#pragma once

#include "ui/namedcolors.h"
#include "ui/textsize.h"

#include <QFont>
#include <QString>
#include <QStringList>

namespace velmora {

// The text styles every text of the interface is set in, in their fixed order.
enum class Typography {
    Title,
    Description,
    SectionHeader,
    Body,
    BodyEmphasis,
    CardTitle,
    Meta,
    Caption,
    Badge,
    Reading,
    NoteTitle,
    NoteHeading,
    NoteSubheading,
    Code,
};

QList<Typography> allTypographies();
QString toString(Typography style);

// The style's size at a text size, in logical pixels: an exact value from the style's table.
int pointSize(Typography style, TextSize size);
// Extra space between the lines of a wrapped text: from the table, never computed.
int lineSpacing(Typography style, TextSize size);
// Padding above and below a text that keeps its full line height: half the line spacing,
// rounded down.
int fullLineHeightPadding(Typography style, TextSize size);
QFont::Weight weight(Typography style);
ColorName defaultColor(Typography style);

// The style's font: the desktop's sans-serif with Noto Sans CJK JP behind it for Japanese, the
// monospaced family for code. Sizes are pixel sizes, so they match the tables on any screen.
QFont fontFor(Typography style, TextSize size);

namespace Fonts {
// Families of the interface font, most preferred first.
QStringList sansFamilies();
QStringList monospaceFamilies();
} // namespace Fonts

} // namespace velmora
