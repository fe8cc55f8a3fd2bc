#include "ui/shell/PageRegistry.hpp"

#include <QVBoxLayout>
#include <map>
#include <set>

#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/Typography.hpp"

PageContext PageContext::over(std::shared_ptr<AppModel> model, ConfirmSheetHost* sheet) {
    return {std::move(model), [sheet](ConfirmRequest request) { sheet->present(std::move(request)); }, sheet};
}

namespace PageRegistry {
namespace {
std::map<AppModel::Section, PageFactory>& factories() { return Hooks::active().factories; }
}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks;
    static bool filled = false;
    if (!filled) {
        filled = true;
        addBuiltInPages();
    }
    return hooks;
}

PageFactory factory(AppModel::Section section) {
    auto& table = factories();
    if (auto found = table.find(section); found != table.end() && found->second) return found->second;
    return [section](const PageContext&) { return placeholder(section); };
}

void add(AppModel::Section section, PageFactory factory) { factories()[section] = std::move(factory); }

namespace {
std::set<AppModel::Section>& keptSections() {
    static std::set<AppModel::Section> sections;
    return sections;
}
}  // namespace

void keep(AppModel::Section section) { keptSections().insert(section); }

bool isKept(AppModel::Section section) {
    factories();  // the built-in pages mark themselves on first use
    return keptSections().count(section) > 0;
}

QWidget* placeholder(AppModel::Section section) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(textLabel(QString::fromStdString(AppModel::title(section)),
                                Typography::font(TextStyle::title3, QFont::Bold), Foreground::tertiary()),
                      0, Qt::AlignCenter);
    return page;
}
}  // namespace PageRegistry
