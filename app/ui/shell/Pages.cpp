// The page of each section. To add a page: include its header and add one
// line below; its constructor takes (const PageContext&).
#include "ui/pages/AgentPage.hpp"
#include "ui/pages/BackupPage.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/pages/OverviewPage.hpp"
#include "ui/pages/SuggestionsPage.hpp"
#include "ui/shell/PageRegistry.hpp"

void PageRegistry::addBuiltInPages() {
    using Section = AppModel::Section;
    add(Section::overview, of<OverviewPage>());
    add(Section::explorer,
        [](const PageContext& context) -> QWidget* { return new ExplorerPage(context.model, context.confirm); });
    add(Section::suggestions, [](const PageContext& context) -> QWidget* {
        return new SuggestionsPage(context.model, context.sheet);
    });
    add(Section::backup,
        [](const PageContext& context) -> QWidget* { return new BackupPage(context.model, context.sheet); });
    add(Section::agent, [](const PageContext& context) -> QWidget* { 
        return new AgentPage(context.model->dispatcher(), context.model->executor());
    });
    keep(Section::agent);
}
