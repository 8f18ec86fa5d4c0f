#pragma once

#include <QPointer>
#include <QWidget>

namespace velmora {

class DictationPanelRoot;
class FloatingWindows;

// The overlay's window: 480 × 84, frameless, never focused or activated, letting every mouse
// event through to the windows below, above them on every workspace. Without a compositing
// manager its shape is cut to the pill, so nothing around the pill hides what lies below.
class DictationPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{480, 84};

    explicit DictationPanel(FloatingWindows &windows, QWidget *parent = nullptr);
    ~DictationPanel() override;

    // Replaces the hosted content (the old one is deleted); null leaves the panel empty.
    void setContent(DictationPanelRoot *content);
    DictationPanelRoot *content() const { return m_content; }

    // The whole panel's opacity, 0 to 1 (the fade as it hides).
    double alpha() const { return m_alpha; }
    void setAlpha(double alpha);

    // Shows the panel without activating anything and asks to keep it above every window.
    void orderFront();

    // Cut to the pill's shape (no compositing manager).
    bool isShaped() const { return !mask().isEmpty(); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateShape();

    FloatingWindows &m_windows;
    QPointer<DictationPanelRoot> m_content;
    double m_alpha = 1;
};

} // namespace velmora
