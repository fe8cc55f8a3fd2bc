// The page of each section. A new page also has its value in
// AppModel::Section and its row in the section table (AppModel.cpp); here it
// is its header and one line below. Its constructor takes (const PageContext&).
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
