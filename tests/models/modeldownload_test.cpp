// The ranged downloader against a real loopback server that can misbehave.

#include "modelfixture.h"
#include "models/modeldownload.h"

#include <atomic>
#include <map>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

// How many times Qt sends one request again by itself at the most, when a connection closes
// before it has read the answer.
constexpr int kQtResends = 3;

// What Qt's own resends add to the requests on the wire.
enum class Resends {
    None,
    // Reported resends count as attempts, so only the last attempt may add some of its own.
    Reported,
    // When the connection drops in the middle of a body, the wire can carry more requests than
    // Qt reported (a loaded machine showed seven for six transfers that each reported one),
    // so every attempt may add some.
    Unreported,
};

// The most requests on the wire for this many attempts.
int mostRequests(int attempts, Resends resends) {
    switch (resends) {
    case Resends::None: return attempts;
    case Resends::Reported: return attempts + kQtResends;
    case Resends::Unreported: return attempts * (1 + kQtResends);
    }
    return attempts;
}

constexpr qint64 kSize = 5 * kPart + 12345; // six parts, the last one short

using Response = RangeServer::Response;
using Request = RangeServer::Request;

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        served = home.path() + QStringLiteral("/served/model.bin");
        sha = writeSampleFile(served, kSize);
        server = std::make_unique<RangeServer>(served);
        folder = home.dataHome() + QStringLiteral("/com.velmora.app/Models/Text");
    }

    ModelDownload makeDownload() {
        ModelDownload d;
        d.manifest = ModelManifest{server->url(), QStringLiteral("model.gguf"), kSize, sha};
        d.folder = folder;
        d.partBytes = kPart;
        d.retryDelays = {1ms, 1ms, 1ms, 1ms, 1ms};
        d.availableSpace = [](const QString &) { return std::optional<qint64>(); };
        d.progress = [this](int part, qint64 bytes) {
            progress[part] = bytes;
            progressLog.push_back({part, bytes, server->requestCount()});
        };
        d.verifying = [this] { ++verifyingCalls; };
        return d;
    }

    // Requests for the part that starts at first.
    int requestsFor(qint64 first) const {
        int n = 0;
        for (const auto &r : server->requests())
            n += r.range && r.range->first == first;
        return n;
    }

    QString workFolder() const { return makeWork(sha); }
    QString makeWork(const QString &digest) const { return folder + QStringLiteral("/.download-") + digest.left(16); }
    QString finalFile() const { return folder + QStringLiteral("/model.gguf"); }

    struct ProgressCall {
        int part;
        qint64 bytes;
        int requestsSoFar;
    };

    TempHome home;
    QString served;
    QString sha;
    QString folder;
    std::unique_ptr<RangeServer> server;
    std::map<int, qint64> progress;
    std::vector<ProgressCall> progressLog;
    int verifyingCalls = 0;
};

TEST_F(DownloadTest, PartRangesCoverTheFileInPartSizedSteps) {
    struct Case {
        ModelManifest manifest;
        size_t parts;
        qint64 lastLength;
    };
    const Case cases[] = {
        {ModelManifest::speech(), 27, 1770270208 - 26 * ModelDownload::kPartBytes},
        {ModelManifest::writing(), 63, 4215695776 - 62 * ModelDownload::kPartBytes},
        {ModelManifest::draft(), 1, 59678016},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.manifest.filename.toStdString());
        ModelDownload d;
        d.manifest = c.manifest;
        const auto ranges = d.partRanges();
        ASSERT_EQ(ranges.size(), c.parts);
        EXPECT_EQ(ranges.front().first, 0);
        for (size_t k = 1; k < ranges.size(); ++k)
            EXPECT_EQ(ranges[k].first, ranges[k - 1].last + 1);
        EXPECT_EQ(ranges.back().last, c.manifest.bytes - 1);
        EXPECT_EQ(ranges.back().length(), c.lastLength);
    }
}

TEST_F(DownloadTest, FetchesRangesFourAtATimeAndPlacesTheVerifiedFile) {
    const ModelDownload d = makeDownload();
    ASSERT_EQ(outcomeOf(d.run()), "ok");

    EXPECT_EQ(readFile(finalFile()), readFile(served));
    EXPECT_FALSE(exists(workFolder()));
    EXPECT_EQ(verifyingCalls, 1);
    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 6u);
    std::set<qint64> firsts;
    for (const auto &r : requests) {
        EXPECT_EQ(r.headers.at("accept-encoding"), "identity");
        ASSERT_TRUE(r.range);
        EXPECT_EQ(r.range->second, std::min(r.range->first + kPart, kSize) - 1);
        firsts.insert(r.range->first);
    }
    EXPECT_EQ(firsts.size(), 6u);
    EXPECT_LE(server->maxInFlight(), ModelDownload::kPartsInFlight);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(progress[k], k < 5 ? kPart : 12345) << "part " << k;
}

TEST_F(DownloadTest, ResumesFromCompletePartsAndRefetchesAHalfWrittenOne) {
    const QString work = workFolder();
    for (int k = 0; k < 3; ++k)
        copySlice(served, work + QStringLiteral("/part-%1").arg(k), k * kPart, kPart);
    copySlice(served, work + QStringLiteral("/part-3"), 3 * kPart, kPart / 2);
    writeFile(work + QStringLiteral("/assembled"), "stale join");
    writeFile(work + QStringLiteral("/transfer-0D5A3B1C-0000-4000-8000-000000000000"), "stale transfer");
    EXPECT_EQ(ModelDownload::bytesPresent(work), 3 * kPart + kPart / 2);

    std::atomic<bool> sawStale{false};
    const QString assembled = work + QStringLiteral("/assembled");
    server->setHandler([&](const Request &) -> std::optional<Response> {
        sawStale = sawStale || QFileInfo::exists(assembled);
        return std::nullopt;
    });
    const ModelDownload d = makeDownload();
    ASSERT_EQ(outcomeOf(d.run()), "ok");

    EXPECT_FALSE(sawStale);
    // The complete parts are reported before anything is requested.
    ASSERT_GE(progressLog.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(progressLog[size_t(k)].part, k);
        EXPECT_EQ(progressLog[size_t(k)].bytes, kPart);
        EXPECT_EQ(progressLog[size_t(k)].requestsSoFar, 0);
    }
    std::set<qint64> firsts;
    for (const auto &r : server->requests())
        firsts.insert(r.range->first);
    EXPECT_EQ(firsts, (std::set<qint64>{3 * kPart, 4 * kPart, 5 * kPart}));
    EXPECT_EQ(readFile(finalFile()), readFile(served));
    EXPECT_FALSE(exists(work));
}

TEST_F(DownloadTest, AcceptsTheWholeFileOnlyForTheFirstRequestOfAFreshDownload) {
    // A hub that ignores "Range".
    server->setHandler([&](const Request &) -> std::optional<Response> {
        Response r;
        r.offset = 0;
        r.length = server->fileSize();
        return r;
    });
    {
        const ModelDownload d = makeDownload();
        ASSERT_EQ(outcomeOf(d.run()), "ok");
        EXPECT_EQ(server->requestCount(), 1);
        EXPECT_EQ(readFile(finalFile()), readFile(served));
    }
    // With a part already on disk the same answer is a protocol violation.
    QFile::remove(finalFile());
    copySlice(served, workFolder() + QStringLiteral("/part-0"), 0, kPart);
    const ModelDownload d = makeDownload();
    EXPECT_EQ(outcomeOf(d.run()), "invalidResponse");
    EXPECT_FALSE(exists(workFolder()));
    EXPECT_FALSE(exists(finalFile()));
}

// A fault on the fourth part, while the others are served honestly.
struct FaultCase {
    const char *name;
    std::function<std::optional<Response>(RangeServer &, const Request &)> fault;
    const char *outcome;
    int attempts;   // requests for the faulty part
    bool partsKept; // whether the completed parts stay for the next run
    Resends resends = Resends::None;
};

// The honest answer with its body cut after half of it, sent with its length or in chunks.
Response cutInHalf(RangeServer &s, const Request &q, bool chunked) {
    Response r = s.honest(q);
    r.dropAfter = r.length / 2;
    r.chunked = chunked;
    return r;
}

Response withHeader(Response r, const std::string &name, const std::string &value) {
    for (auto &[n, v] : r.headers) {
        if (n == name) {
            v = value;
            return r;
        }
    }
    r.headers.emplace_back(name, value);
    return r;
}

Response status(int code) {
    Response r;
    r.status = code;
    r.body = "no";
    return r;
}

TEST_F(DownloadTest, FaultsEndAsTheirKindAndNeverPlaceAFile) {
    const FaultCase cases[] = {
        {"404", [](RangeServer &, const Request &) { return status(404); }, "unavailable", 1, false},
        {"401", [](RangeServer &, const Request &) { return status(401); }, "unavailable", 1, false},
        {"403", [](RangeServer &, const Request &) { return status(403); }, "unavailable", 1, false},
        {"410", [](RangeServer &, const Request &) { return status(410); }, "unavailable", 1, false},
        {"503 throughout", [](RangeServer &, const Request &) { return status(503); }, "server", 6, true},
        {"429 throughout", [](RangeServer &, const Request &) { return status(429); }, "server", 6, true},
        {"500 throughout", [](RangeServer &, const Request &) { return status(500); }, "server", 6, true},
        {"connection dropped mid-part", [](RangeServer &s, const Request &q) { return cutInHalf(s, q, false); },
         "network", 6, true, Resends::Unreported},
        {"chunked body cut mid-part", [](RangeServer &s, const Request &q) { return cutInHalf(s, q, true); }, "network",
         6, true, Resends::Unreported},
        {"connection closed without an answer",
         [](RangeServer &, const Request &) {
             Response r;
             r.closeWithoutAnswer = true;
             return r;
         },
         "network", 6, true, Resends::Reported},
        {"unexpected status", [](RangeServer &, const Request &) { return status(418); }, "invalidResponse", 1, false},
        {"200 to a later part",
         [](RangeServer &s, const Request &) {
             Response r;
             r.offset = 0;
             r.length = s.fileSize();
             return r;
         },
         "invalidResponse", 1, false},
        {"Content-Range with another total",
         [](RangeServer &s, const Request &q) {
             return withHeader(s.honest(q), "Content-Range",
                               "bytes " + std::to_string(q.range->first) + "-" + std::to_string(q.range->second) + "/" +
                                   std::to_string(s.fileSize() + 1));
         },
         "invalidResponse", 1, false},
        {"Content-Range with an unknown total",
         [](RangeServer &s, const Request &q) {
             return withHeader(s.honest(q), "Content-Range",
                               "bytes " + std::to_string(q.range->first) + "-" + std::to_string(q.range->second) +
                                   "/*");
         },
         "invalidResponse", 1, false},
        {"Content-Range missing",
         [](RangeServer &s, const Request &q) {
             Response r = s.honest(q);
             r.headers.clear();
             return r;
         },
         "invalidResponse", 1, false},
        // Shorter than its range is a body that lost its connection, announced length or not.
        {"body one byte short",
         [](RangeServer &s, const Request &q) {
             Response r = s.honest(q);
             r.length -= 1;
             return r;
         },
         "network", 6, true},
        {"body one byte long",
         [](RangeServer &s, const Request &q) {
             Response r = s.honest(q);
             r.length += 1;
             return r;
         },
         "invalidResponse", 1, false},
        {"gzip encoding",
         [](RangeServer &s, const Request &q) { return withHeader(s.honest(q), "Content-Encoding", "gzip"); },
         "invalidResponse", 1, false},
        // Qt drops a header whose value is empty, so the encoding cannot be told; the digest
        // still keeps bytes that are not the file's from landing.
        {"empty encoding over other bytes",
         [](RangeServer &s, const Request &q) {
             Response r = withHeader(s.honest(q), "Content-Encoding", "");
             r.body.assign(size_t(r.length), 'x');
             r.offset = -1;
             return r;
         },
         "checksum", 1, false},
    };
    const qint64 faulty = 3 * kPart;
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        server = std::make_unique<RangeServer>(served);
        RangeServer *s = server.get();
        auto fault = c.fault;
        server->setHandler([s, fault, faulty](const Request &q) -> std::optional<Response> {
            if (q.range && q.range->first == faulty)
                return fault(*s, q);
            return std::nullopt;
        });
        const ModelDownload d = makeDownload();
        EXPECT_EQ(outcomeOf(d.run()), c.outcome);
        EXPECT_GE(requestsFor(faulty), c.attempts);
        EXPECT_LE(requestsFor(faulty), mostRequests(c.attempts, c.resends));
        EXPECT_FALSE(exists(finalFile()));
        EXPECT_FALSE(exists(workFolder() + QStringLiteral("/assembled")));
        // Part 0 is always fetched (alone) before the others start.
        EXPECT_EQ(exists(workFolder() + QStringLiteral("/part-0")), c.partsKept);
        EXPECT_EQ(exists(workFolder()), c.partsKept);
        if (!c.partsKept)
            continue;
        // The next run resumes: the kept parts are not fetched again.
        server->setHandler({});
        const int before = requestsFor(0);
        const ModelDownload again = makeDownload();
        EXPECT_EQ(outcomeOf(again.run()), "ok");
        EXPECT_EQ(requestsFor(0), before);
        EXPECT_EQ(readFile(finalFile()), readFile(served));
    }
}

TEST_F(DownloadTest, TransientFaultsAreRetriedUntilThePartArrives) {
    struct Case {
        const char *name;
        int failures;
        std::function<Response(RangeServer &, const Request &)> fault;
        Resends resends = Resends::None; // as in the table above
    };
    const Case cases[] = {
        {"503 twice", 2, [](RangeServer &, const Request &) { return status(503); }},
        {"429 five times", 5, [](RangeServer &, const Request &) { return status(429); }},
        {"dropped once", 1,
         [](RangeServer &s, const Request &q) {
             Response r = s.honest(q);
             r.dropAfter = 1000;
             return r;
         },
         Resends::Unreported},
        {"chunked and cut twice", 2, [](RangeServer &s, const Request &q) { return cutInHalf(s, q, true); },
         Resends::Unreported},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        server = std::make_unique<RangeServer>(served);
        RangeServer *s = server.get();
        auto remaining = std::make_shared<std::atomic<int>>(c.failures);
        auto fault = c.fault;
        server->setHandler([s, fault, remaining](const Request &q) -> std::optional<Response> {
            if (q.range && q.range->first == 2 * kPart && remaining->fetch_sub(1) > 0)
                return fault(*s, q);
            return std::nullopt;
        });
        const ModelDownload d = makeDownload();
        EXPECT_EQ(outcomeOf(d.run()), "ok");
        EXPECT_GE(requestsFor(2 * kPart), c.failures + 1);
        EXPECT_LE(requestsFor(2 * kPart), mostRequests(c.failures, c.resends) + 1);
        EXPECT_EQ(readFile(finalFile()), readFile(served));
    }
}

// Qt sometimes finishes a reply whose connection dropped in the middle of its body without any
// error (more often on a busy machine); the short body must still count as a transport failure.
TEST_F(DownloadTest, ABodyCutShortKeepsEveryFinishedPart) {
    for (const bool chunked : {true, false}) {
        SCOPED_TRACE(chunked ? "chunked" : "with a length");
        QDir(folder).removeRecursively();
        server = std::make_unique<RangeServer>(served);
        RangeServer *s = server.get();
        server->setHandler([s, chunked](const Request &q) -> std::optional<Response> {
            if (q.range && q.range->first == 3 * kPart)
                return cutInHalf(*s, q, chunked);
            return std::nullopt;
        });
        const ModelDownload d = makeDownload();
        EXPECT_EQ(outcomeOf(d.run()), "network");
        // Six attempts, and whatever Qt sent again by itself.
        EXPECT_GE(requestsFor(3 * kPart), 6);
        EXPECT_LE(requestsFor(3 * kPart), mostRequests(6, Resends::Unreported));
        // Part 0 always finishes (alone, first); a sibling stopped by the failure may be
        // missing, but every part file left is whole.
        ASSERT_TRUE(exists(workFolder() + QStringLiteral("/part-0")));
        std::set<qint64> kept;
        for (int k = 0; k < 6; ++k) {
            const QFileInfo part(workFolder() + QStringLiteral("/part-%1").arg(k));
            if (!part.exists())
                continue;
            EXPECT_NE(k, 3);
            EXPECT_EQ(part.size(), k < 5 ? kPart : 12345) << "part " << k;
            kept.insert(k * kPart);
        }
        // The next run asks only for the parts that are not on disk.
        server->setHandler({});
        const auto before = server->requests().size();
        const ModelDownload again = makeDownload();
        ASSERT_EQ(outcomeOf(again.run()), "ok");
        const auto requests = server->requests();
        for (size_t i = before; i < requests.size(); ++i)
            EXPECT_FALSE(kept.count(requests[i].range->first)) << requests[i].range->first;
        EXPECT_EQ(readFile(finalFile()), readFile(served));
    }
}

TEST_F(DownloadTest, ServedFileThatDiffersFromTheManifestNeverLandsUnderItsName) {
    struct Case {
        const char *name;
        qint64 servedSize;
        unsigned seed;
        const char *outcome;
    };
    const Case cases[] = {
        {"one byte short", kSize - 1, 1, "invalidResponse"},
        {"one byte long", kSize + 1, 1, "invalidResponse"},
        {"same size, other bytes", kSize, 2, "checksum"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        const QString other = home.path() + QStringLiteral("/served/other.bin");
        writeSampleFile(other, c.servedSize, c.seed);
        RangeServer otherServer(other);
        ModelDownload d = makeDownload();
        d.manifest.url = otherServer.url();
        EXPECT_EQ(outcomeOf(d.run()), c.outcome);
        EXPECT_FALSE(exists(finalFile()));
        EXPECT_FALSE(exists(workFolder()));
    }
}

QCoro::Task<> runAndRecord(const ModelDownload *d, CancellationToken token, QString *result, bool *done) {
    try {
        co_await d->run(token);
        *result = QStringLiteral("ok");
    } catch (const CancelledError &) {
        *result = QStringLiteral("cancelled");
    } catch (const ModelFailureError &e) {
        *result = toString(e.kind());
    } catch (...) {
        *result = QStringLiteral("other");
    }
    *done = true;
}

TEST_F(DownloadTest, CancellingDuringAPartDiscardsTheWorkFolder) {
    std::atomic<bool> release{false};
    server->setHandler([&](const Request &q) -> std::optional<Response> {
        if (q.range && q.range->first == 2 * kPart) {
            for (int i = 0; i < 500 && !release; ++i)
                std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    });
    const ModelDownload d = makeDownload();
    CancellationSource source;
    QString result;
    bool done = false;
    auto task = runAndRecord(&d, source.token(), &result, &done);
    ASSERT_TRUE(waitUntil([&] { return requestsFor(2 * kPart) == 1; }));
    ASSERT_TRUE(waitUntil([&] { return exists(workFolder() + QStringLiteral("/part-0")); }));
    source.cancel();
    ASSERT_TRUE(waitUntil([&] { return done; }));
    release = true;
    EXPECT_EQ(result, "cancelled");
    EXPECT_FALSE(exists(workFolder()));
    EXPECT_FALSE(exists(finalFile()));
}

TEST_F(DownloadTest, TooLittleSpaceFailsBeforeTouchingTheDisk) {
    const QString work = workFolder();
    copySlice(served, work + QStringLiteral("/part-0"), 0, kPart);
    // Needed: twice the file, less the part on disk, plus the 64 MiB margin.
    const qint64 required = 2 * kSize - kPart + ModelDownload::kSpaceMargin;
    for (const qint64 available : {required - 1, required}) {
        SCOPED_TRACE(available);
        ModelDownload d = makeDownload();
        d.availableSpace = [available](const QString &) { return std::optional<qint64>(available); };
        if (available < required) {
            EXPECT_EQ(outcomeOf(d.run()), "space");
            EXPECT_EQ(server->requestCount(), 0);
            EXPECT_EQ(ModelDownload::bytesPresent(work), kPart);
        } else {
            EXPECT_EQ(outcomeOf(d.run()), "ok");
        }
    }
}

TEST_F(DownloadTest, RefusedConnectionsRunOutAsNetworkAndKeepTheWorkFolder) {
    ModelDownload d = makeDownload();
    d.progress = {};
    server.reset(); // nothing listens on that port any more
    EXPECT_EQ(outcomeOf(d.run()), "network");
    EXPECT_TRUE(exists(workFolder()));
    EXPECT_FALSE(exists(finalFile()));
}

TEST(DownloadSpace, BytesPresentCountsOnlyPartFiles) {
    TempHome home;
    const QString work = home.path() + QStringLiteral("/.download-0123456789abcdef");
    EXPECT_EQ(ModelDownload::bytesPresent(work), 0); // missing folder
    writeFile(work + QStringLiteral("/part-0"), QByteArray(100, 'a'));
    writeFile(work + QStringLiteral("/part-7"), QByteArray(23, 'b'));
    writeFile(work + QStringLiteral("/assembled"), QByteArray(1000, 'c'));
    writeFile(work + QStringLiteral("/transfer-X"), QByteArray(1000, 'd'));
    EXPECT_EQ(ModelDownload::bytesPresent(work), 123);
}

} // namespace
