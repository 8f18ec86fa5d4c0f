#include "speech/chunkplanner.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace velmora {

bool ChunkPolicy::isValid() const {
    return energyWindowSamples >= 1 && softMinSamples >= 1 && preferredSamples >= 1 && hardMaxSamples >= softMinSamples;
}

std::optional<BoundaryCandidate::Kind> BoundaryCandidate::kindFromRaw(int raw) {
    if (raw < 0 || raw > 3)
        return std::nullopt;
    return Kind(raw);
}

QString BoundaryCandidate::toString(Kind kind) {
    switch (kind) {
    case Kind::Start: return QStringLiteral("start");
    case Kind::Pause: return QStringLiteral("pause");
    case Kind::Energy: return QStringLiteral("energy");
    case Kind::End: return QStringLiteral("end");
    }
    return {};
}

std::optional<BoundaryCandidate::Kind> BoundaryCandidate::fromString(const QString &text) {
    for (int raw = 0; raw <= 3; ++raw)
        if (toString(Kind(raw)) == text)
            return Kind(raw);
    return std::nullopt;
}

namespace ChunkPlanner {
namespace {

// Non-finite samples count as full scale.
inline double clampedSquare(float x) {
    double c;
    if (!std::isfinite(x))
        c = 1.0;
    else if (x <= -1.0f)
        c = -1.0;
    else if (x > 1.0f)
        c = 1.0;
    else
        c = double(x);
    return c * c;
}

void requirePolicy(const ChunkPolicy &policy) {
    if (!policy.isValid())
        throw std::invalid_argument("chunk policy out of range");
}

int raw(BoundaryCandidate::Kind kind) {
    return int(kind);
}

// The cost of a chunk of length length that ends at candidate. Short-chunk terms apply only in
// the search; finalChunk adds the extra penalty for a short last chunk.
double cutCost(qint64 length, const BoundaryCandidate &candidate, const ChunkPolicy &policy, bool shortTerms,
               bool finalChunk) {
    const double preferred = double(policy.preferredSamples);
    const double u = (double(length) - preferred) / preferred;
    double base = u * (u + u) + 2;
    if (shortTerms && length < policy.softMinSamples) {
        const double softMin = double(policy.softMinSamples);
        const double o = (softMin - double(length)) / softMin;
        base = base + o * (o * 20);
        if (finalChunk)
            base = o * (o * 30) + base;
    }
    const double rms = double(candidate.rms);
    switch (candidate.kind) {
    case BoundaryCandidate::Kind::Start:
    case BoundaryCandidate::Kind::End: return base;
    case BoundaryCandidate::Kind::Energy: return (rms + rms) + (base + 6);
    case BoundaryCandidate::Kind::Pause:
        return ((double(policy.minPauseSamples) / double(std::max<qint64>(candidate.pauseSamples, 1))) * 0.5) +
               ((rms + rms) + base);
    }
    return base;
}

} // namespace

double windowEnergy(std::span<const float> samples, qint64 start, qint64 end) {
    if (end < start || start < 0 || end > qint64(samples.size()))
        throw std::invalid_argument("window out of range");
    double sum = 0;
    const float *p = samples.data();
    for (qint64 i = start; i < end; ++i)
        sum += clampedSquare(p[i]);
    return sum;
}

std::pair<qint64, float> quietestWindowCentre(std::span<const float> samples, qint64 start, qint64 end, qint64 width) {
    const qint64 w = std::max<qint64>(std::min(end - start, width), 1);
    double best = windowEnergy(samples, start, start + w);
    double running = best;
    qint64 bestStart = start;
    const float *p = samples.data();
    for (qint64 i = start; i < end - w; ++i) {
        running = (running - clampedSquare(p[i])) + clampedSquare(p[i + w]);
        if (running < best) {
            best = running;
            bestStart = i + 1;
        }
    }
    const qint64 centre = bestStart + w / 2;
    const float rms = best <= 0 ? 0.0f : float(std::sqrt(best / double(w)));
    return {centre, rms};
}

std::vector<BoundaryCandidate> candidates(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                                          qint64 minPause, qint64 energyWindow) {
    if (energyWindow <= 0)
        throw std::invalid_argument("energy window of 0");
    using Kind = BoundaryCandidate::Kind;
    const qint64 n = qint64(samples.size());
    std::vector<BoundaryCandidate> list;
    list.reserve(size_t(n / energyWindow) + pauses.size() + 2);
    list.push_back({0, Kind::Start, 0, 0});

    for (const SampleRange &pause : pauses) {
        const qint64 lo = std::min(pause.lower, n);
        const qint64 hi = std::min(pause.upper, n);
        if (!(pause.lower < hi) || hi - lo < minPause)
            continue;
        const auto [centre, rms] = quietestWindowCentre(samples, lo, hi, energyWindow);
        if (centre >= 1 && centre < n)
            list.push_back({centre, Kind::Pause, hi - lo, rms});
    }

    for (qint64 p = energyWindow; p < n; p += energyWindow) {
        const qint64 start = std::max<qint64>(p - energyWindow / 2, 0);
        const qint64 end = std::min(start + energyWindow, n);
        const qint64 length = end - start;
        const float rms = length > 0 ? float(std::sqrt(windowEnergy(samples, start, end) / double(length))) : 0.0f;
        list.push_back({p, Kind::Energy, 0, rms});
    }

    list.push_back({n, Kind::End, 0, 0});

    std::stable_sort(list.begin(), list.end(), [](const BoundaryCandidate &a, const BoundaryCandidate &b) {
        if (a.sample != b.sample)
            return a.sample < b.sample;
        return raw(a.kind) < raw(b.kind);
    });
    auto last = std::unique(list.begin(), list.end(), [](const BoundaryCandidate &a, const BoundaryCandidate &b) {
        return a.sample == b.sample;
    });
    list.erase(last, list.end());
    return list;
}

std::optional<SampleRange> firstCut(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                                    const ChunkPolicy &policy) {
    requirePolicy(policy);
    const qint64 n = qint64(samples.size());
    if (n == 0)
        return std::nullopt;
    if (n <= policy.hardMaxSamples)
        return SampleRange{0, n};

    const auto list = candidates(samples, pauses, policy.minPauseSamples, policy.energyWindowSamples);
    const BoundaryCandidate *best = nullptr;
    double bestCost = 0;
    for (const BoundaryCandidate &c : list) {
        if (c.kind == BoundaryCandidate::Kind::End || c.sample < policy.softMinSamples ||
            c.sample > policy.hardMaxSamples)
            continue;
        const double cost = cutCost(c.sample, c, policy, false, false);
        if (!best || cost < bestCost || (cost == bestCost && raw(c.kind) < raw(best->kind))) {
            best = &c;
            bestCost = cost;
        }
    }
    return SampleRange{0, best ? best->sample : policy.hardMaxSamples};
}

std::optional<std::vector<qint64>> search(const std::vector<BoundaryCandidate> &list, const ChunkPolicy &policy) {
    const size_t k = list.size();
    if (k < 2)
        throw std::invalid_argument("search over fewer than two candidates");
    struct PlanState {
        double cost = std::numeric_limits<double>::infinity();
        qint64 chunks = std::numeric_limits<qint64>::max();
        std::optional<size_t> predecessor;
    };
    std::vector<PlanState> states(k);
    states[0].cost = 0;
    states[0].chunks = 0;

    for (size_t i = 1; i < k; ++i) {
        PlanState &state = states[i];
        const bool finalChunk = i == k - 1;
        for (size_t j = i; j-- > 0;) {
            const qint64 length = list[i].sample - list[j].sample;
            if (length > policy.hardMaxSamples)
                break;
            const PlanState &from = states[j];
            if (!std::isfinite(from.cost))
                continue;
            const double total = from.cost + cutCost(length, list[i], policy, true, finalChunk);
            const qint64 count = from.chunks + 1;
            const bool take =
                total < state.cost || (total == state.cost && count < state.chunks) ||
                (total == state.cost && count == state.chunks && (!state.predecessor || j < *state.predecessor));
            if (take) {
                state.cost = total;
                state.chunks = count;
                state.predecessor = j;
            }
        }
    }

    if (!std::isfinite(states[k - 1].cost))
        return std::nullopt;
    std::vector<qint64> boundaries;
    std::optional<size_t> at = k - 1;
    while (at) {
        boundaries.push_back(list[*at].sample);
        at = states[*at].predecessor;
    }
    std::reverse(boundaries.begin(), boundaries.end());
    return boundaries;
}

std::vector<SampleRange> plan(std::span<const float> samples, const std::vector<SampleRange> &pauses,
                              const ChunkPolicy &policy) {
    requirePolicy(policy);
    const qint64 n = qint64(samples.size());
    if (n == 0)
        return {};
    if (n <= policy.hardMaxSamples)
        return {SampleRange{0, n}};
    const auto boundaries =
        search(candidates(samples, pauses, policy.minPauseSamples, policy.energyWindowSamples), policy);
    if (!boundaries)
        return equalSplit(n, policy.hardMaxSamples);
    std::vector<SampleRange> chunks;
    chunks.reserve(boundaries->size());
    for (size_t i = 1; i < boundaries->size(); ++i)
        chunks.push_back({(*boundaries)[i - 1], (*boundaries)[i]});
    return chunks;
}

std::vector<SampleRange> equalSplit(qint64 count, qint64 size) {
    if (size <= 0)
        throw std::invalid_argument("split size of 0");
    std::vector<SampleRange> chunks;
    for (qint64 start = 0; start < count; start += size)
        chunks.push_back({start, std::min(start + size, count)});
    return chunks;
}

} // namespace ChunkPlanner
} // namespace velmora
