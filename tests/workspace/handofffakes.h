#pragma once

// The tool hand-off over fakes: the notes, the writing model's readiness, the tools that take
// text, the save prompts, the browser and the clipboard. Fixtures derive from it to use the
// members by name.

#include "core/defaults.h"
#include "platform/clipboard.h"
#include "platform/urlopener.h"
#include "workspace/appnavigation.h"
#include "workspace/toolhandoff.h"
#include "workspacefakes.h"

namespace velmora::test {

struct HandoffFakes {
    // withTools: Translate, Summarize and Proofread take the text handed to them; without, their
    // pages open empty, as before their sessions are built.
    explicit HandoffFakes(bool withTools = true)
        : handoff(navigation, notes, textModel,
                  withTools ? ToolHandoff::Targets{&translateTarget, &summarizeTarget, &proofreadTarget}
                            : ToolHandoff::Targets{},
                  prompts, urls, clipboard) {}

    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    FakeReadiness textModel;
    FakeTranslate translateTarget;
    FakeSummarize summarizeTarget;
    FakeProofread proofreadTarget;
    FakePrompts prompts;
    FakeUrlOpener urls;
    FakeClipboard clipboard;
    ToolHandoff handoff;
};

} // namespace velmora::test
