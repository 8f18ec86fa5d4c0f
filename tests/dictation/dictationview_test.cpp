// The Dictation page over the real shortcuts, permissions, model store and coordinator: its caps,
// rows, banners, links and notes for the settings it reads.

#include "dictationrunfixture.h"

#include "dictation/dictationview.h"
#include "models/localmodels.h"
#include "platform/microphoneaccess.h"
#include "platform/settingspanes.h"
#include "platform/sleepinhibitor.h"
#include "platform/virtualkeys.h"
#include "speech/speechpermissions.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/toolpageheader.h"
#include "ui/workspacepane.h"
#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"
#include "workspace/recentcardfactory.h"
#include "workspace/toolrecentsection.h"
#include "workspace/workspacefakes.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QMenu>
#include <QTranslator>

using namespace velmora;
using namespace velmora::test;

namespace {

class DictationViewTest : public DictationRunTest {
protected:
    void SetUp() override {
        DictationRunTest::SetUp();
        const QByteArray bytes("speech model");
        speechFile = home.dataHome() + QStringLiteral("/Models/Speech/speech.bin");
        writeFile(speechFile, bytes);
        setup.speechManifests = {
            ModelManifest{QUrl("http://127.0.0.1:9/speech.bin"), "speech.bin", bytes.size(),
                          QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}};
        setup.speechFolder = home.dataHome() + QStringLiteral("/Models/Speech");
        setup.textManifests = {ModelManifest{QUrl("http://127.0.0.1:9/text.bin"), "text.bin", 10, QString(64, u'0')}};
        setup.textFolder = home.dataHome() + QStringLiteral("/Models/Text");
        setup.spaceFolder = home.dataHome();
        setup.machineMemory = [] { return quint64(32) << 30; };
        microphone.current = MicrophoneAccess::Status::Authorized;
        trust.trusted = true;
    }

    DictationView &view() {
        if (!m_view) {
            if (!models) {
                models = std::make_unique<LocalModels>(defaults, sleep, setup);
                run(models->speech().operationEnded());
            }
            permissions = std::make_unique<SpeechPermissions>(defaults, microphone, trust, panes);
            permissions->refresh();
            DictationView::Services services;
            services.dictation = &dictation();
            services.permissions = permissions.get();
            services.models = models.get();
            services.shortcuts = &shortcuts;
            services.registry = &registry;
            services.workspace.navigation = &navigation;
            services.workspace.pins = &pins;
            services.workspace.recent = &recent;
            services.workspace.cards = &cards;
            m_view = std::make_unique<DictationView>(services);
            m_view->resize(800, 900);
        }
        return *m_view;
    }
    QStringList capLabels() {
        QStringList labels;
        for (KeyCap *cap : view().caps())
            labels.append(cap->legend().label);
        return labels;
    }

    void TearDown() override {
        m_view.reset();
        DictationRunTest::TearDown();
    }

    struct Cards : RecentCardFactory {
        QWidget *createCard(const HistoryEntry &, WorkspaceTool, QWidget *parent) override {
            return new QWidget(parent);
        }
    };

    QString speechFile;
    LocalModels::Setup setup;
    FakeMicrophoneAccess microphone;
    FakeSettingsPanes panes;
    FakeSleepInhibitor sleep;
    std::unique_ptr<LocalModels> models;
    std::unique_ptr<SpeechPermissions> permissions;
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    PinnedTools pins{defaults};
    FakeHistorySource recent;
    Cards cards;

private:
    std::unique_ptr<DictationView> m_view;
};

TEST_F(DictationViewTest, TheDefaultKeysShowTwoCapsOfOneWidth) {
    EXPECT_EQ(capLabels(), (QStringList{QStringLiteral("Right Ctrl"), QStringLiteral("esc")}));
    const QList<KeyCap *> caps = view().caps();
    ASSERT_EQ(caps.size(), 2);
    EXPECT_EQ(caps[0]->sizeHint(), caps[1]->sizeHint());
    EXPECT_GT(caps[1]->sizeHint().width(), caps[1]->sizeHint().height());
    EXPECT_EQ(view().shortcutButton()->text(), QStringLiteral("Change Shortcut\u2026"));
    EXPECT_EQ(view().rowTexts(), (QStringList{QStringLiteral("Press to start. Press again to stop and paste the text."),
                                              QStringLiteral("Press to cancel without pasting.")}));
    EXPECT_EQ(view().noShortcutLabel(), nullptr);
    EXPECT_FALSE(view().setupBanner()->isVisibleTo(&view()));
    EXPECT_FALSE(view().historyNote()->isVisibleTo(&view()));
    EXPECT_EQ(view().header()->descriptionLabel()->text(), QStringLiteral("Type with your voice in any app."));
    EXPECT_NE(view().recentSection(), nullptr);
}

TEST_F(DictationViewTest, TheCapsAndRowsFollowTheShortcutSettings) {
    const KeyChord start = KeyChord{VirtualKeys::kSpace, KeyChord::kCommand | KeyChord::kOption};
    struct Case {
        const char *name;
        bool globe;
        std::optional<KeyChord> toggle;
        bool escape;
        QStringList caps;
        QString firstRow;
        QString button;
    };
    const QString press = QStringLiteral("Press to start. Press again to stop and paste the text.");
    const QString set = QStringLiteral("Set a shortcut to start dictating.");
    const QList<Case> cases{
        {"no start key", false, std::nullopt, true, {QStringLiteral("esc")}, set, QStringLiteral("Set Shortcut\u2026")},
        {"a chord",
         false,
         start,
         true,
         {registry.displayText(start), QStringLiteral("esc")},
         press,
         QStringLiteral("Change Shortcut\u2026")},
        {"no cancel key",
         true,
         std::nullopt,
         false,
         {QStringLiteral("Right Ctrl")},
         press,
         QStringLiteral("Change Shortcut\u2026")},
    };
    view();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        shortcuts.setToggleUsesGlobe(c.globe);
        shortcuts.setToggleChord(c.toggle);
        shortcuts.setCancelUsesEscape(c.escape);
        EXPECT_EQ(capLabels(), c.caps);
        EXPECT_EQ(view().rowTexts().value(0), c.firstRow);
        EXPECT_EQ(view().rowTexts().size(), c.escape ? 2 : 1);
        EXPECT_EQ(view().shortcutButton()->text(), c.button);
        EXPECT_EQ(view().noShortcutLabel() != nullptr, !c.globe && !c.toggle);
        if (view().noShortcutLabel()) {
            EXPECT_EQ(view().noShortcutLabel()->text(), QStringLiteral("No shortcut"));
            EXPECT_EQ(view().noShortcutLabel()->color(), ColorName::TextSecondary);
        }
        for (KeyCap *cap : view().caps())
            EXPECT_FALSE(cap->legend().globe);
    }
    // Alone, a cap is sized for its own legend.
    KeyCap alone(KeyLegend{QStringLiteral("esc"), false}, {KeyLegend{QStringLiteral("esc"), false}});
    EXPECT_EQ(view().caps().value(0)->sizeHint().width() > alone.sizeHint().width(), true);
}

TEST_F(DictationViewTest, CapsGrowWithTheTextSize) {
    shortcuts.setToggleUsesGlobe(false);
    const KeyChord cancel = KeyChord{VirtualKeys::kV, KeyChord::kCommand | KeyChord::kShift};
    shortcuts.setCancelUsesEscape(false);
    shortcuts.setCancelChord(cancel);
    view();
    const int expected[] = {28, 32, 36, 40};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&view(), size);
        ASSERT_EQ(view().caps().size(), 1);
        const QSize hint = view().caps().first()->sizeHint();
        EXPECT_EQ(hint.height(), expected[position(size)]) << position(size);
        EXPECT_GE(hint.width(), hint.height());
    }
}

TEST_F(DictationViewTest, OneBannerAtATimeAndItsLinkOpensItsPane) {
    QFile::remove(speechFile);
    microphone.current = MicrophoneAccess::Status::Denied;
    view();
    ASSERT_EQ(models->speech().state(), ModelStore::State::Kind::Unavailable);
    EXPECT_EQ(view().banner(), DictationView::Banner::Permissions);
    EXPECT_TRUE(view().setupBanner()->isVisibleTo(&view()));
    EXPECT_EQ(view().setupBanner()->messageLabel()->text(),
              QStringLiteral("Dictation needs microphone and Accessibility access."));
    emit view().setupBanner()->linkActivated();
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Permissions);

    microphone.current = MicrophoneAccess::Status::Authorized;
    permissions->refresh();
    EXPECT_EQ(view().banner(), DictationView::Banner::Model);
    EXPECT_EQ(view().setupBanner()->messageLabel()->text(),
              QStringLiteral("Dictation needs the speech recognition model."));
    emit view().setupBanner()->linkActivated();
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Models);

    trust.trusted = false;
    permissions->refresh();
    EXPECT_EQ(view().banner(), DictationView::Banner::Permissions);
}

TEST_F(DictationViewTest, AReadyModelAndGrantsShowNoBannerAndAFailedDownloadBringsItBack) {
    view();
    EXPECT_EQ(view().banner(), DictationView::Banner::None);
    EXPECT_FALSE(view().needsSetup());
    models->speech().setFailedForSpace();
    EXPECT_EQ(view().banner(), DictationView::Banner::Model);
    EXPECT_TRUE(view().setupBanner()->isVisibleTo(&view()));
    EXPECT_TRUE(view().needsSetup());
}

TEST_F(DictationViewTest, LinksOpenTheirSettingsPanes) {
    view().shortcutButton()->click();
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Shortcuts);
    QAction *settings = nullptr;
    for (QAction *action : view().header()->moreMenu()->actions())
        if (action->text() == QStringLiteral("Dictation Settings\u2026"))
            settings = action;
    ASSERT_NE(settings, nullptr);
    settings->trigger();
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Dictation);
}

TEST_F(DictationViewTest, TheHistoryNoteSaysWhyDictationsAreNotSaved) {
    view();
    EXPECT_FALSE(view().historyNote()->isVisibleTo(&view()));
    coordinator->historySaveDidFail();
    EXPECT_TRUE(view().historyNote()->isVisibleTo(&view()));
    EXPECT_EQ(view().historyNote()->text(), QStringLiteral("Couldn't save this dictation to History."));
    coordinator->attach(nullptr, Library::Status::unavailable(Library::UnavailableReason::Damaged));
    EXPECT_EQ(view().historyNote()->text(), QStringLiteral("History can't be opened because its data is damaged."));
}

TEST_F(DictationViewTest, TheTextsFollowTheApplicationLanguage) {
    view();
    QTranslator dictationJa;
    QTranslator workspaceJa;
    ASSERT_TRUE(dictationJa.load(QStringLiteral(":/translations/dictation_ja.qm")));
    ASSERT_TRUE(workspaceJa.load(QStringLiteral(":/translations/workspace_ja.qm")));
    QCoreApplication::installTranslator(&dictationJa);
    QCoreApplication::installTranslator(&workspaceJa);
    QCoreApplication::processEvents();
    const QStringList japanese{view().whatText()->text(), view().pasteHint()->text(), view().shortcutButton()->text(),
                               view().header()->descriptionLabel()->text(), capLabels().value(0)};
    const QStringList rows = view().rowTexts();
    QCoreApplication::removeTranslator(&dictationJa);
    QCoreApplication::removeTranslator(&workspaceJa);
    QCoreApplication::processEvents();
    for (const QString &text : japanese + rows) {
        EXPECT_FALSE(text.isEmpty());
        // Every text carries Japanese script.
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; }))
            << text.toStdString();
    }
    EXPECT_EQ(view().shortcutButton()->text(), QStringLiteral("Change Shortcut\u2026"));
}

} // namespace
