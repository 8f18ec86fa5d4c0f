#pragma once

#include <QObject>

#include <functional>

class QColor;
class QVariantAnimation;
class QWidget;

namespace velmora {

// How far a widget's hover look has faded in, 0 to 1: towards 1 when the pointer enters the
// widget and back to 0 when it leaves, over the quick animation whatever Reduce Motion says,
// repainting the widget at each step. Owned by the widget it watches.
class HoverFade : public QObject {
    Q_OBJECT
public:
    explicit HoverFade(QWidget *widget);

    bool isHovering() const { return m_hovering; }
    qreal progress() const { return m_progress; }
    // For a widget that tracks the pointer itself (during a press, say).
    void setHovering(bool hovering);
    // While this holds, hovering only repaints: the widget has no hover look to fade.
    void setStillWhile(std::function<bool()> still) { m_still = std::move(still); }

signals:
    void hoveringChanged(bool hovering);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_widget;
    QVariantAnimation *m_animation;
    std::function<bool()> m_still;
    bool m_hovering = false;
    qreal m_progress = 0;
};

// The colour progress of the way from one colour to another, channel by channel: how a hover
// look fades between its resting and hovered colours.
QColor mixColors(const QColor &from, const QColor &to, qreal progress);

} // namespace velmora
