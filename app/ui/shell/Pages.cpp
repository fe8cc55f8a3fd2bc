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
    add(Section::explorer, of<ExplorerPage>());
    add(Section::suggestions, of<SuggestionsPage>());
    add(Section::backup, of<BackupPage>());
    add(Section::agent, of<AgentPage>());
    keep(Section::agent);
}
