#pragma once

#include "workspace/pagefactory.h"

#include <QHash>

#include <functional>

namespace velmora {

// The views of the main window's pages, as each feature registers its own. A page nobody
// registered shows the workspace's placeholder. Main thread only.
class AppPages : public PageFactory {
public:
    // Makes the page's view as a child of parent; called each time the page is shown.
    using Maker = std::function<QWidget *(QWidget *parent)>;

    // Registers (or replaces) the view of a page.
    void add(const WorkspacePage &page, Maker make);
    bool has(const WorkspacePage &page) const { return m_makers.contains(page); }

    QWidget *createPage(const WorkspacePage &page, QWidget *parent) override;

private:
    QHash<WorkspacePage, Maker> m_makers;
};

} // namespace velmora
