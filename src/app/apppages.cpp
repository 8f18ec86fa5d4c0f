#include "app/apppages.h"

namespace velmora {

void AppPages::add(const WorkspacePage &page, Maker make) {
    m_makers.insert(page, std::move(make));
}

QWidget *AppPages::createPage(const WorkspacePage &page, QWidget *parent) {
    const auto maker = m_makers.constFind(page);
    return maker == m_makers.constEnd() ? nullptr : (*maker)(parent);
}

} // namespace velmora
