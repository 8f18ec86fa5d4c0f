#pragma once

#include "library/history.h"
#include "workspace/workspacetool.h"

class QWidget;

namespace velmora {

// Makes the History card a tool page's Recent section shows for an entry (the card of Home,
// a higher layer): without the tool's icon and name, its Send to leaving out sendFrom.
class RecentCardFactory {
public:
    virtual ~RecentCardFactory() = default;
    virtual QWidget *createCard(const HistoryEntry &entry, WorkspaceTool sendFrom, QWidget *parent) = 0;
};

} // namespace velmora
