#pragma once

// Pastes dictated text into the frontmost program the way a person would, leaving the clipboard
// as it was: it saves the clipboard, puts the text there as a promise, sends Ctrl+V, waits until
// the program has read the text and gone quiet, and puts the saved contents back. Main thread
// only; one delivery at a time.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "dictation/dictationdelivering.h"
#include "platform/keysender.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace velmora {

class AccessibilityTrust;
class Clipboard;
class DictationPastePromise;
class KeyboardState;

class DictationDelivery : public QObject, public DictationDelivering {
    Q_OBJECT
public:
    struct Timing {
        // After the last read the program is taken to be done.
        std::chrono::milliseconds quiet{200};
        // Longest wait for a first read after the chord, and the same once the delivery was
        // cancelled.
        std::chrono::milliseconds unread{8000};
        std::chrono::milliseconds canceled{500};
    };

    struct Dependencies {
        Clipboard *board = nullptr;
        KeyboardState *keyboard = nullptr;
        // Whether synthetic keys may be sent into the frontmost program.
        AccessibilityTrust *trust = nullptr;
        KeySender *keys = nullptr;
        std::chrono::milliseconds modifierTimeout{2000};
        Timing timing;
    };

    // One saved clipboard item: its types with their data, in order.
    using Item = QList<QPair<QString, QByteArray>>;
    struct Snapshot {
        qint64 changeCount = 0;
        QList<Item> items;
    };
    enum class ReadOutcome { Read, Unread, Replaced };

    explicit DictationDelivery(Dependencies dependencies, QObject *parent = nullptr);

    QCoro::Task<bool> deliver(QString text, std::function<bool()> isCurrent, CancellationToken token) override;
    void copy(const QString &text) override;

    bool isDelivering() const { return m_delivering; }
    qint64 copyRevision() const { return m_copyRevision; }

    // The text with one trailing space, unless it is empty or ends in white space or in a CJK
    // or full-width character.
    static QString pasteText(const QString &text);
    // The clipboard's contents if they can be put back later: none when they changed while
    // being read or cannot be listed; no items for concealed or transient contents.
    static std::optional<Snapshot> snapshot(Clipboard &board);

private:
    bool modifiersReleased();
    bool eligible();
    std::optional<qint64> writePromise(DictationPastePromise &promise, qint64 expected, const Snapshot &snapshot);
    void restore(const Snapshot &snapshot, qint64 ifChangeCount);
    QCoro::Task<> postPasteChord(KeySender::PasteChord chord);
    QCoro::Task<ReadOutcome> waitForRead(const DictationPastePromise &promise, qint64 changeCount,
                                         CancellationToken token);

    Dependencies m_deps;
    bool m_delivering = false;
    qint64 m_copyRevision = 0;
};

} // namespace velmora
