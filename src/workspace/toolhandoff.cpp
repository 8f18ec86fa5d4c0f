#include "workspace/toolhandoff.h"

#include "core/continuousclock.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/clipboard.h"
#include "platform/urlopener.h"
#include "workspace/appnavigation.h"
#include "workspace/handoffprompts.h"
#include "workspace/proofreadhandofftarget.h"
#include "workspace/summarizehandofftarget.h"
#include "workspace/textmodelreadiness.h"
#include "workspace/translatehandofftarget.h"
#include "workspace/workspacenotes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSaveFile>
#include <QTextBoundaryFinder>
#include <QUrl>

#include <cerrno>

namespace velmora {

namespace {

QString failureDetail(int error, const QString &fallback) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QCoreApplication::translate("SendTo", "You don't have permission to save files in this folder.",
                                           "Detail of a failed Save as File: no write access to the folder");
    case ENOSPC:
    case EDQUOT:
        return QCoreApplication::translate("SendTo", "There isn't enough space on the disk.",
                                           "Detail of a failed Save as File: the disk is full");
    case EROFS:
        return QCoreApplication::translate("SendTo", "The disk is read-only.",
                                           "Detail of a failed Save as File: the disk cannot be written");
    default: return fallback;
    }
}

} // namespace

ToolHandoff::ToolHandoff(AppNavigation &navigation, WorkspaceNotes &notes, TextModelReadiness &textModel,
                         Targets targets, HandoffPrompts &prompts, UrlOpener &urls, Clipboard &clipboard,
                         QObject *parent)
    : QObject(parent), m_navigation(navigation), m_notes(notes), m_textModel(textModel), m_targets(targets),
      m_prompts(prompts), m_urls(urls), m_clipboard(clipboard) {}

void ToolHandoff::send(const QString &text, WorkspaceTool tool) {
    if (tool != WorkspaceTool::Translate && tool != WorkspaceTool::Summarize && tool != WorkspaceTool::Proofread)
        return;
    const bool ready = m_textModel.isReady();
    m_navigation.open(WorkspacePage::tool(tool), false);
    switch (tool) {
    case WorkspaceTool::Proofread:
        if (m_targets.proofread)
            m_targets.proofread->receive(text, ready);
        break;
    case WorkspaceTool::Translate:
        if (m_targets.translate)
            deliverTranslate(QPointer(this), m_targets.translate, text, ready); // runs on by itself
        break;
    case WorkspaceTool::Summarize:
        if (m_targets.summarize)
            deliverSummarize(QPointer(this), m_targets.summarize, text, ready); // runs on by itself
        break;
    default: break;
    }
    Log::app().notice("Sent text to %{public}s", {toString(tool)});
}

QCoro::Task<> ToolHandoff::deliverTranslate(QPointer<ToolHandoff> self, TranslateHandoffTarget *target, QString text,
                                            bool start) {
    co_await target->receive(std::move(text), start);
    if (self)
        emit self->delivered(WorkspaceTool::Translate);
}

QCoro::Task<> ToolHandoff::deliverSummarize(QPointer<ToolHandoff> self, SummarizeHandoffTarget *target, QString text,
                                            bool start) {
    while (target->isRunning()) {
        auto run = target->cancelRun();
        // Running without a run task (the preview state): there is nothing to wait for.
        if (!run)
            break;
        co_await std::move(*run);
        if (!self)
            co_return;
        // A session still reporting a run that has ended is waited for without spinning.
        if (target->isRunning())
            co_await delay(std::chrono::milliseconds(20));
        if (!self)
            co_return;
    }
    target->flushHistory();
    target->setText(text);
    target->setResult(QString());
    target->resetResult();
    if (start)
        target->start();
    emit self->delivered(WorkspaceTool::Summarize);
}

bool ToolHandoff::newNote(const QString &text) {
    const auto id = m_notes.createNote(text);
    if (!id)
        return false;
    m_navigation.openNote(*id);
    return true;
}

bool ToolHandoff::newNoteWithOriginal(const QString &original, const QString &text) {
    return newNote(original + QStringLiteral("\n\n") + text);
}

void ToolHandoff::saveAsFile(const QString &text, const QString &fileNameStem) {
    QPointer self(this);
    m_prompts.askSavePath(proposedFileName(fileNameStem), [self, text](std::optional<QString> path) {
        if (self && path)
            self->writeFile(*path, text);
    });
}

void ToolHandoff::writeFile(const QString &path, const QString &text) {
    QSaveFile file(path);
    errno = 0;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        const QByteArray bytes = text.toUtf8();
        ok = file.write(bytes) == bytes.size();
        if (ok)
            ok = file.commit();
    }
    const int error = errno;
    if (ok) {
        emit saved(path);
        return;
    }
    const QString reason = file.errorString();
    const int fileError = int(file.error());
    file.cancelWriting();
    if (error != 0)
        Log::app().error("Save as file failed: %{public}s", {Log::errorCode(PosixError(error))});
    else
        Log::app().error("Save as file failed: %{public}s",
                         {Log::errorCode(Error(QStringLiteral("QFileDevice"), fileError))});
    const QString message = QCoreApplication::translate("SendTo", "“%1” couldn't be saved.",
                                                        "Message after a failed Save as File; the file name")
                                .arg(QFileInfo(path).fileName());
    m_prompts.showFailure(message, failureDetail(error, reason));
}

void ToolHandoff::share(const QString &text) {
    m_prompts.popupAtPointer(shareMenu(text));
}

QMenu *ToolHandoff::shareMenu(const QString &text) {
    auto *menu = new QMenu;
    QPointer self(this);
    menu->addAction(QCoreApplication::translate("SendTo", "Copy", "Share menu item: copies the text"), menu,
                    [self, text] {
                        if (self)
                            self->copy(text);
                    });
    if (fitsInMail(text)) {
        menu->addAction(
            QCoreApplication::translate("SendTo", "Email",
                                        "Share menu item: opens a new message with the text in the mail program"),
            menu, [self, text] {
                if (self)
                    self->email(text);
            });
    } else {
        QAction *email = menu->addAction(QCoreApplication::translate(
            "SendTo", "Email (Text Too Long)", "Disabled share menu item: the text is too long for a new message"));
        email->setEnabled(false);
    }
    return menu;
}

void ToolHandoff::copy(const QString &text) {
    auto contents = std::make_unique<QMimeData>();
    contents->setText(text);
    m_clipboard.write(std::move(contents));
}

void ToolHandoff::email(const QString &text) {
    if (m_urls.openUrl(mailtoUrl(text)))
        return;
    m_prompts.showFailure(QCoreApplication::translate("SendTo", "No mail program could be opened.",
                                                      "Message when Email in the share menu finds no mail program"),
                          QCoreApplication::translate("SendTo", "Copy the text and paste it into a message instead.",
                                                      "Detail when no mail program could be opened"));
}

QUrl ToolHandoff::mailtoUrl(const QString &text) {
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\n', QStringLiteral("\r\n"));
    return QUrl::fromEncoded("mailto:?body=" + QUrl::toPercentEncoding(body));
}

bool ToolHandoff::fitsInMail(const QString &text) {
    return mailtoUrl(text).toEncoded().size() <= kMaxMailtoBytes;
}

QString ToolHandoff::proposedFileName(const QString &stem) {
    QString name;
    name.reserve(stem.size());
    for (QChar c : stem) {
        const char16_t u = c.unicode();
        if (u == 0)
            continue;
        if (u == u'/')
            name += u'-';
        else if (u < 0x20 || u == 0x7f)
            name += u' ';
        else
            name += c;
    }
    if (name.trimmed().isEmpty())
        name = QCoreApplication::translate("SendTo", "Untitled", "File name proposed for a text that has no name");
    const QString suffix = QStringLiteral(".txt");
    const int budget = kMaxFileNameBytes - int(suffix.size());
    if (name.toUtf8().size() <= budget)
        return name + suffix;
    // Cut between characters (never inside one), keeping the longest start that fits.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    qsizetype cut = 0;
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        if (QStringView(name).left(at).toUtf8().size() > budget)
            break;
        cut = at;
    }
    return name.left(cut) + suffix;
}

} // namespace velmora
