#pragma once

#include "ui/button.h"

class QTimer;

#include <optional>

namespace velmora {

// The one button through which pages copy a text to the clipboard: titled ("Copy" with a
// symbol, in whatever style the caller sets) or the symbol alone (icon style). After a copy it
// shows a check mark, and "Copied" when titled, for one second from the first press; pressing
// again copies again without prolonging it. Disabled while there is no text (an empty text is
// still a text). The hover tip and accessible name stay "Copy".
class CopyButton : public Button {
    Q_OBJECT
public:
    explicit CopyButton(bool titled, QWidget *parent = nullptr);

    void setCopyText(std::optional<QString> text);
    std::optional<QString> copyText() const { return m_text; }
    bool isTitled() const { return m_titled; }
    bool isCopied() const { return m_copied; }

    // Copies now, as a press does.
    void copy();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setCopied(bool copied);
    void retranslate();

    bool m_titled;
    std::optional<QString> m_text;
    bool m_copied = false;
    QTimer *m_reset;
};

} // namespace velmora
