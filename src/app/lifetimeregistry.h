#pragma once

#include "dictation/dictationcoordinator.h"
#include "llm/llmruntime.h"
#include "tools/translate/translatesession.h"

#include <QPointer>

namespace velmora {

// The services the application's lifetime reaches when the system sleeps or locks and when
// the program quits. Weak: a slot whose service is gone is skipped. Main thread only.
struct LifetimeRegistry {
    // Set by the readiness monitor when the main window first shows.
    QPointer<DictationCoordinator> dictation;
    QPointer<TranslateSession> translate;
    QPointer<LLMRuntime> llm;
};

} // namespace velmora
