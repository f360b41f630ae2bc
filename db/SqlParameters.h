#pragma once

#include <QList>
#include <QString>

namespace vornic {

// A data set's statement with named parameters: ":FIELD" stands for the row's new value of FIELD and
// "?old_FIELD" for the value FIELD had when it was read. The database sees positional "?" in their place.
struct NamedParameter {
    QString field;
    bool old = false;
};

struct ParsedStatement {
    QString sql; // with "?" in place of every named parameter
    QList<NamedParameter> parameters;
};

// Quoted texts ('...') and quoted names ("...") are left alone, so a colon inside them is no parameter.
ParsedStatement parseNamedParameters(const QString& sql);

} // namespace vornic

#include "db/Statement.h"

#include <memory>

namespace vornic {

class Database;

// A statement with named parameters, prepared once and run many times: valueOf gives each parameter's value
// (":FIELD" new, "?old_FIELD" old). The caller holds the database's lock when a run and its commit are to be
// one unit.
class NamedStatement final {
public:
    NamedStatement(Database& database, const QString& sql)
        : parsed_(parseNamedParameters(sql)), statement_(std::make_unique<Statement>(database, parsed_.sql)) {}

    // Returns how many rows the run changed.
    template <class ValueOf> quint64 execute(ValueOf&& valueOf) {
        for (int i = 0; i < parsed_.parameters.size(); ++i)
            statement_->bind(i, valueOf(parsed_.parameters[i]));
        statement_->execute();
        return statement_->affectedRows();
    }

private:
    ParsedStatement parsed_;
    std::unique_ptr<Statement> statement_;
};

// Prepares and runs a statement with named parameters once; returns how many rows it changed.
template <class ValueOf> quint64 executeNamed(Database& database, const QString& sql, ValueOf&& valueOf) {
    return NamedStatement(database, sql).execute(std::forward<ValueOf>(valueOf));
}

} // namespace vornic
