// The scrolling frame of a page: a column at most 980 points wide at the
// leading edge, padded 24 left, right and bottom. The scroll indicator is
// drawn over the content, so scrolling never takes width from the page.
#pragma once

#include <QRectF>
#include <QScrollArea>

class QVBoxLayout;

class PageScroll : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int maximumColumnWidth = 980;
    static constexpr int padding = 24;

    /// A column with `spacing` between its items.
    explicit PageScroll(int spacing, QWidget* parent = nullptr);

    /// Where the page's items go, top to bottom.
    QVBoxLayout* column() const { return items; }

    /// The indicator's capsule in a viewport of `viewport` for content `contentHeight`
    /// tall scrolled by `offset`; empty when everything fits.
    static QRectF indicatorRect(const QSizeF& viewport, double contentHeight, double offset);

private:
    QVBoxLayout* items;
};

/// Replaces `area`'s vertical scroll bar with a capsule drawn over its
/// viewport, so scrolling never takes width from the content.
void attachOverlayIndicator(QScrollArea* area);
