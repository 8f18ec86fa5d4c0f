#pragma once

#include "ui/buttonstyle.h"
#include "ui/hoverfade.h"

#include <QAbstractButton>
#include <QPointer>

#include <optional>

namespace velmora {

// A push button in one of the kit's seven styles: the label is its text, with the symbol (a
// name of the symbol table) before it when set; sizes follow the environment's text size. Hover
// fades in and out over Animation::quick(); pressed looks switch at once. No style draws a focus
// look of its own. Icon-only forms keep the text as the accessible name and hover tip.
class Button : public QAbstractButton {
    Q_OBJECT
public:
    explicit Button(QWidget *parent = nullptr);
    Button(const QString &text, const QString &symbol, const ButtonStyle &style, QWidget *parent = nullptr);
    ~Button() override;

    // The title; icon-only forms keep it as the accessible name and hover tip.
    void setText(const QString &text);

    const ButtonStyle &buttonStyle() const { return m_style; }
    void setButtonStyle(const ButtonStyle &style);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);

    // A symbol size of its own (points at the standard text size, grown with step 1) in place of
    // the style's; none restores the style's.
    void setSymbolSize(std::optional<qreal> standardPoints);

    // The opacity while disabled, in place of the style's own disabled look.
    void setDisabledOpacity(std::optional<qreal> opacity);

    // The fill style's label: a caller-built widget that the button wraps (the button takes
    // ownership; the label gets no mouse events of its own).
    void setLabelWidget(QWidget *label);
    QWidget *labelWidget() const { return m_label; }

    // Highlighted: enabled and hovered or pressed.
    bool isHighlighted() const;
    bool isHovered() const { return m_hover->isHovering(); }
    // 0 to 1: how far the hover look has faded in.
    qreal hoverProgress() const { return m_hover->progress(); }

    // The fill, border and text colours and the opacity the button is drawn with right now.
    struct Look {
        QColor fill;
        std::optional<QColor> border;
        QColor text;
        qreal opacity = 1.0;
        qreal brightness = 0.0;
    };
    Look look() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    void changed();
    void updateToolTip();
    // Sets a field that the size, the look and the hover tip follow.
    template <class T>
    void setShapingField(T &field, const T &value);

    ButtonStyle m_style;
    QString m_symbol;
    std::optional<qreal> m_symbolSize;
    std::optional<qreal> m_disabledOpacity;
    QPointer<QWidget> m_label;
    HoverFade *m_hover;
};

} // namespace velmora
