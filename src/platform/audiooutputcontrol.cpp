#include "platform/audiooutputcontrol.h"

#include <pulse/pulseaudio.h>

#include <functional>

namespace velmora {

namespace {

// One connection to the sound server on a private main loop, iterated here until an answer
// comes or the deadline passes.
class PulseSession {
public:
    PulseSession(const QString &server, std::chrono::milliseconds timeout)
        : m_deadline(std::chrono::steady_clock::now() + timeout) {
        m_loop = pa_mainloop_new();
        if (!m_loop)
            return;
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Velmora");
        if (!m_context)
            return;
        const QByteArray address = server.toLocal8Bit();
        if (pa_context_connect(m_context, address.isEmpty() ? nullptr : address.constData(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr) < 0)
            return;
        m_ready = iterateUntil([this] {
                      const pa_context_state_t state = pa_context_get_state(m_context);
                      return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                  }) &&
                  pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }
    ~PulseSession() {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }
    PulseSession(const PulseSession &) = delete;
    PulseSession &operator=(const PulseSession &) = delete;

    bool ready() const { return m_ready; }
    pa_context *context() const { return m_context; }

    // Runs the operation until done() holds; false on a timeout or a lost connection.
    bool wait(pa_operation *operation, const std::function<bool()> &done) {
        if (!operation)
            return false;
        const bool finished = iterateUntil([&] {
            return done() || pa_operation_get_state(operation) != PA_OPERATION_RUNNING ||
                   !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
        });
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return finished && done();
    }

private:
    bool iterateUntil(const std::function<bool()> &condition) {
        while (!condition()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(m_deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            if (pa_mainloop_prepare(m_loop, int(left.count())) < 0 || pa_mainloop_poll(m_loop) < 0 ||
                pa_mainloop_dispatch(m_loop) < 0)
                return false;
        }
        return true;
    }

    std::chrono::steady_clock::time_point m_deadline;
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    bool m_ready = false;
};

struct SinkAnswer {
    bool done = false;
    bool found = false;
    bool muted = false;
};

} // namespace

PulseAudioOutputControl::PulseAudioOutputControl(QString server, std::chrono::milliseconds timeout)
    : m_server(std::move(server)), m_timeout(timeout) {}

std::optional<QString> PulseAudioOutputControl::defaultOutput() {
    PulseSession session(m_server, m_timeout);
    if (!session.ready())
        return std::nullopt;
    struct Answer {
        bool done = false;
        QString sink;
    } answer;
    pa_operation *operation = pa_context_get_server_info(
        session.context(),
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *a = static_cast<Answer *>(data);
            if (info && info->default_sink_name)
                a->sink = QString::fromUtf8(info->default_sink_name);
            a->done = true;
        },
        &answer);
    if (!session.wait(operation, [&] { return answer.done; }) || answer.sink.isEmpty())
        return std::nullopt;
    return answer.sink;
}

AudioOutputControl::MuteState PulseAudioOutputControl::muteState(const QString &device) {
    PulseSession session(m_server, m_timeout);
    if (!session.ready())
        return MuteState::Unknown;
    SinkAnswer answer;
    const QByteArray name = device.toUtf8();
    pa_operation *operation = pa_context_get_sink_info_by_name(
        session.context(), name.constData(),
        [](pa_context *, const pa_sink_info *info, int eol, void *data) {
            auto *a = static_cast<SinkAnswer *>(data);
            if (eol == 0 && info) {
                a->found = true;
                a->muted = info->mute != 0;
            } else {
                a->done = true;
            }
        },
        &answer);
    if (!session.wait(operation, [&] { return answer.done; }) || !answer.found)
        return MuteState::Unknown;
    return answer.muted ? MuteState::Muted : MuteState::Unmuted;
}

bool PulseAudioOutputControl::setMuted(const QString &device, bool muted) {
    PulseSession session(m_server, m_timeout);
    if (!session.ready())
        return false;
    struct Answer {
        bool done = false;
        bool success = false;
    } answer;
    const QByteArray name = device.toUtf8();
    pa_operation *operation = pa_context_set_sink_mute_by_name(
        session.context(), name.constData(), muted ? 1 : 0,
        [](pa_context *, int success, void *data) {
            auto *a = static_cast<Answer *>(data);
            a->success = success != 0;
            a->done = true;
        },
        &answer);
    return session.wait(operation, [&] { return answer.done; }) && answer.success;
}

// ---------------------------------------------------------------------------------------------
// Fake.

std::optional<QString> FakeAudioOutputControl::defaultOutput() {
    if (!reachable || defaultDevice.isEmpty())
        return std::nullopt;
    return defaultDevice;
}

AudioOutputControl::MuteState FakeAudioOutputControl::muteState(const QString &device) {
    auto it = devices.find(device);
    if (!reachable || it == devices.end() || !it->second.hasMute)
        return MuteState::Unknown;
    return it->second.muted ? MuteState::Muted : MuteState::Unmuted;
}

bool FakeAudioOutputControl::setMuted(const QString &device, bool muted) {
    writes.append(device + (muted ? QStringLiteral("=1") : QStringLiteral("=0")));
    auto it = devices.find(device);
    if (!reachable || refusesWrites || it == devices.end() || !it->second.hasMute)
        return false;
    it->second.muted = muted;
    return true;
}

} // namespace velmora
