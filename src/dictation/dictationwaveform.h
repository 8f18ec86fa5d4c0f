#pragma once

#include "dictation/levelhistory.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace velmora {

class OverlayClock;

// The input level as a row of bars scrolling from right to left: a new sample enters at the
// right every 80 ms while live, and the row slides smoothly between samples (it steps instead
// under Reduce Motion). Not live, it stands still at 40 % opacity and reads no level.
class DictationWaveform : public QWidget {
    Q_OBJECT
public:
    // The canvas inside the 11-point insets.
    static constexpr int kCanvasWidth = 138;
    static constexpr int kHeight = 20;
    static constexpr int kInset = 11;

    DictationWaveform(std::function<double()> level, bool live, OverlayClock &clock, QWidget *parent = nullptr);
    ~DictationWaveform() override;

    bool isLive() const { return m_live; }
    void setLive(bool live);
    const LevelHistory &history() const { return m_history; }
    // The slide of the row at the last frame, 0 to 5 points.
    double offset() const { return m_offset; }

    QSize sizeHint() const override;

signals:
    // A frame was drawn with this target (bench and tests).
    void framed(double target);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void scheduleFrame();

    std::function<double()> m_level;
    bool m_live;
    OverlayClock &m_clock;
    LevelHistory m_history;
    double m_offset = 0;
    std::shared_ptr<void> m_frame;
};

} // namespace velmora
