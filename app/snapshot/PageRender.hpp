// A page rendered alone, at the size it takes in the window, for the snapshot
// mode and for looking at a page without the window around it.
#pragma once

#include <QImage>
#include <QSize>

namespace PageRender {
/// The page area of the default window: the window less the sidebar and the page header.
inline constexpr QSize pageSize{964, 730};

/// The agent page as it first appears (its setup refreshed once, nothing
/// asked), on the page surface. Needs a QApplication; in demo mode it reads
/// and runs nothing.
QImage agent(QSize size = pageSize);
}  // namespace PageRender
