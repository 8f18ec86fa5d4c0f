#include "dictation/dictationdelivery.h"

#include "core/log.h"
#include "dictation/dictationpastepromise.h"
#include "platform/accessibilitytrust.h"
#include "platform/clipboard.h"
#include "platform/keyboardstate.h"

#include <QPointer>

#include <unicode/uchar.h>

namespace velmora {

namespace {

using namespace std::chrono_literals;

constexpr auto kModifierPoll = 10ms;
constexpr auto kChordGap = 100ms;
constexpr auto kReadPoll = 15ms;

char32_t lastCodePoint(const QString &text) {
    const QChar last = text.back();
    if (last.isLowSurrogate() && text.size() >= 2 && text.at(text.size() - 2).isHighSurrogate())
        return QChar::surrogateToUcs4(text.at(text.size() - 2), last);
    return last.unicode();
}

bool endsWithoutSpace(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

// A sleep that the caller's cancellation does not cut short.
QCoro::Task<> pause(std::chrono::milliseconds duration) {
    QCoro::Task<> sleeping = sleepFor(duration);
    co_await std::move(sleeping);
}

qint64 wholeMilliseconds(ContinuousClock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

DictationDelivery::DictationDelivery(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies)) {}

QString DictationDelivery::pasteText(const QString &text) {
    if (text.isEmpty())
        return text;
    const char32_t last = lastCodePoint(text);
    if (u_isUWhiteSpace(UChar32(last)) || endsWithoutSpace(last))
        return text;
    return text + QLatin1Char(' ');
}

std::optional<DictationDelivery::Snapshot> DictationDelivery::snapshot(Clipboard &board) {
    const qint64 before = board.changeCount();
    const std::optional<QStringList> types = board.types();
    if (!types)
        return std::nullopt;
    Snapshot snapshot;
    snapshot.changeCount = before;
    bool concealed = types->contains(QStringLiteral("org.nspasteboard.ConcealedType")) ||
                     types->contains(QStringLiteral("org.nspasteboard.TransientType"));
    const QString hint = QString::fromLatin1(DictationPastePromise::kPasswordManagerHint);
    if (!concealed && types->contains(hint))
        concealed = board.data(hint).value_or(QByteArray()).trimmed() == "secret";
    if (!concealed && !types->isEmpty()) {
        Item item;
        for (const QString &type : *types) {
            if (std::optional<QByteArray> bytes = board.data(type))
                item.append({type, *bytes});
        }
        snapshot.items.append(item);
    }
    if (board.changeCount() != before)
        return std::nullopt;
    return snapshot;
}

bool DictationDelivery::modifiersReleased() {
    return m_deps.keyboard->modifiersReleased();
}

bool DictationDelivery::eligible() {
    return m_deps.trust->isTrusted(false);
}

std::optional<qint64> DictationDelivery::writePromise(DictationPastePromise &promise, qint64 expected,
                                                      const Snapshot &snapshot) {
    Clipboard &board = *m_deps.board;
    if (board.changeCount() != expected)
        return std::nullopt;
    const qint64 cleared = board.clear();
    if (board.changeCount() != cleared)
        return std::nullopt;
    if (!board.write(promise.makeContents())) {
        restore(snapshot, board.changeCount());
        return std::nullopt;
    }
    return board.changeCount();
}

void DictationDelivery::restore(const Snapshot &snapshot, qint64 ifChangeCount) {
    Clipboard &board = *m_deps.board;
    if (board.changeCount() != ifChangeCount)
        return;
    auto rebuilt = std::make_unique<QMimeData>();
    for (const Item &item : snapshot.items) {
        for (const auto &[type, bytes] : item) {
            if (!rebuilt->hasFormat(type))
                rebuilt->setData(type, bytes);
        }
    }
    const qint64 cleared = board.clear();
    if (cleared == board.changeCount() && !snapshot.items.isEmpty())
        board.write(std::move(rebuilt));
}

QCoro::Task<> DictationDelivery::postPasteChord(KeySender::PasteChord chord) {
    KeySender *keys = m_deps.keys;
    keys->pressPasteChord(chord);
    // The gap runs to its end even when the delivery is cancelled, so Ctrl is always released.
    QCoro::Task<> gap = pause(kChordGap);
    co_await std::move(gap);
    keys->releasePasteChord(chord);
}

QCoro::Task<DictationDelivery::ReadOutcome>
DictationDelivery::waitForRead(const DictationPastePromise &promise, qint64 changeCount, CancellationToken token) {
    QPointer<DictationDelivery> self(this);
    const ContinuousClock::time_point chordTime = promise.injectedAt().value_or(ContinuousClock::now());
    for (;;) {
        if (m_deps.board->changeCount() != changeCount)
            co_return ReadOutcome::Replaced;
        const auto now = ContinuousClock::now();
        if (const auto lastRead = promise.lastRead()) {
            if (now - *lastRead >= m_deps.timing.quiet) {
                Log::dictation().notice("Paste read %ld ms after chord", {wholeMilliseconds(*lastRead - chordTime)});
                co_return ReadOutcome::Read;
            }
        } else {
            const auto limit = token.isCancelled() ? m_deps.timing.canceled : m_deps.timing.unread;
            if (now - chordTime >= limit) {
                Log::dictation().notice("Paste not read before timeout");
                co_return ReadOutcome::Unread;
            }
        }
        QCoro::Task<> poll = pause(kReadPoll);
        co_await std::move(poll);
        if (!self)
            co_return ReadOutcome::Unread;
    }
}

QCoro::Task<bool> DictationDelivery::deliver(QString text, std::function<bool()> isCurrent, CancellationToken token) {
    if (m_delivering || text.isEmpty())
        co_return false;
    QPointer<DictationDelivery> self(this);
    m_delivering = true;
    const qint64 revision = m_copyRevision;
    const auto giveUp = [this] {
        m_delivering = false;
        return false;
    };

    const auto modifierDeadline = ContinuousClock::now() + m_deps.modifierTimeout;
    while (!modifiersReleased()) {
        if (token.isCancelled() || !isCurrent() || m_copyRevision != revision ||
            ContinuousClock::now() >= modifierDeadline)
            co_return giveUp();
        QCoro::Task<> poll = sleepFor(kModifierPoll, token);
        bool slept = true;
        try {
            co_await std::move(poll);
        } catch (...) {
            slept = false;
        }
        if (!self)
            co_return false;
        if (!slept)
            co_return giveUp();
    }

    auto promise = std::make_shared<DictationPastePromise>(pasteText(text));
    if (token.isCancelled() || !isCurrent() || m_copyRevision != revision || !eligible())
        co_return giveUp();
    const std::optional<Snapshot> saved = snapshot(*m_deps.board);
    if (!saved)
        co_return giveUp();
    const std::optional<KeySender::PasteChord> chord = m_deps.keys->preparePasteChord();
    if (!chord)
        co_return giveUp();
    const std::optional<qint64> written = writePromise(*promise, saved->changeCount, *saved);
    if (!written)
        co_return giveUp();
    if (!eligible() || token.isCancelled() || !isCurrent() || m_copyRevision != revision || !modifiersReleased() ||
        m_deps.board->changeCount() != *written) {
        restore(*saved, *written);
        co_return giveUp();
    }

    promise->setInjectedAt(ContinuousClock::now());
    QCoro::Task<> posting = postPasteChord(*chord);
    co_await std::move(posting);
    if (!self)
        co_return false;
    QCoro::Task<ReadOutcome> reading = waitForRead(*promise, *written, token);
    const ReadOutcome outcome = co_await std::move(reading);
    if (!self)
        co_return false;

    if (outcome == ReadOutcome::Unread && !token.isCancelled()) {
        // Nobody took the text: leave it on the clipboard as an ordinary copy, so it can still
        // be pasted by hand, and report that it was not pasted.
        if (m_deps.board->changeCount() == *written) {
            m_deps.board->clear();
            auto plain = std::make_unique<QMimeData>();
            plain->setText(text);
            m_deps.board->write(std::move(plain));
        }
        co_return giveUp();
    }
    restore(*saved, *written);
    m_delivering = false;
    co_return true;
}

void DictationDelivery::copy(const QString &text) {
    ++m_copyRevision;
    m_deps.board->clear();
    auto contents = std::make_unique<QMimeData>();
    contents->setText(text);
    m_deps.board->write(std::move(contents));
}

} // namespace velmora
