#pragma once

#include "core/promise.h"

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace velmora {

// How a task ended: its value (std::monostate for a void task) or the exception it threw.
template <typename T>
struct Settled {
    std::optional<detail::Stored<T>> value;
    std::exception_ptr error;
};

// Runs the task to its end and hands back how it ended instead of throwing.
template <typename T>
QCoro::Task<Settled<T>> settle(QCoro::Task<T> task) {
    Settled<T> end;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            end.value.emplace();
        } else {
            end.value.emplace(co_await std::move(task));
        }
    } catch (...) {
        end.error = std::current_exception();
    }
    co_return end;
}

} // namespace velmora
