#pragma once

#include "ui/namedcolors.h"

#include <QWidget>

#include <memory>

namespace velmora {

class OverlayClock;

// One line of text at its ideal width. A line ending in "…" shows three dots that pulse one after
// the other (plain text under Reduce Motion); a failure line is shown verbatim.
class DictationProgressText : public QWidget {
    Q_OBJECT
public:
    DictationProgressText(QString text, ColorName color, OverlayClock &clock, QWidget *parent = nullptr);
    ~DictationProgressText() override;

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    // Off: never animated, whatever the text ends with.
    void setAnimates(bool animates);
    // Whether the dots pulse now.
    bool isAnimated() const;

    // The opacity of dot k (0, 1, 2) at a time in seconds.
    static double dotOpacity(double t, int k);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void restartFrames();
    QFont font() const;

    QString m_text;
    ColorName m_color;
    OverlayClock &m_clock;
    bool m_animates = true;
    std::shared_ptr<void> m_frame;
};

} // namespace velmora
