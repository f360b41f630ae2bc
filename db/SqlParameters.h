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

namespace vornic {

class Database;

// Runs a statement with named parameters once: valueOf gives each parameter's value (":FIELD" new, "?old_FIELD"
// old). The caller holds the database's lock when the statement and its commit are to be one unit.
template <class ValueOf> void executeNamed(Database& database, const QString& sql, ValueOf&& valueOf);

} // namespace vornic

#include "db/Statement.h"

template <class ValueOf> void vornic::executeNamed(Database& database, const QString& sql, ValueOf&& valueOf) {
    const ParsedStatement parsed = parseNamedParameters(sql);
    Statement statement(database, parsed.sql);
    for (int i = 0; i < parsed.parameters.size(); ++i)
        statement.bind(i, valueOf(parsed.parameters[i]));
    statement.execute();
}
