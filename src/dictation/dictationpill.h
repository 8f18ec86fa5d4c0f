#pragma once

#include "dictation/dictationoverlaycontent.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QVariantAnimation;

namespace velmora {

class DictationProgressText;
class DictationWaveform;
class OverlayClock;

// The capsule of the dictation overlay: 36 points high, at least 160 wide, holding the waveform,
// a status line or a failure line. A new content fades in (at once under Reduce Motion); the
// waveform keeps its samples while it stays the content.
class DictationPill : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 36;
    static constexpr int kMinimumWidth = 160;

    DictationPill(DictationOverlayContent content, std::function<double()> level, OverlayClock &clock,
                  QWidget *parent = nullptr);
    ~DictationPill() override;

    const DictationOverlayContent &content() const { return m_content; }
    void setContent(const DictationOverlayContent &content);

    // The waveform while listening, else null; the line otherwise, else null.
    DictationWaveform *waveform() const { return m_waveform; }
    DictationProgressText *line() const { return m_line; }
    // Increased contrast: a stronger border.
    void setIncreasedContrast(bool increased);
    // Without its shadow (a window that cannot show one) the border carries the outline.
    void setShadowless(bool shadowless);
    bool isShadowless() const { return m_shadowless; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void contentChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void build();
    void placeChild();

    DictationOverlayContent m_content;
    std::function<double()> m_level;
    OverlayClock &m_clock;
    bool m_increasedContrast = false;
    bool m_shadowless = false;
    QPointer<QWidget> m_child;
    DictationWaveform *m_waveform = nullptr;
    DictationProgressText *m_line = nullptr;
    QVariantAnimation *m_appear;
};

// The 480 × 84 content of the overlay window: the pill centred at its bottom edge with 24 points
// below it, at the standard text size whatever the user's size, with the pill's shadow.
class DictationPanelRoot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBottomInset = 24;

    explicit DictationPanelRoot(DictationPill *pill, QWidget *parent = nullptr);
    DictationPill *pill() const { return m_pill; }
    // The pill's capsule in this widget's coordinates.
    QRect pillRect() const;

signals:
    void pillMoved();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    DictationPill *m_pill;
};

} // namespace velmora
