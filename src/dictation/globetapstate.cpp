#include "dictation/globetapstate.h"

#include "platform/keychord.h"

namespace velmora {

namespace {
constexpr quint64 kOtherModifiers =
    KeyChord::kShiftFlag | KeyChord::kControlFlag | KeyChord::kOptionFlag | KeyChord::kCommandFlag;
}

bool GlobeTapState::flagsChanged(quint64 flags, quint32 keyDowns) {
    const bool fn = (flags & KeyChord::kFunctionFlag) != 0;
    const bool others = (flags & kOtherModifiers) != 0;
    if (fn && !isDown) {
        isBare = !others;
        keyDownsAtPress = keyDowns;
    }
    if (others)
        isBare = false;
    if (!isDown) {
        isDown = fn;
        if (!fn)
            isBare = false;
        return false;
    }
    if (fn)
        return false;
    const bool wasBare = isBare;
    const quint32 atPress = keyDownsAtPress;
    isDown = false;
    isBare = false;
    return wasBare && keyDowns == atPress;
}

} // namespace velmora
