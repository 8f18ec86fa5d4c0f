#include "ui/symbols.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>

#include <array>
#include <vector>

namespace velmora::Symbols {

namespace {

struct Entry {
    const char *symbol;
    // Breeze icon names, the best fit first; an own SVG (":/ui/symbols/<symbol>.svg") is used
    // only where this list is empty.
    std::vector<const char *> breeze;
    const char *glyph;
    // Quarter turns clockwise of the Breeze drawing, where Breeze has the shape only on its side.
    int quarterTurns = 0;
};

// clang-format off
const std::vector<Entry> &table() {
    static const std::vector<Entry> entries{
        {"magnifyingglass", {"search", "edit-find"}, "⌕"},
        {"doc.on.doc", {"edit-copy"}, "⧉"},
        {"checkmark", {"checkmark", "dialog-ok-apply"}, "✓"},
        {"checkmark.circle.fill", {}, "✔"},
        {"xmark", {"edit-delete-remove"}, "×"},
        {"chevron.down", {"go-down"}, "⌄"},
        {"chevron.right", {"go-next"}, "›"},
        {"chevron.forward", {"go-next"}, "›"},
        {"chevron.backward", {"go-previous"}, "‹"},
        {"ellipsis", {"view-more-horizontal-symbolic", "overflow-menu"}, "…"},
        {"exclamationmark.triangle.fill", {}, "⚠"},
        {"exclamationmark.triangle", {}, "⚠"},
        {"info.circle", {"help-about"}, "ⓘ"},
        {"circle", {}, "○"},
        {"stop", {"media-playback-stop"}, "■"},
        {"stop.fill", {"media-playback-stop"}, "■"},
        {"stop.circle", {}, "◼"},
        {"play.fill", {"media-playback-start"}, "▶"},
        {"pause.fill", {"media-playback-pause"}, "❚❚"},
        {"mic", {"audio-input-microphone", "microphone"}, "●"},
        {"mic.fill", {"audio-input-microphone", "microphone"}, "●"},
        {"waveform", {}, "∿"},
        {"text.bubble", {"dialog-messages", "message"}, "✎"},
        {"person.2", {"system-users", "group"}, "👥"},
        {"person.wave.2", {"im-user", "user-identity"}, "☺"},
        {"list.bullet", {"format-list-unordered"}, "•"},
        {"list.bullet.rectangle", {"view-list-details"}, "☰"},
        {"checklist", {"view-task", "checkbox"}, "☑"},
        {"character.bubble", {"languages", "globe"}, "文"},
        {"text.line.3.summary", {"view-list-text", "format-justify-left"}, "≡"},
        {"text.alignleft", {"format-justify-left"}, "≡"},
        {"eye.slash", {"view-hidden"}, "◌"},
        {"doc.text.viewfinder", {"document-scan"}, "⌗"},
        {"text.badge.checkmark", {"tools-check-spelling"}, "✓"},
        {"house", {"go-home"}, "⌂"},
        {"note.text", {"view-pim-notes", "note"}, "✎"},
        {"clock.arrow.circlepath", {"view-history"}, "↺"},
        {"gearshape", {"configure", "settings-configure"}, "⚙"},
        {"sidebar.left", {"sidebar-collapse-left", "view-left-new"}, "▥"},
        {"sidebar.squares.left", {"sidebar-collapse-left", "view-left-new"}, "▥"},
        {"square.and.pencil", {"document-edit", "document-new"}, "✎"},
        {"arrowshape.turn.up.right", {}, "↪"},
        {"arrow.left.arrow.right", {"reverse"}, "⇄", 1},
        {"arrow.down.circle", {"download", "edit-download"}, "↓"},
        {"folder", {"folder"}, "▭"},
        {"globe", {"globe", "internet-services"}, "◍"},
        {"hand.raised", {"hand"}, "✋"},
        {"line.3.horizontal.decrease", {"view-filter"}, "≡"},
        {"envelope", {"mail-message", "mail-unread"}, "✉"},
        {"envelope.open", {"mail-read", "mail-mark-read"}, "✉"},
        {"h.text", {}, "H"},
        {"sun.max", {"brightness-high", "high-brightness"}, "☀"},
        {"circle.lefthalf.filled", {"contrast"}, "◐"},
        {"textformat", {"font"}, "A"},
        {"keyboard", {"input-keyboard"}, "⌨"},
        {"trash", {"edit-delete"}, "🗑"},
        {"plus", {"list-add"}, "+"},
    };
    return entries;
}
// clang-format on

const Entry *find(const QString &symbol) {
    for (const Entry &entry : table()) {
        if (symbol == QLatin1String(entry.symbol))
            return &entry;
    }
    return nullptr;
}

QStringList &searchPaths() {
    static QStringList paths;
    return paths;
}

QStringList effectiveSearchPaths() {
    if (!searchPaths().isEmpty())
        return searchPaths();
    QStringList paths = QIcon::themeSearchPaths();
    paths << QStringLiteral("/usr/share/icons");
    paths.removeDuplicates();
    return paths;
}

// Breeze draws some icons as monochrome line art at small sizes and in full colour at larger
// ones; a full-colour file tinted to one colour turns into a solid silhouette. Line art uses one
// colour (maybe a highlight beside it).
bool isLineArt(const QString &path) {
    static QHash<QString, bool> known;
    const auto it = known.constFind(path);
    if (it != known.constEnd())
        return *it;
    QFile file(path);
    bool lineArt = false;
    if (file.open(QIODevice::ReadOnly)) {
        static const QRegularExpression hex(QStringLiteral("#(?:[0-9a-fA-F]{6}|[0-9a-fA-F]{3})\\b"));
        QSet<QString> colours;
        auto matches = hex.globalMatch(QString::fromUtf8(file.readAll()));
        while (matches.hasNext())
            colours.insert(matches.next().captured().toLower());
        lineArt = colours.size() <= 2;
    }
    known.insert(path, lineArt);
    return lineArt;
}

// The Breeze file of an icon for a box of pixelSize: the smallest drawn size at or above the
// box (Breeze draws each size on its own pixel grid), else the largest there is; line art is
// preferred to a full-colour drawing of a better size, and scaled up.
QString breezeFile(const QString &name, int pixelSize) {
    static const std::array<const char *, 9> contexts{"actions", "status",    "places",      "devices",   "emblems",
                                                      "apps",    "mimetypes", "preferences", "categories"};
    static const std::array<int, 8> sizes{12, 16, 22, 24, 32, 48, 64, 96};
    for (const QString &root : effectiveSearchPaths()) {
        const QDir theme(root + QStringLiteral("/breeze"));
        if (!theme.exists())
            continue;
        for (const char *context : contexts) {
            QString best;
            int bestSize = 0;
            bool bestIsLineArt = false;
            for (int size : sizes) {
                const QString path =
                    theme.filePath(QStringLiteral("%1/%2/%3.svg").arg(QLatin1String(context)).arg(size).arg(name));
                if (!QFileInfo::exists(path))
                    continue;
                const bool lineArt = isLineArt(path);
                const bool closer = (bestSize < pixelSize && size > bestSize) || (size >= pixelSize && size < bestSize);
                const bool better =
                    best.isEmpty() || (lineArt && !bestIsLineArt) || (lineArt == bestIsLineArt && closer);
                if (better) {
                    best = path;
                    bestSize = size;
                    bestIsLineArt = lineArt;
                }
            }
            if (!best.isEmpty())
                return best;
            const QString symbolic =
                theme.filePath(QStringLiteral("%1/symbolic/%2.svg").arg(QLatin1String(context), name));
            if (QFileInfo::exists(symbolic))
                return symbolic;
        }
    }
    return {};
}

} // namespace

QStringList names() {
    QStringList list;
    for (const Entry &entry : table())
        list << QString::fromLatin1(entry.symbol);
    return list;
}

bool contains(const QString &symbol) {
    return find(symbol) != nullptr;
}

QString filePath(const QString &symbol, int pixelSize) {
    const Entry *entry = find(symbol);
    if (!entry)
        return {};
    if (entry->breeze.empty()) {
        const QString own = QStringLiteral(":/ui/symbols/%1.svg").arg(symbol);
        return QFileInfo::exists(own) ? own : QString();
    }
    for (const char *name : entry->breeze) {
        const QString path = breezeFile(QString::fromLatin1(name), pixelSize);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QString fallbackGlyph(const QString &symbol) {
    const Entry *entry = find(symbol);
    return entry ? QString::fromUtf8(entry->glyph) : QStringLiteral("□");
}

QPixmap pixmap(const QString &symbol, int pixelSize, const QColor &color, qreal devicePixelRatio) {
    pixelSize = std::max(1, pixelSize);
    const QString key = QStringLiteral("velmora-symbol/%1/%2/%3/%4")
                            .arg(symbol)
                            .arg(pixelSize)
                            .arg(color.rgba(), 8, 16)
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    const int device = qRound(pixelSize * devicePixelRatio);
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QString path = filePath(symbol, pixelSize);
        QSvgRenderer renderer;
        if (!path.isEmpty() && renderer.load(path) && renderer.isValid()) {
            renderer.setAspectRatioMode(Qt::KeepAspectRatio);
            const Entry *entry = find(symbol);
            if (entry && entry->quarterTurns && !path.startsWith(QLatin1Char(':'))) {
                painter.translate(device / 2.0, device / 2.0);
                painter.rotate(90.0 * entry->quarterTurns);
                painter.translate(-device / 2.0, -device / 2.0);
            }
            renderer.render(&painter, QRectF(0, 0, device, device));
        } else {
            QFont font;
            font.setPixelSize(std::max(1, int(device * 0.9)));
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(0, 0, device, device), Qt::AlignCenter, fallbackGlyph(symbol));
        }
        // Tint: keep the artwork's coverage, replace its colours.
        painter.resetTransform();
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

void paint(QPainter *painter, const QRectF &rect, const QString &symbol, int pixelSize, const QColor &color) {
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(symbol, pixelSize, color, dpr);
    const QPointF topLeft(rect.center().x() - pixelSize / 2.0, rect.center().y() - pixelSize / 2.0);
    painter->drawPixmap(QPointF(qRound(topLeft.x()), qRound(topLeft.y())), image);
}

void setThemeSearchPaths(const QStringList &paths) {
    searchPaths() = paths;
    QPixmapCache::clear();
}

} // namespace velmora::Symbols
