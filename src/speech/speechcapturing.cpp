#include "speech/speechcapturing.h"

namespace velmora {

SpeechCaptureError::SpeechCaptureError(Reason reason)
    : Error(QString::fromLatin1(kDomain), qint64(reason), toString(reason)), m_reason(reason) {}

QString SpeechCaptureError::toString(Reason reason) {
    switch (reason) {
    case Reason::Unavailable: return QStringLiteral("unavailable");
    case Reason::Conversion: return QStringLiteral("conversion");
    case Reason::WriteFailed: return QStringLiteral("writeFailed");
    }
    return {};
}

std::optional<SpeechCaptureError::Reason> SpeechCaptureError::fromString(const QString &text) {
    for (Reason reason : {Reason::Unavailable, Reason::Conversion, Reason::WriteFailed})
        if (toString(reason) == text)
            return reason;
    return std::nullopt;
}

} // namespace velmora
