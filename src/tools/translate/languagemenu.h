#pragma once

#include "tools/translate/translatelanguage.h"

#include <QAbstractButton>

#include <optional>

class QMenu;

namespace velmora {

// A language picker shown as its title and a small chevron: a menu of the automatic choice
// (when given a title for it) and the two languages, the current one checked. Picking an item,
// even the checked one, emits selected(); the menu never changes its own selection. Keeps its
// full width unless its container compresses header options (or the pane has less room than
// it), then the title truncates and becomes the tooltip.
class LanguageMenu : public QAbstractButton {
    Q_OBJECT
public:
    explicit LanguageMenu(std::optional<QString> detectTitle = std::nullopt, QWidget *parent = nullptr);

    void setTitle(const QString &title);
    QString title() const { return text(); }
    void setSelection(std::optional<TranslateLanguage> selection);
    std::optional<TranslateLanguage> selection() const { return m_selection; }
    void setDetectTitle(std::optional<QString> title);

    // The menu as a click shows it, built anew each time.
    QMenu *createMenu(QWidget *parent = nullptr);
    // The chevron's size at the current text size: 10, 12, 13, 15.
    int chevronPointSize() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user picked an item; none is the automatic choice.
    void selected(std::optional<TranslateLanguage> language);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showMenu();

    std::optional<TranslateLanguage> m_selection;
    std::optional<QString> m_detectTitle;
};

} // namespace velmora
