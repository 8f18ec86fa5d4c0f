#pragma once

#include "ui/button.h"

class QShortcut;

namespace velmora {

class TranslateModelReadiness;
class TranslateSession;

// Starts a translation, or stops the running one ("Stop"). Enabled while a run can be stopped,
// or when the session can translate and the writing model is ready. Ctrl+Return anywhere in
// the window does what a click does, under the same enabling.
class TranslateButton : public Button {
    Q_OBJECT
public:
    TranslateButton(TranslateSession &session, TranslateModelReadiness &model, QWidget *parent = nullptr);

    static QString keyHint();
    QShortcut *shortcut() const { return m_shortcut; }

    // Re-reads the session and the model.
    void refresh();

protected:
    void changeEvent(QEvent *event) override;

private:
    void act();

    TranslateSession &m_session;
    TranslateModelReadiness &m_model;
    QShortcut *m_shortcut;
};

} // namespace velmora
