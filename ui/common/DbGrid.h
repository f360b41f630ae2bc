#pragma once

#include "ui/common/DataSetModel.h"

#include <QColor>
#include <QHash>
#include <QTableView>

#include <functional>
#include <optional>
#include <utility>

namespace vornic {

class DataSet;

// A read-only list over a data set that selects whole rows. Its current row and the data set's current row
// follow each other. Windows add their own drawing rules through the two hooks.
//
// Tab and Shift+Tab go on to the window's next and previous control, as in every desktop program; the arrows, the
// page keys and typing move within the list.
class DbGrid final : public QTableView {
    Q_OBJECT

public:
    // The selected row of every list of the program is light grey with black text.
    static inline const QColor kSelectedRow = QColor(221, 221, 221);

    using RowBackground = std::function<std::optional<QColor>(int row)>;
    using CellPainter = std::function<void(QPainter* painter, const QRect& cell, int row)>;
    // Asked before the list takes its data set to another row, whatever moved it (a key, typing, the mouse):
    // false keeps the list on the row the data set then stands on. The check may itself move or re-read the
    // data set, so that a row it has to settle first is stored or dropped by the window's own rules.
    using RowLeaveCheck = std::function<bool()>;

    explicit DbGrid(QWidget* parent = nullptr);

    void bind(DataSet& dataSet, QList<GridColumn> columns);
    DataSetModel* dataModel() const { return model_; }
    DataSet* dataSet() const { return dataSet_; }

    // A background (with black text) for rows that are not selected.
    void setRowBackground(RowBackground background) { rowBackground_ = std::move(background); }
    // Draws over a column's cells after the list's own drawing.
    void setCellPainter(int column, CellPainter painter) { cellPainters_.insert(column, std::move(painter)); }

    std::optional<QColor> rowBackground(int row) const;
    const CellPainter* cellPainter(int column) const;

    void setRowLeaveCheck(RowLeaveCheck check) { rowLeaveCheck_ = std::move(check); }

Q_SIGNALS:
    void titleClicked(int column);
    void rowDoubleClicked(int row);

private:
    void showDataSetRow();
    void followView(const QModelIndex& current);

    DataSet* dataSet_ = nullptr;
    DataSetModel* model_ = nullptr;
    RowBackground rowBackground_;
    QHash<int, CellPainter> cellPainters_;
    RowLeaveCheck rowLeaveCheck_;
    bool following_ = false;
};

} // namespace vornic
