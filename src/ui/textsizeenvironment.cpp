#include "ui/textsizeenvironment.h"

#include "core/defaults.h"
#include "ui/environment.h"
#include "ui/uisettings.h"

#include <QWidget>

namespace velmora {

TextSizeEnvironment::TextSizeEnvironment(QWidget *root, Defaults &defaults)
    : QObject(root), m_root(root), m_defaults(defaults) {
    connect(&defaults, &Defaults::changed, this, [this](const QString &key) {
        if (key == kTextSize.name || key == kReduceMotion.name || key == kTextSizeOverride.name)
            apply();
    });
    apply();
}

TextSize TextSizeEnvironment::storedSize(const Defaults &defaults) {
    return textSizeFromString(defaults.get(kTextSize)).value_or(TextSize::Standard);
}

TextSize TextSizeEnvironment::effectiveSize(const Defaults &defaults) {
    if (auto override = textSizeFromString(defaults.get(kTextSizeOverride)))
        return *override;
    return storedSize(defaults);
}

TextSize TextSizeEnvironment::size() const {
    return m_root ? Environment::textSize(m_root) : TextSize::Standard;
}

void TextSizeEnvironment::apply() {
    if (!m_root)
        return;
    const TextSize before = Environment::textSize(m_root);
    const TextSize after = effectiveSize(m_defaults);
    Environment::setTextSize(m_root, after);
    Environment::setReduceMotion(m_root, m_defaults.get(kReduceMotion));
    if (after != before)
        emit changed(after);
}

} // namespace velmora
