#include "core/serialqueue.h"

namespace velmora {

namespace {
QCoro::Task<> runPosted(SerialQueue *queue, std::function<QCoro::Task<void>()> job) {
    try {
        co_await queue->run<void>(std::move(job));
    } catch (...) {
    }
}
} // namespace

void SerialQueue::post(std::function<QCoro::Task<void>()> job) {
    runPosted(this, std::move(job));
}

QCoro::Task<> SerialQueue::drain() {
    auto tail = m_tail;
    co_await *tail;
}

} // namespace velmora
