#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace velmora {

class StyledLabel;

// A short explanation that opens below a widget after the pointer has rested on it for 0.3 s and
// closes as soon as the pointer leaves (or the widget hides, or is clicked). The text, already
// translated, wraps at 240 px in the body style and is never truncated.
class HoverTip : public QObject {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 300;
    static constexpr int kMaxTextWidth = 240;
    static constexpr int kPadding = 12;

    // Attaches a tip to target (the tip is target's child); a second call replaces the text.
    static HoverTip *install(QWidget *target, const QString &text);
    static HoverTip *of(const QWidget *target);

    void setText(const QString &text);
    QString text() const { return m_text; }

    bool isShown() const;
    bool isPending() const { return m_delay.isActive(); }
    // The tip's window while shown, for tests and screenshots.
    QWidget *tipWindow() const { return m_window; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    HoverTip(QWidget *target, const QString &text);
    void show();
    void dismiss();

    QPointer<QWidget> m_target;
    QString m_text;
    QTimer m_delay;
    QPointer<QWidget> m_window;
};

} // namespace velmora
