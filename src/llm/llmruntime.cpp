#include "llm/llmruntime.h"

#include "core/log.h"
#include "llm/llmserver.h"

#include <QtGlobal>

namespace velmora {

namespace {

constexpr auto kReadyPoll = std::chrono::milliseconds(50);

void checkedAdd(qint64 &counter, qint64 delta) {
    if (__builtin_add_overflow(counter, delta, &counter))
        qFatal("LLM runtime counter overflow");
}

} // namespace

LLMRuntime::LLMRuntime(LLMServer &server, ModelFiles modelFiles, UnloadSeconds unloadSeconds, QObject *parent)
    : QObject(parent), m_server(server), m_modelFiles(std::move(modelFiles)),
      m_unloadSeconds(std::move(unloadSeconds)) {}

LLMRuntime::~LLMRuntime() {
    cancelPlannedUnload();
}

void LLMRuntime::hold() {
    checkedAdd(m_holds, 1);
    cancelPlannedUnload();
    if (!m_server.isReady())
        startLoading();
}

void LLMRuntime::release() {
    m_holds = std::max<qint64>(m_holds - 1, 0);
    scheduleIdleUnload();
}

void LLMRuntime::cancelPlannedUnload() {
    if (m_unload)
        m_unload->cancel();
}

std::optional<LLMRuntime::Load> LLMRuntime::startLoading() {
    if (m_loading)
        return Load{*m_loading, m_loadingId};
    if (m_quitting)
        return std::nullopt;
    const auto files = m_modelFiles ? m_modelFiles() : std::nullopt;
    if (!files || files->size() != 2)
        return std::nullopt;
    const quint64 id = ++m_loads;
    SharedTask<void> task(m_server.start(files->at(0), files->at(1)));
    m_loading = task;
    m_loadingId = id;
    watchLoad(QPointer<LLMRuntime>(this), task, id);
    return Load{task, id};
}

QCoro::Task<> LLMRuntime::watchLoad(QPointer<LLMRuntime> self, SharedTask<void> task, quint64 id) {
    std::exception_ptr failure;
    try {
        co_await task;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure && !isCancellation(failure))
        Log::llm().error("LLM load failed: %{public}s", {Log::errorCode(failure)});
    if (self->m_loading && self->m_loadingId == id)
        self->m_loading.reset();
    self->scheduleIdleUnload();
}

void LLMRuntime::scheduleIdleUnload() {
    cancelPlannedUnload();
    if (m_holds > 0 || m_quitting)
        return;
    if (!m_server.isReady() && !m_loading)
        return;
    const auto seconds = m_unloadSeconds ? m_unloadSeconds() : std::nullopt;
    if (!seconds)
        return;
    m_unload.emplace();
    idleUnload(QPointer<LLMRuntime>(this), *seconds, m_unload->token());
}

QCoro::Task<> LLMRuntime::idleUnload(QPointer<LLMRuntime> self, double seconds, CancellationToken token) {
    try {
        co_await sleepFor(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds)),
                          token);
    } catch (...) {
        co_return;
    }
    if (!self || self->m_holds > 0 || self->m_quitting)
        co_return;
    Log::llm().notice("LLM unloaded after idle");
    co_await self->m_server.terminate();
}

QCoro::Task<> LLMRuntime::waitUntilReady(CancellationToken token) {
    if (m_server.isReady())
        co_return;
    auto load = startLoading();
    if (!load)
        throw LLMServerError::unavailable();
    QPointer<LLMRuntime> self(this);
    bool reloaded = false;
    for (;;) {
        if (m_server.isReady())
            co_return;
        co_await sleepFor(kReadyPoll, token);
        if (!self)
            throw CancelledError();
        if (m_loading && m_loadingId == load->id)
            continue;
        // The load has ended: its failure is ours; a success without a ready server (it
        // exited in between) is retried once.
        co_await load->task;
        if (!self)
            throw CancelledError();
        if (m_server.isReady())
            co_return;
        if (reloaded)
            throw LLMServerError::exited();
        load = startLoading();
        if (!load)
            throw LLMServerError::exited();
        reloaded = true;
    }
}

void LLMRuntime::finishRequest() {
    checkedAdd(m_requests, -1);
    release();
}

QCoro::Task<LLMChatReply> LLMRuntime::complete(LLMChatRequest request, CancellationToken token) {
    hold();
    checkedAdd(m_requests, 1);
    QPointer<LLMRuntime> self(this);
    std::exception_ptr failure;
    try {
        co_await waitUntilReady(token);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure || !self) {
        if (self)
            finishRequest();
        std::rethrow_exception(failure ? failure : std::make_exception_ptr(CancelledError()));
    }
    std::optional<LLMChatReply> reply;
    try {
        reply = co_await m_server.complete(std::move(request), token);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure && !isCancellation(failure))
        Log::llm().error("LLM request failed: %{public}s", {Log::errorCode(failure)});
    if (self)
        finishRequest();
    if (failure)
        std::rethrow_exception(failure);
    co_return std::move(*reply);
}

LLMEventStream LLMRuntime::stream(LLMChatRequest request) {
    hold();
    checkedAdd(m_requests, 1);
    auto [events, producer] = LLMEventStream::make();
    produce(QPointer<LLMRuntime>(this), std::move(request), producer);
    return std::move(events);
}

QCoro::Task<> LLMRuntime::produce(QPointer<LLMRuntime> self, LLMChatRequest request,
                                  LLMEventStream::Producer producer) {
    const CancellationToken token = producer.token();
    std::exception_ptr failure;
    try {
        co_await self->waitUntilReady(token);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure || !self) {
        producer.fail(failure ? failure : std::make_exception_ptr(CancelledError()));
        if (self)
            self->finishRequest();
        co_return;
    }
    // From here the server has the request: this is where a caller's time budget starts.
    producer.markReady();
    {
        LLMEventStream inner = self->m_server.stream(std::move(request));
        try {
            while (auto event = co_await inner.next(token))
                producer.yield(std::move(*event));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure && !isCancellation(failure) && !token.isCancelled())
        Log::llm().error("LLM request failed: %{public}s", {Log::errorCode(failure)});
    if (failure)
        producer.fail(failure);
    else
        producer.finish();
    if (self)
        self->finishRequest();
}

QCoro::Task<bool> LLMRuntime::unloadNow() {
    if (m_requests == 0 && !m_quitting && m_server.isReady() && !m_loading) {
        cancelPlannedUnload();
        co_await m_server.terminate();
        co_return true;
    }
    co_return false;
}

QCoro::Task<> LLMRuntime::prepareToQuit() {
    m_quitting = true;
    cancelPlannedUnload();
    co_await m_server.terminate();
}

} // namespace velmora
