#include "models/modelfailureerror.h"

namespace velmora {

QString toString(ModelFailure failure) {
    switch (failure) {
    case ModelFailure::Network: return QStringLiteral("network");
    case ModelFailure::Server: return QStringLiteral("server");
    case ModelFailure::Unavailable: return QStringLiteral("unavailable");
    case ModelFailure::InvalidResponse: return QStringLiteral("invalidResponse");
    case ModelFailure::Checksum: return QStringLiteral("checksum");
    case ModelFailure::Space: return QStringLiteral("space");
    case ModelFailure::FileSystem: return QStringLiteral("fileSystem");
    }
    return {};
}

ModelFailureError::ModelFailureError(ModelFailure kind)
    : Error(QString::fromLatin1(kDomain), qint64(kind), toString(kind)), m_kind(kind) {}

} // namespace velmora
