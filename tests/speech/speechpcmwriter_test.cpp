#include "capturefixture.h"
#include "speech/fakespeechcapturesource.h"
#include "speech/speechpcmwriter.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace velmora;
using velmora::test::readSamples;
using F = SpeechSampleFormat;

namespace {

// Feeds a whole signal to a writer in buffers of about 10 ms, as a device would.
void feed(SpeechPCMWriter &writer, const SpeechAudioFormat &format, const QByteArray &signal, qint64 frames) {
    const qint64 perBuffer = std::max(1, format.sampleRate / 100);
    const qint64 frameBytes = qint64(format.channelCount) * format.bytesPerSample();
    for (qint64 start = 0; start < frames; start += perBuffer) {
        const qint64 count = std::min(perBuffer, frames - start);
        SpeechAudioBuffer buffer{format, count, {}};
        if (format.interleaved) {
            buffer.data = signal.mid(start * frameBytes, count * frameBytes);
        } else {
            const qint64 planeBytes = frames * format.bytesPerSample();
            for (int c = 0; c < format.channelCount; ++c)
                buffer.data +=
                    signal.mid(c * planeBytes + start * format.bytesPerSample(), count * format.bytesPerSample());
        }
        writer.append(buffer);
    }
}

SpeechAudioBuffer wholeBuffer(const SpeechAudioFormat &format, QByteArray data) {
    const qint64 frameBytes = qint64(format.channelCount) * format.bytesPerSample();
    return {format, frameBytes ? data.size() / frameBytes : 0, std::move(data)};
}

// The level a steady signal of this RMS gets.
float levelOf(double rms) {
    return float(std::clamp((20.0 * std::log10(std::max(rms, 1e-6)) + 60.0) / 60.0, 0.0, 1.0));
}

SpeechCaptureError::Reason reasonOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const SpeechCaptureError &e) {
        return e.reason();
    }
    ADD_FAILURE() << "no SpeechCaptureError thrown";
    return SpeechCaptureError::Reason::Unavailable;
}

class PCMWriterTest : public ::testing::Test {
protected:
    QString path(const QString &name = QStringLiteral("take.f32")) const { return QDir(home.path()).filePath(name); }
    test::TempHome home;
};

struct ConversionCase {
    const char *name;
    SpeechAudioFormat format;
};
void PrintTo(const ConversionCase &c, std::ostream *os) {
    *os << c.name;
}

class PCMWriterConversionTest : public PCMWriterTest, public ::testing::WithParamInterface<ConversionCase> {};

// One second of a 440 Hz tone at half scale, in every layout a device may use, becomes one
// second of 16 kHz mono at the same pitch and level.
TEST_P(PCMWriterConversionTest, OneSecondToneBecomesSixteenKilohertzMono) {
    const SpeechAudioFormat format = GetParam().format;
    const QByteArray signal = FakeSpeechCaptureSource::tone(format, 440.0, 0.5, format.sampleRate);

    SpeechPCMWriter writer(path());
    std::vector<qint64> written;
    std::vector<float> levels;
    writer.onWritten = [&](qint64 total) { written.push_back(total); };
    writer.onLevel = [&](float level) { levels.push_back(level); };
    feed(writer, format, signal, format.sampleRate);
    const SpeechRecording recording = writer.finish();

    EXPECT_EQ(recording.url, path());
    EXPECT_NEAR(double(recording.samples), 16000.0, 2.0);
    EXPECT_EQ(QFileInfo(path()).size(), recording.samples * 4);
    ASSERT_FALSE(written.empty());
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end(), std::less_equal<>()) &&
                std::adjacent_find(written.begin(), written.end()) == written.end());
    EXPECT_EQ(written.back(), recording.samples);

    const std::vector<float> samples = readSamples(path());
    ASSERT_EQ(qint64(samples.size()), recording.samples);
    // Away from the filter's edges: the level is that of a 0.5 sine and the pitch is kept
    // (440 Hz crosses zero 880 times a second).
    EXPECT_NEAR(test::rms(samples, 800, 15200), 0.5 / std::sqrt(2.0), 0.005);
    EXPECT_NEAR(test::signChanges(samples, 800, 15200), 880 * 0.9, 3);

    EXPECT_EQ(qint64(levels.size()), recording.samples / 800);
    for (size_t i = 1; i + 1 < levels.size(); ++i)
        EXPECT_NEAR(levels[i], levelOf(0.5 / std::sqrt(2.0)), 0.01) << "window " << i;
}

INSTANTIATE_TEST_SUITE_P(Formats, PCMWriterConversionTest,
                         ::testing::Values(ConversionCase{"Float48kStereo", {48000, 2, F::Float32, true}},
                                           ConversionCase{"Float48kMono", {48000, 1, F::Float32, true}},
                                           ConversionCase{"Int16_44kStereo", {44100, 2, F::Int16, true}},
                                           ConversionCase{"Int16_44kMono", {44100, 1, F::Int16, true}},
                                           ConversionCase{"Int32_44kStereo", {44100, 2, F::Int32, true}},
                                           ConversionCase{"Double48kMono", {48000, 1, F::Float64, true}},
                                           ConversionCase{"PlanarFloat48kStereo", {48000, 2, F::Float32, false}},
                                           ConversionCase{"Float16kMono", {16000, 1, F::Float32, true}},
                                           ConversionCase{"Int16_8kMono", {8000, 1, F::Int16, true}}),
                         [](const auto &info) { return std::string(info.param.name); });

struct DownmixCase {
    const char *name;
    SpeechAudioFormat format;
    std::vector<double> channels;
    float expected;
};
void PrintTo(const DownmixCase &c, std::ostream *os) {
    *os << c.name;
}

class PCMWriterDownmixTest : public PCMWriterTest, public ::testing::WithParamInterface<DownmixCase> {};

// Channels are averaged and integer samples scaled to -1...1. At 16 kHz the converter keeps
// a steady value, so the middle of the file shows the mixed value itself.
TEST_P(PCMWriterDownmixTest, MixesChannelsToTheirMean) {
    const DownmixCase &c = GetParam();
    SpeechPCMWriter writer(path());
    writer.append(wholeBuffer(c.format, FakeSpeechCaptureSource::channelConstants(c.format, c.channels, 8000)));
    const SpeechRecording recording = writer.finish();
    const std::vector<float> samples = readSamples(path());
    ASSERT_NEAR(double(recording.samples), 8000.0, 2.0);
    for (size_t i = 1000; i < 7000; i += 250)
        EXPECT_NEAR(samples[i], c.expected, 2e-3) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PCMWriterDownmixTest,
    ::testing::Values(DownmixCase{"OppositeStereoCancels", {16000, 2, F::Float32, true}, {1.0, -1.0}, 0.0f},
                      DownmixCase{"Int16Half", {16000, 1, F::Int16, true}, {0.5}, 0.5f},
                      DownmixCase{"Int32Half", {16000, 1, F::Int32, true}, {0.5}, 0.5f},
                      DownmixCase{"DoubleQuarter", {16000, 1, F::Float64, true}, {0.25}, 0.25f},
                      DownmixCase{"PlanarStereoMean", {16000, 2, F::Float32, false}, {0.25, 0.75}, 0.5f},
                      DownmixCase{"ThreeChannelInt16", {16000, 3, F::Int16, true}, {0.75, 0.0, -0.15}, 0.2f},
                      DownmixCase{"PlanarInt32Stereo", {16000, 2, F::Int32, false}, {-0.5, 0.0}, -0.25f}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PCMWriterTest, SixteenBitValueBecomesHalfScale) {
    const SpeechAudioFormat format{16000, 1, F::Int16, true};
    QByteArray data(2 * 4000, Qt::Uninitialized);
    for (int i = 0; i < 4000; ++i) {
        const qint16 v = 16384;
        std::memcpy(data.data() + 2 * i, &v, 2);
    }
    SpeechPCMWriter writer(path());
    writer.append(wholeBuffer(format, data));
    writer.finish();
    EXPECT_NEAR(readSamples(path())[2000], 0.5f, 1e-3);
}

struct MeterCase {
    const char *name;
    std::function<float(qint64)> signal;
    float expected;
};
void PrintTo(const MeterCase &c, std::ostream *os) {
    *os << c.name;
}

class PCMWriterMeterTest : public PCMWriterTest, public ::testing::WithParamInterface<MeterCase> {};

TEST_P(PCMWriterMeterTest, LevelOfSteadySignal) {
    const SpeechAudioFormat format{16000, 1, F::Float32, true};
    QByteArray data(4 * 16000, Qt::Uninitialized);
    for (qint64 i = 0; i < 16000; ++i) {
        const float v = GetParam().signal(i);
        std::memcpy(data.data() + 4 * i, &v, 4);
    }
    SpeechPCMWriter writer(path());
    std::vector<float> levels;
    writer.onLevel = [&](float level) { levels.push_back(level); };
    writer.append(wholeBuffer(format, data));
    writer.finish();
    ASSERT_GE(levels.size(), 10u);
    for (size_t i = 1; i + 1 < levels.size(); ++i)
        EXPECT_NEAR(levels[i], GetParam().expected, 0.01) << "window " << i;
}

INSTANTIATE_TEST_SUITE_P(Signals, PCMWriterMeterTest,
                         ::testing::Values(MeterCase{"Silence", [](qint64) { return 0.0f; }, 0.0f},
                                           MeterCase{"FullScaleSquare",
                                                     [](qint64 i) { return (i / 40) % 2 ? -1.0f : 1.0f; }, 1.0f},
                                           MeterCase{"MinusThirtyDecibels", [](qint64) { return 0.0316f; }, 0.5f},
                                           MeterCase{"MinusSixtyDecibels", [](qint64) { return 0.001f; }, 0.0f},
                                           // Values a broken device or driver may deliver: the
                                           // level stays within 0...1, at full scale.
                                           MeterCase{"NotANumber", [](qint64) { return std::nanf(""); }, 1.0f},
                                           MeterCase{"Infinity",
                                                     [](qint64 i) {
                                                         return i % 2 ? std::numeric_limits<float>::infinity()
                                                                      : -std::numeric_limits<float>::infinity();
                                                     },
                                                     1.0f},
                                           MeterCase{"SquareOverflows", [](qint64) { return 1e30f; }, 1.0f}),
                         [](const auto &info) { return std::string(info.param.name); });

// One level per full window of 800 converted samples, whatever the buffer sizes; a partial
// window waits for more samples and is never reported at the end.
TEST_F(PCMWriterTest, OneLevelPerEightHundredConvertedSamples) {
    const SpeechAudioFormat format{16000, 1, F::Float32, true};
    SpeechPCMWriter writer(path());
    qint64 written = 0;
    int levels = 0;
    writer.onWritten = [&](qint64 total) { written = total; };
    writer.onLevel = [&](float) { ++levels; };
    for (qint64 frames : {37, 799, 1, 1600, 123, 4096, 5000, 2}) {
        writer.append(wholeBuffer(format, FakeSpeechCaptureSource::constant(format, 0.1, frames)));
        EXPECT_EQ(levels, written / 800) << "after " << written << " samples";
    }
    const SpeechRecording recording = writer.finish();
    EXPECT_EQ(levels, recording.samples / 800);
    EXPECT_NE(recording.samples % 800, 0) << "the case needs a partial last window";
}

// A format change drains the old converter's tail into the file before the new format's
// samples: the file of the first part alone is an exact prefix of the whole.
TEST_F(PCMWriterTest, FormatChangeDrainsTheOldConverterFirst) {
    const SpeechAudioFormat first{48000, 2, F::Float32, true};
    const SpeechAudioFormat second{44100, 1, F::Int16, true};
    const QByteArray firstSignal = FakeSpeechCaptureSource::tone(first, 300.0, 0.4, 24000);
    const QByteArray secondSignal = FakeSpeechCaptureSource::tone(second, 300.0, 0.4, 22050);

    SpeechPCMWriter alone(path(QStringLiteral("alone.f32")));
    feed(alone, first, firstSignal, 24000);
    const SpeechRecording partOne = alone.finish();

    SpeechPCMWriter both(path(QStringLiteral("both.f32")));
    feed(both, first, firstSignal, 24000);
    feed(both, second, secondSignal, 22050);
    const SpeechRecording whole = both.finish();

    const QByteArray a = test::readFile(partOne.url);
    const QByteArray b = test::readFile(whole.url);
    EXPECT_NEAR(double(partOne.samples), 8000.0, 2.0);
    EXPECT_NEAR(double(whole.samples), 16000.0, 4.0);
    EXPECT_EQ(b.left(a.size()), a);
}

struct BrokenCase {
    const char *name;
    SpeechAudioBuffer buffer;
};
void PrintTo(const BrokenCase &c, std::ostream *os) {
    *os << c.name;
}

class PCMWriterBrokenBufferTest : public PCMWriterTest, public ::testing::WithParamInterface<BrokenCase> {};

// A buffer that cannot be read stops the writing: what came before stays in the file and in
// the count, later buffers change nothing, and finish gives the recording so far with the first
// failure, every time.
TEST_P(PCMWriterBrokenBufferTest, FirstFailureIsKeptAndReported) {
    const SpeechAudioFormat format{48000, 2, F::Float32, true};
    SpeechPCMWriter writer(path());
    qint64 lastWritten = 0;
    writer.onWritten = [&](qint64 total) { lastWritten = total; };
    writer.append(wholeBuffer(format, FakeSpeechCaptureSource::tone(format, 440, 0.5, 9600)));
    const qint64 good = writer.samples();
    ASSERT_GT(good, 0);

    writer.append(GetParam().buffer);
    ASSERT_TRUE(writer.failure());
    const qint64 before = writer.samples();
    EXPECT_GE(before, good);
    writer.append(wholeBuffer(format, FakeSpeechCaptureSource::tone(format, 440, 0.5, 9600)));

    EXPECT_EQ(writer.samples(), before);
    EXPECT_EQ(lastWritten, before);
    const SpeechRecording recording = writer.finish();
    ASSERT_TRUE(recording.cutShortBy);
    EXPECT_EQ(recording.samples, before);
    EXPECT_EQ(reasonOf([&] { std::rethrow_exception(recording.cutShortBy); }), SpeechCaptureError::Reason::Conversion);
    EXPECT_EQ(writer.finish(), recording);
    EXPECT_EQ(QFileInfo(path()).size(), before * 4);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, PCMWriterBrokenBufferTest,
    ::testing::Values(BrokenCase{"NoRate", {{0, 2, F::Float32, true}, 10, QByteArray(80, 0)}},
                      BrokenCase{"NoChannels", {{48000, 0, F::Float32, true}, 10, QByteArray()}},
                      BrokenCase{"ShortData", {{48000, 2, F::Float32, true}, 10, QByteArray(79, 0)}},
                      BrokenCase{"UnsignedBytes", {{48000, 1, F::UInt8, true}, 10, QByteArray(10, 0)}},
                      BrokenCase{"UnknownEncoding", {{48000, 1, F::Unknown, true}, 10, QByteArray(40, 0)}}),
    [](const auto &info) { return std::string(info.param.name); });

// A full disk (here: the file-size limit) fails the write; the file keeps whole samples only,
// matching the count, and finish gives them with the write error.
TEST_F(PCMWriterTest, FullDiskKeepsTheWholeSamplesWrittenSoFar) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 40002;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    const SpeechAudioFormat format{48000, 2, F::Float32, true};
    SpeechPCMWriter writer(path());
    feed(writer, format, FakeSpeechCaptureSource::tone(format, 440, 0.5, 48000), 48000);
    SpeechRecording recording;
    int error = 0;
    try {
        recording = writer.finish();
        if (recording.cutShortBy)
            std::rethrow_exception(recording.cutShortBy);
    } catch (const PosixError &e) {
        error = e.errnoValue();
    } catch (...) {
    }
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(error, EFBIG);
    EXPECT_GT(recording.samples, 0);
    EXPECT_LE(recording.samples * 4, 40002);
    EXPECT_EQ(QFileInfo(path()).size(), recording.samples * 4);
}

TEST_F(PCMWriterTest, CreatesAnEmptyOwnerOnlyFileReplacingAnOldOne) {
    test::writeFile(path(), QByteArray(100, 'x'));
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);
    SpeechPCMWriter writer(path());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    const SpeechRecording first = writer.finish();
    EXPECT_EQ(writer.finish(), first);
    EXPECT_EQ(first.samples, 0);
}

TEST_F(PCMWriterTest, FileThatCannotBeCreatedFailsConstruction) {
    EXPECT_EQ(reasonOf([&] { SpeechPCMWriter writer(path(QStringLiteral("missing/take.f32"))); }),
              SpeechCaptureError::Reason::WriteFailed);
}

} // namespace
