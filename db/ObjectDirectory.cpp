#include "db/ObjectDirectory.h"

#include "db/DataSet.h"
#include "db/Database.h"
#include "db/ReadingsTable.h"
#include "db/ServiceJournalTable.h"
#include "db/Statement.h"

namespace vornic {

bool scannerIsStored(Database& database, const QString& scanner, std::optional<int> except) {
    const QString select = QStringLiteral("select ID_SCANNER from list_objects where ID_SCANNER = ?");
    Statement check(database, except ? select + QStringLiteral(" and ID_OBJECT <> ?") : select);
    check.bind(0, scanner);
    if (except)
        check.bind(1, *except);
    check.open();
    const bool found = check.fetch();
    check.close();
    return found;
}

std::optional<int> newestObjectWithScanner(Database& database, const QString& scanner) {
    Statement newest(database, QStringLiteral("select max(ID_OBJECT) from list_objects where ID_SCANNER = ?"));
    newest.bind(0, scanner);
    newest.open();
    std::optional<int> id;
    if (newest.fetch() && !newest.value(0).isNull())
        id = newest.value(0).toInt();
    newest.close();
    return id;
}

void removeObjectRecords(Database& database, int objectId) {
    for (const QString& removal : {ServiceJournalTable::kDeleteOfObject, ReadingsTable::kDeleteOfObject}) {
        Statement remove(database, removal);
        remove.bind(0, objectId);
        remove.execute();
    }
}

bool moveToObject(DataSet& list, int objectId) {
    const int column = list.fieldIndex(ObjectsTable::kId);
    if (!list.isOpen() || column < 0)
        return false;
    for (int row = 0;; ++row) {
        while (row >= list.rowCount() && list.canFetchMore())
            list.fetchMore();
        if (row >= list.rowCount())
            return false;
        const QVariant key = list.value(row, column);
        if (!key.isNull() && key.toInt() == objectId) {
            list.moveTo(row);
            return true;
        }
    }
}

} // namespace vornic
