#pragma once

#include "ui/hoverfade.h"

#include <QAbstractButton>

namespace velmora {

// The round button between the two Translate panes: a symbol in a filled circle with a strong
// outline. Hover brightens the symbol and the fill (fading over the quick animation); pressing
// switches the fill at once. Has no look of its own when disabled. Only the circle takes clicks.
class SwapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwapButton(const QString &symbol, QWidget *parent = nullptr);

    // The circle's diameter: 24, 28, 32, 36 from the standard to the largest text size.
    int diameter() const;
    // The symbol's size: 13, 15, 17, 19.
    int symbolPointSize() const;
    bool isHovered() const { return m_hover->isHovering(); }
    qreal hoverProgress() const { return m_hover->progress(); }

    struct Look {
        QColor fill;
        QColor border;
        QColor symbol;
    };
    // The colours the button is drawn with right now.
    Look look() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    QString m_symbol;
    HoverFade *m_hover;
};

} // namespace velmora
