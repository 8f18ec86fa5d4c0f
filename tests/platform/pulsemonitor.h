#pragma once

// Listens to what a sound server's sink plays (through its monitor source) on a thread of its
// own, to tell whether a sound reached it.

#include <QString>

#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

namespace velmora::test {

class PulseMonitor {
public:
    PulseMonitor(const QString &server, const QString &sink) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 24000, 1};
        int error = 0;
        const QByteArray address = server.toLocal8Bit();
        const QByteArray source = (sink + QStringLiteral(".monitor")).toLocal8Bit();
        m_stream = pa_simple_new(address.constData(), "velmora-test", PA_STREAM_RECORD, source.constData(), "monitor",
                                 &spec, nullptr, nullptr, &error);
        if (!m_stream)
            return;
        m_thread = std::thread([this] {
            std::vector<std::int16_t> block(1200);
            while (!m_stop) {
                int error = 0;
                if (pa_simple_read(m_stream, block.data(), block.size() * sizeof(std::int16_t), &error) < 0)
                    return;
                for (std::int16_t sample : block)
                    m_peak = std::max<int>(m_peak, std::abs(int(sample)));
            }
        });
    }
    ~PulseMonitor() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
    }
    PulseMonitor(const PulseMonitor &) = delete;
    PulseMonitor &operator=(const PulseMonitor &) = delete;

    bool isListening() const { return m_stream != nullptr; }
    // The loudest sample heard so far.
    int peak() const { return m_peak; }

private:
    pa_simple *m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_peak = 0;
};

} // namespace velmora::test
