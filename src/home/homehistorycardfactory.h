#pragma once

#include "home/homehistorycard.h"
#include "workspace/recentcardfactory.h"

namespace velmora {

// The History cards of the tool pages' Recent sections: without the tool line, offering their
// text as coming from the page's tool.
class HomeHistoryCardFactory : public RecentCardFactory {
public:
    explicit HomeHistoryCardFactory(HomeHistoryCard::Services services) : m_services(services) {}

    QWidget *createCard(const HistoryEntry &entry, WorkspaceTool sendFrom, QWidget *parent) override {
        return new HomeHistoryCard(entry, false, sendFrom, m_services, parent);
    }

private:
    HomeHistoryCard::Services m_services;
};

} // namespace velmora
