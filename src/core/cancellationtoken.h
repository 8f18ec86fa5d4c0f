#pragma once

// Cooperative cancellation: the work sees a CancellationToken, whoever may stop it owns the
// CancellationSource.

#include <QCoro/QCoroTask>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace velmora {

class CancellationToken;

class CancellationRegistration {
public:
    CancellationRegistration() = default;
    CancellationRegistration(CancellationRegistration &&other) noexcept;
    CancellationRegistration &operator=(CancellationRegistration &&other) noexcept;
    ~CancellationRegistration();
    void reset();

private:
    friend class CancellationToken;
    std::shared_ptr<struct CancellationState> m_state;
    quint64 m_id = 0;
};

struct CancellationState {
    std::mutex mutex;
    bool cancelled = false;
    quint64 nextId = 1;
    std::vector<std::pair<quint64, std::function<void()>>> callbacks;
};

// Seen by the work; a default-constructed token is never cancelled.
class CancellationToken {
public:
    CancellationToken() = default;

    bool isCancelled() const;
    void throwIfCancelled() const;
    // Runs callback when cancelled (at once if already cancelled) until the registration ends.
    [[nodiscard]] CancellationRegistration onCancelled(std::function<void()> callback) const;
    // Completes when cancelled; never completes for a token that cannot be cancelled.
    QCoro::Task<> whenCancelled() const;

private:
    friend class CancellationSource;
    explicit CancellationToken(std::shared_ptr<CancellationState> s) : m_state(std::move(s)) {}
    std::shared_ptr<CancellationState> m_state;
};

// Owned by whoever may cancel the work.
class CancellationSource {
public:
    CancellationSource();
    // A source that is also cancelled when parent is.
    explicit CancellationSource(const CancellationToken &parent);

    CancellationToken token() const { return CancellationToken(m_state); }
    bool isCancelled() const;
    // Marks the token cancelled at once and runs the callbacks on the main thread: inline when
    // called there, queued to it when called from another thread.
    void cancel();

private:
    static void runCallbacks(CancellationState &state);
    std::shared_ptr<CancellationState> m_state;
    std::shared_ptr<CancellationRegistration> m_parentLink;
};

} // namespace velmora
