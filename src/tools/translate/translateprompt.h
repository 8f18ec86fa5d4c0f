#pragma once

// The one message a translation request sends: the text in a tagged block, then the
// instruction and its rules for the tone and the target language.

#include "tools/translate/translatelanguage.h"
#include "tools/translate/translatetone.h"

#include <QString>

namespace velmora {

struct TranslatePrompt {
    // The user message for translating text from source to target in the tone. The text is
    // inserted as it is, except that a closing tag of the block inside it is guarded.
    static QString build(TranslateTone tone, const QString &text, TranslateLanguage source, TranslateLanguage target);

    // The text with every "</text" (in any case) broken by an invisible word joiner after the
    // "<", so that the text cannot end the tagged block early.
    static QString guard(const QString &text);
    // Whether guard() changes the text.
    static bool needsGuard(const QString &text);
    // Takes the word joiner guard() put in back out of a reply that copied it.
    static QString unguard(const QString &text);
};

} // namespace velmora
