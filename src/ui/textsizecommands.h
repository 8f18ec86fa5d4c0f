#pragma once

#include "ui/textsize.h"

#include <QObject>

class QAction;

namespace velmora {

class Defaults;

// The View menu's Bigger (Ctrl++), Smaller (Ctrl+-) and Actual Size (Ctrl+0) commands, which
// step the stored "textSize" through the sizes, and the hidden Ctrl+= that acts like Bigger in
// the main window. The app's menus add the three actions; the main window adds
// equalsShortcut() to itself (it is never shown in a menu). Items enable by the stored size and
// ignore "textSizeOverride"; labels follow the in-app language.
class TextSizeCommands : public QObject {
    Q_OBJECT
public:
    explicit TextSizeCommands(Defaults &defaults, QObject *parent = nullptr);

    QAction *bigger() const { return m_bigger; }
    QAction *smaller() const { return m_smaller; }
    QAction *actualSize() const { return m_actualSize; }
    // Ctrl+=, never disabled (stepping up at the largest size leaves the size as it is). Added to
    // the main window only, never to a menu.
    QAction *equalsShortcut() const { return m_equals; }

    // Moves the stored size by d positions, clamped, and writes it (also when unchanged).
    static void step(Defaults &defaults, int d);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retranslate();
    void updateEnabled();

    Defaults &m_defaults;
    QAction *m_bigger;
    QAction *m_smaller;
    QAction *m_actualSize;
    QAction *m_equals;
};

} // namespace velmora
