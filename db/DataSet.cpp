#include "db/DataSet.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/Windows1251.h"
#include "db/ChangeGuard.h"
#include "db/DatabaseError.h"
#include "db/SqlParameters.h"
#include "db/Statement.h"

#include <optional>

namespace vornic {
namespace {

QString textOf(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return dateTimeText(value.toDateTime());
    case QMetaType::QDate:
        return dateTimeText(value.toDate().startOfDay());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15).replace(u'.', u',');
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<BlobId>())
        return QStringLiteral("(BLOB)");
    return value.toString();
}

Failure notEditing() {
    return Failure(QStringLiteral("Набор данных не в режиме редактирования или вставки."));
}

} // namespace

// ---- Field

QString Field::name() const {
    return dataSet_->fieldNames().at(column_);
}

QVariant Field::value() const {
    const int row = dataSet_->currentRow();
    return row < 0 ? QVariant() : dataSet_->value(row, column_);
}

bool Field::isNull() const {
    const QVariant v = value();
    return v.isNull() || !v.isValid();
}

QString Field::asString() const {
    const QVariant v = value();
    if (v.metaType() == QMetaType::fromType<BlobId>() || v.typeId() == QMetaType::QByteArray)
        return windows1251::decode(asBytes());
    return textOf(v);
}

int Field::asInteger() const {
    const QVariant v = value();
    if (v.isNull() || !v.isValid())
        return 0;
    bool ok = false;
    const int number = v.typeId() == QMetaType::QString ? v.toString().trimmed().toInt(&ok) : v.toInt(&ok);
    if (!ok)
        throw Failure(QStringLiteral("'%1' не является целым числом.").arg(textOf(v)));
    return number;
}

QDateTime Field::asDateTime() const {
    const QVariant v = value();
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay();
    return v.toDateTime();
}

QByteArray Field::asBytes() const {
    const int row = dataSet_->currentRow();
    return row < 0 ? QByteArray() : dataSet_->bytes(row, column_);
}

void Field::setValue(const QVariant& value) {
    dataSet_->setValue(column_, value);
}

// ---- DataSet

DataSet::DataSet(Database& database, QObject* parent) : QObject(parent), database_(database) {
    // A full commit ends the transaction under every open cursor.
    connect(&database_, &Database::transactionEnding, this, &DataSet::close, Qt::DirectConnection);
}

DataSet::~DataSet() = default;

void DataSet::setMaster(DataSet* master) {
    if (master_)
        disconnect(master_, nullptr, this, nullptr);
    master_ = master;
    if (!master_)
        return;
    const auto follow = [this] {
        if (isOpen())
            reopen();
    };
    connect(master_, &DataSet::positioned, this, follow);
    connect(master_, &DataSet::opened, this, follow);
}

void DataSet::setParameter(const QString& name, const QVariant& value) {
    parameters_.insert(name.toUpper(), value);
}

QVariant DataSet::parameterValue(const QString& name) const {
    if (master_ && master_->currentRow() >= 0) {
        const int column = master_->fieldIndex(name);
        if (column >= 0)
            return master_->value(master_->currentRow(), column);
    }
    return parameters_.value(name.toUpper());
}

void DataSet::open() {
    if (isOpen())
        return;
    openQuietly();
    announceOpened();
}

void DataSet::openQuietly() {
    if (isOpen())
        return;
    const ParsedStatement parsed = parseNamedParameters(selectSql_);
    auto guard = database_.lock();
    auto select = std::make_unique<Statement>(database_, parsed.sql);
    for (int i = 0; i < parsed.parameters.size(); ++i)
        select->bind(i, parameterValue(parsed.parameters[i].field));
    select->open();

    fieldNames_ = select->columnNames();
    fieldIndex_.clear();
    binaryColumns_.assign(static_cast<size_t>(fieldNames_.size()), false);
    for (int i = 0; i < fieldNames_.size(); ++i) {
        fieldIndex_.insert(fieldNames_[i].toUpper(), i);
        binaryColumns_[static_cast<size_t>(i)] = select->isBinaryColumn(i);
    }
    select_ = std::move(select);
    rows_.clear();
    packedRows_.clear();
    current_ = -1;
    modified_ = false;
    state_ = State::Browse;
    readRows(kFetchBatch);
}

void DataSet::announceOpened() {
    if (!rows_.empty())
        Q_EMIT rowsFetched(0, rowCount() - 1);
    Q_EMIT opened();
    if (!rows_.empty())
        setCurrent(0);
}

void DataSet::close() {
    if (!isOpen())
        return;
    Q_EMIT aboutToClose();
    {
        auto guard = database_.lock();
        select_.reset();
    }
    rows_.clear();
    packedRows_.clear();
    editBuffer_.clear();
    originalRow_.clear();
    current_ = -1;
    modified_ = false;
    state_ = State::Inactive;
    Q_EMIT closed();
}

void DataSet::reopen() {
    close();
    open();
}

bool DataSet::canFetchMore() const {
    return select_ && select_->isOpen();
}

void DataSet::readMore(int count) {
    const int first = rowCount();
    readRows(count);
    if (rowCount() > first)
        Q_EMIT rowsFetched(first, rowCount() - 1);
}

void DataSet::readRows(int count) {
    if (!canFetchMore())
        return;
    auto guard = database_.lock();
    for (int i = 0; i < count && select_->fetch(); ++i) {
        unsigned char* packed = packedRows_.allocate(select_->packedRowSize());
        select_->packRow(packed);
        rows_.push_back({packed, {}});
    }
}

void DataSet::fetchMore(int count) {
    readMore(count);
}

void DataSet::fetchAll() {
    while (canFetchMore())
        readMore(4096);
}

void DataSet::ensureRow(int row) {
    while (row >= rowCount() && canFetchMore())
        readMore(std::max(kFetchBatch, row - rowCount() + 1));
}

void DataSet::requireOpen() const {
    if (!isOpen())
        throw Failure(QStringLiteral("Операция невозможна: набор данных закрыт."));
}

void DataSet::setCurrent(int row) {
    current_ = row;
    Q_EMIT positioned();
}

void DataSet::moveTo(int row) {
    requireOpen();
    ensureRow(row);
    if (rows_.empty())
        return;
    row = std::clamp(row, 0, rowCount() - 1);
    if (row == current_)
        return;
    // Leaving an untouched new row drops it, and the rows after it move up by one.
    const bool dropsNewRow = state_ == State::Insert && !modified_;
    const int newRow = current_;
    leaveEditing();
    if (dropsNewRow && row > newRow)
        --row;
    if (rows_.empty())
        return;
    setCurrent(std::clamp(row, 0, rowCount() - 1));
}

void DataSet::first() {
    moveTo(0);
}

void DataSet::last() {
    requireOpen();
    fetchAll();
    moveTo(rowCount() - 1);
}

void DataSet::next() {
    requireOpen();
    ensureRow(current_ + 1);
    if (current_ + 1 < rowCount())
        moveTo(current_ + 1);
}

void DataSet::prior() {
    if (current_ > 0)
        moveTo(current_ - 1);
}

bool DataSet::locatePrefix(const QString& fieldName, const QString& text) {
    requireOpen();
    const int column = fieldIndex(fieldName);
    if (column < 0)
        throw Failure(QStringLiteral("Поле «%1» не найдено.").arg(fieldName));
    for (int row = 0;; ++row) {
        ensureRow(row);
        if (row >= rowCount())
            return false;
        if (textOf(value(row, column)).startsWith(text, Qt::CaseInsensitive)) {
            moveTo(row);
            return true;
        }
    }
}

int DataSet::fieldIndex(const QString& name) const {
    return fieldIndex_.value(name.toUpper(), -1);
}

Field DataSet::field(const QString& name) {
    const int column = fieldIndex(name);
    if (column < 0)
        throw Failure(QStringLiteral("Поле «%1» не найдено.").arg(name));
    return Field(*this, column);
}

bool DataSet::isBinaryColumn(int column) const {
    return column >= 0 && static_cast<size_t>(column) < binaryColumns_.size() &&
           binaryColumns_[static_cast<size_t>(column)];
}

QVariant DataSet::value(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= fieldNames_.size())
        return {};
    if (row == current_ && (state_ == State::Edit || state_ == State::Insert))
        return editBuffer_.value(column);
    const Row& stored = rows_[static_cast<size_t>(row)];
    return !stored.packed ? stored.values.value(column) : select_->packedValue(stored.packed, column);
}

QVariantList DataSet::rowValues(int row) const {
    const Row& stored = rows_[static_cast<size_t>(row)];
    if (!stored.packed)
        return stored.values;
    QVariantList values;
    values.reserve(fieldNames_.size());
    for (int column = 0; column < fieldNames_.size(); ++column)
        values.append(select_->packedValue(stored.packed, column));
    return values;
}

QByteArray DataSet::bytes(int row, int column) const {
    const QVariant v = value(row, column);
    if (v.metaType() == QMetaType::fromType<BlobId>())
        return database_.readBlob(v.value<BlobId>());
    if (v.typeId() == QMetaType::QString)
        return toDatabaseText(v.toString());
    return v.toByteArray();
}

void DataSet::setValue(int column, const QVariant& value) {
    if (state_ != State::Edit && state_ != State::Insert)
        throw notEditing();
    editBuffer_[column] = value;
    modified_ = true;
    Q_EMIT rowChanged(current_);
}

void DataSet::edit() {
    requireOpen();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (rows_.empty()) {
        // A data set that cannot insert has nothing to edit: a new row would only be refused when it is stored.
        if (insertSql_.isEmpty())
            throw Failure(QStringLiteral("Нет записи для изменения: список пуст."));
        append();
        return;
    }
    originalRow_ = rowValues(current_);
    editBuffer_ = originalRow_;
    modified_ = false;
    state_ = State::Edit;
}

void DataSet::insert() {
    requireOpen();
    leaveEditing();
    const int row = std::max(current_, 0);
    const QVariantList empty(fieldNames_.size());
    Q_EMIT rowAboutToBeInserted(row);
    rows_.insert(rows_.begin() + row, Row{nullptr, empty});
    Q_EMIT rowInserted(row);
    editBuffer_ = empty;
    originalRow_ = empty;
    modified_ = false;
    state_ = State::Insert;
    setCurrent(row);
}

void DataSet::append() {
    requireOpen();
    leaveEditing();
    fetchAll();
    current_ = rowCount();
    insert();
}

quint64 DataSet::runChange(const QString& sql, const QVariantList& newValues, const QVariantList& oldValues) {
    if (sql.isEmpty())
        throw Failure(QStringLiteral("Для этого набора данных не задан запрос на изменение."));
    auto guard = database_.lock();
    return executeNamed(database_, sql, [&](const NamedParameter& parameter) {
        const int column = fieldIndex(parameter.field);
        if (column < 0)
            throw Failure(QStringLiteral("Поле «%1» не найдено.").arg(parameter.field));
        return (parameter.old ? oldValues : newValues).value(column);
    });
}

QString DataSet::guarded(const QString& changeSql, const QVariantList& oldValues) const {
    if (changeSql.isEmpty())
        return changeSql;
    QList<ComparedColumn> compared;
    for (const QString& column : columnsWrittenBy(modifySql_)) {
        const QString field = column.mid(column.lastIndexOf(u'.') + 1);
        const int index = fieldIndex(field);
        if (index >= 0 && !isBinaryColumn(index))
            compared.append({column, field, oldValues.value(index)});
    }
    return guardedChange(changeSql, compared);
}

QString DataSet::rowLabel(int row) const {
    if (rowLabel_)
        return rowLabel_(*this, row);
    QStringList keys;
    for (const QString& key : oldValueFields(modifySql_.isEmpty() ? deleteSql_ : modifySql_))
        keys.append(key.toUpper() + QStringLiteral(" ") + textOf(value(row, fieldIndex(key))));
    return keys.join(QStringLiteral(", "));
}

bool DataSet::refreshRow(int row) {
    requireOpen();
    if (row < 0 || row >= rowCount())
        return false;
    const QString keySource = modifySql_.isEmpty() ? deleteSql_ : modifySql_;
    const QVariantList read = rowValues(row);
    const ParsedStatement parsed = parseNamedParameters(rowReReadSelect(selectSql_, oldValueFields(keySource)));
    std::optional<QVariantList> stored;
    {
        auto guard = database_.lock();
        Statement select(database_, parsed.sql);
        for (int i = 0; i < parsed.parameters.size(); ++i) {
            const NamedParameter& parameter = parsed.parameters[i];
            select.bind(i, parameter.old ? read.value(fieldIndex(parameter.field)) : parameterValue(parameter.field));
        }
        select.open();
        if (select.fetch())
            stored = select.row();
        select.close();
    }
    if (stored && stored->size() == fieldNames_.size()) {
        rows_[static_cast<size_t>(row)] = Row{nullptr, *stored};
        Q_EMIT rowChanged(row);
        return true;
    }
    const int before = current_;
    Q_EMIT rowAboutToBeRemoved(row);
    rows_.erase(rows_.begin() + row);
    Q_EMIT rowRemoved(row);
    if (before > row) {
        current_ = before - 1; // the same row, one place up
    } else if (before == row) {
        current_ = -1;
        if (!rows_.empty())
            setCurrent(std::min(row, rowCount() - 1));
    }
    return false;
}

void DataSet::refuseChangedRow(QVariantHash operatorValues) {
    const int row = current_;
    const QString label = rowLabel(row);
    state_ = State::Browse;
    modified_ = false;
    Q_EMIT rowChanged(row);
    const bool stillStored = refreshRow(row);
    const QString what =
        stillStored ? QStringLiteral("Запись изменена другим оператором после того, как была прочитана: %1. "
                                     "Изменение не сохранено; показано то, что хранится сейчас.")
                    : QStringLiteral("Запись изменена или удалена другим оператором после того, как была прочитана, "
                                     "и в этом списке её больше нет: %1. Изменение не сохранено.");
    throw RowChangedByOther(what.arg(label), !stillStored, std::move(operatorValues));
}

void DataSet::post() {
    if (state_ == State::Edit) {
        try {
            if (runChange(guarded(modifySql_, originalRow_), editBuffer_, originalRow_) == 0) {
                refuseChangedRow(changedValues());
            }
        } catch (const DatabaseError& error) {
            if (!error.refusedByDatabase())
                throw;
            // The list must never show a value the database did not take as if it were stored: the row goes back
            // to what was read.
            cancel();
            throw DatabaseError(QStringLiteral("Изменение не сохранено: ") + error.reason(), error.databaseMessage());
        }
    } else if (state_ == State::Insert) {
        try {
            runChange(insertSql_, editBuffer_, originalRow_);
        } catch (const DatabaseError& error) {
            if (!error.refusedByDatabase())
                throw;
            // A new row is nothing but the operator's input: it stays open, to be corrected and posted again.
            throw DatabaseError(QStringLiteral("Запись не сохранена: ") + error.reason(), error.databaseMessage());
        }
    } else {
        throw notEditing();
    }
    rows_[static_cast<size_t>(current_)] = Row{nullptr, editBuffer_};
    state_ = State::Browse;
    modified_ = false;
    Q_EMIT rowChanged(current_);
}

QVariantHash DataSet::changedValues() const {
    QVariantHash changed;
    if (state_ != State::Edit && state_ != State::Insert)
        return changed;
    for (int column = 0; column < fieldNames_.size(); ++column)
        if (editBuffer_.value(column) != originalRow_.value(column))
            changed.insert(fieldNames_[column], editBuffer_.value(column));
    return changed;
}

void DataSet::cancel() {
    if (state_ == State::Edit) {
        state_ = State::Browse;
        modified_ = false;
        Q_EMIT rowChanged(current_);
    } else if (state_ == State::Insert) {
        const int row = current_;
        state_ = State::Browse;
        modified_ = false;
        Q_EMIT rowAboutToBeRemoved(row);
        rows_.erase(rows_.begin() + row);
        Q_EMIT rowRemoved(row);
        current_ = -1;
        if (!rows_.empty())
            setCurrent(std::min(row, rowCount() - 1));
    }
}

void DataSet::leaveEditing() {
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    if (modified_ && (!keepOnLeave_ || keepOnLeave_(*this)))
        post();
    else
        cancel();
}

void DataSet::remove() {
    requireOpen();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (current_ < 0)
        throw Failure(QStringLiteral("Нет записи для удаления."));
    const QVariantList row = rowValues(current_);
    if (runChange(guarded(deleteSql_, row), row, row) == 0)
        refuseChangedRow({});
    state_ = State::Browse;
    modified_ = false;
    const int removed = current_;
    Q_EMIT rowAboutToBeRemoved(removed);
    rows_.erase(rows_.begin() + removed);
    Q_EMIT rowRemoved(removed);
    ensureRow(removed);
    current_ = -1;
    if (!rows_.empty())
        setCurrent(std::min(removed, rowCount() - 1));
}

} // namespace vornic
