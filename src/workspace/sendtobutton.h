#pragma once

#include "workspace/sendabletext.h"

#include <QWidget>

#include <optional>

class QMenu;

namespace velmora {

class Button;
class StyledLabel;
class ToolHandoff;

// The "Send to" pull-down button beside a result's copy button: its menu holds the Send to
// items of the text on offer; disabled while there is nothing to send. In a header that
// compresses its options it shows only its arrow and chevron.
class SendToButton : public QWidget {
    Q_OBJECT
public:
    explicit SendToButton(ToolHandoff &handoff, QWidget *parent = nullptr);

    const std::optional<SendableText> &content() const { return m_content; }
    void setContent(const std::optional<SendableText> &content);

    Button *button() const { return m_button; }
    // The menu as a click shows it: built anew each time, so its titles follow the language.
    QMenu *createMenu(QWidget *parent = nullptr) const;
    // The chevron's point size at the current text size: 10, 12, 13, 15.
    int chevronPointSize() const;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showMenu();
    void retranslate();

    ToolHandoff &m_handoff;
    std::optional<SendableText> m_content;
    Button *m_button;
    StyledLabel *m_title;
    QWidget *m_icon;
    QWidget *m_chevron;
};

} // namespace velmora
