#include "platform/terminationsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace {

// The self-pipe: the handler may only write(2); the main loop reads the signal numbers.
int g_pipe[2] = {-1, -1};

void handler(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void TerminationSignals::install() {
    if (g_pipe[0] >= 0)
        return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent), m_notifier(nullptr) {
    install();
    if (g_pipe[0] < 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::readPending() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            emit received(int(bytes[i]));
    }
}

} // namespace velmora
