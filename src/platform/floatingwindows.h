#pragma once

// Windows that float over every other window on every workspace (the dictation pill), and
// whether the desktop composites translucent windows. Main thread only.

#include <QList>
#include <QString>

#include <memory>

namespace velmora {

class XcbConnection;

class FloatingWindows {
public:
    virtual ~FloatingWindows() = default;
    // Asks the window manager to keep the native window above others, on every workspace, out of
    // the task bar and the pager. Safe before and after the window is mapped.
    virtual void keepAboveEverywhere(quint64 windowId) = 0;
    // A compositing manager draws translucent windows over what lies below them.
    virtual bool isCompositing() = 0;
};

// On X11: the extended window manager hints (_NET_WM_STATE, _NET_WM_DESKTOP) are written on the
// window itself, which a window manager reads when it maps the window, and sent as a request to
// the root for one already mapped. Without a display nothing happens.
class X11FloatingWindows : public FloatingWindows {
public:
    // DISPLAY when the name is empty.
    explicit X11FloatingWindows(QString displayName = {});
    ~X11FloatingWindows() override;
    void keepAboveEverywhere(quint64 windowId) override;
    bool isCompositing() override;

    // The atom names of the window's _NET_WM_STATE and its _NET_WM_DESKTOP (-1 when unset);
    // for tests and diagnostics.
    QStringList states(quint64 windowId);
    qint64 desktop(quint64 windowId);

private:
    quint32 atom(const char *name);

    QString m_displayName;
    std::unique_ptr<XcbConnection> m_connection;
};

class FakeFloatingWindows : public FloatingWindows {
public:
    void keepAboveEverywhere(quint64 windowId) override { kept.append(windowId); }
    bool isCompositing() override { return compositing; }
    QList<quint64> kept;
    bool compositing = true;
};

} // namespace velmora
