#include "ui/namedcolors.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <array>

Q_LOGGING_CATEGORY(lcUiColors, "velmora.ui.colors")

namespace velmora {

namespace {

constexpr std::array<const char *, 23> kNames{
    "TextPrimary",  "TextSecondary",  "TextTertiary",     "TextOnAccent",   "Accent",         "AccentFill",
    "Attention",    "AttentionSoft",  "Highlight",        "LineFocus",      "LineHairline",   "LineStrong",
    "PinTint",      "Scrim",          "SurfaceCapsule",   "SurfaceChip",    "SurfaceContent", "SurfaceHover",
    "SurfacePanel", "SurfacePressed", "SurfaceSelection", "SurfaceSidebar", "SurfaceSunken"};

// "#RRGGBB" or "#RRGGBBAA" (alpha last, as designers write it).
std::optional<QColor> parseColor(const QString &text) {
    if (!text.startsWith(QLatin1Char('#')) || (text.size() != 7 && text.size() != 9))
        return std::nullopt;
    bool ok = false;
    const uint value = text.mid(1).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    if (text.size() == 7)
        return QColor::fromRgb((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
    return QColor::fromRgb((value >> 24) & 0xff, (value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

struct Pair {
    QColor light;
    QColor dark;
};

const QHash<QString, Pair> &table() {
    static const QHash<QString, Pair> colors = [] {
        QHash<QString, Pair> result;
        QFile file(QStringLiteral(":/ui/colors.json"));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcUiColors) << "colour table missing";
            return result;
        }
        const QJsonObject entries = QJsonDocument::fromJson(file.readAll()).object().value(u"colors").toObject();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            const QJsonObject pair = it.value().toObject();
            const auto light = parseColor(pair.value(u"light").toString());
            const auto dark = parseColor(pair.value(u"dark").toString());
            if (light && dark)
                result.insert(it.key(), Pair{*light, *dark});
            else
                qCWarning(lcUiColors) << "unreadable colour" << it.key();
        }
        return result;
    }();
    return colors;
}

} // namespace

QString toString(ColorName name) {
    return QString::fromLatin1(kNames[static_cast<size_t>(name)]);
}

QString toString(ColorScheme scheme) {
    return scheme == ColorScheme::Dark ? QStringLiteral("dark") : QStringLiteral("light");
}

namespace NamedColors {

QList<ColorName> all() {
    QList<ColorName> names;
    for (size_t i = 0; i < kNames.size(); ++i)
        names.append(static_cast<ColorName>(i));
    return names;
}

std::optional<QColor> color(const QString &name, ColorScheme scheme) {
    const auto it = table().constFind(name);
    if (it == table().constEnd())
        return std::nullopt;
    return scheme == ColorScheme::Dark ? it->dark : it->light;
}

QColor color(ColorName name, ColorScheme scheme) {
    if (auto found = color(toString(name), scheme))
        return *found;
    // A readable stand-in keeps text legible if the table were ever incomplete.
    return scheme == ColorScheme::Dark ? QColor(0xE8, 0xEA, 0xED) : QColor(0x1F, 0x23, 0x28);
}

QStringList tableNames() {
    return table().keys();
}

} // namespace NamedColors
} // namespace velmora
