#pragma once

#include <QHash>
#include <QString>

namespace vornic {

class Database;

// The longest text each character column of a table holds, in characters, by column name as the database keeps it
// (upper case). Texts are stored one byte a character, so it is also the limit in bytes. Read from the database's
// own description of the table, so that it holds for a database made by an older or newer program as well.
QHash<QString, int> textColumnLengths(Database& database, const QString& table);

} // namespace vornic
