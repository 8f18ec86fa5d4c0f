#include "ui/animation.h"

#include "ui/environment.h"

#include <QVariantAnimation>

namespace velmora {

void startAnimation(QVariantAnimation *animation, std::optional<Animation> timing, bool reducible,
                    const QWidget *context) {
    animation->stop();
    const bool instant = !timing || (reducible && context && Environment::reduceMotion(context));
    if (instant) {
        emit animation->valueChanged(animation->endValue());
        return;
    }
    animation->setDuration(timing->durationMs);
    animation->setEasingCurve(timing->curve);
    animation->start();
}

} // namespace velmora
