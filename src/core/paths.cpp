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

void ensureFolder(const QString &path, bool ownerOnly) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw PosixError(ENOTDIR);
    } else {
        if (errno != ENOENT)
            throw PosixError(errno);
        const QString parent = QFileInfo(path).absolutePath();
        if (parent != path)
            ensureFolder(parent, false);
        if (::mkdir(native.constData(), ownerOnly ? 0700 : 0755) != 0 && errno != EEXIST)
            throw PosixError(errno);
    }
    if (ownerOnly && ::chmod(native.constData(), 0700) != 0)
        throw PosixError(errno);
}

} // namespace velmora::Paths
