#include "fakewriter.h"

namespace velmora::test {

QCoro::Task<LLMChatReply> FakeWriter::complete(LLMChatRequest request, CancellationToken token) {
    requests.append(request);
    if (holdRequests) {
        Promise<bool> held;
        m_held = held;
        auto registration = token.onCancelled([held]() mutable { held.resolve(false); });
        const bool answered = co_await held;
        registration.reset();
        m_held.reset();
        if (!answered) {
            ++cancelled;
            throw CancelledError();
        }
    }
    if (error)
        std::rethrow_exception(error);
    co_return reply;
}

LLMEventStream FakeWriter::stream(LLMChatRequest) {
    auto [events, producer] = LLMEventStream::make();
    producer.finish();
    return std::move(events);
}

void FakeWriter::answerHeld() {
    if (m_held)
        m_held->resolve(true);
}

} // namespace velmora::test
