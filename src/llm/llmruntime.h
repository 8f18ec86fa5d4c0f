#pragma once

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "core/sharedtask.h"
#include "llm/chatwire.h"
#include "llm/llmeventstream.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmora {

class LLMServer;

// What the writing features need of the language model.
class TextGenerating {
public:
    virtual ~TextGenerating() = default;
    // The model will be needed soon: it starts loading now. Each hold is released once.
    virtual void hold() = 0;
    virtual void release() = 0;
    // A plain request (stream false). Throws LLMServerError or CancelledError.
    virtual QCoro::Task<LLMChatReply> complete(LLMChatRequest request, CancellationToken token = {}) = 0;
    // A streamed request; the stream is marked ready once the server takes the request.
    virtual LLMEventStream stream(LLMChatRequest request) = 0;
};

// The one owner of the language-model server for every writing feature: counts holds and
// requests, loads the model on demand, unloads it after idle, on memory pressure and at quit.
class LLMRuntime : public QObject, public TextGenerating {
    Q_OBJECT
public:
    // The writing model and its draft model, asked afresh at every load; nothing while the
    // text model files are not ready.
    using ModelFiles = std::function<std::optional<QStringList>()>;
    // The idle-unload delay in seconds, asked whenever an unload is planned; nothing = never.
    using UnloadSeconds = std::function<std::optional<double>()>;

    LLMRuntime(LLMServer &server, ModelFiles modelFiles, UnloadSeconds unloadSeconds, QObject *parent = nullptr);
    ~LLMRuntime() override;

    void hold() override;
    void release() override;
    QCoro::Task<LLMChatReply> complete(LLMChatRequest request, CancellationToken token = {}) override;
    LLMEventStream stream(LLMChatRequest request) override;

    // Stops an idle, ready server; true when it did.
    QCoro::Task<bool> unloadNow();
    // Stops the server for good; afterwards nothing loads or unloads by itself.
    QCoro::Task<> prepareToQuit();
    // Plans the idle unload afresh (also when the user changes the interval).
    void scheduleIdleUnload();

    qint64 holds() const { return m_holds; }
    qint64 requests() const { return m_requests; }
    bool isLoading() const { return m_loading.has_value(); }
    // Whether an idle unload is waiting for its delay.
    bool hasPlannedUnload() const { return m_unload && !m_unload->isCancelled(); }
    bool isQuitting() const { return m_quitting; }
    LLMServer &server() const { return m_server; }

private:
    struct Load {
        SharedTask<void> task;
        quint64 id;
    };
    std::optional<Load> startLoading();
    QCoro::Task<> waitUntilReady(CancellationToken token);
    void finishRequest();
    void cancelPlannedUnload();
    static QCoro::Task<> watchLoad(QPointer<LLMRuntime> self, SharedTask<void> task, quint64 id);
    static QCoro::Task<> idleUnload(QPointer<LLMRuntime> self, double seconds, CancellationToken token);
    static QCoro::Task<> produce(QPointer<LLMRuntime> self, LLMChatRequest request, LLMEventStream::Producer producer);

    LLMServer &m_server;
    ModelFiles m_modelFiles;
    UnloadSeconds m_unloadSeconds;
    qint64 m_holds = 0;
    qint64 m_requests = 0;
    std::optional<SharedTask<void>> m_loading;
    quint64 m_loadingId = 0;
    quint64 m_loads = 0;
    std::optional<CancellationSource> m_unload;
    bool m_quitting = false;
};

} // namespace velmora
