#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace vornic {

class DataSet;

// A field's value as lists and bound fields show it: dates and times as the program writes them everywhere.
QString displayText(const QVariant& value);

// A list column bound to a data-set field.
struct GridColumn {
    QString field; // upper case, as the database names it
    QString title; // empty: the field name is shown
    bool visible = true;
    int designWidth = 64; // the toolkit's default width unless the window gives one
};

// The rows of a data set as a table. Rows come in as the data set reads them from its cursor; the model keeps
// its own count so that the views hear of every change before they ask for it.
class DataSetModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    DataSetModel(DataSet& dataSet, QList<GridColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    DataSet& dataSet() const { return dataSet_; }
    const QList<GridColumn>& columns() const { return columns_; }
    int columnOf(const QString& field) const; // -1 when the grid has no such column
    // The raw value of a row's field (a field the grid does not show included).
    QVariant fieldValue(int row, const QString& field) const;

private:
    void remapFields();

    DataSet& dataSet_;
    QList<GridColumn> columns_;
    QList<int> fieldOfColumn_; // data-set column of each grid column, -1 when the select has no such field
    int rows_ = 0;
    bool resetting_ = false;
};

} // namespace vornic
