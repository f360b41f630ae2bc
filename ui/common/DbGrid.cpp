#include "ui/common/DbGrid.h"

#include "db/DataSet.h"
#include "ui/common/ErrorReport.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace vornic {
namespace {

class GridDelegate final : public QStyledItemDelegate {
public:
    explicit GridDelegate(DbGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.state &= ~QStyle::State_HasFocus;
        const bool selected = cell.state & QStyle::State_Selected;
        const std::optional<QColor> background =
            selected ? std::optional<QColor>(DbGrid::kSelectedRow) : grid_->rowBackground(index.row());
        if (background) {
            cell.state &= ~QStyle::State_Selected;
            cell.backgroundBrush = *background;
            cell.palette.setColor(QPalette::Text, Qt::black);
        }
        const QWidget* widget = cell.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        if (const DbGrid::CellPainter* paintCell = grid_->cellPainter(index.column())) {
            painter->save();
            (*paintCell)(painter, option.rect, index.row());
            painter->restore();
        }
    }

private:
    DbGrid* grid_;
};

} // namespace

DbGrid::DbGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    setWordWrap(false);
    // Moving from cell to cell by Tab would wrap to the next row: the current row would change unseen, and no key
    // would lead out of the list.
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    setItemDelegate(new GridDelegate(this));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &DbGrid::titleClicked);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { Q_EMIT rowDoubleClicked(index.row()); });
}

void DbGrid::bind(DataSet& dataSet, QList<GridColumn> columns) {
    dataSet_ = &dataSet;
    model_ = new DataSetModel(dataSet, std::move(columns), this);
    setModel(model_);
    for (int i = 0; i < model_->columns().size(); ++i) {
        setColumnHidden(i, !model_->columns()[i].visible);
        setColumnWidth(i, model_->columns()[i].designWidth);
    }
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DbGrid::followView);
    connect(&dataSet, &DataSet::positioned, this, &DbGrid::showDataSetRow);
    connect(&dataSet, &DataSet::opened, this, &DbGrid::showDataSetRow);
    showDataSetRow();
}

std::optional<QColor> DbGrid::rowBackground(int row) const {
    return rowBackground_ ? rowBackground_(row) : std::nullopt;
}

const DbGrid::CellPainter* DbGrid::cellPainter(int column) const {
    const auto found = cellPainters_.constFind(column);
    return found == cellPainters_.constEnd() ? nullptr : &found.value();
}

void DbGrid::showDataSetRow() {
    const int row = dataSet_->currentRow();
    if (row < 0 || row >= model_->rowCount() || following_)
        return;
    int column = 0;
    while (column < model_->columnCount() && isColumnHidden(column))
        ++column;
    following_ = true;
    const QModelIndex index = model_->index(row, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
    following_ = false;
}

void DbGrid::followView(const QModelIndex& current) {
    if (following_ || !current.isValid() || !dataSet_->isOpen() || current.row() == dataSet_->currentRow())
        return;
    if (rowLeaveCheck_ && !rowLeaveCheck_()) {
        showDataSetRow();
        return;
    }
    following_ = true;
    reportFailures([&] { dataSet_->moveTo(current.row()); });
    following_ = false;
    if (current.row() != dataSet_->currentRow())
        showDataSetRow(); // the data set could not move (a row it had to store was refused)
}

} // namespace vornic
