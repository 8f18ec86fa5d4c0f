// Model stores: start-up checks, the fingerprint cache, downloads from a loopback hub, cancel.

#include "core/defaults.h"
#include "core/log.h"
#include "modelfixture.h"
#include "models/modelstore.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using Kind = ModelStore::State::Kind;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        servedA = home.path() + QStringLiteral("/served/a.bin");
        servedB = home.path() + QStringLiteral("/served/b.bin");
        const QString shaA = writeSampleFile(servedA, 2 * kPart + 500, 1);
        const QString shaB = writeSampleFile(servedB, 300000, 2);
        serverA = std::make_unique<RangeServer>(servedA);
        serverB = std::make_unique<RangeServer>(servedB);
        manifests = {ModelManifest{serverA->url(), QStringLiteral("writing.gguf"), 2 * kPart + 500, shaA},
                     ModelManifest{serverB->url(), QStringLiteral("draft.gguf"), 300000, shaB}};
        folder = modelsFolder(QStringLiteral("Text"));
        tuning.partBytes = kPart;
        tuning.retryDelays = {1ms, 1ms};
        tuning.availableSpace = [](const QString &) { return std::optional<qint64>(); };
    }

    std::unique_ptr<ModelStore> makeStore() {
        auto store = std::make_unique<ModelStore>(manifests, folder, defaults, inhibitor, tuning);
        QObject::connect(store.get(), &ModelStore::stateChanged,
                         [this, s = store.get()] { seen.push_back(s->state().toString()); });
        return store;
    }

    void placeFiles() {
        copySlice(servedA, folder + QStringLiteral("/writing.gguf"), 0, manifests[0].bytes);
        copySlice(servedB, folder + QStringLiteral("/draft.gguf"), 0, manifests[1].bytes);
    }

    static void settle(ModelStore &store) { run(store.operationEnded()); }

    TempHome home;
    Defaults defaults{QString{}};
    FakeSleepInhibitor inhibitor;
    QString servedA, servedB, folder;
    std::unique_ptr<RangeServer> serverA, serverB;
    std::vector<ModelManifest> manifests;
    ModelStore::Tuning tuning;
    QStringList seen;
};

TEST_F(StoreTest, FirstLaunchWithoutFilesIsUnavailableWithoutHashing) {
    auto store = makeStore();
    EXPECT_EQ(store->state(), Kind::Unavailable);
    EXPECT_FALSE(store->hasOperation());
    EXPECT_EQ(store->readyFileURLs(), std::nullopt);
    EXPECT_EQ(store->verifiedKey(),
              "verifiedModels." + manifests[0].sha256.left(16) + u'-' + manifests[1].sha256.left(16));
}

TEST_F(StoreTest, UnknownFilesAreHashedOnceAndThenTrustedByFingerprint) {
    placeFiles();
    // Hashing runs on a pool thread and, on a busy machine, may end before the constructor
    // returns: what shows that it ran is the cache it fills.
    auto first = makeStore();
    EXPECT_NE(first->state(), Kind::Unavailable);
    settle(*first);
    EXPECT_EQ(first->state(), Kind::Ready);
    const QStringList paths{folder + QStringLiteral("/writing.gguf"), folder + QStringLiteral("/draft.gguf")};
    EXPECT_EQ(first->readyFileURLs(), paths);
    ASSERT_TRUE(first->storedFingerprints());
    EXPECT_EQ(first->storedFingerprints()->at(1), ModelFingerprint::ofFile(paths[1]));

    // The next launch is ready before construction returns, with nothing running.
    auto second = makeStore();
    EXPECT_EQ(second->state(), Kind::Ready);
    EXPECT_FALSE(second->hasOperation());

    // A touched file (same bytes, new date) is hashed again and the cache rewritten.
    const auto before = second->storedFingerprints();
    struct timespec times[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(paths[0]).constData(), times, 0), 0);
    auto third = makeStore();
    settle(*third);
    EXPECT_EQ(third->state(), Kind::Ready);
    ASSERT_TRUE(third->storedFingerprints());
    EXPECT_NE(third->storedFingerprints(), before);
    EXPECT_EQ(third->storedFingerprints()->at(0), ModelFingerprint::ofFile(paths[0]));
    EXPECT_EQ(serverA->requestCount() + serverB->requestCount(), 0);
}

TEST_F(StoreTest, DamagedFileFailsVerificationAndDropsTheCache) {
    placeFiles();
    QByteArray bytes = readFile(folder + QStringLiteral("/draft.gguf"));
    bytes[10] = char(bytes[10] ^ 0x40);
    writeFile(folder + QStringLiteral("/draft.gguf"), bytes);
    defaults.setData(
        ModelStore(manifests, home.path() + QStringLiteral("/elsewhere"), defaults, inhibitor).verifiedKey(),
        "not a fingerprint list");
    LogCapture capture;
    auto store = makeStore();
    settle(*store);
    EXPECT_EQ(store->state(), ModelStore::State::failed(ModelFailure::Checksum));
    EXPECT_FALSE(defaults.contains(store->verifiedKey()));
    EXPECT_TRUE(capture.contains("models", LogLevel::Error, "Model Text failed verification"));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/draft.gguf"))); // files stay on disk
}

TEST_F(StoreTest, ReadyStoreWhoseFileVanishesBecomesUnavailable) {
    placeFiles();
    auto store = makeStore();
    settle(*store);
    ASSERT_EQ(store->state(), Kind::Ready);
    QFile::remove(folder + QStringLiteral("/draft.gguf"));
    EXPECT_EQ(store->readyFileURLs(), std::nullopt);
    EXPECT_EQ(store->state(), Kind::Unavailable);
    store->check();
    EXPECT_EQ(store->state(), Kind::Unavailable);
    EXPECT_FALSE(store->hasOperation());
}

TEST_F(StoreTest, ConstructionRemovesOnlyStaleWorkFolders) {
    const QString current = folder + u'/' + manifests[1].workFolderName();
    const QString stale = folder + QStringLiteral("/.download-0000000000000000");
    writeFile(current + QStringLiteral("/part-0"), "kept");
    writeFile(stale + QStringLiteral("/part-0"), "old");
    writeFile(folder + QStringLiteral("/.download-1111111111111111"), "stale file");
    writeFile(folder + QStringLiteral("/notes.txt"), "mine");
    writeFile(folder + QStringLiteral("/download-0000000000000000/x"), "not a work folder");
    auto store = makeStore();
    EXPECT_TRUE(QFileInfo::exists(current + QStringLiteral("/part-0")));
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/.download-1111111111111111")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/notes.txt")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/download-0000000000000000/x")));
}

TEST_F(StoreTest, DownloadFetchesEachFileInTurnAndBecomesReady) {
    LogCapture capture;
    auto store = makeStore();
    qint64 lastBytes = 0;
    bool bytesWentDown = false;
    QObject::connect(store.get(), &ModelStore::downloadedBytesChanged, [&] {
        bytesWentDown = bytesWentDown || (store->downloadedBytes() < lastBytes && store->downloadedBytes() != 0);
        lastBytes = store->downloadedBytes();
    });
    store->download();
    EXPECT_EQ(store->state(), Kind::Downloading);
    EXPECT_TRUE(store->hasOperation());
    settle(*store);

    EXPECT_EQ(store->state(), Kind::Ready);
    EXPECT_EQ(store->downloadedBytes(), store->totalBytes());
    EXPECT_FALSE(bytesWentDown);
    EXPECT_TRUE(seen.contains("verifying"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/writing.gguf")), readFile(servedA));
    EXPECT_EQ(readFile(folder + QStringLiteral("/draft.gguf")), readFile(servedB));
    EXPECT_TRUE(store->storedFingerprints().has_value());
    EXPECT_TRUE(store->readyFileURLs().has_value());
    EXPECT_TRUE(capture.contains("models", LogLevel::Default, "Model Text download started"));
    EXPECT_TRUE(capture.contains("models", LogLevel::Default, "Model Text download finished"));
    EXPECT_EQ(inhibitor.begun, 1);
    EXPECT_EQ(inhibitor.ended, 1);
    EXPECT_EQ(inhibitor.lastReason, "Downloading models");
    EXPECT_EQ(serverB->requestCount(), 1); // a single part
}

TEST_F(StoreTest, DownloadKeepsFilesThatAlreadyVerify) {
    placeFiles();
    auto store = makeStore();
    settle(*store);
    store->download();
    EXPECT_FALSE(store->storedFingerprints().has_value()); // dropped while downloading
    settle(*store);
    EXPECT_EQ(store->state(), Kind::Ready);
    EXPECT_EQ(store->downloadedBytes(), store->totalBytes());
    EXPECT_EQ(serverA->requestCount() + serverB->requestCount(), 0);
    EXPECT_TRUE(store->storedFingerprints().has_value());
}

TEST_F(StoreTest, AFailedFileEndsTheDownloadAndLeavesTheNextUntouched) {
    serverA->setHandler([](const RangeServer::Request &) -> std::optional<RangeServer::Response> {
        RangeServer::Response r;
        r.status = 404;
        return r;
    });
    const QString draftWork = folder + u'/' + manifests[1].workFolderName();
    writeFile(draftWork + QStringLiteral("/part-0"), "partial draft");
    LogCapture capture;
    auto store = makeStore();
    store->download();
    settle(*store);
    EXPECT_EQ(store->state(), ModelStore::State::failed(ModelFailure::Unavailable));
    EXPECT_TRUE(capture.contains("models", LogLevel::Error, "Model Text download failed: Velmora.ModelFailure 2"));
    EXPECT_EQ(serverB->requestCount(), 0);
    EXPECT_EQ(readFile(draftWork + QStringLiteral("/part-0")), "partial draft");
    EXPECT_EQ(inhibitor.ended, 1);
}

TEST_F(StoreTest, CancelStopsTheDownloadAndFencesItsLateResults) {
    auto store = makeStore();
    store->cancel(); // nothing runs: no effect
    EXPECT_EQ(store->state(), Kind::Unavailable);

    std::atomic<bool> release{false};
    serverA->setHandler([&](const RangeServer::Request &q) -> std::optional<RangeServer::Response> {
        if (q.range && q.range->first == kPart) {
            for (int i = 0; i < 500 && !release; ++i)
                std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    });
    LogCapture capture;
    store->download();
    ASSERT_TRUE(waitUntil([&] { return serverA->requestCount() >= 2; }));
    store->cancel();
    EXPECT_EQ(store->state(), Kind::Canceled);
    EXPECT_TRUE(store->hasOperation()); // until the cancelled task has ended
    store->download();                  // ignored meanwhile
    EXPECT_EQ(store->state(), Kind::Canceled);
    settle(*store);
    release = true;
    EXPECT_EQ(store->state(), Kind::Canceled);
    EXPECT_FALSE(
        capture.contains("models", LogLevel::Error, "Model Text download failed: Velmora.CancellationError 1"));
    EXPECT_FALSE(QFileInfo::exists(folder + u'/' + manifests[0].workFolderName()));
    EXPECT_EQ(inhibitor.ended, 1);

    serverA->setHandler({});
    store->download();
    settle(*store);
    EXPECT_EQ(store->state(), Kind::Ready);
}

TEST(ModelStoreFailures, MapErrorsToTheFailureUsersSee) {
    struct Case {
        std::exception_ptr error;
        ModelFailure failure;
    };
    const Case cases[] = {
        {std::make_exception_ptr(ModelFailureError(ModelFailure::Server)), ModelFailure::Server},
        {std::make_exception_ptr(ModelFailureError(ModelFailure::Checksum)), ModelFailure::Checksum},
        {std::make_exception_ptr(Error(QStringLiteral("Any.Domain"), 640)), ModelFailure::Space},
        {std::make_exception_ptr(PosixError(28)), ModelFailure::Space},
        {std::make_exception_ptr(PosixError(13)), ModelFailure::FileSystem},
        {std::make_exception_ptr(Error(QStringLiteral("Any.Domain"), 28)), ModelFailure::FileSystem},
        {std::make_exception_ptr(std::runtime_error("other")), ModelFailure::FileSystem},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ModelStore::failure(c.error), c.failure) << Log::errorCode(c.error).toStdString();
}

} // namespace
