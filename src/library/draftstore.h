#pragma once

// Keeps one page's unfinished state as a versioned JSON draft in the Library, under the page's
// tool key ("translate", "summarize", "proofread", "quickNote"). Changes are throttled: the
// first change starts a one-second timer and the newest value is written when it fires.
// Writes and deletions run one after another in call order.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/debouncer.h"
#include "core/serialqueue.h"
#include "core/sharedtask.h"
#include "library/library.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <concepts>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// A draft value: encodes to a JSON object and decodes from one, throwing when a value it
// requires is missing or wrong.
template <typename T>
concept DraftValue = std::copyable<T> && requires(const T &value, const QJsonObject &json) {
    { value.toJson() } -> std::convertible_to<QJsonObject>;
    { T::fromJson(json) } -> std::convertible_to<T>;
};

// What every store shares, whatever its draft type.
class DraftStoreBase : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kVersion = 1;
    static constexpr std::chrono::milliseconds kInterval{1000};

    DraftStoreBase(std::shared_ptr<Library> library, QString tool, QObject *parent = nullptr);
    ~DraftStoreBase() override;

    bool saveFailed() const { return m_saveFailed; }
    const QString &tool() const { return m_tool; }
    bool timerRunning() const { return m_throttle.isPending(); }

    // Drops any waiting value and queues the deletion of the row.
    void clear();
    // Queues a waiting value at once and waits for every queued write and deletion.
    QCoro::Task<> flush();

signals:
    void saveFailedChanged(bool saveFailed);

protected:
    // The stored content of the tool's row when its version is this store's; none when there
    // is none or its version differs. Logs and gives none when the read fails.
    QCoro::Task<std::optional<QString>> loadContent();
    void logLoadFailure(const std::exception_ptr &error) const;
    // Starts the throttle timer unless it runs.
    void startTimer() { m_throttle.trigger(); }
    // Queues writing the content that encode() makes (run off the main thread).
    void enqueueWrite(std::function<QString()> encode);

    virtual bool hasLatest() const = 0;
    virtual void dropLatest() = 0;
    virtual std::function<QString()> takeLatest() = 0;
    void saveLatest();

private:
    using Operation = std::function<QCoro::Task<>(std::shared_ptr<Library>)>;
    void enqueue(Operation operation);
    static QCoro::Task<> runQueued(QPointer<DraftStoreBase> store, Operation operation,
                                   std::shared_ptr<Library> library, QString tool);
    static QCoro::Task<> write(std::shared_ptr<Library> library, QString tool, std::function<QString()> encode);
    static QCoro::Task<> remove(std::shared_ptr<Library> library, QString tool);
    static QCoro::Task<std::optional<LibraryDraft>> fetch(std::shared_ptr<Library> library, QString tool);
    void setSaveFailed(bool failed);

    std::shared_ptr<Library> m_library;
    QString m_tool;
    bool m_saveFailed = false;
    Debouncer m_throttle{Debouncer::Mode::Throttling, kInterval};
    SerialQueue m_operations;
};

template <DraftValue T>
class DraftStore : public DraftStoreBase {
public:
    using DraftStoreBase::DraftStoreBase;

    // The saved draft, or none when there is no usable one. Never fails.
    QCoro::Task<std::optional<T>> load() {
        const QPointer<DraftStoreBase> self(this);
        auto loading = loadContent();
        const std::optional<QString> content = co_await std::move(loading);
        if (!content)
            co_return std::nullopt;
        try {
            co_return decode(*content);
        } catch (...) {
            if (self)
                logLoadFailure(std::current_exception());
        }
        co_return std::nullopt;
    }

    // Keeps the page's whole state; it is written when the running (or a new) timer fires.
    void schedule(T value) {
        m_latest = std::move(value);
        startTimer();
    }

    static T decode(const QString &content) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(content.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            throw LibraryDecodingError(QStringLiteral("draft is not a JSON object"));
        return T::fromJson(document.object());
    }

protected:
    bool hasLatest() const override { return m_latest.has_value(); }
    void dropLatest() override { m_latest.reset(); }
    std::function<QString()> takeLatest() override {
        T value = std::move(*m_latest);
        m_latest.reset();
        return [value] { return QString::fromUtf8(QJsonDocument(value.toJson()).toJson(QJsonDocument::Compact)); };
    }

private:
    std::optional<T> m_latest;
};

} // namespace velmora
