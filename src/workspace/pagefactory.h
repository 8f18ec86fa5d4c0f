#pragma once

#include "workspace/workspacepage.h"

#include <QtGlobal>

class QWidget;

namespace velmora {

// Makes the view of a page when the main window shows it (the composition root knows every
// page's view). Null for a page that has no view yet: the workspace then shows its own
// placeholder page.
class PageFactory {
public:
    virtual ~PageFactory() = default;
    virtual QWidget *createPage(const WorkspacePage &page, QWidget *parent) = 0;
    // Whether the page reaches up to the window's top edge (a list column that runs up under the
    // title-bar controls); it then keeps its own content below WorkspaceView::topInset(). Other
    // pages start below that inset.
    virtual bool extendsUnderTitleBar(const WorkspacePage &page) const {
        Q_UNUSED(page);
        return false;
    }
    // The title-bar button that hides and shows the page's list (Notes and History), or null.
    virtual QWidget *createListToggle(const WorkspacePage &page, QWidget *parent) {
        Q_UNUSED(page);
        Q_UNUSED(parent);
        return nullptr;
    }
};

} // namespace velmora
