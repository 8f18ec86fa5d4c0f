#include "dictation/dictationoverlayview.h"

#include "dictation/dictationcoordinator.h"

#include <QEvent>

namespace velmora {

namespace {
using State = DictationCoordinator::State;
} // namespace

DictationOverlayView::DictationOverlayView(DictationCoordinator &dictation, OverlayClock &clock,
                                           std::function<void(QString)> announce, QWidget *parent)
    : DictationPanelRoot(new DictationPill(
                             DictationOverlayContent::status({}),
                             [recorder = &dictation.recorder()] { return static_cast<double>(recorder->audioLevel()); },
                             clock),
                         parent),
      m_dictation(dictation), m_announce(std::move(announce)) {
    m_lastLive = liveStatus();
    m_lastContent = content();
    pill()->setContent(m_lastContent);
    for (auto signal : {&DictationCoordinator::stateChanged, &DictationCoordinator::stoppingChanged,
                        &DictationCoordinator::statusTextChanged, &DictationCoordinator::failureChanged})
        connect(&dictation, signal, this, &DictationOverlayView::refresh);
    connect(&dictation.recorder(), &SpeechRecorder::isModelLoadingChanged, this, &DictationOverlayView::refresh);
}

std::optional<QString> DictationOverlayView::liveStatus() const {
    const State state = m_dictation.state();
    if (state == State::Idle || state == State::Delivering)
        return std::nullopt;
    return m_dictation.statusText();
}

DictationOverlayContent DictationOverlayView::content() const {
    if (const auto failure = m_dictation.overlayFailureText())
        return DictationOverlayContent::failure(*failure);
    const State state = m_dictation.state();
    const bool stopping = m_dictation.isStopping();
    if (state == State::Recording && !stopping)
        return DictationOverlayContent::listening(true);
    if (state == State::Preparing && !stopping)
        return DictationOverlayContent::listening(false);
    if (const auto live = liveStatus())
        return DictationOverlayContent::status(*live);
    return DictationOverlayContent::status(m_heldStatus);
}

void DictationOverlayView::showEvent(QShowEvent *event) {
    DictationPanelRoot::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    m_announce(m_dictation.statusText());
}

void DictationOverlayView::changeEvent(QEvent *event) {
    DictationPanelRoot::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

void DictationOverlayView::refresh() {
    const std::optional<QString> live = liveStatus();
    if (live != m_lastLive) {
        m_lastLive = live;
        if (live) {
            m_heldStatus = *live;
            m_announce(*live);
        }
    }
    const DictationOverlayContent now = content();
    const bool textChanged =
        now.kind != DictationOverlayContent::Kind::Listening &&
        (m_lastContent.kind == DictationOverlayContent::Kind::Listening || now.text != m_lastContent.text);
    if (textChanged && now.kind == DictationOverlayContent::Kind::Failure)
        m_announce(now.text);
    m_lastContent = now;
    pill()->setContent(now);
}

} // namespace velmora
