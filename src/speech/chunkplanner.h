#pragma once

// Where a long recording is cut into requests for the speech helper: chunks of about 30 s,
// never over 35 s, rarely under 15 s, cut where the audio is quietest. Pure functions over
// 16 kHz mono samples; positions count from the first sample given.

#include <QString>

#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace velmora {

// All fields are sample counts at 16 kHz.
struct ChunkPolicy {
    qint64 hardMaxSamples = 560000;    // longest chunk allowed (35 s)
    qint64 preferredSamples = 480000;  // the length that costs least (30 s)
    qint64 softMinSamples = 240000;    // shorter chunks are penalised; a first cut is never shorter
    qint64 minPauseSamples = 3200;     // shortest pause that can become a cut
    qint64 energyWindowSamples = 1600; // spacing of the regular candidates and width of the measured window

    // The one policy the system uses.
    static ChunkPolicy standard() { return {}; }
    bool isValid() const;
    bool operator==(const ChunkPolicy &) const = default;
};

// A half-open range of sample positions.
struct SampleRange {
    qint64 lower = 0;
    qint64 upper = 0;
    qint64 length() const { return upper - lower; }
    bool operator==(const SampleRange &) const = default;
};

struct BoundaryCandidate {
    // The order is also the preference between candidates that tie.
    enum class Kind { Start = 0, Pause = 1, Energy = 2, End = 3 };

    qint64 sample = 0;
    Kind kind = Kind::Start;
    qint64 pauseSamples = 0; // length of the pause that produced it; 0 for the other kinds
    float rms = 0;           // loudness of the window around the cut; 0 for start and end

    static std::optional<Kind> kindFromRaw(int raw);
    static QString toString(Kind kind);
    static std::optional<Kind> fromString(const QString &text);
    bool operator==(const BoundaryCandidate &) const = default;
};

// Bad policies, zero windows or sizes, reversed ranges and searches over fewer than two
// candidates are programming errors: these functions throw std::invalid_argument for them.
namespace ChunkPlanner {

// Sum of the squared clamped samples in [start, end), in double precision, in order.
double windowEnergy(std::span<const float> samples, qint64 start, qint64 end);

// The centre and loudness of the quietest window of the given width inside [start, end);
// ties keep the earlier window.
std::pair<qint64, float> quietestWindowCentre(std::span<const float> samples, qint64 start, qint64 end, qint64 width);

// Cut candidates sorted by position, one per position, from "start" at 0 to "end" at the count.
std::vector<BoundaryCandidate> candidates(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                                          qint64 minPause, qint64 energyWindow);

// The first chunk of the samples (always starting at 0); none for no samples.
std::optional<SampleRange> firstCut(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                                    const ChunkPolicy &policy);

// Chunks covering [0, count) without gaps.
std::vector<SampleRange> plan(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                              const ChunkPolicy &policy);

// The cheapest covering of the candidates as ascending boundary positions; none without one.
std::optional<std::vector<qint64>> search(const std::vector<BoundaryCandidate> &candidates, const ChunkPolicy &policy);

// [0, size), [size, 2 size), …, the last one ending at count.
std::vector<SampleRange> equalSplit(qint64 count, qint64 size);

} // namespace ChunkPlanner
} // namespace velmora
