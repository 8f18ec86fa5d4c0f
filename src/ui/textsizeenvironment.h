#pragma once

#include "ui/textsize.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace velmora {

class Defaults;

// Applied once at the root of each window: puts the effective text size and the Reduce Motion
// setting into the root's environment and follows changes of "textSize" and "reduceMotion" at
// once. The override "textSizeOverride" is read when the size is resolved, not observed.
class TextSizeEnvironment : public QObject {
    Q_OBJECT
public:
    // Lives as long as root (it becomes root's child).
    TextSizeEnvironment(QWidget *root, Defaults &defaults);

    // The override when it names a size, else the stored size when it does, else standard.
    static TextSize effectiveSize(const Defaults &defaults);
    // The stored size alone ("textSize"), standard when absent or not a stored form.
    static TextSize storedSize(const Defaults &defaults);

    TextSize size() const;

signals:
    // The effective size changed (the root's widgets have been told already).
    void changed(TextSize size);

private:
    void apply();

    QPointer<QWidget> m_root;
    Defaults &m_defaults;
};

} // namespace velmora
