// Which widget each section shows. The content view builds a fresh page from
// its section's factory every time the section changes, so a page's own
// transient state (an open confirm sheet, a typed text) never outlives it.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "base/ScopedHooks.hpp"
#include "model/AppModel.hpp"
#include "pages/ConfirmRequest.hpp"

class ConfirmSheetHost;

/// What every page is built with.
struct PageContext {
    /// The one model every view of the window shares.
    std::shared_ptr<AppModel> model;
    /// Presents a request in the window's confirm sheet, replacing any shown.
    /// The sheet is dismissed when the section changes.
    std::function<void(ConfirmRequest)> confirm;
    /// The window's sheet host: confirm requests and a page's own sheets (the add-plan sheet).
    ConfirmSheetHost* sheet = nullptr;

    /// A context whose confirmations go to `sheet`.
    static PageContext over(std::shared_ptr<AppModel> model, ConfirmSheetHost* sheet);
};

/// Builds a page; the content view owns the result and deletes it when the section changes.
/// Every page's constructor is `Page(const PageContext&, QWidget* parent = nullptr)`.
using PageFactory = std::function<QWidget*(const PageContext&)>;

namespace PageRegistry {
/// The registered factories. A test puts in a page of its own by holding a
/// `ScopedHooks<PageRegistry::Hooks>` and changing `factories`; the pages
/// registered before come back when it goes.
struct Hooks {
    std::map<AppModel::Section, PageFactory> factories;
    /// The set in force; the built-in pages are registered on first use.
    static Hooks& active();
};
/// The factory of `section`: the registered one, else the placeholder page.
PageFactory factory(AppModel::Section section);
/// Registers `factory` for `section`, replacing the one there.
void add(AppModel::Section section, PageFactory factory);
/// A factory that calls `new Page(context)`.
template <class Page>
PageFactory of() {
    return [](const PageContext& context) -> QWidget* { return new Page(context); };
}
/// Marks `section`'s page as kept: built once and hidden, not deleted, when
/// another section is shown, for pages whose work must outlive a visit (the
/// agent's running question).
void keep(AppModel::Section section);
bool isKept(AppModel::Section section);
/// Registers the pages this build has (Pages.cpp); runs once, on first use of the registry.
void addBuiltInPages();
/// The page shown for a section that has no page of its own yet: its title on the ground.
QWidget* placeholder(AppModel::Section section);
}  // namespace PageRegistry
