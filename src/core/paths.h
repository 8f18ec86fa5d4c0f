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

// Creates the folder and its parents; with ownerOnly the folder itself gets mode 0700 (also
// when it already existed). Throws PosixError on failure.
void ensureFolder(const QString &path, bool ownerOnly = false);

} // namespace Paths
} // namespace velmora
