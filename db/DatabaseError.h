#pragma once

#include "base/Failure.h"

#include <QVariantHash>

namespace vornic {

// A statement, a commit or the connection failed.
//
// When the database itself refused, the text is the reason in the operator's words and, on the next line, the
// database's own message: the operator reads the first, whoever looks into the fault later needs the second.
class DatabaseError : public Failure {
public:
    // A failure found on our side, before the database was asked: the text is all there is.
    explicit DatabaseError(QString text) : Failure(text), reason_(std::move(text)) {}

    // reason: a phrase as databaseReason() gives it; it is shown with a capital letter when it leads the text.
    // valueRefused: what the database refused is a value the statement was given (a text too long for its column,
    // a character its encoding cannot hold), not the statement, the connection or the file.
    DatabaseError(QString reason, QString databaseMessage, bool valueRefused = false)
        : Failure(compose(reason, databaseMessage)), reason_(std::move(reason)),
          databaseMessage_(std::move(databaseMessage)), refusedByDatabase_(true), valueRefused_(valueRefused) {}

    const QString& reason() const noexcept { return reason_; }
    // Empty for a failure found on our side.
    const QString& databaseMessage() const noexcept { return databaseMessage_; }
    bool refusedByDatabase() const noexcept { return refusedByDatabase_; }
    bool valueRefused() const noexcept { return valueRefused_; }

private:
    static QString compose(const QString& reason, const QString& databaseMessage) {
        QString text = reason;
        if (!text.isEmpty())
            text[0] = text[0].toUpper();
        if (!databaseMessage.isEmpty())
            text += QStringLiteral("\nСообщение базы данных: ") + databaseMessage;
        return text;
    }

    QString reason_;
    QString databaseMessage_;
    bool refusedByDatabase_ = false;
    bool valueRefused_ = false;
};

} // namespace vornic

namespace vornic {

// A change refused because another operator stored a change of the same row, or removed it, after this one read
// it. The row has been read again: the list shows what is stored now.
class RowChangedByOther final : public DatabaseError {
public:
    RowChangedByOther(QString text, bool removed, QVariantHash operatorValues)
        : DatabaseError(std::move(text)), removed_(removed), operatorValues_(std::move(operatorValues)) {}

    // The row is no longer stored (or no longer in the list's selection).
    bool removed() const noexcept { return removed_; }
    // The values this operator had typed into the row, by field name, to be applied again if wanted.
    const QVariantHash& operatorValues() const noexcept { return operatorValues_; }

private:
    bool removed_;
    QVariantHash operatorValues_;
};

} // namespace vornic
