#pragma once

#include <QString>

namespace velmora {

// What the dictation pill shows: the waveform (moving while live, still and faint while
// waiting), a status line, or a failure line.
struct DictationOverlayContent {
    enum class Kind { Listening, Status, Failure };

    Kind kind = Kind::Status;
    bool live = false;
    QString text;

    static DictationOverlayContent listening(bool live) { return {Kind::Listening, live, {}}; }
    static DictationOverlayContent status(QString text) { return {Kind::Status, false, std::move(text)}; }
    static DictationOverlayContent failure(QString text) { return {Kind::Failure, false, std::move(text)}; }

    bool operator==(const DictationOverlayContent &other) const {
        if (kind != other.kind)
            return false;
        return kind == Kind::Listening ? live == other.live : text == other.text;
    }
};

} // namespace velmora
