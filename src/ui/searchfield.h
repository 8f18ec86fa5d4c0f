#pragma once

#include <QWidget>

class QLineEdit;

namespace velmora {

// The search field of the pages that filter by typed text: a magnifier, a plain one-line text
// field and an optional trailing accessory in a rounded box that grows with the text size, with
// a focus ring of its own. A click anywhere in the box focuses the field. The widget reserves a
// 3 px band around the box for the ring, so the box is the widget's rect less 3 px on each side.
class SearchField : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRingBand = 3;

    explicit SearchField(const QString &placeholder, QWidget *accessory = nullptr, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    void setPlaceholder(const QString &placeholder);

    bool isFocused() const { return m_focused; }
    // Focuses the field from outside (and shows the ring), or takes the focus away.
    void setFocused(bool focused);

    // The text field itself, for callers' key handling (arrows, Return, Escape).
    QLineEdit *lineEdit() const { return m_edit; }
    QWidget *accessory() const { return m_accessory; }

    // The box's height at the current text size: 28, 32, 36, 40.
    int boxHeight() const;
    QRect boxRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textChanged(const QString &text);
    void focusedChanged(bool focused);
    // Return pressed in the field.
    void submitted();
    // Escape pressed in the field.
    void exitRequested();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void restyle();
    void place();

    QLineEdit *m_edit;
    QWidget *m_accessory;
    bool m_focused = false;
};

} // namespace velmora
