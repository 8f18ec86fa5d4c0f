#pragma once

// The system clipboard, as pasting and copying use it. A change count grows with every change
// of the contents, by this program or another, so a caller can tell whether the contents it
// saw are still there.

#include <QByteArray>
#include <QMimeData>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual qint64 changeCount() const = 0;
    // The types on offer, in the owner's order; empty for an empty clipboard; none when another
    // program owns the clipboard but its list of types could not be read.
    virtual std::optional<QStringList> types() = 0;
    // The data of one type (possibly empty); none when the owner gives nothing for it.
    virtual std::optional<QByteArray> data(const QString &type) = 0;
    // Empties the clipboard; returns the new change count.
    virtual qint64 clear() = 0;
    // Puts the contents on the clipboard, which keeps them until they are replaced. Data that
    // QMimeData::retrieveData supplies is asked for only when a program reads it. False when
    // the clipboard could not be taken.
    virtual bool write(std::unique_ptr<QMimeData> contents) = 0;
};

// The desktop's clipboard through QClipboard (on X11 the CLIPBOARD selection: another program's
// contents are read over the X server, ours are served from the QMimeData as programs ask).
// Needs a QGuiApplication; main thread only.
class QtClipboard : public QObject, public Clipboard {
    Q_OBJECT
public:
    explicit QtClipboard(QObject *parent = nullptr);
    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() override;
    std::optional<QByteArray> data(const QString &type) override;
    qint64 clear() override;
    bool write(std::unique_ptr<QMimeData> contents) override;

private:
    bool ownedByAnotherProgram() const;
    qint64 m_changeCount = 0;
};

// An in-memory clipboard for tests. What "another program" does is played through paste()
// (reads a type the way a pasting program does, which runs lazily supplied data) and
// setForeign() (replaces the contents).
class FakeClipboard : public Clipboard {
public:
    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() override;
    std::optional<QByteArray> data(const QString &type) override;
    qint64 clear() override;
    bool write(std::unique_ptr<QMimeData> contents) override;

    // Another program owns the clipboard with these types and data, in order.
    void setForeign(const QList<QPair<QString, QByteArray>> &entries);
    // Another program reads a type; none when it is not on offer.
    std::optional<QByteArray> paste(const QString &type = QStringLiteral("text/plain"));
    // The contents as (type, data) pairs, without running lazily supplied data.
    QList<QPair<QString, QByteArray>> entries() const;
    const QMimeData *contents() const { return m_contents.get(); }

    // Faults: the owner's type list cannot be read; writes are refused.
    bool unreadableTypes = false;
    bool failWrites = false;
    // Runs inside every types() call, as another program writing while the clipboard is read.
    std::function<void()> onTypes;
    int writes = 0;
    int clears = 0;

private:
    std::unique_ptr<QMimeData> m_contents;
    qint64 m_changeCount = 0;
};

} // namespace velmora
