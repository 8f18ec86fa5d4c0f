#include "capturefixture.h"
#include "core/uuid.h"
#include "speech/fakespeechcapturesource.h"
#include "speech/speechcapture.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

using namespace velmora;
using F = SpeechSampleFormat;

namespace {

const SpeechDevice kBuiltIn{QStringLiteral("built-in"), QStringLiteral("Built-in Microphone")};
const SpeechDevice kUsb{QStringLiteral("usb-1"), QStringLiteral("USB Microphone")};
const SpeechDevice kHeadset{QStringLiteral("headset"), QStringLiteral("Headset")};

unsigned modeOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

SpeechCaptureError::Reason reasonOf(QCoro::Task<QString> &&task) {
    try {
        test::run(std::move(task));
    } catch (const SpeechCaptureError &e) {
        return e.reason();
    }
    ADD_FAILURE() << "no SpeechCaptureError thrown";
    return SpeechCaptureError::Reason::Conversion;
}

class SpeechCaptureTest : public ::testing::Test {
protected:
    SpeechCaptureTest() {
        source.setDevices({kBuiltIn, kUsb}, kBuiltIn.id);
        source.setSignal(stereo48k, FakeSpeechCaptureSource::tone(stereo48k, 440.0, 0.5, 48000));
    }

    // A capture over the fake source with the owner's callbacks recorded.
    std::unique_ptr<SpeechCapture> makeCapture() {
        auto capture = std::make_unique<SpeechCapture>(SpeechCapture::defaultDirectory(), source);
        QObject::connect(capture.get(), &SpeechCapturing::samplesWritten,
                         [this](qint64 count) { progress.push_back(count); });
        QObject::connect(capture.get(), &SpeechCapturing::levelChanged,
                         [this](float level) { levels.push_back(level); });
        QObject::connect(capture.get(), &SpeechCapturing::interrupted, [this] { ++interruptions; });
        return capture;
    }

    QString startAndBegin(SpeechCapture &capture, std::optional<QString> device = std::nullopt,
                          std::optional<QString> staging = std::nullopt) {
        const QString url = test::run(capture.start(device, id, staging));
        test::run(capture.beginRecording());
        return url;
    }

    test::TempHome home;
    const SpeechAudioFormat stereo48k{48000, 2, F::Float32, true};
    FakeSpeechCaptureSource source;
    QUuid id = QUuid::createUuid();
    std::vector<qint64> progress;
    std::vector<float> levels;
    int interruptions = 0;
};

TEST_F(SpeechCaptureTest, ConstructionClearsTheCaptureFolderAndStartMakesItOwnerOnly) {
    const QString folder = SpeechCapture::defaultDirectory();
    EXPECT_TRUE(folder.endsWith(QStringLiteral("/com.velmora.app.dictation-pcm")));
    test::writeFile(folder + QStringLiteral("/stale.f32"), QByteArray(16, 0));
    auto capture = makeCapture();
    EXPECT_FALSE(QFileInfo::exists(folder));

    const QString url = test::run(capture->start(std::nullopt, id, std::nullopt));
    EXPECT_EQ(url, folder + QLatin1Char('/') + uuidString(id) + QStringLiteral(".f32"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(url), 0600u);
    test::run(capture->cancel(false));
}

TEST_F(SpeechCaptureTest, StagingFileGoesWhereAskedInNewOwnerOnlyFolders) {
    auto capture = makeCapture();
    const QString staging = home.dataHome() + QStringLiteral("/Library/Staging/take.f32");
    const QString url = test::run(capture->start(std::nullopt, id, staging));
    EXPECT_EQ(url, staging);
    EXPECT_TRUE(QFileInfo::exists(staging));
    EXPECT_EQ(modeOf(home.dataHome() + QStringLiteral("/Library/Staging")), 0700u);
    EXPECT_EQ(modeOf(home.dataHome() + QStringLiteral("/Library")), 0700u);
    EXPECT_FALSE(QFileInfo::exists(SpeechCapture::defaultDirectory()));
    test::run(capture->cancel(false));
}

TEST_F(SpeechCaptureTest, ExistingFolderIsAcceptedAsItIs) {
    QDir().mkpath(home.dataHome() + QStringLiteral("/shared"));
    ::chmod(QFile::encodeName(home.dataHome() + QStringLiteral("/shared")).constData(), 0755);
    auto capture = makeCapture();
    test::run(capture->start(std::nullopt, id, home.dataHome() + QStringLiteral("/shared/take.f32")));
    EXPECT_EQ(modeOf(home.dataHome() + QStringLiteral("/shared")), 0755u);
    test::run(capture->cancel(false));
}

struct DeviceCase {
    const char *name;
    std::optional<QString> selected;
    std::optional<QString> defaultID;
    QStringList failing;
    QStringList expectedAttempts;
    QString expectedRunning;
};
void PrintTo(const DeviceCase &c, std::ostream *os) {
    *os << c.name;
}

class SpeechCaptureDeviceTest : public SpeechCaptureTest, public ::testing::WithParamInterface<DeviceCase> {};

// The saved device first, then the default input; a device both saved and default is tried once.
TEST_P(SpeechCaptureDeviceTest, TriesSavedDeviceThenDefault) {
    const DeviceCase &c = GetParam();
    source.setDevices({kBuiltIn, kUsb, kHeadset}, c.defaultID);
    source.setFailingDevices(c.failing);
    auto capture = makeCapture();
    if (c.expectedRunning.isEmpty()) {
        EXPECT_EQ(reasonOf(capture->start(c.selected, id, std::nullopt)), SpeechCaptureError::Reason::Unavailable);
        EXPECT_FALSE(QFileInfo::exists(QDir(SpeechCapture::defaultDirectory()).filePath(uuidString(id) + ".f32")));
        EXPECT_FALSE(capture->hasWorker());
    } else {
        test::run(capture->start(c.selected, id, std::nullopt));
        EXPECT_EQ(source.runningDevice(), c.expectedRunning);
        test::run(capture->cancel(false));
    }
    EXPECT_EQ(source.openAttempts(), c.expectedAttempts);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SpeechCaptureDeviceTest,
    ::testing::Values(
        DeviceCase{"SavedDevice", QStringLiteral("usb-1"), QStringLiteral("built-in"), {}, {"usb-1"}, "usb-1"},
        DeviceCase{"NoSavedDevice", {}, QStringLiteral("built-in"), {}, {"built-in"}, "built-in"},
        DeviceCase{"SavedDeviceGone", QStringLiteral("gone"), QStringLiteral("built-in"), {}, {"built-in"}, "built-in"},
        DeviceCase{
            "SavedIsDefault", QStringLiteral("headset"), QStringLiteral("headset"), {"headset"}, {"headset"}, ""},
        DeviceCase{"SavedFailsFallsBack",
                   QStringLiteral("usb-1"),
                   QStringLiteral("built-in"),
                   {"usb-1"},
                   {"usb-1", "built-in"},
                   "built-in"},
        DeviceCase{"EveryDeviceFails",
                   QStringLiteral("usb-1"),
                   QStringLiteral("built-in"),
                   {"usb-1", "built-in"},
                   {"usb-1", "built-in"},
                   ""},
        DeviceCase{"NoDefaultNoSaved", {}, {}, {}, {}, ""}),
    [](const auto &info) { return std::string(info.param.name); });

// A 48 kHz stereo device becomes a 16 kHz mono file; audio before beginRecording is dropped.
TEST_F(SpeechCaptureTest, RecordsOnlyAfterBeginAndConvertsToSixteenKilohertz) {
    auto capture = makeCapture();
    test::run(capture->start(std::nullopt, id, std::nullopt));
    source.setSignal(stereo48k, FakeSpeechCaptureSource::constant(stereo48k, 0.9, 48000));
    ASSERT_TRUE(source.deliver(48000));
    test::run(capture->beginRecording());
    source.setSignal(stereo48k, FakeSpeechCaptureSource::tone(stereo48k, 440.0, 0.25, 48000));
    ASSERT_TRUE(source.deliver(96000));
    const SpeechRecording recording = test::run(capture->stop());

    EXPECT_NEAR(double(recording.samples), 32000.0, 3.0);
    const std::vector<float> samples = test::readSamples(recording.url);
    ASSERT_EQ(qint64(samples.size()), recording.samples);
    EXPECT_LT(*std::max_element(samples.begin(), samples.end()), 0.3f) << "audio from before begin was written";
    EXPECT_NEAR(test::rms(samples, 800, 31200), 0.25 / std::sqrt(2.0), 0.005);

    ASSERT_TRUE(test::waitUntil([&] { return !progress.empty() && progress.back() == recording.samples; }));
    EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end(), std::greater_equal<>()) == progress.end());
    EXPECT_GE(levels.size(), size_t(recording.samples / 800 - 1));
    test::run(capture->cancel(true));
}

TEST_F(SpeechCaptureTest, StopTwiceGivesTheSameRecordingAndCancelDecidesTheFile) {
    auto capture = makeCapture();
    startAndBegin(*capture);
    source.deliver(4800);
    const SpeechRecording first = test::run(capture->stop());
    EXPECT_EQ(test::run(capture->stop()), first);
    EXPECT_GT(first.samples, 0);

    test::run(capture->cancel(true));
    EXPECT_TRUE(QFileInfo::exists(first.url));
    EXPECT_FALSE(capture->hasWorker());
    try {
        test::run(capture->stop());
        ADD_FAILURE() << "stop after cancel succeeded";
    } catch (const SpeechCaptureError &e) {
        EXPECT_EQ(e.reason(), SpeechCaptureError::Reason::Unavailable);
    }
    EXPECT_THROW(test::run(capture->beginRecording()), CancelledError);
    test::run(capture->cancel(false));

    const QString second = startAndBegin(*capture);
    test::run(capture->stop());
    test::run(capture->cancel(false));
    EXPECT_FALSE(QFileInfo::exists(second));
}

// Destroying the capture mid-recording releases the device and its threads at once and
// leaves the file to its owner; reports still on their way are dropped.
TEST_F(SpeechCaptureTest, DestructionReleasesTheDeviceAndKeepsTheFile) {
    auto capture = makeCapture();
    const QString url = startAndBegin(*capture);
    source.deliver(4800);
    ASSERT_EQ(source.runningDevice(), kBuiltIn.id);
    capture.reset();
    EXPECT_TRUE(source.runningDevice().isEmpty());
    EXPECT_FALSE(source.deliver(480));
    EXPECT_TRUE(QFileInfo::exists(url));
    test::spin(std::chrono::milliseconds(20));
    EXPECT_TRUE(progress.empty()) << "a report reached the owner after destruction";
}

// A new start replaces a running capture: the old file goes, the old worker's reports stop
// reaching the owner and progress restarts from the new capture's first count.
TEST_F(SpeechCaptureTest, NewStartReplacesTheRunningCapture) {
    auto capture = makeCapture();
    const QString oldUrl = startAndBegin(*capture, std::nullopt, home.path() + QStringLiteral("/old.f32"));
    source.deliver(48000);
    ASSERT_TRUE(test::waitUntil([&] { return !progress.empty() && progress.back() > 15000; }));
    progress.clear();

    const QString newUrl = startAndBegin(*capture, std::nullopt, home.path() + QStringLiteral("/new.f32"));
    EXPECT_FALSE(QFileInfo::exists(oldUrl));
    test::spin(std::chrono::milliseconds(50));
    EXPECT_TRUE(progress.empty());
    source.deliver(960);
    const SpeechRecording recording = test::run(capture->stop());
    ASSERT_TRUE(test::waitUntil([&] { return !progress.empty() && progress.back() == recording.samples; }));
    EXPECT_LT(progress.front(), 400);
    EXPECT_EQ(recording.url, newUrl);
    test::run(capture->cancel(false));
}

// A cancel while the device is still starting wins: the start fails as cancelled and leaves
// no file and no worker behind.
TEST_F(SpeechCaptureTest, CancelDuringStartCancelsTheStart) {
    auto capture = makeCapture();
    source.holdOpens();
    std::exception_ptr startError;
    bool started = false;
    auto starting = [](SpeechCapture *capture, QUuid id, std::exception_ptr *error, bool *done) -> QCoro::Task<> {
        try {
            co_await capture->start(std::nullopt, id, std::nullopt);
        } catch (...) {
            *error = std::current_exception();
        }
        *done = true;
    }(capture.get(), id, &startError, &started);
    ASSERT_TRUE(test::waitUntil([&] { return !source.openAttempts().isEmpty(); }));
    bool cancelled = false;
    auto cancelling = [](SpeechCapture *capture, bool *done) -> QCoro::Task<> {
        co_await capture->cancel(false);
        *done = true;
    }(capture.get(), &cancelled);
    source.releaseOpens();
    ASSERT_TRUE(test::waitUntil([&] { return started && cancelled; }));
    ASSERT_TRUE(startError);
    EXPECT_TRUE(isCancellation(startError));
    EXPECT_FALSE(capture->hasWorker());
    EXPECT_FALSE(QFileInfo::exists(QDir(SpeechCapture::defaultDirectory()).filePath(uuidString(id) + ".f32")));
}

// The device in use going away interrupts the capture once; another device going away does
// not; what was recorded before stays in the file.
TEST_F(SpeechCaptureTest, DeviceInUseVanishingInterruptsAndKeepsTheSamples) {
    auto capture = makeCapture();
    startAndBegin(*capture);
    source.deliver(24000);
    source.disconnectDevice(kUsb.id);
    test::spin(std::chrono::milliseconds(100));
    EXPECT_EQ(interruptions, 0);

    source.disconnectDevice(kBuiltIn.id);
    ASSERT_TRUE(test::waitUntil([&] { return interruptions == 1; }));
    test::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(interruptions, 1);

    const SpeechRecording recording = test::run(capture->stop());
    EXPECT_NEAR(double(recording.samples), 8000.0, 2.0);
    EXPECT_EQ(QFileInfo(recording.url).size(), recording.samples * 4);
    // After stop the observers are gone.
    source.connectDevice(kBuiltIn);
    source.disconnectDevice(kBuiltIn.id);
    test::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(interruptions, 1);
    test::run(capture->cancel(false));
}

TEST_F(SpeechCaptureTest, DeviceFailureInterrupts) {
    auto capture = makeCapture();
    startAndBegin(*capture);
    ASSERT_TRUE(source.failRunningDevice());
    ASSERT_TRUE(test::waitUntil([&] { return interruptions == 1; }));
    test::run(capture->cancel(false));
}

// A buffer the writer cannot convert ends the writing but not the capture: the owner hears of
// it at once, and stop gives the samples before it with the cause.
TEST_F(SpeechCaptureTest, UnconvertibleBufferEndsTheWritingAndStopKeepsEarlierSamples) {
    auto capture = makeCapture();
    int writeFailures = 0;
    QObject::connect(capture.get(), &SpeechCapturing::writeFailed, [&] { ++writeFailures; });
    const QString url = startAndBegin(*capture);
    source.deliver(48000);
    source.deliverBuffer({{48000, 1, F::UInt8, true}, 480, QByteArray(480, 0)});
    ASSERT_TRUE(test::waitUntil([&] { return writeFailures == 1; }));
    source.deliver(48000);
    const SpeechRecording recording = test::run(capture->stop());
    ASSERT_TRUE(recording.cutShortBy);
    try {
        std::rethrow_exception(recording.cutShortBy);
    } catch (const SpeechCaptureError &e) {
        EXPECT_EQ(e.reason(), SpeechCaptureError::Reason::Conversion);
    } catch (...) {
        ADD_FAILURE() << "not cut short by the conversion";
    }
    EXPECT_NEAR(double(recording.samples), 16000.0, 160.0);
    EXPECT_EQ(QFileInfo(url).size(), recording.samples * 4);
    EXPECT_EQ(writeFailures, 1) << "reported once";
    test::run(capture->cancel(true));
    EXPECT_TRUE(QFileInfo::exists(url));
}

// A staging path that cannot hold a file fails the start before any device is opened.
TEST_F(SpeechCaptureTest, StagingPathThatCannotHoldAFileFailsStart) {
    auto capture = makeCapture();
    test::writeFile(home.path() + QStringLiteral("/plain"), "x");
    try {
        test::run(capture->start(std::nullopt, id, home.path() + QStringLiteral("/plain/take.f32")));
        ADD_FAILURE() << "started under a file";
    } catch (const PosixError &e) {
        EXPECT_EQ(e.errnoValue(), ENOTDIR);
    }
    QDir().mkpath(home.path() + QStringLiteral("/taken.f32"));
    EXPECT_EQ(reasonOf(capture->start(std::nullopt, id, home.path() + QStringLiteral("/taken.f32"))),
              SpeechCaptureError::Reason::WriteFailed);
    EXPECT_FALSE(capture->hasWorker());
    EXPECT_TRUE(source.openAttempts().isEmpty());
}

// Without a microphone the fake plays a recording in real time: a file of 44.1 kHz mono
// 16-bit samples at -30 dBFS is recorded at about half level.
TEST_F(SpeechCaptureTest, FakeSourcePlaysARecordingInRealTime) {
    const SpeechAudioFormat mono44k{44100, 1, F::Int16, true};
    const QString recordingFile = home.path() + QStringLiteral("/voice.raw");
    test::writeFile(recordingFile, FakeSpeechCaptureSource::constant(mono44k, 0.0316, 4410));
    ASSERT_TRUE(source.setSignalFromFile(recordingFile, mono44k));
    EXPECT_FALSE(source.setSignalFromFile(home.path() + QStringLiteral("/missing.raw"), mono44k));
    source.setLiveInterval(std::chrono::milliseconds(10));

    auto capture = makeCapture();
    startAndBegin(*capture);
    ASSERT_TRUE(test::waitUntil([&] { return levels.size() >= 4; }));
    const SpeechRecording recording = test::run(capture->stop());
    EXPECT_GE(recording.samples, 3200);
    EXPECT_NEAR(levels[2], 0.5f, 0.01f);
    test::run(capture->cancel(false));
}

// The real input path: it builds everywhere, fails cleanly without a microphone and records
// where one exists.
TEST(SpeechCaptureRealTest, QtSourceOpensADeviceOrFailsCleanly) {
    test::TempHome home;
    QtSpeechCaptureSource source;
    SpeechCapture capture(SpeechCapture::defaultDirectory(), source);
    const QUuid id = QUuid::createUuid();
    if (!source.defaultDevice() && source.devices().empty()) {
        try {
            test::run(capture.start(std::nullopt, id, std::nullopt));
            ADD_FAILURE() << "started without any input device";
        } catch (const SpeechCaptureError &e) {
            EXPECT_EQ(e.reason(), SpeechCaptureError::Reason::Unavailable);
        }
        EXPECT_FALSE(QFileInfo::exists(QDir(SpeechCapture::defaultDirectory()).filePath(uuidString(id) + ".f32")));
        return;
    }
    const QString url = test::run(capture.start(std::nullopt, id, std::nullopt));
    test::run(capture.beginRecording());
    test::spin(std::chrono::milliseconds(300));
    const SpeechRecording recording = test::run(capture.stop());
    EXPECT_EQ(recording.url, url);
    EXPECT_EQ(QFileInfo(url).size(), recording.samples * 4);
    test::run(capture.cancel(false));
}

} // namespace
