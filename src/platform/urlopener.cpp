#include "platform/urlopener.h"

#include <QProcess>

namespace velmora {

bool DesktopUrlOpener::openUrl(const QUrl &url) {
    if (!url.isValid())
        return false;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromUtf8(url.toEncoded())});
}

} // namespace velmora
