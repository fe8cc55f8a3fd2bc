// Sample renderings of the design components for the snapshot mode: the
// control gallery and the confirm sheet with two sample requests.
#pragma once

#include <QImage>
#include <QSize>

class QWidget;

namespace Gallery {
/// Every button, menu, link, tag, segmented control and bar once, and the
/// ten map colour chips: 640 × 200.
QImage controls();
/// The gallery that controls() renders, not yet laid out.
QWidget* controlSheet();
/// A destructive clean request in the confirm sheet: 430 × 190.
QImage confirm();
/// Moving an iCloud item to the Trash in the confirm sheet, with the demo
/// data's item or a real one: 430 × 230.
QImage confirmICloud(bool demo);

/// Renders `content` alone, centred in a frame of exactly `size` on the page
/// surface, and deletes it. Needs a QApplication.
QImage standalone(QWidget* content, QSize size);
}  // namespace Gallery
