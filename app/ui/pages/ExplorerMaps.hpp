// The explorer's three maps behind one interface, so the page swaps them by
// mode and hands each the folder to show.
#pragma once

#include <QWidget>
#include <functional>

#include "maps/MapItem.hpp"
#include "pages/Explorer.hpp"
#include "ui/maps/MapKeyboard.hpp"

struct ExplorerMap {
    QWidget* widget = nullptr;
    /// Shows another folder in the same view, keeping its cache and hover.
    std::function<void(const NodeRef&)> show;
};

/// A fresh map of `mode` (fresh cache, no hover) showing `folder`; `keys.open`
/// gets a tapped folder too.
ExplorerMap makeExplorerMap(ExplorerMode mode, const NodeRef& folder, MapKeyActions keys);
