#pragma once

#include <QWidget>

#include <functional>

class QMenu;

namespace velmora {

class Button;
class StyledLabel;
class ToolIcon;

// The header of a tool page: the tool's symbol at header size in the accent colour, its name as
// the page's heading with the "More" menu 8 px after it, and a short description that wraps
// and is never cut off. The name is asked for again whenever the in-app language changes; the
// caller fills moreMenu() (the workspace's pin items first, then the page's own).
class ToolPageHeader : public QWidget {
    Q_OBJECT
public:
    ToolPageHeader(const QString &symbol, std::function<QString()> name, const QString &description,
                   QWidget *parent = nullptr);

    void setDescription(const QString &description);
    QMenu *moreMenu() const { return m_menu; }
    Button *moreButton() const { return m_more; }
    StyledLabel *nameLabel() const { return m_name; }
    StyledLabel *descriptionLabel() const { return m_description; }
    ToolIcon *icon() const { return m_icon; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    std::function<QString()> m_nameText;
    ToolIcon *m_icon;
    StyledLabel *m_name;
    StyledLabel *m_description;
    Button *m_more;
    QMenu *m_menu;
};

// The title of one section of a page, with a hairline rule under it and an optional control laid
// over the title line's trailing end (it takes no width from the title).
class SectionHeader : public QWidget {
    Q_OBJECT
public:
    explicit SectionHeader(const QString &title, QWidget *trailing = nullptr, QWidget *parent = nullptr);

    void setTitle(const QString &title);
    StyledLabel *titleLabel() const { return m_title; }
    QWidget *trailing() const { return m_trailing; }
    QWidget *rule() const { return m_rule; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void placeTrailing();

    StyledLabel *m_title;
    QWidget *m_trailing;
    QWidget *m_rule;
};

} // namespace velmora
