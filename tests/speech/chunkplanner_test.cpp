#include "speech/chunkplanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace velmora;
using Kind = BoundaryCandidate::Kind;

namespace {

std::vector<float> silence(qint64 n) {
    return std::vector<float>(size_t(n), 0.0f);
}

std::vector<float> constant(qint64 n, float value) {
    return std::vector<float>(size_t(n), value);
}

std::vector<float> noise(qint64 n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.8f, 0.8f);
    std::vector<float> out(static_cast<size_t>(n));
    for (auto &s : out)
        s = dist(rng);
    return out;
}

const ChunkPolicy policy = ChunkPolicy::standard();

} // namespace

TEST(ChunkPlanner, StandardPolicyFigures) {
    EXPECT_EQ(policy.hardMaxSamples, 560000);
    EXPECT_EQ(policy.preferredSamples, 480000);
    EXPECT_EQ(policy.softMinSamples, 240000);
    EXPECT_EQ(policy.minPauseSamples, 3200);
    EXPECT_EQ(policy.energyWindowSamples, 1600);
}

TEST(ChunkPlanner, PlansOfSilenceMatchTheWorkedExamples) {
    struct Case {
        qint64 samples;
        std::vector<SampleRange> plan;
        std::optional<SampleRange> firstCut;
    };
    const std::vector<Case> cases = {
        {0, {}, std::nullopt},
        {1, {{0, 1}}, SampleRange{0, 1}},
        {560000, {{0, 560000}}, SampleRange{0, 560000}},
        {560001, {{0, 280000}, {280000, 560001}}, SampleRange{0, 480000}},
        {700000, {{0, 350400}, {350400, 700000}}, SampleRange{0, 480000}},
        {800000, {{0, 400000}, {400000, 800000}}, SampleRange{0, 480000}},
        {1100000, {{0, 550400}, {550400, 1100000}}, SampleRange{0, 480000}},
    };
    for (const Case &c : cases) {
        const auto samples = silence(c.samples);
        EXPECT_EQ(ChunkPlanner::plan(samples, {}, policy), c.plan) << c.samples;
        EXPECT_EQ(ChunkPlanner::firstCut(samples, {}, policy), c.firstCut) << c.samples;
    }
}

TEST(ChunkPlanner, PlansCoverEveryRecordingWithinTheHardMaximum) {
    for (qint64 n : {560001LL, 900000LL, 1999999LL, 4800000LL}) {
        const auto samples = noise(n, unsigned(n));
        const auto chunks = ChunkPlanner::plan(samples, {}, policy);
        ASSERT_FALSE(chunks.empty());
        qint64 at = 0;
        for (const SampleRange &chunk : chunks) {
            EXPECT_EQ(chunk.lower, at);
            EXPECT_GT(chunk.length(), 0);
            EXPECT_LE(chunk.length(), policy.hardMaxSamples);
            at = chunk.upper;
        }
        EXPECT_EQ(at, n);
    }
}

TEST(ChunkPlanner, FirstCutStaysBetweenSoftMinimumAndHardMaximum) {
    for (qint64 n : {560001LL, 800000LL, 1500000LL}) {
        for (unsigned seed : {1u, 2u, 3u}) {
            const auto cut = ChunkPlanner::firstCut(noise(n, seed), {}, policy);
            ASSERT_TRUE(cut);
            EXPECT_EQ(cut->lower, 0);
            EXPECT_GE(cut->upper, policy.softMinSamples);
            EXPECT_LE(cut->upper, policy.hardMaxSamples);
        }
    }
}

TEST(ChunkPlanner, CutsAtTheQuietestPlace) {
    // Loud audio with one silent stretch: the cut moves there from the preferred length.
    auto samples = constant(800000, 0.5f);
    std::fill(samples.begin() + 351000, samples.begin() + 353000, 0.0f);
    EXPECT_EQ(ChunkPlanner::firstCut(samples, {}, policy), (SampleRange{0, 352000}));
    const auto chunks = ChunkPlanner::plan(samples, {}, policy);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], (SampleRange{0, 352000}));
}

TEST(ChunkPlanner, NonFiniteSamplesCountAsFullScale) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> odd = {inf, -inf, nan, 2.0f, -3.0f, 0.5f, -1.0f};
    EXPECT_DOUBLE_EQ(ChunkPlanner::windowEnergy(odd, 0, 7), 1 + 1 + 1 + 1 + 1 + 0.25 + 1);
    EXPECT_DOUBLE_EQ(ChunkPlanner::windowEnergy(odd, 3, 3), 0.0);

    // A recording with a burst of bad samples plans like one with full-scale samples there.
    auto bad = silence(900000);
    auto full = silence(900000);
    for (qint64 i = 470000; i < 500000; ++i) {
        bad[size_t(i)] = (i % 2) ? nan : inf;
        full[size_t(i)] = 1.0f;
    }
    EXPECT_EQ(ChunkPlanner::plan(bad, {}, policy), ChunkPlanner::plan(full, {}, policy));
    EXPECT_EQ(ChunkPlanner::firstCut(bad, {}, policy), ChunkPlanner::firstCut(full, {}, policy));
    EXPECT_NE(ChunkPlanner::firstCut(bad, {}, policy), (SampleRange{0, 480000}));
}

TEST(ChunkPlanner, WithoutACoveringThePlanSplitsEvenly) {
    ChunkPolicy wide = policy;
    wide.energyWindowSamples = 600000;
    const auto samples = silence(1200001);
    const auto list = ChunkPlanner::candidates(samples, {}, wide.minPauseSamples, wide.energyWindowSamples);
    std::vector<qint64> positions;
    for (const auto &c : list)
        positions.push_back(c.sample);
    EXPECT_EQ(positions, (std::vector<qint64>{0, 600000, 1200000, 1200001}));
    EXPECT_FALSE(ChunkPlanner::search(list, wide));
    EXPECT_EQ(ChunkPlanner::plan(samples, {}, wide),
              (std::vector<SampleRange>{{0, 560000}, {560000, 1120000}, {1120000, 1200001}}));
}

TEST(ChunkPlanner, APauseWinsOverAnEnergyCandidateAtTheSamePlace) {
    auto samples = constant(800000, 0.5f);
    std::fill(samples.begin() + 396000, samples.begin() + 404000, 0.0f);
    const std::vector<SampleRange> pauses = {{396000, 404000}};
    const auto list = ChunkPlanner::candidates(samples, pauses, policy.minPauseSamples, policy.energyWindowSamples);
    ASSERT_EQ(list.size(), 501u); // start, 499 energy positions, end: the pause took one energy position
    const auto at = std::find_if(list.begin(), list.end(), [](const auto &c) { return c.sample == 396800; });
    ASSERT_NE(at, list.end());
    EXPECT_EQ(*at, (BoundaryCandidate{396800, Kind::Pause, 8000, 0.0f}));
    EXPECT_EQ(ChunkPlanner::firstCut(samples, pauses, policy), (SampleRange{0, 396800}));
    const auto chunks = ChunkPlanner::plan(samples, pauses, policy);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], (SampleRange{0, 396800}));
}

TEST(ChunkPlanner, UnusablePausesAddNoCandidate) {
    const auto samples = silence(10000);
    const auto plain = ChunkPlanner::candidates(samples, {}, 3200, 1600);
    const std::vector<std::vector<SampleRange>> unusable = {
        {{5000, 8199}},   // shorter than the minimum pause
        {{12000, 20000}}, // beyond the samples
        {{9000, 20000}},  // clipped to 1000 samples
        {{0, 1}},         // too short, centre would be 0
    };
    for (const auto &pauses : unusable)
        EXPECT_EQ(ChunkPlanner::candidates(samples, pauses, 3200, 1600), plain);
    // With no minimum, a pause whose quietest centre is 0 is still refused.
    EXPECT_EQ(ChunkPlanner::candidates(samples, {{0, 1}}, 0, 1600), plain);
    // A usable one is added (at a position that no energy candidate holds).
    const auto with = ChunkPlanner::candidates(samples, {{5000, 8200}}, 3200, 1600);
    EXPECT_EQ(with.size(), plain.size() + 1);
}

TEST(ChunkPlanner, CandidatesAreSortedAndFramed) {
    const auto samples = noise(20000, 7);
    const auto list = ChunkPlanner::candidates(samples, {{7000, 12000}, {15000, 19000}}, 3200, 1600);
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.front(), (BoundaryCandidate{0, Kind::Start, 0, 0}));
    EXPECT_EQ(list.back(), (BoundaryCandidate{20000, Kind::End, 0, 0}));
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LT(list[i - 1].sample, list[i].sample);
    // The energy candidate at 1600 measures the window 800 ..< 2400.
    const double energy = ChunkPlanner::windowEnergy(samples, 800, 2400);
    EXPECT_FLOAT_EQ(list[1].rms, float(std::sqrt(energy / 1600)));
}

TEST(ChunkPlanner, QuietestWindowKeepsTheEarliestTie) {
    std::vector<float> samples = {0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.9f};
    auto [centre, rms] = ChunkPlanner::quietestWindowCentre(samples, 0, 9, 3);
    EXPECT_EQ(centre, 2); // window 1..<4
    EXPECT_EQ(rms, 0.0f);
    std::tie(centre, rms) = ChunkPlanner::quietestWindowCentre(samples, 3, 9, 100); // narrowed to the range
    EXPECT_EQ(centre, 6);
    EXPECT_FLOAT_EQ(rms, float(std::sqrt((0.25 + 0.81) / 6)));
}

TEST(ChunkPlanner, KindsKeepTheirRawValues) {
    for (int raw = 0; raw <= 3; ++raw) {
        ASSERT_TRUE(BoundaryCandidate::kindFromRaw(raw));
        EXPECT_EQ(int(*BoundaryCandidate::kindFromRaw(raw)), raw);
        EXPECT_EQ(BoundaryCandidate::fromString(BoundaryCandidate::toString(Kind(raw))), Kind(raw));
    }
    EXPECT_FALSE(BoundaryCandidate::kindFromRaw(-1));
    EXPECT_FALSE(BoundaryCandidate::kindFromRaw(4));
}

TEST(ChunkPlanner, RefusesProgrammingErrors) {
    const auto samples = silence(600000);
    std::vector<ChunkPolicy> bad(4, policy);
    bad[0].energyWindowSamples = 0;
    bad[1].softMinSamples = 0;
    bad[2].preferredSamples = 0;
    bad[3].hardMaxSamples = bad[3].softMinSamples - 1;
    for (const auto &p : bad) {
        EXPECT_THROW(ChunkPlanner::plan(samples, {}, p), std::invalid_argument);
        EXPECT_THROW(ChunkPlanner::firstCut({}, {}, p), std::invalid_argument);
    }
    ChunkPolicy noPause = policy;
    noPause.minPauseSamples = -5; // no requirement on this one
    EXPECT_NO_THROW(ChunkPlanner::plan(samples, {}, noPause));
    EXPECT_THROW(ChunkPlanner::equalSplit(10, 0), std::invalid_argument);
    EXPECT_THROW(ChunkPlanner::search({BoundaryCandidate{}}, policy), std::invalid_argument);
    EXPECT_THROW(ChunkPlanner::windowEnergy(samples, 10, 5), std::invalid_argument);
    EXPECT_EQ(ChunkPlanner::equalSplit(25, 10), (std::vector<SampleRange>{{0, 10}, {10, 20}, {20, 25}}));
}
