#pragma once

#include "db/BlobId.h"
#include "db/ByteArena.h"
#include "db/Database.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace vornic {

class DataSet;
class Statement;

// One field of a data set's current row, found by name without regard to case.
class Field final {
public:
    Field(DataSet& dataSet, int column) : dataSet_(&dataSet), column_(column) {}

    QString name() const;
    bool isNull() const;
    QVariant value() const; // a stored binary value is a BlobId here
    QString asString() const;
    int asInteger() const; // throws Failure when the value is no whole number
    QDateTime asDateTime() const;
    QByteArray asBytes() const; // reads a stored binary value only now

    // Only while the row is open for editing or inserting.
    void setValue(const QVariant& value);

private:
    DataSet* dataSet_;
    int column_;
};

// A select statement with optional insert, modify and delete statements over the program's connection and
// transaction. ":FIELD" in those statements is the row's new value of FIELD, "?old_FIELD" the value as read.
//
// Rows are read from the cursor as they are needed: opening a list of a hundred thousand rows reads the first
// few hundred, and a binary column holds only its reference until asBytes() asks for the bytes.
class DataSet final : public QObject {
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };
    static constexpr int kFetchBatch = 256;

    explicit DataSet(Database& database, QObject* parent = nullptr);
    ~DataSet() override;
    Q_DISABLE_COPY_MOVE(DataSet)

    Database& database() const { return database_; }

    void setSelectSql(const QString& sql) { selectSql_ = sql; }
    const QString& selectSql() const { return selectSql_; }
    void setInsertSql(const QString& sql) { insertSql_ = sql; }
    void setModifySql(const QString& sql) { modifySql_ = sql; }
    void setDeleteSql(const QString& sql) { deleteSql_ = sql; }
    // How a refused change names its row to the operator ("«Иванов», сканер 860001"); the key by default.
    void setRowLabel(std::function<QString(const DataSet&, int row)> label) { rowLabel_ = std::move(label); }
    // Asked when a changed row is left by a move to another row: false drops the change instead of storing it.
    void setKeepOnLeave(std::function<bool(const DataSet&)> keep) { keepOnLeave_ = std::move(keep); }

    // Makes this the detail of master: a ":FIELD" of the select takes the master's current FIELD, and every
    // positioning of the master runs the select again while this data set is open.
    void setMaster(DataSet* master);
    // A value for a ":NAME" of the select that no master field supplies.
    void setParameter(const QString& name, const QVariant& value);

    void open();
    // open() in two halves, for a window that runs a long select off its own thread: openQuietly() runs the select
    // and reads its first rows without a word to the views, on any thread, holding the connection meanwhile;
    // announceOpened() then tells the views, on the data set's own thread. Nothing may touch the data set between.
    void openQuietly();
    void announceOpened();
    void close();
    void reopen();
    bool isOpen() const { return state_ != State::Inactive; }
    State state() const { return state_; }
    bool isEmpty() const { return rows_.empty(); }

    // Rows read so far; more come with fetchMore(), all with fetchAll().
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool canFetchMore() const;
    void fetchMore(int count = kFetchBatch);
    void fetchAll();

    int currentRow() const { return current_; }
    void moveTo(int row);
    void first();
    void last();
    void next();
    void prior();
    // The first row, in the present order, whose field begins with text (any letter case). Moves there and
    // returns true; returns false and stays when no row matches.
    bool locatePrefix(const QString& fieldName, const QString& text);

    const QStringList& fieldNames() const { return fieldNames_; }
    int fieldIndex(const QString& name) const; // -1 when there is none
    Field field(const QString& name);          // throws Failure for an unknown name
    Field field(int column) { return Field(*this, column); }
    bool isBinaryColumn(int column) const;

    // The value of a column, in the current row as edited when row is the current row.
    QVariant value(int row, int column) const;
    QByteArray bytes(int row, int column) const;
    void setValue(int column, const QVariant& value);

    void edit();
    void insert(); // a new row at the current position
    void append(); // a new row at the end
    // Stores the open row. When the database refuses, a changed row goes back to what is stored and a new row
    // stays open with the operator's input; either way the DatabaseError says why.
    //
    // A change or removal applies only to the row as it was read. When another operator has stored a change of it
    // (or removed it) since, nothing is written, the row is read again as it is stored now, and RowChangedByOther
    // says so. The columns compared are those the modify statement writes.
    void post();
    void cancel();
    void remove();
    // Reads the row again as it is stored now; a row no longer stored leaves the list. Returns false then.
    bool refreshRow(int row);
    bool isModified() const { return modified_; }
    // The fields of the open row whose values differ from those read, by name: what the operator has typed.
    QVariantHash changedValues() const;

Q_SIGNALS:
    void opened();
    void aboutToClose();
    void closed();
    void positioned(); // the current row moved
    void rowsFetched(int first, int last);
    void rowChanged(int row);
    // A new or removed row is announced before and after the change, so that views can follow it.
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);

private:
    QVariant parameterValue(const QString& name) const;
    void readMore(int count);
    void readRows(int count); // readMore without the announcement
    void ensureRow(int row);
    void leaveEditing();
    quint64 runChange(const QString& sql, const QVariantList& newValues, const QVariantList& oldValues);
    QString guarded(const QString& changeSql, const QVariantList& oldValues) const;
    [[noreturn]] void refuseChangedRow(QVariantHash operatorValues);
    QString rowLabel(int row) const;
    void requireOpen() const;
    void setCurrent(int row);

    Database& database_;
    QString selectSql_, insertSql_, modifySql_, deleteSql_;
    DataSet* master_ = nullptr;
    QHash<QString, QVariant> parameters_; // keyed by upper-case name

    std::unique_ptr<Statement> select_;
    QStringList fieldNames_;
    QHash<QString, int> fieldIndex_; // keyed by upper-case name
    std::vector<bool> binaryColumns_;
    // A row as read stays packed, its cells decoded only when asked for; a row stored, re-read or new holds its
    // values.
    struct Row {
        const unsigned char* packed = nullptr; // in packedRows_
        QVariantList values;
    };
    QVariantList rowValues(int row) const;
    std::vector<Row> rows_;
    ByteArena packedRows_;
    int current_ = -1;
    State state_ = State::Inactive;
    QVariantList editBuffer_;
    QVariantList originalRow_;
    bool modified_ = false;
    std::function<QString(const DataSet&, int)> rowLabel_;
    std::function<bool(const DataSet&)> keepOnLeave_;
};

} // namespace vornic
