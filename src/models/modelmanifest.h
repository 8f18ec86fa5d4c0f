#pragma once

// The vocabulary of the local models: the files the application downloads, where they live,
// how a file on disk is fingerprinted and how it is verified against its manifest.

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "models/modelfailureerror.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

namespace velmora {

class Defaults;

// One state of a file on disk; equal fingerprints mean an unchanged file. Dates are
// nanoseconds since the epoch.
struct ModelFingerprint {
    qint64 size = 0;
    std::optional<qint64> modified;
    std::optional<qint64> created;
    quint64 fileID = 0;

    // Reads the attributes of the item at path without following a final symbolic link.
    // Throws PosixError when they cannot be read (ENOENT for a missing file) and
    // ModelFailure::FileSystem when the item is not a regular file.
    static ModelFingerprint ofFile(const QString &path);

    bool operator==(const ModelFingerprint &) const = default;
};

// The stored form of a list of fingerprints; decoding gives none for anything it cannot read.
QByteArray encodeFingerprints(const std::vector<ModelFingerprint> &fingerprints);
std::optional<std::vector<ModelFingerprint>> decodeFingerprints(const QByteArray &data);

// Where the model files are downloaded from. The base address (scheme, host and an optional
// path) is the defaults key "modelHubURL", also settable as the launch argument
// "-modelHubURL http://…"; the account names complete the address of each repository.
namespace ModelHub {
inline constexpr const char *kSpeechAccount = "cohere-community";
inline constexpr const char *kTextAccount = "unsloth";
QUrl defaultBase();
// The configured base address; an empty or unusable value gives the default.
QUrl base(const Defaults &defaults);
// base / account / repository / "resolve" / revision / file
QUrl fileURL(const QUrl &base, const QString &account, const QString &repository, const QString &revision,
             const QString &filename);
} // namespace ModelHub

struct ModelManifest {
    QUrl url;
    QString filename;
    qint64 bytes = 0;
    QString sha256; // 64 lower-case hexadecimal digits

    static ModelManifest speech(const QUrl &hub = ModelHub::defaultBase());
    static ModelManifest writing(const QUrl &hub = ModelHub::defaultBase());
    static ModelManifest draft(const QUrl &hub = ModelHub::defaultBase());

    // ".download-" followed by the first 16 digits of the digest.
    QString workFolderName() const;

    // Checks the exact size, then the SHA-256 digest, then that the file did not change while
    // it was read; returns the fingerprint taken before reading. Blocks while it reads the
    // whole file: call it off the main thread. Throws ModelFailure::Checksum for a mismatch,
    // CancelledError when the token is cancelled, and file errors unchanged.
    ModelFingerprint verify(const QString &path, const CancellationToken &token = {}) const;
};

// The folder of one model store: <Library folder>/Models/<name>. Creates nothing.
QString modelsFolder(const QString &name);

// The SHA-256 of a whole file as 64 lower-case hexadecimal digits, read in 1 MiB blocks;
// checks the token after each non-empty block. Throws PosixError for file errors.
QString sha256OfFile(const QString &path, const CancellationToken &token = {});

// Reads an open file from where it stands to its end, 1 MiB at a time, handing each block to use
// once the token has been checked. Throws PosixError or CancelledError.
void readBlocks(int fd, const CancellationToken &token, const std::function<void(const char *data, qint64 size)> &use);

// Closes a descriptor, dropping the error of the close.
void closeIgnoringErrors(int fd);

} // namespace velmora
