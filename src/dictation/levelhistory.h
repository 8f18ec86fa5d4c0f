#pragma once

#include <array>
#include <limits>

namespace velmora {

// The input levels a waveform shows, one per bar, oldest first. A sample is taken at most once
// per step period; after a pause or a slow frame the cadence restarts from the frame instead of
// catching up.
class LevelHistory {
public:
    static constexpr int kCount = 29;
    // Seconds between samples.
    static constexpr double kPeriod = 0.08;

    // The bar height, 0 to 1, of a recorder level (0 at -60 dBFS, 1 at 0 dBFS): silent up to
    // 0.25, full from 0.8; anything that is not a number is silent.
    static double target(double level);

    // Takes a sample of target when a period has passed since the last; returns how far the
    // time is into the current period, 0 to 1.
    double step(double now, double target);

    const std::array<double, kCount> &values() const { return m_values; }
    double lastStep() const { return m_lastStep; }

private:
    std::array<double, kCount> m_values{};
    double m_lastStep = -std::numeric_limits<double>::infinity();
};

} // namespace velmora
