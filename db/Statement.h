#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVariant>

#include <cstddef>
#include <memory>
#include <vector>

namespace vornic {

class Database;

// One prepared statement on the program's connection and transaction, with positional parameters ("?").
// Values travel as QVariant: null, whole numbers (qint64), double, QString, QDate, QDateTime, QByteArray (bytes of
// a binary value) and BlobId (a stored binary value, passed on unread). Text crosses as Windows-1251.
// Every call takes the database's lock; failures throw DatabaseError with the database's own message.
class Statement final {
public:
    Statement(Database& database, const QString& sql);
    ~Statement();
    Q_DISABLE_COPY_MOVE(Statement)

    int parameterCount() const;
    void bind(int index, const QVariant& value);

    // Runs a statement that returns no rows.
    void execute();
    // How many rows the statement run last inserted, changed or deleted.
    quint64 affectedRows() const;

    // Opens the cursor of a select with the bound parameters; fetch() moves to the next row and returns false,
    // closing the cursor, after the last one.
    void open();
    bool fetch();
    bool isOpen() const;
    // Lets go of the cursor. After a full commit the cursor is gone with its transaction: abandon() drops the
    // handle without asking the server.
    void close();
    void abandon() noexcept;

    int columnCount() const;
    QStringList columnNames() const;
    bool isBinaryColumn(int column) const;
    // How the engine will read the rows ("PLAN (IMAGE_OBJECT_DATE ORDER …)"), as the engine writes it.
    QString plan() const;
    // A column of the row fetched last.
    QVariant value(int column) const;
    QVariantList row() const;
    // The row fetched last as the database sent it, compacted, for a reader that keeps many rows and turns few of
    // their cells into values: packRow() writes packedRowSize() bytes, and packedValue() gives a cell of them as
    // value() gave it at the fetch. Only this statement reads what it packed.
    std::size_t packedRowSize() const;
    void packRow(unsigned char* out) const;
    QVariant packedValue(const unsigned char* packed, int column) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vornic
