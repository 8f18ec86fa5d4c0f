#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;

namespace velmora {

// The symbols the interface names (the platform symbol names of the design, such as
// "magnifyingglass" or "doc.on.doc"), drawn from Debian's Breeze icon theme through one table and
// tinted to one colour. Where no Breeze icon fits, the kit's own SVG stands in; where neither
// can be loaded (no icon theme installed, an unknown name), a text glyph is drawn instead, so a
// symbol is never just missing.
namespace Symbols {

// Every symbol name of the table.
QStringList names();
bool contains(const QString &symbol);

// The file the symbol is drawn from for a box of pixelSize, or empty when there is none.
QString filePath(const QString &symbol, int pixelSize);
// The text glyph drawn when no file can be loaded.
QString fallbackGlyph(const QString &symbol);

// The symbol in a square box of pixelSize logical pixels, tinted to color.
QPixmap pixmap(const QString &symbol, int pixelSize, const QColor &color, qreal devicePixelRatio = 1.0);
// Paints the symbol centred in rect, in a square box of pixelSize.
void paint(QPainter *painter, const QRectF &rect, const QString &symbol, int pixelSize, const QColor &color);

// Folders searched for the icon theme (tests point it at an empty folder to act out a missing
// theme); empty restores the default search path.
void setThemeSearchPaths(const QStringList &paths);

} // namespace Symbols
} // namespace velmora
