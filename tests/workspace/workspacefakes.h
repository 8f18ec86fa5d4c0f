#pragma once

// Stand-ins for the notes store and the tool sessions the workspace talks to.

#include "core/promise.h"
#include "workspace/handoffprompts.h"
#include "workspace/proofreadhandofftarget.h"
#include "workspace/recenthistorysource.h"
#include "workspace/summarizehandofftarget.h"
#include "workspace/textmodelreadiness.h"
#include "workspace/translatehandofftarget.h"
#include "workspace/workspacenotes.h"

#include <QMenu>
#include <QStringList>
#include <QUuid>

#include <memory>

namespace velmora::test {

// Notes in a list, a search that hides what does not contain its text, and a selection.
class FakeNotes : public WorkspaceNotes {
public:
    struct Note {
        QUuid id;
        QString text;
    };

    QUuid add(const QString &text) {
        const QUuid id = QUuid::createUuid();
        notes.append({id, text});
        return id;
    }
    void remove(const QUuid &id) {
        notes.removeIf([&](const Note &n) { return n.id == id; });
    }

    std::optional<QUuid> selectedNoteId() const override { return selected; }
    bool containsNote(const QUuid &id) const override {
        return std::any_of(notes.begin(), notes.end(), [&](const Note &n) { return n.id == id; });
    }
    bool listsNote(const QUuid &id) const override {
        return std::any_of(notes.begin(), notes.end(),
                           [&](const Note &n) { return n.id == id && n.text.contains(search, Qt::CaseInsensitive); });
    }
    void clearSearch() override { search.clear(); }
    void selectNote(const std::optional<QUuid> &id) override { selected = id; }
    void newNote() override {
        search.clear();
        // A blank note that was never stored is reused.
        if (selected && blankUnsaved == selected)
            return;
        const QUuid id = QUuid::createUuid();
        notes.prepend({id, QString()});
        blankUnsaved = id;
        selected = id;
    }
    std::optional<QUuid> createNote(const QString &text) override {
        if (!ready || text.trimmed().isEmpty())
            return std::nullopt;
        const QUuid id = QUuid::createUuid();
        notes.prepend({id, text});
        created.append(text);
        return id;
    }

    QList<Note> notes;
    QString search;
    std::optional<QUuid> selected;
    std::optional<QUuid> blankUnsaved;
    bool ready = true;
    QStringList created;
};

class FakeReadiness : public TextModelReadiness {
public:
    bool isReady() override { return ready; }
    bool ready = true;
};

class FakeTranslate : public TranslateHandoffTarget {
public:
    QCoro::Task<> receive(QString text, bool start) override {
        received.append({text, start});
        co_return;
    }
    QList<std::pair<QString, bool>> received;
};

class FakeProofread : public ProofreadHandoffTarget {
public:
    void receive(const QString &text, bool check) override { received.append({text, check}); }
    QList<std::pair<QString, bool>> received;
};

// A Summarize session whose run ends when the test says so; every call is journaled.
class FakeSummarize : public SummarizeHandoffTarget {
public:
    bool isRunning() const override { return running; }
    std::optional<QCoro::Task<>> cancelRun() override {
        calls.append(QStringLiteral("cancel"));
        if (!run)
            return std::nullopt;
        return waitForRun(*run);
    }
    void flushHistory() override { calls.append(QStringLiteral("flush")); }
    void setText(const QString &t) override {
        calls.append(QStringLiteral("text:") + t);
        text = t;
    }
    void setResult(const QString &r) override {
        calls.append(QStringLiteral("result:") + r);
        result = r;
    }
    void resetResult() override { calls.append(QStringLiteral("reset")); }
    void start() override { calls.append(QStringLiteral("start")); }

    // Starts a run that lasts until endRun().
    void beginRun() {
        running = true;
        run = Promise<void>();
    }
    void endRun() {
        running = false;
        Promise<void> ended = *run;
        run.reset();
        ended.resolve();
    }

    bool running = false;
    std::optional<Promise<void>> run;
    QStringList calls;
    QString text;
    QString result = QStringLiteral("old result");

private:
    static QCoro::Task<> waitForRun(Promise<void> run) { co_await run; }
};

// Answers the save dialog with a fixed path (or a cancel) and remembers what was shown.
class FakePrompts : public HandoffPrompts {
public:
    void askSavePath(const QString &proposedName, std::function<void(std::optional<QString>)> done) override {
        proposed.append(proposedName);
        done(answer);
    }
    void showFailure(const QString &message, const QString &detail) override { failures.append({message, detail}); }
    bool popupAtPointer(QMenu *menu) override {
        shownMenu.reset(menu);
        return true;
    }

    std::optional<QString> answer;
    QStringList proposed;
    QList<std::pair<QString, QString>> failures;
    std::unique_ptr<QMenu> shownMenu;
};

// History entries served from a list, optionally held back until released.
class FakeHistorySource : public RecentHistorySource {
public:
    qint64 revision() const override { return m_revision; }
    QCoro::Task<QList<HistoryEntry>> entries(std::optional<QSet<WorkspaceTool>> tools, std::optional<QString> query,
                                             std::optional<int> limit) override {
        requests.append({tools, limit});
        Q_UNUSED(query);
        const QList<HistoryEntry> snapshot = all;
        if (hold) {
            Promise<void> gate = *hold;
            co_await gate;
        }
        QList<HistoryEntry> result;
        for (const HistoryEntry &e : snapshot) {
            auto tool = workspaceToolFromString(e.tool);
            if (!tools || (tool && tools->contains(*tool)))
                result.append(e);
            if (limit && result.size() >= *limit)
                break;
        }
        co_return result;
    }
    void bump() {
        ++m_revision;
        emit revisionChanged();
    }

    QList<HistoryEntry> all;
    QList<std::pair<std::optional<QSet<WorkspaceTool>>, std::optional<int>>> requests;
    std::optional<Promise<void>> hold;

private:
    qint64 m_revision = 0;
};

} // namespace velmora::test
