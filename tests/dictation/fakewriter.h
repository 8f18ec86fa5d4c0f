#pragma once

// A writing model that answers from the test: a fixed reply, a failure, or nothing until the
// test releases it or the request is cancelled.

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/promise.h"
#include "llm/llmruntime.h"

#include <QList>

#include <exception>
#include <optional>

namespace velmora::test {

class FakeWriter : public TextGenerating {
public:
    ~FakeWriter() override { release(); }

    void hold() override { ++holds; }
    void release() override { ++releases; }
    QCoro::Task<LLMChatReply> complete(LLMChatRequest request, CancellationToken token = {}) override;
    LLMEventStream stream(LLMChatRequest) override;

    // Lets a held request answer.
    void answerHeld();

    LLMChatReply reply{QStringLiteral("Cleaned."), QStringLiteral("stop"), 100, 3};
    std::exception_ptr error;
    bool holdRequests = false;
    QList<LLMChatRequest> requests;
    int cancelled = 0;
    int holds = 0;
    int releases = 0;

private:
    std::optional<Promise<bool>> m_held;
};

} // namespace velmora::test
