#include "models/modelmanifest.h"

#include "core/defaults.h"
#include "core/paths.h"
#include "models/modelssettings.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

constexpr qint64 kBlockBytes = 1048576;

qint64 nanoseconds(const statx_timestamp &t) {
    return qint64(t.tv_sec) * 1'000'000'000 + qint64(t.tv_nsec);
}

struct DigestContext {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~DigestContext() {
        EVP_MD_CTX_free(ctx);
        // Hashing runs on pool threads that may outlive the work; leave no per-thread state.
        OPENSSL_thread_stop();
    }
};

} // namespace

// --- fingerprints ---------------------------------------------------------------------------

ModelFingerprint ModelFingerprint::ofFile(const QString &path) {
    struct statx st {};
    const QByteArray native = QFile::encodeName(path);
    if (::statx(AT_FDCWD, native.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        throw PosixError(errno);
    if (!(st.stx_mask & STATX_TYPE) || !S_ISREG(st.stx_mode))
        throw ModelFailureError(ModelFailure::FileSystem);
    ModelFingerprint fp;
    fp.size = (st.stx_mask & STATX_SIZE) ? qint64(st.stx_size) : 0;
    if (st.stx_mask & STATX_MTIME)
        fp.modified = nanoseconds(st.stx_mtime);
    if (st.stx_mask & STATX_BTIME)
        fp.created = nanoseconds(st.stx_btime);
    fp.fileID = (st.stx_mask & STATX_INO) ? quint64(st.stx_ino) : 0;
    return fp;
}

QByteArray encodeFingerprints(const std::vector<ModelFingerprint> &fingerprints) {
    QCborArray list;
    for (const auto &fp : fingerprints) {
        QCborMap record;
        record.insert(QStringLiteral("size"), fp.size);
        if (fp.modified)
            record.insert(QStringLiteral("modified"), *fp.modified);
        if (fp.created)
            record.insert(QStringLiteral("created"), *fp.created);
        // File numbers are unsigned; CBOR integers here are signed, so the bits are kept as they are.
        record.insert(QStringLiteral("fileID"), qint64(fp.fileID));
        list.append(record);
    }
    return list.toCborValue().toCbor();
}

std::optional<std::vector<ModelFingerprint>> decodeFingerprints(const QByteArray &data) {
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(data, &error);
    if (error.error != QCborError::NoError || !value.isArray())
        return std::nullopt;
    std::vector<ModelFingerprint> out;
    for (const QCborValue &item : value.toArray()) {
        if (!item.isMap())
            return std::nullopt;
        const QCborMap record = item.toMap();
        const QCborValue size = record.value(QStringLiteral("size"));
        const QCborValue fileID = record.value(QStringLiteral("fileID"));
        if (!size.isInteger() || !fileID.isInteger())
            return std::nullopt;
        ModelFingerprint fp;
        fp.size = size.toInteger();
        fp.fileID = quint64(fileID.toInteger());
        for (auto [key, field] : {std::pair{"modified", &fp.modified}, std::pair{"created", &fp.created}}) {
            const QCborValue date = record.value(QLatin1String(key));
            if (date.isUndefined())
                continue;
            if (!date.isInteger())
                return std::nullopt;
            *field = date.toInteger();
        }
        out.push_back(fp);
    }
    return out;
}

// --- hub and manifests ----------------------------------------------------------------------

namespace ModelHub {

QUrl defaultBase() {
    return QUrl(QStringLiteral("https://huggingface.co"));
}

QUrl base(const Defaults &defaults) {
    const QUrl url(defaults.get(kModelHubURL).trimmed());
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        return defaultBase();
    return url;
}

QUrl fileURL(const QUrl &base, const QString &account, const QString &repository, const QString &revision,
             const QString &filename) {
    QUrl url = base;
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + u'/' + account + u'/' + repository + QStringLiteral("/resolve/") + revision + u'/' + filename);
    return url;
}

} // namespace ModelHub

namespace {
const char *kSpeechRepository = "cohere-transcribe-03-2026-gguf";
const char *kSpeechRevision = "ab667acedcb5d8d56837ef3ed3568c3ad50dde47";
const char *kTextRepository = "gemma-4-E4B-it-qat-GGUF";
const char *kTextRevision = "8c5a9e4fd5482e2be20fe0bf013b4c262a8f4265";

ModelManifest makeManifest(const QUrl &hub, const char *account, const char *repository, const char *revision,
                           const char *filename, qint64 bytes, const char *sha256) {
    ModelManifest m;
    m.filename = QString::fromLatin1(filename);
    m.url = ModelHub::fileURL(hub, QString::fromLatin1(account), QString::fromLatin1(repository),
                              QString::fromLatin1(revision), m.filename);
    m.bytes = bytes;
    m.sha256 = QString::fromLatin1(sha256);
    return m;
}
} // namespace

ModelManifest ModelManifest::speech(const QUrl &hub) {
    return makeManifest(hub, ModelHub::kSpeechAccount, kSpeechRepository, kSpeechRevision,
                        "cohere-transcribe-03-2026-Q5_K_M.gguf", 1770270208,
                        "14d02f1ad6dd77b3a60f82639879012c3adb4fe25c50a5a47a2c4c661daf1558");
}

ModelManifest ModelManifest::writing(const QUrl &hub) {
    return makeManifest(hub, ModelHub::kTextAccount, kTextRepository, kTextRevision,
                        "gemma-4-E4B-it-qat-UD-Q4_K_XL.gguf", 4215695776,
                        "df0fd4ee07072c607c29a0a1cb4f98918426cca12f45a2776bdd6ee6d09a4de3");
}

ModelManifest ModelManifest::draft(const QUrl &hub) {
    return makeManifest(hub, ModelHub::kTextAccount, kTextRepository, kTextRevision, "mtp-gemma-4-E4B-it.gguf",
                        59678016, "423074e537504b4f9ec5eafed5c639fac82c96631626efccacdd3c4039b20605");
}

QString ModelManifest::workFolderName() const {
    return QStringLiteral(".download-") + sha256.left(16);
}

QString modelsFolder(const QString &name) {
    return Paths::libraryFolder() + QStringLiteral("/Models/") + name;
}

// --- hashing and verification ---------------------------------------------------------------

void closeIgnoringErrors(int fd) {
    if (fd >= 0)
        ::close(fd);
}

void readBlocks(int fd, const CancellationToken &token, const std::function<void(const char *, qint64)> &use) {
    std::unique_ptr<char[]> buffer(new char[kBlockBytes]);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), size_t(kBlockBytes));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PosixError(errno);
        }
        if (n == 0)
            return;
        token.throwIfCancelled();
        use(buffer.get(), n);
    }
}

QString sha256OfFile(const QString &path, const CancellationToken &token) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw PosixError(errno);
    struct Closer {
        int fd;
        ~Closer() { closeIgnoringErrors(fd); }
    } closer{fd};
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    DigestContext digest;
    if (!digest.ctx || EVP_DigestInit_ex(digest.ctx, EVP_sha256(), nullptr) != 1)
        throw Error(QStringLiteral("Velmora.OpenSSL"), 1, QStringLiteral("SHA-256 unavailable"));
    readBlocks(fd, token, [&](const char *data, qint64 size) { EVP_DigestUpdate(digest.ctx, data, size_t(size)); });
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(digest.ctx, md, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(md), int(length)).toHex());
}

ModelFingerprint ModelManifest::verify(const QString &path, const CancellationToken &token) const {
    const ModelFingerprint before = ModelFingerprint::ofFile(path);
    if (before.size != bytes)
        throw ModelFailureError(ModelFailure::Checksum);
    // Case-sensitive on purpose: the digest is always rendered in lower case.
    if (sha256OfFile(path, token) != sha256)
        throw ModelFailureError(ModelFailure::Checksum);
    if (ModelFingerprint::ofFile(path) != before)
        throw ModelFailureError(ModelFailure::Checksum);
    return before;
}

} // namespace velmora
