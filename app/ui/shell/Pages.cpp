// The page of each section. To add a page: include its header and add one
// line below; its constructor takes (const PageContext&).
#include "ui/pages/AgentPage.hpp"
#include "ui/pages/OverviewPage.hpp"
#include "ui/shell/PageRegistry.hpp"

void PageRegistry::addBuiltInPages() {
    using Section = AppModel::Section;
    add(Section::overview, of<OverviewPage>());
    add(Section::agent, [](const PageContext& context) -> QWidget* { return new AgentPage(context.model->dispatcher()); });
    keep(Section::agent);
}
