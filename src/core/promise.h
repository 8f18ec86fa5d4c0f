#pragma once

#include "core/error.h"
#include "core/threadcontext.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace velmora {

namespace detail {
template <typename T>
using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
}

// The coroutine rule (GCC 12): a lambda or a braced aggregate built inside a co_await expression
// is destroyed twice when the awaited task throws. Make such a task first, as a named local, and
// await the local: `auto task = f([x] { ... }); co_await std::move(task);`.

// The lifetime rule: a coroutine resumes on a later turn, when the object it belongs to may be
// gone (a task dropped by its owner runs on by itself). After every co_await, before it touches
// `this`, a member, or an object it reaches through one, the coroutine knows its object lives:
// - a QObject's coroutine takes `QPointer self(this)` before its first co_await (a static one
//   is given it) and returns, or throws CancelledError, as soon as `!self` after each await;
// - any other object is held by a shared_ptr the coroutine keeps (a static one given `self`);
// - a widget holds no coroutine: it starts work through startTask (core/starttask.h).
// What a member points to is used after that check only when it outlives the object. A service
// the composition root owns for the whole run, with its work drained at quit, may rely on that
// instead of checking; its class comment says so.

// A value that is set once, from any thread, and can be awaited by any number of coroutines.
// An awaiter always resumes on the thread that awaited, through a call queued to that thread's
// event loop, never inside resolve() or reject(). Every copy of a Promise is a handle of its
// producer: when the last one goes without settling it, the awaiters get CancelledError.
// To wait without keeping the producer alive, await waiter() instead of the promise.
template <typename T>
class Promise {
    struct State {
        std::mutex mutex;
        std::optional<detail::Stored<T>> value;
        std::exception_ptr error;
        std::vector<std::pair<std::coroutine_handle<>, std::shared_ptr<ThreadContext>>> waiters;
        bool done() const { return value.has_value() || error; }
    };

    struct Producer {
        explicit Producer(std::shared_ptr<State> s) : state(std::move(s)) {}
        Producer(const Producer &) = delete;
        Producer &operator=(const Producer &) = delete;
        ~Producer() {
            // Nobody can settle it any more: waiting on would hang the awaiters forever.
            if (!isSettled(*state))
                settle(state, [](State &s) { s.error = std::make_exception_ptr(CancelledError()); });
        }
        std::shared_ptr<State> state;
    };

public:
    Promise() : m_producer(std::make_shared<Producer>(std::make_shared<State>())) {}

    bool isDone() const { return isSettled(*m_producer->state); }

    template <typename U = T>
    requires(!std::is_void_v<U>) void resolve(U value) {
        settle(m_producer->state, [&](State &s) { s.value.emplace(std::move(value)); });
    }

    template <typename U = T>
    requires std::is_void_v<U>
    void resolve() {
        settle(m_producer->state, [](State &s) { s.value.emplace(); });
    }

    void reject(std::exception_ptr error) {
        settle(m_producer->state, [&](State &s) { s.error = std::move(error); });
    }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        bool await_ready() const { return isSettled(*m_state); }
        bool await_suspend(std::coroutine_handle<> h) {
            std::lock_guard lock(m_state->mutex);
            if (m_state->done())
                return false;
            m_state->waiters.emplace_back(h, ThreadContext::current());
            return true;
        }
        T await_resume() const {
            if (m_state->error)
                std::rethrow_exception(m_state->error);
            if constexpr (!std::is_void_v<T>)
                return *m_state->value;
        }

    private:
        std::shared_ptr<State> m_state;
    };

    Awaiter operator co_await() const { return Awaiter(m_producer->state); }
    // An awaitable that does not count as a producer handle.
    Awaiter waiter() const { return Awaiter(m_producer->state); }

private:
    static bool isSettled(State &state) {
        std::lock_guard lock(state.mutex);
        return state.done();
    }

    template <typename F>
    static void settle(const std::shared_ptr<State> &state, F &&set) {
        decltype(State::waiters) waiters;
        {
            std::lock_guard lock(state->mutex);
            if (state->done())
                return;
            set(*state);
            waiters = std::exchange(state->waiters, {});
        }
        for (auto &[handle, context] : waiters)
            context->post([handle = handle] { handle.resume(); });
    }

    std::shared_ptr<Producer> m_producer;
};

} // namespace velmora
