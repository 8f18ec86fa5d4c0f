#include "llm/llmeventstream.h"

#include <QCoreApplication>

namespace velmora {

struct LLMEventStream::State {
    std::deque<LLMStreamEvent> buffer;
    bool ended = false;     // the producer finished or failed; what is buffered still drains
    bool cancelled = false; // the consumer stopped reading; nothing more is delivered
    bool ready = false;
    std::exception_ptr error;
    std::optional<Promise<void>> wake;
    std::optional<Promise<void>> readyWake;
    CancellationSource producerCancel;

    // Waiters resume from the event loop, never inside the producer's or canceller's call.
    static void resumeLater(std::optional<Promise<void>> &slot) {
        if (!slot)
            return;
        Promise<void> p = *slot;
        slot.reset();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [p]() mutable { p.resolve(); }, Qt::QueuedConnection);
    }

    // The consumer is done with the stream: what is buffered is dropped, a waiting next()
    // ends with CancelledError and the producer is told to stop.
    void cancel() {
        if (cancelled)
            return;
        cancelled = true;
        buffer.clear();
        resumeLater(wake);
        resumeLater(readyWake);
        producerCancel.cancel();
    }
};

void LLMEventStream::Producer::yield(LLMStreamEvent event) const {
    if (m_state->ended || m_state->cancelled)
        return;
    m_state->buffer.push_back(std::move(event));
    State::resumeLater(m_state->wake);
}

void LLMEventStream::Producer::finish() const {
    fail(nullptr);
}

void LLMEventStream::Producer::fail(std::exception_ptr error) const {
    if (m_state->ended)
        return;
    m_state->ended = true;
    m_state->error = std::move(error);
    m_state->ready = true;
    State::resumeLater(m_state->wake);
    State::resumeLater(m_state->readyWake);
}

void LLMEventStream::Producer::markReady() const {
    if (m_state->ready)
        return;
    m_state->ready = true;
    State::resumeLater(m_state->readyWake);
}

CancellationToken LLMEventStream::Producer::token() const {
    return m_state->producerCancel.token();
}

std::pair<LLMEventStream, LLMEventStream::Producer> LLMEventStream::make() {
    LLMEventStream stream;
    stream.m_state = std::make_shared<State>();
    Producer producer;
    producer.m_state = stream.m_state;
    return {std::move(stream), producer};
}

LLMEventStream &LLMEventStream::operator=(LLMEventStream &&other) noexcept {
    if (this != &other) {
        cancel();
        m_state = std::move(other.m_state);
    }
    return *this;
}

LLMEventStream::~LLMEventStream() {
    cancel();
}

void LLMEventStream::cancel() {
    if (m_state)
        m_state->cancel();
}

namespace {

QCoro::Task<std::optional<LLMStreamEvent>> nextEvent(std::shared_ptr<LLMEventStream::State> state,
                                                     CancellationToken token) {
    for (;;) {
        token.throwIfCancelled();
        if (state->cancelled)
            throw CancelledError();
        if (!state->buffer.empty()) {
            LLMStreamEvent event = std::move(state->buffer.front());
            state->buffer.pop_front();
            co_return event;
        }
        if (state->ended) {
            // Read to its end: the producer has nothing left to stop.
            state->producerCancel.cancel();
            if (state->error)
                std::rethrow_exception(state->error);
            co_return std::nullopt;
        }
        Promise<void> wake;
        state->wake = wake;
        auto link = token.onCancelled([state] { LLMEventStream::State::resumeLater(state->wake); });
        co_await wake;
    }
}

QCoro::Task<> readyOf(std::shared_ptr<LLMEventStream::State> state, CancellationToken token) {
    while (!state->ready) {
        token.throwIfCancelled();
        if (state->cancelled)
            throw CancelledError();
        Promise<void> wake;
        state->readyWake = wake;
        auto link = token.onCancelled([state] { LLMEventStream::State::resumeLater(state->readyWake); });
        co_await wake;
    }
}

} // namespace

QCoro::Task<std::optional<LLMStreamEvent>> LLMEventStream::next(CancellationToken token) {
    return nextEvent(m_state, std::move(token));
}

QCoro::Task<> LLMEventStream::whenReady(CancellationToken token) {
    return readyOf(m_state, std::move(token));
}

} // namespace velmora
