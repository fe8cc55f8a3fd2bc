// The explorer's child rows as a Qt list model, so the list view brings
// selection, keyboard movement and screen-reader rows. Each row's name is its
// display text; its size is the accessible description.
#pragma once

#include <QAbstractListModel>
#include <vector>

#include "pages/Explorer.hpp"

class ChildListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ChildListModel(QObject* parent = nullptr);

    /// Replaces every row (a model reset).
    void setRows(std::vector<ChildRow> rows);
    const std::vector<ChildRow>& rows() const { return shown; }
    /// The row at `index`, or null outside the rows.
    const ChildRow* row(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    /// Display and accessible text: the name; accessible description: the size.
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<ChildRow> shown;
};
