#include "ui/pages/ChildListModel.hpp"

#include "Support.hpp"

ChildListModel::ChildListModel(QObject* parent) : QAbstractListModel(parent) {}

void ChildListModel::setRows(std::vector<ChildRow> rows) {
    beginResetModel();
    shown = std::move(rows);
    endResetModel();
}

const ChildRow* ChildListModel::row(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.row() < 0 || size_t(index.row()) >= shown.size())
        return nullptr;
    return &shown[size_t(index.row())];
}

int ChildListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(shown.size()); }

QVariant ChildListModel::data(const QModelIndex& index, int role) const {
    const ChildRow* found = row(index);
    if (!found) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return QString::fromStdString(found->node->name);
    case Qt::AccessibleDescriptionRole: return QString::fromStdString(Fmt::bytes(found->node->size));
    default: return {};
    }
}
