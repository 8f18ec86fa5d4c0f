#pragma once

// The Dictation tool's page: what dictation does, the keys that start, stop and cancel it, how to
// get back text that was not pasted, a banner while setup is missing, links to the Settings panes,
// and the tool's recent History. It records nothing itself; every part follows its services.

#include "workspace/toolpageservices.h"

#include <QWidget>

#include <optional>

class QGridLayout;

namespace velmora {

class Button;
class DictationCoordinator;
class GlobalShortcutRegistry;
class LocalModels;
class SectionHeader;
class SetupBanner;
class SpeechPermissions;
class SpeechShortcuts;
class StyledLabel;
class ToolPageHeader;

// What one key cap shows.
struct KeyLegend {
    QString label;
    // A globe symbol in front of the label.
    bool globe = false;
    bool operator==(const KeyLegend &) const = default;
};

// A key printed as a cap, as wide as the widest legend it is sized for and never narrower than
// high.
class KeyCap : public QWidget {
    Q_OBJECT
public:
    KeyCap(KeyLegend legend, QList<KeyLegend> sizedFor, QWidget *parent = nullptr);

    const KeyLegend &legend() const { return m_legend; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    double labelWidth(const KeyLegend &legend) const;

    KeyLegend m_legend;
    QList<KeyLegend> m_sizedFor;
};

class DictationView : public QWidget {
    Q_OBJECT
public:
    struct Services {
        DictationCoordinator *dictation = nullptr;
        SpeechPermissions *permissions = nullptr;
        LocalModels *models = nullptr;
        SpeechShortcuts *shortcuts = nullptr;
        GlobalShortcutRegistry *registry = nullptr;
        // Without a Recent source and cards the page ends with "How it works".
        ToolPageServices workspace;
    };
    enum class Banner { None, Permissions, Model };

    explicit DictationView(Services services, QWidget *parent = nullptr);

    // The legends of the keys as set now (the start/stop one, then the cancel one).
    std::optional<KeyLegend> startLegend() const;
    std::optional<KeyLegend> cancelLegend() const;
    Banner banner() const;
    bool needsSetup() const;

    ToolPageHeader *header() const { return m_header; }
    SetupBanner *setupBanner() const { return m_banner; }
    Button *shortcutButton() const { return m_shortcutButton; }
    // The caps shown, in order, and the texts of the "How it works" rows.
    QList<KeyCap *> caps() const;
    QStringList rowTexts() const;
    StyledLabel *noShortcutLabel() const { return m_noShortcut; }
    StyledLabel *whatText() const { return m_what; }
    StyledLabel *pasteHint() const { return m_pasteHint; }
    StyledLabel *historyNote() const { return m_historyNote; }
    QWidget *recentSection() const { return m_recent; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void rebuildGrid();

    Services m_services;
    ToolPageHeader *m_header;
    SetupBanner *m_banner;
    SectionHeader *m_whatHeader;
    StyledLabel *m_what;
    SectionHeader *m_howHeader;
    Button *m_shortcutButton;
    QWidget *m_grid;
    QGridLayout *m_gridLayout;
    StyledLabel *m_noShortcut = nullptr;
    StyledLabel *m_pasteHint;
    StyledLabel *m_historyNote;
    QWidget *m_recent = nullptr;
    QAction *m_settingsAction = nullptr;
};

} // namespace velmora
