// Manifests, fingerprints, the SHA-256 verification and the memory figure.

#include "core/defaults.h"
#include "modelfixture.h"
#include "models/modelssettings.h"
#include "models/modelstore.h"

#include <QCborArray>
#include <QCborMap>
#include <QCryptographicHash>

#include <cerrno>

using namespace velmora;
using namespace velmora::test;

namespace {

TEST(ModelManifests, NameTheThreePinnedFilesAndTheirWorkFolders) {
    struct Case {
        ModelManifest manifest;
        const char *filename;
        qint64 bytes;
        const char *work;
        const char *path;
    };
    const Case cases[] = {
        {ModelManifest::speech(), "cohere-transcribe-03-2026-Q5_K_M.gguf", 1770270208, ".download-14d02f1ad6dd77b3",
         "/cohere-transcribe-03-2026-gguf/resolve/ab667acedcb5d8d56837ef3ed3568c3ad50dde47/"
         "cohere-transcribe-03-2026-Q5_K_M.gguf"},
        {ModelManifest::writing(), "gemma-4-E4B-it-qat-UD-Q4_K_XL.gguf", 4215695776, ".download-df0fd4ee07072c60",
         "/gemma-4-E4B-it-qat-GGUF/resolve/8c5a9e4fd5482e2be20fe0bf013b4c262a8f4265/"
         "gemma-4-E4B-it-qat-UD-Q4_K_XL.gguf"},
        {ModelManifest::draft(), "mtp-gemma-4-E4B-it.gguf", 59678016, ".download-423074e537504b4f",
         "/gemma-4-E4B-it-qat-GGUF/resolve/8c5a9e4fd5482e2be20fe0bf013b4c262a8f4265/mtp-gemma-4-E4B-it.gguf"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.filename);
        EXPECT_EQ(c.manifest.filename, QLatin1String(c.filename));
        EXPECT_EQ(c.manifest.bytes, c.bytes);
        EXPECT_EQ(c.manifest.sha256.size(), 64);
        EXPECT_EQ(c.manifest.sha256, c.manifest.sha256.toLower());
        EXPECT_EQ(c.manifest.workFolderName(), QLatin1String(c.work));
        EXPECT_EQ(c.manifest.url.scheme(), "https");
        EXPECT_TRUE(c.manifest.url.path().endsWith(QLatin1String(c.path))) << c.manifest.url.toString().toStdString();
        // account / repository / resolve / revision / file
        EXPECT_EQ(c.manifest.url.path().count(u'/'), 5);
    }
}

TEST(ModelManifests, TheHubAddressComesFromTheDefaultsOrTheLaunchArguments) {
    TempHome home;
    Defaults defaults(QString{});
    EXPECT_EQ(ModelHub::base(defaults), ModelHub::defaultBase());

    defaults.set(kModelHubURL, QStringLiteral("http://127.0.0.1:8123/mirror/"));
    EXPECT_EQ(ModelManifest::draft(ModelHub::base(defaults)).url.toString(),
              QStringLiteral("http://127.0.0.1:8123/mirror/%1/gemma-4-E4B-it-qat-GGUF/resolve/"
                             "8c5a9e4fd5482e2be20fe0bf013b4c262a8f4265/mtp-gemma-4-E4B-it.gguf")
                  .arg(QLatin1String(ModelHub::kTextAccount)));

    defaults.setArguments(
        {QStringLiteral("velmora"), QStringLiteral("-modelHubURL"), QStringLiteral("http://127.0.0.1:9")});
    EXPECT_EQ(ModelHub::base(defaults), QUrl(QStringLiteral("http://127.0.0.1:9")));

    for (const char *unusable : {"", "not a url", "file:///tmp/models", "ftp://example.org"}) {
        defaults.setArguments({QStringLiteral("velmora"), QStringLiteral("-modelHubURL"), QLatin1String(unusable)});
        EXPECT_EQ(ModelHub::base(defaults), ModelHub::defaultBase()) << unusable;
    }
}

TEST(ModelManifests, ModelsLiveBesideTheLibrary) {
    TempHome home;
    EXPECT_EQ(modelsFolder(QStringLiteral("Speech")),
              home.dataHome() + QStringLiteral("/com.velmora.app/Models/Speech"));
    EXPECT_FALSE(QFileInfo::exists(modelsFolder(QStringLiteral("Speech"))));
}

TEST(ModelVerification, DigestMatchesAnIndependentSha256AcrossBlockBoundaries) {
    TempHome home;
    for (const qint64 size : {qint64(0), qint64(3), qint64(1048576), qint64(1048577), qint64(3 * 1048576 - 7)}) {
        SCOPED_TRACE(size);
        const QString path = home.path() + QStringLiteral("/f.bin");
        const QString expected = writeSampleFile(path, size, unsigned(size));
        EXPECT_EQ(sha256OfFile(path), expected);
    }
}

TEST(ModelVerification, AcceptsOnlyTheExactFile) {
    TempHome home;
    const QString dir = home.path();
    const qint64 size = 2 * 1048576 + 100;
    const QString good = dir + QStringLiteral("/good.bin");
    const QString sha = writeSampleFile(good, size);
    const ModelManifest manifest{QUrl(), QStringLiteral("good.bin"), size, sha};

    QByteArray bytes = readFile(good);
    writeFile(dir + QStringLiteral("/short.bin"), bytes.left(size - 1));
    writeFile(dir + QStringLiteral("/long.bin"), bytes + 'x');
    bytes[1500000] = char(bytes[1500000] ^ 1);
    writeFile(dir + QStringLiteral("/flipped.bin"), bytes);
    QDir().mkpath(dir + QStringLiteral("/folder.bin"));
    QFile::link(good, dir + QStringLiteral("/link.bin"));

    ModelManifest upper = manifest;
    upper.sha256 = sha.toUpper();

    struct Case {
        const char *name;
        ModelManifest manifest;
        const char *file;
        QString outcome;
    };
    const Case cases[] = {
        {"exact", manifest, "good.bin", "ok"},
        {"one byte short", manifest, "short.bin", "checksum"},
        {"one byte long", manifest, "long.bin", "checksum"},
        {"one changed byte", manifest, "flipped.bin", "checksum"},
        {"upper-case digest in the manifest", upper, "good.bin", "checksum"},
        {"directory", manifest, "folder.bin", "fileSystem"},
        {"symbolic link", manifest, "link.bin", "fileSystem"},
        {"missing", manifest, "missing.bin", QStringLiteral("NSPOSIXErrorDomain %1").arg(ENOENT)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir + u'/' + QLatin1String(c.file);
        EXPECT_EQ(outcomeOf([&] { c.manifest.verify(path); }), c.outcome);
    }
    // The returned fingerprint is the file's, and verification changes nothing.
    const ModelFingerprint before = ModelFingerprint::ofFile(good);
    EXPECT_EQ(manifest.verify(good), before);
    EXPECT_EQ(ModelFingerprint::ofFile(good), before);
}

TEST(ModelVerification, StopsWithCancellationButNotAfterTheLastBlock) {
    TempHome home;
    const QString path = home.path() + QStringLiteral("/f.bin");
    const QString sha = writeSampleFile(path, 1048576);
    CancellationSource source;
    source.cancel();
    const ModelManifest manifest{QUrl(), QStringLiteral("f.bin"), 1048576, sha};
    EXPECT_EQ(outcomeOf([&] { manifest.verify(path, source.token()); }), "cancelled");

    // An empty file ends at the first (empty) read, with no cancellation check.
    const QString empty = home.path() + QStringLiteral("/empty.bin");
    writeFile(empty, {});
    const ModelManifest none{QUrl(), QStringLiteral("empty.bin"), 0,
                             QString::fromLatin1(QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex())};
    EXPECT_EQ(outcomeOf([&] { none.verify(empty, source.token()); }), "ok");
}

TEST(ModelFingerprints, CompareEveryFieldAndSurviveTheirStoredForm) {
    const ModelFingerprint a{10, 1000, 2000, 77};
    ModelFingerprint noCreated = a;
    noCreated.created.reset();
    ModelFingerprint otherFile = a;
    otherFile.fileID = 78;
    ModelFingerprint touched = a;
    touched.modified = 1001;
    EXPECT_NE(a, noCreated);
    EXPECT_NE(a, otherFile);
    EXPECT_NE(a, touched);

    const ModelFingerprint huge{4215695776, 1765400000123456789, std::nullopt, ~0ULL - 5};
    const std::vector<ModelFingerprint> list{a, noCreated, huge};
    EXPECT_EQ(decodeFingerprints(encodeFingerprints(list)), list);
    EXPECT_EQ(decodeFingerprints(encodeFingerprints({})), std::vector<ModelFingerprint>{});

    QCborMap withoutFileID;
    withoutFileID.insert(QStringLiteral("size"), 10);
    QCborMap textSize;
    textSize.insert(QStringLiteral("size"), QStringLiteral("10"));
    textSize.insert(QStringLiteral("fileID"), 1);
    for (const QByteArray &data :
         {QCborValue(QCborArray{withoutFileID}).toCbor(), QCborValue(QCborArray{textSize}).toCbor(),
          QByteArray("garbage"), QCborValue(QCborMap{}).toCbor()})
        EXPECT_FALSE(decodeFingerprints(data).has_value());
}

TEST(ModelFingerprints, FollowTheFileOnDisk) {
    TempHome home;
    const QString path = home.path() + QStringLiteral("/f.bin");
    writeFile(path, "abc");
    const ModelFingerprint first = ModelFingerprint::ofFile(path);
    EXPECT_EQ(first.size, 3);
    EXPECT_NE(first.fileID, 0u);
    EXPECT_TRUE(first.modified.has_value());
    EXPECT_EQ(ModelFingerprint::ofFile(path), first);
    // Same contents written anew: another file number or date.
    QFile::remove(path);
    writeFile(home.path() + QStringLiteral("/keep-inode-busy"), "x");
    writeFile(path, "abc");
    EXPECT_NE(ModelFingerprint::ofFile(path), first);
}

TEST(ModelMemoryFigure, RoundsToWholeGigabytesBeforeTheGate) {
    TempHome home;
    Defaults defaults(QString{});
    constexpr quint64 GiB = 1ULL << 30;
    struct Case {
        quint64 machine;
        qint64 fake;
        quint64 bytes;
        int gigabytes;
        bool allowed;
    };
    const Case cases[] = {
        {quint64(15.5 * GiB), 0, quint64(15.5 * GiB), 16, true}, // a 16 GB machine as Linux reports it
        {quint64(15.4 * GiB), 0, quint64(15.4 * GiB), 15, false},
        {16 * GiB, 0, 16 * GiB, 16, true},
        {quint64(7.6 * GiB), 0, quint64(7.6 * GiB), 8, false},
        {64 * GiB, 8, 8 * GiB, 8, false}, // the override wins
        {8 * GiB, 32, 32 * GiB, 32, true},
        {quint64(15.5 * GiB), -4, quint64(15.5 * GiB), 16, true}, // ignored when not above 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.machine);
        defaults.set(kFakeMemoryGB, c.fake);
        const quint64 bytes = ModelMemory::physicalBytes(defaults, [&] { return c.machine; });
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(ModelMemory::roundedGigabytes(bytes), c.gigabytes);
        EXPECT_EQ(ModelMemory::meetsRequirement(bytes), c.allowed);
    }
    EXPECT_GT(ModelMemory::systemBytes(), 0u);
}

} // namespace
