#include "db/ObjectsTable.h"

namespace vornic::ObjectsTable {

QString selectOrderedBy(const QString& column, bool descending) {
    return QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ") + column +
           (descending ? QStringLiteral(" DESC") : QString());
}

} // namespace vornic::ObjectsTable
