#include "platform/memorypressure.h"

#include "core/error.h"
#include "core/log.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace velmora {

namespace {
// The whole (small) pressure file; errno in error when it cannot be read.
std::optional<QByteArray> readPressureFile(const QString &path, int &error) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    QByteArray text;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, n);
    }
    ::close(fd);
    return text;
}
} // namespace

PsiMemoryPressure::PsiMemoryPressure() : PsiMemoryPressure(Options{}) {}

PsiMemoryPressure::PsiMemoryPressure(Options options, QObject *parent)
    : MemoryPressureSource(parent), m_options(std::move(options)) {}

PsiMemoryPressure::~PsiMemoryPressure() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<PsiMemoryPressure::Totals> PsiMemoryPressure::parse(const QByteArray &text) {
    Totals totals;
    bool haveSome = false;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2)
            continue;
        for (const QByteArray &field : fields) {
            if (!field.startsWith("total="))
                continue;
            bool ok = false;
            const qint64 value = field.mid(6).toLongLong(&ok);
            if (!ok)
                return std::nullopt;
            if (fields.first() == "some") {
                totals.some = value;
                haveSome = true;
            } else if (fields.first() == "full") {
                totals.full = value;
            }
        }
    }
    if (!haveSome)
        return std::nullopt;
    return totals;
}

void PsiMemoryPressure::start() {
    if (m_mode != Mode::Off)
        return;
    if (m_options.useTrigger && startTrigger())
        return;
    startPoll();
}

bool PsiMemoryPressure::startTrigger() {
    const QByteArray path = QFile::encodeName(m_options.path);
    const int fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Only the kernel's own file takes a trigger; anything else is read by the poll.
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC) {
        ::close(fd);
        return false;
    }
    const QByteArray trigger = "some " + QByteArray::number(qint64(m_options.stall.count())) + ' ' +
                               QByteArray::number(qint64(m_options.window.count()));
    if (::write(fd, trigger.constData(), size_t(trigger.size()) + 1) < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_mode = Mode::Trigger;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PsiMemoryPressure::triggerFired);
    return true;
}

void PsiMemoryPressure::triggerFired() {
    // Reading clears nothing: the trigger fires at most once per window while it holds.
    emit pressure(Level::Warning);
}

void PsiMemoryPressure::startPoll() {
    int error = 0;
    const auto text = readPressureFile(m_options.path, error);
    if (!text) {
        Log::app().notice("Memory pressure is not watched: %{public}s", {Log::errorCode(PosixError(error))});
        return;
    }
    m_last = parse(*text);
    if (!m_last) {
        Log::app().notice("Memory pressure is not watched: %{public}s", {"unreadable"});
        return;
    }
    m_mode = Mode::Poll;
    m_timer = new QTimer(this);
    m_timer->setInterval(m_options.pollInterval);
    connect(m_timer, &QTimer::timeout, this, &PsiMemoryPressure::poll);
    m_timer->start();
}

void PsiMemoryPressure::poll() {
    int error = 0;
    const auto text = readPressureFile(m_options.path, error);
    const std::optional<Totals> now = text ? parse(*text) : std::nullopt;
    if (!now) {
        stop("the pressure file went away");
        return;
    }
    const Totals previous = *m_last;
    m_last = now;
    // The threshold scales with the time between two reads, as the trigger's with its window.
    const double scale = double(std::chrono::microseconds(m_options.pollInterval).count()) /
                         double(std::max<qint64>(m_options.window.count(), 1));
    const double threshold = double(m_options.stall.count()) * scale;
    if (now->full && previous.full && double(*now->full - *previous.full) >= threshold)
        emit pressure(Level::Critical);
    else if (double(now->some - previous.some) >= threshold)
        emit pressure(Level::Warning);
}

void PsiMemoryPressure::stop(const char *why) {
    Log::app().notice("Memory pressure is not watched: %{public}s", {why});
    if (m_timer)
        m_timer->stop();
    m_mode = Mode::Off;
}

} // namespace velmora
