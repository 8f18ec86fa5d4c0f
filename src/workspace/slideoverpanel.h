#pragma once

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace velmora {

// A column shown over the page when it does not fit beside it: it slides in from the leading
// edge above a dimming scrim and asks to be dismissed on a click on the scrim or on Escape.
// Placed over the area it covers (its parent), which it fills.
class SlideOverPanel : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of content.
    SlideOverPanel(QWidget *content, int width, QWidget *parent);

    QWidget *content() const { return m_content; }
    int panelWidth() const { return m_width; }
    bool isPresented() const { return m_presented; }
    // Slides in or out (at once when Reduce Motion is on); hidden when out.
    void setPresented(bool presented);
    // How far the panel is in, 0 to 1.
    qreal progress() const { return m_progress; }
    // The panel's frame (content and its rule) in this widget's coordinates.
    QRect panelGeometry() const;

signals:
    // A click on the scrim or Escape.
    void dismissRequested();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();
    void setProgress(qreal progress);

    QWidget *m_content;
    int m_width;
    bool m_presented = false;
    qreal m_progress = 0;
    QVariantAnimation *m_animation;
    QPointer<QWidget> m_watchedParent;
};

} // namespace velmora
