#pragma once

#include "workspace/toolpageservices.h"

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace velmora {

class SetupBanner;
class ToolHandoff;
class ToolPageHeader;
class ToolPageScaffold;
class ToolRecentSection;
class TranslateModelReadiness;
class TranslatePanes;
class TranslateSession;

// The Translate page: the tool's header, the banner while the writing model is missing, the two
// panes, and the tool's Recent section under them. It keeps no state of its own and tells the
// session while it is on screen.
class TranslateView : public QWidget {
    Q_OBJECT
public:
    struct Services {
        TranslateSession *session = nullptr;
        TranslateModelReadiness *model = nullptr;
        ToolHandoff *handoff = nullptr;
        ToolPageServices workspace;
    };

    explicit TranslateView(Services services, QWidget *parent = nullptr);
    ~TranslateView() override;

    static QString bannerMessage();
    static QString bannerLink();

    ToolPageScaffold *scaffold() const { return m_scaffold; }
    ToolPageHeader *header() const { return m_header; }
    SetupBanner *banner() const { return m_banner; }
    TranslatePanes *panes() const { return m_panes; }
    ToolRecentSection *recentSection() const { return m_recent; }
    // Whether the banner is meant to show (it may still be fading).
    bool showsBanner() const { return m_bannerShown; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    // The page's parts were built apart and put together: each re-reads the environment it ended up in.
    void rereadEnvironment();
    void updateBanner(bool animated);
    void retranslate();

    QPointer<TranslateSession> m_session;
    TranslateModelReadiness &m_model;
    ToolPageHeader *m_header;
    SetupBanner *m_banner;
    TranslatePanes *m_panes;
    ToolRecentSection *m_recent = nullptr;
    ToolPageScaffold *m_scaffold;
    QVariantAnimation *m_bannerAnimation;
    bool m_bannerShown = false;
};

} // namespace velmora
