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
