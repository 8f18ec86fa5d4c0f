#pragma once

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

namespace velmora {

namespace detail {
template <typename T>
using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
}

// A value that is set once and can be awaited by any number of coroutines.
template <typename T>
class Promise {
    struct State {
        std::optional<detail::Stored<T>> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;
        bool done() const { return value.has_value() || error; }
    };

public:
    Promise() : m_state(std::make_shared<State>()) {}

    bool isDone() const { return m_state->done(); }

    template <typename U = T>
    requires(!std::is_void_v<U>) void resolve(U value) {
        if (m_state->done())
            return;
        m_state->value.emplace(std::move(value));
        wake();
    }

    template <typename U = T>
    requires std::is_void_v<U>
    void resolve() {
        if (m_state->done())
            return;
        m_state->value.emplace();
        wake();
    }

    void reject(std::exception_ptr error) {
        if (m_state->done())
            return;
        m_state->error = std::move(error);
        wake();
    }

    struct Awaiter {
        std::shared_ptr<State> state;
        bool await_ready() const noexcept { return state->done(); }
        void await_suspend(std::coroutine_handle<> h) { state->waiters.push_back(h); }
        T await_resume() const {
            if (state->error)
                std::rethrow_exception(state->error);
            if constexpr (!std::is_void_v<T>)
                return *state->value;
        }
    };

    Awaiter operator co_await() const { return Awaiter{m_state}; }

private:
    void wake() {
        // The state stays alive while waiters run, even if they drop the last promise.
        auto keep = m_state;
        auto waiters = std::move(keep->waiters);
        keep->waiters.clear();
        for (auto h : waiters)
            h.resume();
    }

    std::shared_ptr<State> m_state;
};

} // namespace velmora
