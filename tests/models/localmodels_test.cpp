// The pair of model stores: free space, progress, failure texts, downloads of both stores.

#include "core/defaults.h"
#include "modelfixture.h"
#include "models/localmodels.h"
#include "models/modelssettings.h"

#include <QTranslator>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using Kind = ModelStore::State::Kind;

namespace {

constexpr qint64 kMargin = ModelDownload::kSpaceMargin;

class PairTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString dir = home.path() + QStringLiteral("/served/");
        const QString shaS = writeSampleFile(dir + QStringLiteral("s.bin"), kPart + 10, 1);
        const QString shaW = writeSampleFile(dir + QStringLiteral("w.bin"), 2 * kPart + 20, 2);
        const QString shaD = writeSampleFile(dir + QStringLiteral("d.bin"), 4000, 3);
        speechServer = std::make_unique<RangeServer>(dir + QStringLiteral("s.bin"));
        writingServer = std::make_unique<RangeServer>(dir + QStringLiteral("w.bin"));
        draftServer = std::make_unique<RangeServer>(dir + QStringLiteral("d.bin"));
        setup.speechManifests = {ModelManifest{speechServer->url(), QStringLiteral("speech.gguf"), kPart + 10, shaS}};
        setup.speechFolder = modelsFolder(QStringLiteral("Speech"));
        setup.textManifests = {
            ModelManifest{writingServer->url(), QStringLiteral("writing.gguf"), 2 * kPart + 20, shaW},
            ModelManifest{draftServer->url(), QStringLiteral("draft.gguf"), 4000, shaD}};
        setup.textFolder = modelsFolder(QStringLiteral("Text"));
        setup.spaceFolder = home.dataHome();
        setup.tuning.partBytes = kPart;
        setup.tuning.retryDelays = {1ms};
        setup.tuning.availableSpace = [this](const QString &) { return available; };
        setup.machineMemory = [] { return quint64(15.5 * double(1ULL << 30)); };
    }

    int requests() const {
        return speechServer->requestCount() + writingServer->requestCount() + draftServer->requestCount();
    }

    static void settle(LocalModels &models) {
        run(models.speech().operationEnded());
        run(models.text().operationEnded());
    }

    TempHome home;
    Defaults defaults{QString{}};
    FakeSleepInhibitor inhibitor;
    std::unique_ptr<RangeServer> speechServer, writingServer, draftServer;
    LocalModels::Setup setup;
    std::optional<qint64> available;
};

TEST_F(PairTest, TooLittleSpaceFailsBothStoresAndNamesTheNeed) {
    LocalModels models(defaults, inhibitor, setup);
    ASSERT_EQ(models.speech().state(), Kind::Unavailable);
    ASSERT_EQ(models.text().state(), Kind::Unavailable);
    const qint64 need = kMargin + 2 * (kPart + 10) + 2 * (2 * kPart + 20) + 2 * 4000;
    EXPECT_EQ(models.requiredFreeBytes(), need);
    EXPECT_EQ(models.pendingBytes(), models.totalBytes());

    available = need - 1;
    models.download();
    EXPECT_EQ(models.speech().state(), ModelStore::State::failed(ModelFailure::Space));
    EXPECT_EQ(models.text().state(), ModelStore::State::failed(ModelFailure::Space));
    EXPECT_FALSE(models.speech().hasOperation());
    EXPECT_EQ(requests(), 0);
    EXPECT_EQ(models.failureMessage(), QStringLiteral("Not enough disk space. The download needs %1 free. Free up "
                                                      "some space, then click Retry.")
                                           .arg(LocalModels::formatFileSize(need)));
}

TEST_F(PairTest, TheNeedCountsPartsOnDiskAndSkipsFullSizeFiles) {
    const auto &writing = setup.textManifests[0];
    writeFile(setup.textFolder + u'/' + writing.workFolderName() + QStringLiteral("/part-0"), QByteArray(kPart, 'p'));
    writeFile(setup.textFolder + u'/' + writing.workFolderName() + QStringLiteral("/part-1"), QByteArray(100, 'p'));
    // The right size with the wrong bytes counts as present here (nothing is hashed).
    writeFile(setup.textFolder + QStringLiteral("/draft.gguf"), QByteArray(4000, 'x'));
    LocalModels models(defaults, inhibitor, setup);
    settle(models);
    ASSERT_EQ(models.text().state(), Kind::Unavailable); // the writing model is missing
    const qint64 need = kMargin + 2 * (kPart + 10) + 2 * (2 * kPart + 20) - (kPart + 100);
    EXPECT_EQ(models.requiredFreeBytes(), need);
}

TEST_F(PairTest, DownloadsBothStoresWhileCountingProgressToTheEnd) {
    LocalModels models(defaults, inhibitor, setup);
    EXPECT_EQ(models.percentText(QLocale(QLocale::English)), "0%");
    EXPECT_EQ(models.downloadProgress(), (std::pair<qint64, qint64>(0, 0)));
    EXPECT_FALSE(models.isVerifying());

    available = models.requiredFreeBytes();
    std::vector<std::pair<qint64, qint64>> progress;
    QObject::connect(&models, &LocalModels::changed, [&] { progress.push_back(models.downloadProgress()); });
    models.download();
    EXPECT_EQ(models.speech().state(), Kind::Downloading);
    EXPECT_EQ(models.text().state(), Kind::Downloading);
    EXPECT_EQ(models.pendingBytes(), 0);
    models.download(); // already running: nothing new starts
    settle(models);

    EXPECT_TRUE(models.isReady());
    EXPECT_FALSE(models.failureMessage().has_value());
    EXPECT_EQ(models.downloadProgress(), (std::pair<qint64, qint64>(models.totalBytes(), models.totalBytes())));
    EXPECT_EQ(models.percentText(QLocale(QLocale::English)), "100%");
    EXPECT_EQ(requests(), 2 + 3 + 1);
    // A store that finishes first keeps counting: the total never shrinks, done never passes it.
    qint64 lastTotal = 0;
    for (const auto &[done, total] : progress) {
        EXPECT_LE(done, total);
        EXPECT_GE(total, lastTotal);
        lastTotal = total;
    }
    EXPECT_EQ(lastTotal, models.totalBytes());
    EXPECT_EQ(models.speech().readyFileURLs(), QStringList{setup.speechFolder + QStringLiteral("/speech.gguf")});

    // A store ready at launch does not count in the next run's progress.
    LocalModels later(defaults, inhibitor, setup);
    EXPECT_TRUE(later.isReady());
    EXPECT_EQ(later.downloadProgress(), (std::pair<qint64, qint64>(0, 0)));
}

TEST_F(PairTest, TheSpeechStoresFailureIsShownFirst) {
    speechServer->setHandler([](const RangeServer::Request &) -> std::optional<RangeServer::Response> {
        RangeServer::Response r;
        r.status = 503;
        return r;
    });
    writingServer->setHandler([](const RangeServer::Request &) -> std::optional<RangeServer::Response> {
        RangeServer::Response r;
        r.status = 410;
        return r;
    });
    LocalModels models(defaults, inhibitor, setup);
    models.download();
    settle(models);
    EXPECT_EQ(models.speech().state(), ModelStore::State::failed(ModelFailure::Server));
    EXPECT_EQ(models.text().state(), ModelStore::State::failed(ModelFailure::Unavailable));
    EXPECT_EQ(models.failureMessage(), "The download server is busy. Wait a few minutes, then click Retry.");
    EXPECT_EQ(models.pendingBytes(), models.totalBytes());
}

TEST_F(PairTest, CancelReachesOnlyTheStoreThatDownloads) {
    // The speech model is already in place; only the text store downloads.
    copySlice(home.path() + QStringLiteral("/served/s.bin"), setup.speechFolder + QStringLiteral("/speech.gguf"), 0,
              kPart + 10);
    std::atomic<bool> release{false};
    writingServer->setHandler([&](const RangeServer::Request &) -> std::optional<RangeServer::Response> {
        for (int i = 0; i < 500 && !release; ++i)
            std::this_thread::sleep_for(10ms);
        return std::nullopt;
    });
    LocalModels models(defaults, inhibitor, setup);
    settle(models);
    ASSERT_EQ(models.speech().state(), Kind::Ready);
    EXPECT_EQ(models.pendingBytes(), models.text().totalBytes());
    EXPECT_EQ(models.requiredFreeBytes(), kMargin + 2 * (2 * kPart + 20) + 2 * 4000);
    models.download();
    EXPECT_EQ(models.speech().state(), Kind::Ready);
    ASSERT_TRUE(waitUntil([&] { return writingServer->requestCount() > 0; }));
    models.cancel();
    EXPECT_EQ(models.text().state(), Kind::Canceled);
    EXPECT_EQ(models.speech().state(), Kind::Ready);
    settle(models);
    release = true;
    EXPECT_EQ(models.text().state(), Kind::Canceled);
    EXPECT_FALSE(models.failureMessage().has_value());
    EXPECT_EQ(models.pendingBytes(), models.text().totalBytes());
}

TEST_F(PairTest, MemoryFigureIsRoundedForTheGateAndTheNotice) {
    LocalModels models(defaults, inhibitor, setup);
    EXPECT_EQ(models.memoryGigabytes(), 16);
    EXPECT_TRUE(models.meetsMemoryRequirement());
    defaults.set(kFakeMemoryGB, qint64(8));
    LocalModels small(defaults, inhibitor, setup);
    EXPECT_EQ(small.physicalMemoryBytes(), 8589934592ULL);
    EXPECT_FALSE(small.meetsMemoryRequirement());
}

TEST(ModelDownloadSettings, TheProgramDownloadsWithTheProductionSettings) {
    // Every other test shortens them.
    TempHome home;
    Defaults defaults(QString{});
    const ModelStore::Tuning tuning = LocalModels::Setup::standard(defaults).tuning;
    EXPECT_EQ(tuning.partBytes, 67108864); // 64 MiB
    EXPECT_EQ(tuning.retryDelays, (std::vector<std::chrono::milliseconds>{2s, 4s, 8s, 16s, 30s}));
    EXPECT_EQ(tuning.transferTimeout, 30s);
}

TEST(ModelTexts, EveryFailureHasItsText) {
    const QLocale en(QLocale::English);
    struct Case {
        ModelFailure failure;
        const char *text;
    };
    const Case cases[] = {
        {ModelFailure::Network, "Download interrupted. Click Retry to continue."},
        {ModelFailure::Server, "The download server is busy. Wait a few minutes, then click Retry."},
        {ModelFailure::Unavailable, "This download is no longer available. Check for a Velmora update."},
        {ModelFailure::InvalidResponse,
         "Couldn't reach the download server. Check your internet connection, then click Retry."},
        {ModelFailure::Checksum, "The download was damaged. Click Retry to download it again."},
        {ModelFailure::Space,
         "Not enough disk space. The download needs 12.16 GB free. Free up some space, then click Retry."},
        {ModelFailure::FileSystem, "Couldn't save the download to this computer. Restart Velmora and try again."},
    };
    const qint64 firstDownload = kMargin + 2 * (1770270208LL + 4215695776LL + 59678016LL);
    for (const Case &c : cases)
        EXPECT_EQ(LocalModels::message(c.failure, firstDownload, en), QLatin1String(c.text));

    // In Japanese every text is translated and the needed size still appears.
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/translations/models_ja.qm")));
    QCoreApplication::installTranslator(&japanese);
    for (const Case &c : cases) {
        const QString text = LocalModels::message(c.failure, firstDownload, QLocale(QLocale::Japanese));
        EXPECT_NE(text, QLatin1String(c.text));
        EXPECT_FALSE(text.isEmpty());
    }
    EXPECT_TRUE(LocalModels::message(ModelFailure::Space, firstDownload, QLocale(QLocale::Japanese))
                    .contains(QStringLiteral("12.16 GB")));
    QCoreApplication::removeTranslator(&japanese);

    const std::pair<qint64, const char *> sizes[] = {
        {0, "Zero KB"}, {999, "999 bytes"}, {1500, "2 KB"}, {67108864, "67.1 MB"}, {4215695776, "4.22 GB"}};
    for (const auto &[bytes, text] : sizes)
        EXPECT_EQ(LocalModels::formatFileSize(bytes, en), QLatin1String(text));
}

} // namespace
