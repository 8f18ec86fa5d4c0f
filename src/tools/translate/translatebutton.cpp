#include "tools/translate/translatebutton.h"

#include "tools/translate/translatemodelreadiness.h"
#include "tools/translate/translatesession.h"

#include <QCoreApplication>
#include <QEvent>
#include <QShortcut>

namespace velmora {

TranslateButton::TranslateButton(TranslateSession &session, TranslateModelReadiness &model, QWidget *parent)
    : Button(QString(), QString(), PrimaryButtonStyle{false, keyHint()}, parent), m_session(session), m_model(model),
      m_shortcut(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_shortcut->setContext(Qt::WindowShortcut);
    // The keypad's Enter acts the same.
    auto *enter = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), this);
    enter->setContext(Qt::WindowShortcut);
    connect(this, &QAbstractButton::clicked, this, &TranslateButton::act);
    for (QShortcut *key : {m_shortcut, enter}) {
        connect(key, &QShortcut::activated, this, [this] {
            if (isEnabled())
                act();
        });
    }
    connect(&session, &TranslateSession::runningChanged, this, &TranslateButton::refresh);
    connect(&session, &TranslateSession::textChanged, this, &TranslateButton::refresh);
    connect(&model, &TranslateModelReadiness::changed, this, &TranslateButton::refresh);
    refresh();
}

QString TranslateButton::keyHint() {
    return QStringLiteral("Ctrl+\u21A9");
}

void TranslateButton::refresh() {
    // Called on every keystroke: only real changes reach the button.
    const bool running = m_session.isRunning();
    const QString title =
        running ? QCoreApplication::translate("Translate", "Stop", "Button that stops a running translation")
                : QCoreApplication::translate("Translate", "Translate", "Button that starts a translation");
    if (title != text())
        setText(title);
    const QString symbolName = running ? QStringLiteral("stop.fill") : QString();
    if (symbolName != symbol())
        setSymbol(symbolName);
    const bool enabled = running || (m_session.canTranslate() && m_model.isReady());
    if (enabled != isEnabled())
        setEnabled(enabled);
}

void TranslateButton::act() {
    if (m_session.isRunning())
        m_session.stop();
    else
        m_session.start();
}

void TranslateButton::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    Button::changeEvent(event);
}

} // namespace velmora
