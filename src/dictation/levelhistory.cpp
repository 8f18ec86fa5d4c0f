#include "dictation/levelhistory.h"

#include <algorithm>
#include <cmath>

namespace velmora {

double LevelHistory::target(double level) {
    if (std::isnan(level))
        return 0;
    return std::clamp((level - 0.25) / 0.55, 0.0, 1.0);
}

double LevelHistory::step(double now, double target) {
    const double since = now - m_lastStep;
    if (since >= kPeriod) {
        std::move(m_values.begin() + 1, m_values.end(), m_values.begin());
        m_values.back() = target;
        m_lastStep = since < 2 * kPeriod ? m_lastStep + kPeriod : now;
    }
    return std::min((now - m_lastStep) / kPeriod, 1.0);
}

} // namespace velmora
