#include "core/paths.h"

#include "core/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace velmora::Paths {

namespace {
QString xdgFolder(const char *variable, const char *fallbackUnderHome) {
    QString base = qEnvironmentVariable(variable);
    // The XDG rules ignore relative values.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome);
    return QDir::cleanPath(base) + QLatin1Char('/') + QLatin1String(kBundleIdentifier);
}
} // namespace

QString libraryFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

QString configFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

QString temporaryFolder() {
    return QDir::tempPath();
}

QString helpersFolder() {
    const QString env = qEnvironmentVariable("VELMORA_HELPERS_DIR");
    if (!env.isEmpty())
        return env;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void ensureFolder(const QString &path, FolderAccess access) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw PosixError(ENOTDIR);
        return;
    }
    if (errno != ENOENT)
        throw PosixError(errno);
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path)
        ensureFolder(parent, access);
    const bool ownerOnly = access == FolderAccess::OwnerOnly;
    if (::mkdir(native.constData(), ownerOnly ? 0700 : 0777) != 0) {
        if (errno != EEXIST)
            throw PosixError(errno);
        // Made meanwhile by someone else: accepted as it is, if it is a folder.
        if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw PosixError(ENOTDIR);
        return;
    }
    // The umask may have taken more than it should from a private folder.
    if (ownerOnly && ::chmod(native.constData(), 0700) != 0)
        throw PosixError(errno);
}

} // namespace velmora::Paths
