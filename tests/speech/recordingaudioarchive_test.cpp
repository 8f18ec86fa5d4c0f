#include "speech/recordingaudioarchive.h"

#include "support/testsupport.h"
#include "testaudio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

using namespace velmora;
using velmora::test::decodeAudio;
using velmora::test::writeStagedSamples;

namespace {

// What the archive should hold: the samples clamped to -1...1 (a NaN as -1), then turned into
// 16 bits by FFmpeg's own conversion.
std::vector<int16_t> expected16(std::vector<float> samples) {
    for (float &v : samples)
        v = !(v >= -1.0f) ? -1.0f : std::min(v, 1.0f);
    return velmora::test::ffmpegInt16(samples);
}

std::vector<float> tone(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = float(0.6 * std::sin(double(i) * 0.05) + 0.3 * std::sin(double(i) * 0.0031));
    return samples;
}

} // namespace

TEST(RecordingAudioArchive, ConvertsEveryWholeSampleLosslessly) {
    test::TempHome home;
    struct Case {
        qsizetype bytes;
        qint64 samples;
    };
    // One sample; exactly one read block plus a stray byte; several blocks and a partial
    // encoder frame at the end.
    const std::vector<Case> cases = {{4, 1}, {64001, 16000}, {4 * 40003 + 2, 40003}};
    for (const auto &c : cases) {
        const QString source = home.path() + QStringLiteral("/in-%1.f32").arg(c.bytes);
        const QString destination = home.path() + QStringLiteral("/Assets/T/out-%1.m4a").arg(c.bytes);
        std::vector<float> samples = tone(size_t(c.samples));
        writeStagedSamples(source, samples);
        {
            QFile f(source);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write(QByteArray(int(c.bytes - c.samples * 4), '\x7f'));
        }
        const QByteArray before = test::readFile(source);

        EXPECT_EQ(RecordingAudioArchive::convert(source, destination), c.samples) << c.bytes;

        const auto decoded = decodeAudio(destination);
        EXPECT_EQ(decoded.codec, QStringLiteral("alac"));
        EXPECT_EQ(decoded.sampleRate, 16000);
        EXPECT_EQ(decoded.channels, 1);
        ASSERT_EQ(qint64(decoded.samples.size()), c.samples) << c.bytes;
        EXPECT_EQ(decoded.samples, expected16(samples)) << c.bytes;
        EXPECT_EQ(test::readFile(source), before) << "the source must never change";
    }
}

TEST(RecordingAudioArchive, ClampsAndRoundsAsFFmpegConvertsSamples) {
    test::TempHome home;
    const float inf = std::numeric_limits<float>::infinity();
    // Out of range and not-a-number values first, then values exactly halfway between two
    // 16-bit steps: FFmpeg rounds those to the even neighbour.
    const std::vector<float> samples = {0.5f,
                                        1.5f,
                                        -2.0f,
                                        std::nanf(""),
                                        1.0f,
                                        -1.0f,
                                        0.0f,
                                        inf,
                                        -inf,
                                        0.5f / 32768,
                                        1.5f / 32768,
                                        2.5f / 32768,
                                        -0.5f / 32768,
                                        -1.5f / 32768,
                                        -2.5f / 32768,
                                        32765.5f / 32768,
                                        -32767.5f / 32768};
    const std::vector<int16_t> expected = {16384, 32767, -32768, -32768, 32767, -32768, 0,     32767, -32768,
                                           0,     2,     2,      0,      -2,    -2,     32766, -32768};
    ASSERT_EQ(expected16(samples), expected) << "the reference itself rounds halves to even";
    const QString source = home.path() + QStringLiteral("/clamp.f32");
    writeStagedSamples(source, samples);

    ASSERT_EQ(RecordingAudioArchive::convert(source, home.path() + QStringLiteral("/clamp.m4a")),
              qint64(samples.size()));
    EXPECT_EQ(decodeAudio(home.path() + QStringLiteral("/clamp.m4a")).samples, expected);
}

TEST(RecordingAudioArchive, FailuresLeaveNoDestinationBehind) {
    test::TempHome home;
    const QString folder = home.path() + QStringLiteral("/Assets/T");

    // A file of less than one sample is not a recording.
    for (int bytes = 0; bytes <= 3; ++bytes) {
        const QString source = home.path() + QStringLiteral("/short-%1.f32").arg(bytes);
        test::writeFile(source, QByteArray(bytes, '\1'));
        const QString destination = folder + QStringLiteral("/short-%1.m4a").arg(bytes);
        try {
            RecordingAudioArchive::convert(source, destination);
            ADD_FAILURE() << bytes << " bytes converted";
        } catch (const RecordingAudioArchiveError &e) {
            EXPECT_EQ(e.kind(), RecordingAudioArchiveError::Code::emptyInput);
            EXPECT_EQ(e.domain(), QStringLiteral("Velmora.RecordingAudioArchiveError"));
        }
        EXPECT_FALSE(QFileInfo::exists(destination)) << bytes;
        EXPECT_EQ(QFileInfo(source).size(), bytes);
    }

    // A missing source fails with the file error before anything is created.
    try {
        RecordingAudioArchive::convert(home.path() + QStringLiteral("/missing.f32"), folder + QStringLiteral("/m.m4a"));
        ADD_FAILURE() << "a missing source converted";
    } catch (const PosixError &e) {
        EXPECT_EQ(e.errnoValue(), ENOENT);
    }
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/m.m4a")));

    // A source that opens but cannot be read fails after the output was created; the
    // half-written output goes.
    QDir().mkpath(home.path() + QStringLiteral("/notafile.f32"));
    try {
        RecordingAudioArchive::convert(home.path() + QStringLiteral("/notafile.f32"),
                                       folder + QStringLiteral("/d.m4a"));
        ADD_FAILURE() << "a folder converted";
    } catch (const PosixError &e) {
        EXPECT_EQ(e.errnoValue(), EISDIR);
    }
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/d.m4a")));

    // An output that cannot be created: the destination's parent is a file.
    const QString source = home.path() + QStringLiteral("/ok.f32");
    writeStagedSamples(source, tone(100));
    test::writeFile(home.path() + QStringLiteral("/blocker"), "x");
    EXPECT_THROW(RecordingAudioArchive::convert(source, home.path() + QStringLiteral("/blocker/out.m4a")), PosixError);
    EXPECT_EQ(test::readFile(home.path() + QStringLiteral("/blocker")), QByteArray("x"));
    // An output path that is an existing folder is refused and the folder stays.
    QDir().mkpath(folder + QStringLiteral("/taken.m4a"));
    EXPECT_THROW(RecordingAudioArchive::convert(source, folder + QStringLiteral("/taken.m4a")), Error);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/taken.m4a")).isDir());
    EXPECT_EQ(QFileInfo(source).size(), 400);
}
