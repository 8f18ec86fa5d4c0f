#pragma once

#include "ui/hoverfade.h"
#include "ui/styledlabel.h"

#include <QAbstractButton>
#include <QVariant>
#include <QWidget>

#include <functional>

class QMenu;

namespace velmora {

// One capsule-shaped choice: filled when selected, a hover fill otherwise. Usable on its own as a
// filter chip. Clicking it emits clicked() whether or not it is selected; it never changes its
// own selection (the owner does).
class OptionPill : public QAbstractButton {
    Q_OBJECT
public:
    explicit OptionPill(const QString &title, bool selected = false, QWidget *parent = nullptr);

    bool isSelected() const { return isChecked(); }
    void setSelected(bool selected);
    qreal hoverProgress() const { return m_hover->progress(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void nextCheckState() override {}
    void paintEvent(QPaintEvent *event) override;

private:
    HoverFade *m_hover;
};

// A compact menu button: its title and a chevron in an outlined capsule. The caller fills
// menu(). Inside a container that compresses header options it may be narrower than its title,
// which then ends in an ellipsis, or gives way to its compact symbol when it has one; the full
// title is then its tooltip. Otherwise it keeps its full width. Drawn at 0.4 opacity while
// disabled, when it shows no hover fill and its menu does not open.
class OptionsMenu : public QAbstractButton {
    Q_OBJECT
public:
    explicit OptionsMenu(const QString &title, QWidget *parent = nullptr);

    QMenu *menu() const { return m_menu; }
    qreal hoverProgress() const { return m_hover->progress(); }
    // The symbol shown in place of a title that does not fit; none elides the title instead.
    void setCompactSymbol(const QString &symbol);
    // Whether the whole title is shown at the current width.
    bool showsWholeTitle() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int symbolSize() const;

    QMenu *m_menu;
    QString m_compactSymbol;
    HoverFade *m_hover;
};

// One choice of a few options as a row of pills; when the row does not fit the width it is
// given, the same choice as one menu button showing the current option (never a partial row).
// The owner keeps the selection: selected() reports the user's choice (also the current one)
// and the row shows whatever setSelection() gives it next.
class OptionPills : public QWidget {
    Q_OBJECT
public:
    OptionPills(const QVariantList &options, const QVariant &selection, std::function<QString(const QVariant &)> title,
                QWidget *parent = nullptr);

    void setOptions(const QVariantList &options);
    void setSelection(const QVariant &selection);
    QVariant selection() const { return m_selection; }

    // Whether the pills (true) or the fallback menu (false) are shown.
    bool showsPills() const;
    QList<OptionPill *> pills() const { return m_pills; }
    OptionsMenu *fallbackMenu() const { return m_menu; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selected(const QVariant &option);

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void chooseForm();
    int rowWidth() const;

    QVariantList m_options;
    QVariant m_selection;
    std::function<QString(const QVariant &)> m_title;
    QWidget *m_row;
    QList<OptionPill *> m_pills;
    OptionsMenu *m_menu;
};

// A small one-line caption naming the option control placed next to it; never wraps or
// truncates.
class OptionsLabel : public StyledLabel {
    Q_OBJECT
public:
    explicit OptionsLabel(const QString &title, QWidget *parent = nullptr);
};

} // namespace velmora
