// Renders the Translate page in each of its preview states, at the standard and the largest text
// size, in English and Japanese, in a roomy window and in the narrowest one the app allows
// ("-narrow"), as PNGs in the folder given as the first argument. Not a test: a person looks at
// the pictures.

#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "tools/translate/translatemodelreadiness.h"
#include "tools/translate/translatesession.h"
#include "tools/translate/translateview.h"
#include "ui/environment.h"
#include "workspace/handofffakes.h"
#include "workspace/pinnedtools.h"
#include "workspace/recentcardfactory.h"
#include "workspace/workspacefakes.h"
#include "workspace/workspaceview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTranslator>
#include <QVBoxLayout>

using namespace velmora;

namespace {

class PlainCards : public RecentCardFactory {
public:
    QWidget *createCard(const HistoryEntry &entry, WorkspaceTool, QWidget *parent) override {
        auto *card = new QWidget(parent);
        card->setFixedSize(240, 96);
        card->setAutoFillBackground(true);
        card->setToolTip(entry.text.value_or(QString()));
        return card;
    }
};

void settle() {
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: translate_gallery OUTPUT-FOLDER");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    LLMServer server(QStringLiteral("/nonexistent/llm-server"));
    LLMRuntime llm(
        server, [] { return std::nullopt; }, [] { return std::nullopt; });
    test::FakeHistorySource history;
    for (const char *text : {"Thank you for your continued support.", "The review moves to Thursday."}) {
        HistoryEntry entry;
        entry.id = QUuid::createUuid();
        entry.tool = QStringLiteral("translate");
        entry.createdAt = QDateTime::currentDateTime();
        entry.text = QString::fromUtf8(text);
        history.all.append(entry);
    }
    PlainCards cards;

    const QStringList states = {"empty", "typing", "missing", "running", "done", "edited", "failed", "over"};
    QTranslator translate, workspace, ui;
    for (const char *language : {"en", "ja"}) {
        if (QString::fromLatin1(language) == u"ja") {
            if (!translate.load(":/translations/translate_ja.qm") ||
                !workspace.load(":/translations/workspace_ja.qm") || !ui.load(":/translations/ui_ja.qm"))
                qWarning("the Japanese translations are missing");
            for (QTranslator *t : {&translate, &workspace, &ui})
                QCoreApplication::installTranslator(t);
        }
        for (TextSize size : {TextSize::Standard, TextSize::Largest}) {
            for (const bool narrow : {false, true}) {
                for (const QString &state : states) {
                    test::HandoffFakes fakes(false);
                    PinnedTools pins(fakes.defaults);
                    const std::optional<QString> preview =
                        state == u"empty" ? std::nullopt : std::optional<QString>(state);
                    TranslateSession::Dependencies deps;
                    deps.llm = &llm;
                    deps.previewState = preview;
                    TranslateSession session(std::move(deps));
                    TranslateModelReadiness model(
                        {[] { return ModelStore::State(ModelStore::State::Kind::Ready); },
                         []() -> std::optional<QStringList> { return QStringList{QStringLiteral("/m/writer.gguf")}; }},
                        preview);
                    TranslateView::Services services;
                    services.session = &session;
                    services.model = &model;
                    services.workspace.navigation = &fakes.navigation;
                    services.workspace.pins = &pins;
                    services.handoff = &fakes.handoff;
                    services.workspace.recent = &history;
                    services.workspace.cards = &cards;
                    QWidget window;
                    Environment::applyAppearance(&window, ColorScheme::Light);
                    Environment::setTextSize(&window, size);
                    auto *layout = new QVBoxLayout(&window);
                    layout->setContentsMargins(0, 0, 0, 0);
                    layout->addWidget(new TranslateView(services, &window));
                    // The narrowest window has no room for the sidebar: the page gets all of it.
                    const int roomy = size == TextSize::Standard ? 1100 : 1340;
                    window.resize(narrow ? WorkspaceView::kMinimumWidth : roomy,
                                  size == TextSize::Standard ? 760 : 900);
                    window.show();
                    settle();
                    window.grab().save(QStringLiteral("%1/%2-%3-%4%5.png")
                                           .arg(out, state, QString::fromLatin1(language), toString(size),
                                                narrow ? QStringLiteral("-narrow") : QString()));
                }
            }
        }
    }
    return 0;
}
