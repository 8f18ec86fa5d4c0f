#pragma once

#include <QString>

namespace velmora {

constexpr const char *kBundleIdentifier = "com.velmora.app";

namespace Paths {

// $XDG_DATA_HOME/com.velmora.app, falling back to ~/.local/share/com.velmora.app. Not created.
QString libraryFolder();
// $XDG_CONFIG_HOME/com.velmora.app, falling back to ~/.config/com.velmora.app.
QString configFolder();
// The system's temporary folder.
QString temporaryFolder();
// The folder the helper programs are installed in (beside the executable, or
// VELMORA_HELPERS_DIR when set).
QString helpersFolder();

enum class FolderAccess {
    Default,   // what the umask leaves of 0777
    OwnerOnly, // 0700: private to the user
};

// Creates the folder with any missing parents, each folder it creates getting the access; an
// existing folder is accepted as it is. Throws PosixError with the file system's error
// (ENOTDIR when something other than a folder is in the way).
void ensureFolder(const QString &path, FolderAccess access = FolderAccess::Default);

} // namespace Paths
} // namespace velmora
