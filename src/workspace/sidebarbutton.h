#pragma once

#include "ui/hoverfade.h"

#include <QWidget>

class QHBoxLayout;

namespace velmora {

// One line of the sidebar: a full-width rounded background 10 px in from the sidebar's edges,
// filled while pressed, selected or hovered (the hover fades in and out), with its content
// 10 px further in. A press and release inside the line is a click. Lines take no keyboard
// focus: the Go menu walks the sidebar from the keyboard. The base of rows and group headers.
class SidebarButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOuterMargin = 10;
    static constexpr int kInnerMargin = 10;
    static constexpr int kSpacing = 8;
    static constexpr int kRadius = 6;

    explicit SidebarButton(QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovering() const { return m_hover->isHovering(); }
    bool isPressed() const { return m_pressed; }
    // 0 to 1: how far the hover fill has faded in.
    qreal hoverProgress() const { return m_hover->progress(); }

    // The fill drawn now: pressed, else selected, else hover; transparent otherwise.
    QColor fill() const;

    // The line height at the current text size: 32, 36, 40, 48.
    int lineHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Where the current press started, for drag sources; a drag ends the press without a click.
    QPoint pressPosition() const { return m_pressAt; }
    void cancelPress();

signals:
    void clicked();
    void hoveringChanged(bool hovering);

protected:
    QHBoxLayout *contentLayout() const { return m_layout; }
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // The text size changed: adjust sizes of the content.
    virtual void textSizeChanged() {}

private:
    void applyMetrics();

    QHBoxLayout *m_layout;
    bool m_selected = false;
    bool m_pressed = false;
    QPoint m_pressAt;
    HoverFade *m_hover;
};

} // namespace velmora
