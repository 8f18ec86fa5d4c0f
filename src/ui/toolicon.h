#pragma once

#include "ui/namedcolors.h"
#include "ui/textsize.h"

#include <QWidget>

namespace velmora {

// A tool's symbol, where the interface lists or heads the tool: in a fixed-width frame, at the
// sidebar or header size, both growing with the text size. Hidden from screen readers: the
// tool's name beside it says what it is.
class ToolIcon : public QWidget {
    Q_OBJECT
public:
    enum class Size { Sidebar, Header };

    ToolIcon(const QString &symbol, ColorName color, Size size, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    void setColor(ColorName color);
    // Pin tints and other colours known only by their resource name.
    void setColorName(const QString &name);

    // The symbol's point size and the frame's width at a text size.
    static int symbolPointSize(Size size, TextSize textSize);
    static int frameWidth(Size size, TextSize textSize);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    QString m_color;
    Size m_size;
};

} // namespace velmora
