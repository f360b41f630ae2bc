#include "db/ColumnLengths.h"

#include "db/Database.h"
#include "db/Statement.h"

namespace vornic {

namespace {

const QString kTextColumnLengths =
    QStringLiteral("SELECT TRIM(RF.RDB$FIELD_NAME), F.RDB$CHARACTER_LENGTH FROM RDB$RELATION_FIELDS RF "
                   "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
                   "WHERE RF.RDB$RELATION_NAME = ? AND F.RDB$CHARACTER_LENGTH IS NOT NULL");

} // namespace

QHash<QString, int> textColumnLengths(Database& database, const QString& table) {
    auto unit = database.lock();
    Statement lengths(database, kTextColumnLengths);
    lengths.bind(0, table);
    lengths.open();
    QHash<QString, int> byColumn;
    while (lengths.fetch())
        byColumn.insert(lengths.value(0).toString(), lengths.value(1).toInt());
    return byColumn;
}

} // namespace vornic
