#pragma once

#include "dictation/dictationoverlaycontent.h"
#include "dictation/dictationpill.h"

#include <functional>
#include <optional>

namespace velmora {

class DictationCoordinator;
class OverlayClock;

// The pill of a dictation run: follows the coordinator, picks what the pill shows, keeps the last
// status line for the end of the run, and announces status changes and a failure.
class DictationOverlayView : public DictationPanelRoot {
    Q_OBJECT
public:
    DictationOverlayView(DictationCoordinator &dictation, OverlayClock &clock, std::function<void(QString)> announce,
                         QWidget *parent = nullptr);

    // None while idle or delivering; else the coordinator's status line.
    std::optional<QString> liveStatus() const;
    DictationOverlayContent content() const;
    const QString &heldStatus() const { return m_heldStatus; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    DictationCoordinator &m_dictation;
    std::function<void(QString)> m_announce;
    QString m_heldStatus;
    std::optional<QString> m_lastLive;
    DictationOverlayContent m_lastContent;
    bool m_shown = false;
};

} // namespace velmora
