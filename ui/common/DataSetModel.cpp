#include "ui/common/DataSetModel.h"

#include "base/DateText.h"
#include "db/DataSet.h"

namespace vornic {

DataSetModel::DataSetModel(DataSet& dataSet, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), dataSet_(dataSet), columns_(std::move(columns)) {
    remapFields();
    rows_ = dataSet_.rowCount();
    connect(&dataSet_, &DataSet::aboutToClose, this, [this] {
        resetting_ = true;
        beginResetModel();
    });
    connect(&dataSet_, &DataSet::closed, this, [this] {
        rows_ = 0;
        fieldOfColumn_.clear();
        endResetModel();
        resetting_ = false;
    });
    connect(&dataSet_, &DataSet::opened, this, [this] {
        resetting_ = true;
        beginResetModel();
        remapFields();
        rows_ = dataSet_.rowCount();
        endResetModel();
        resetting_ = false;
    });
    connect(&dataSet_, &DataSet::rowsFetched, this, [this](int first, int last) {
        if (first < rows_ || !dataSet_.isOpen() || fieldOfColumn_.isEmpty())
            return; // rows read while opening arrive with the reset that follows
        beginInsertRows({}, first, last);
        rows_ = last + 1;
        endInsertRows();
    });
    connect(&dataSet_, &DataSet::rowAboutToBeInserted, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(&dataSet_, &DataSet::rowInserted, this, [this] {
        ++rows_;
        endInsertRows();
    });
    connect(&dataSet_, &DataSet::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(&dataSet_, &DataSet::rowRemoved, this, [this] {
        --rows_;
        endRemoveRows();
    });
    connect(&dataSet_, &DataSet::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rows_)
            Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
}

void DataSetModel::remapFields() {
    fieldOfColumn_.clear();
    if (!dataSet_.isOpen())
        return;
    for (const GridColumn& column : columns_)
        fieldOfColumn_.append(dataSet_.fieldIndex(column.field));
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int DataSetModel::columnOf(const QString& field) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant DataSetModel::fieldValue(int row, const QString& field) const {
    return dataSet_.value(row, dataSet_.fieldIndex(field));
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= fieldOfColumn_.size())
        return {};
    const int field = fieldOfColumn_[index.column()];
    if (field < 0)
        return {};
    if (role == Qt::EditRole)
        return dataSet_.value(index.row(), field);
    if (role != Qt::DisplayRole)
        return {};
    if (dataSet_.isBinaryColumn(field))
        return dataSet_.value(index.row(), field).isNull() ? QString() : QStringLiteral("(BLOB)");
    return displayText(dataSet_.value(index.row(), field));
}

QString displayText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return dateTimeText(value.toDateTime());
    case QMetaType::QDate:
        return dateTimeText(value.toDate().startOfDay());
    default:
        return value.toString();
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn& column = columns_[section];
    return column.title.isEmpty() ? column.field : column.title;
}

bool DataSetModel::canFetchMore(const QModelIndex& parent) const {
    // Not while the views hear of a reset: rows inserted inside it would be a change nested in another.
    return !parent.isValid() && !resetting_ && dataSet_.canFetchMore();
}

void DataSetModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid() && !resetting_)
        dataSet_.fetchMore();
}

} // namespace vornic
