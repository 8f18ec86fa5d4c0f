#include "ui/textsizecommands.h"

#include "core/defaults.h"
#include "ui/textsizeenvironment.h"
#include "ui/uisettings.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QKeySequence>

#include <algorithm>

namespace velmora {

TextSizeCommands::TextSizeCommands(Defaults &defaults, QObject *parent)
    : QObject(parent), m_defaults(defaults), m_bigger(new QAction(this)), m_smaller(new QAction(this)),
      m_actualSize(new QAction(this)), m_equals(new QAction(this)) {
    m_bigger->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus));
    m_smaller->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    m_actualSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    m_equals->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal));
    m_equals->setShortcutContext(Qt::WindowShortcut);

    connect(m_bigger, &QAction::triggered, this, [this] { step(m_defaults, +1); });
    connect(m_smaller, &QAction::triggered, this, [this] { step(m_defaults, -1); });
    connect(m_actualSize, &QAction::triggered, this,
            [this] { m_defaults.set(kTextSize, toString(TextSize::Standard)); });
    connect(m_equals, &QAction::triggered, this, [this] { step(m_defaults, +1); });
    connect(&defaults, &Defaults::changed, this, [this](const QString &key) {
        if (key == kTextSize.name)
            updateEnabled();
    });
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
    retranslate();
    updateEnabled();
}

void TextSizeCommands::step(Defaults &defaults, int d) {
    const int current = position(TextSizeEnvironment::storedSize(defaults));
    const int next = std::clamp(current + d, 0, int(allTextSizes().size()) - 1);
    defaults.set(kTextSize, toString(allTextSizes()[size_t(next)]));
}

bool TextSizeCommands::eventFilter(QObject *watched, QEvent *event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}

void TextSizeCommands::retranslate() {
    m_bigger->setText(QCoreApplication::translate("Workspace", "Bigger", "View menu: make text bigger"));
    m_smaller->setText(QCoreApplication::translate("Workspace", "Smaller", "View menu: make text smaller"));
    m_actualSize->setText(
        QCoreApplication::translate("Workspace", "Actual Size", "View menu: reset text to the default size"));
}

void TextSizeCommands::updateEnabled() {
    const TextSize size = TextSizeEnvironment::storedSize(m_defaults);
    m_bigger->setEnabled(size != TextSize::Largest);
    m_smaller->setEnabled(size != TextSize::Standard);
    m_actualSize->setEnabled(size != TextSize::Standard);
}

} // namespace velmora
