#include "speech/speechcapturing.h"

#include "core/enumname.h"

namespace velmora {

SpeechCaptureError::SpeechCaptureError(Reason reason)
    : Error(QString::fromLatin1(kDomain), qint64(reason), enumName(reason)), m_reason(reason) {}

} // namespace velmora
