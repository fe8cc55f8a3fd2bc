#include "ui/pages/DestinationGrid.hpp"

#include <algorithm>

#include "pages/BackupLogic.hpp"

namespace {
constexpr int spacing = int(BackupPageLogic::gridSpacing);

int cardHeight(const QWidget* card, int width) {
    return card->hasHeightForWidth() ? card->heightForWidth(width) : card->sizeHint().height();
}
}  // namespace

DestinationGrid::DestinationGrid(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void DestinationGrid::add(QWidget* card) {
    card->setParent(this);
    cards.push_back(card);
    updateGeometry();
}

int DestinationGrid::columns() const { return BackupPageLogic::gridColumns(width()); }

int DestinationGrid::arrange(int width, bool place) const {
    const int columns = BackupPageLogic::gridColumns(width);
    const int cellWidth = std::max(1, (width - (columns - 1) * spacing) / columns);
    int top = 0;
    for (size_t start = 0; start < cards.size(); start += size_t(columns)) {
        const size_t end = std::min(cards.size(), start + size_t(columns));
        int rowHeight = 0;
        for (size_t i = start; i < end; ++i) rowHeight = std::max(rowHeight, cardHeight(cards[i], cellWidth));
        for (size_t i = start; place && i < end; ++i) {
            const int x = int(i - start) * (cellWidth + spacing);
            cards[i]->setGeometry(x, top, cellWidth, cardHeight(cards[i], cellWidth));
        }
        top += rowHeight + (end < cards.size() ? spacing : 0);
    }
    return top;
}

int DestinationGrid::heightForWidth(int width) const { return arrange(width, false); }

QSize DestinationGrid::sizeHint() const {
    const int width = int(BackupPageLogic::minimumCardWidth);
    return {width, heightForWidth(width)};
}

QSize DestinationGrid::minimumSizeHint() const { return {0, 0}; }

void DestinationGrid::resizeEvent(QResizeEvent*) { arrange(width(), true); }
