#pragma once

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/promise.h"
#include "llm/chatwire.h"

#include <deque>
#include <memory>
#include <optional>

namespace velmora {

// An asynchronous stream of reply events with an unbounded buffer: the producer never waits
// for the consumer. The consumer ends it by reading to its end, by cancel() or by dropping it;
// each of these cancels the producer's token, which stops the work behind the stream.
class LLMEventStream {
public:
    struct State;

    // The producing side; copies share one stream.
    class Producer {
    public:
        void yield(LLMStreamEvent event) const;
        void finish() const;
        void fail(std::exception_ptr error) const;
        // The request has reached a ready server; a stream that ends is ready as well.
        void markReady() const;
        // Cancelled once the consumer has stopped reading.
        CancellationToken token() const;

    private:
        friend class LLMEventStream;
        std::shared_ptr<State> m_state;
    };

    // A new stream and its producer.
    static std::pair<LLMEventStream, Producer> make();

    LLMEventStream(LLMEventStream &&other) noexcept = default;
    LLMEventStream &operator=(LLMEventStream &&other) noexcept;
    LLMEventStream(const LLMEventStream &) = delete;
    LLMEventStream &operator=(const LLMEventStream &) = delete;
    ~LLMEventStream();

    // The next event, or nothing at the normal end; rethrows the stream's failure, and throws
    // CancelledError when token is cancelled while waiting.
    QCoro::Task<std::optional<LLMStreamEvent>> next(CancellationToken token = {});
    // Completes once the producer has marked the stream ready (or ended it).
    QCoro::Task<> whenReady(CancellationToken token = {});
    // Stops reading: the producer is cancelled and nothing more is delivered, not even events
    // already buffered; a next() then throws CancelledError.
    void cancel();

private:
    LLMEventStream() = default;
    std::shared_ptr<State> m_state;
};

} // namespace velmora
