#pragma once

#include "db/ObjectsTable.h"

#include <QString>

// The service journal (STATUS_OBJECT): the names of its columns and every statement the program runs over it,
// each written once.
namespace vornic::ServiceJournalTable {

inline const QString kKey = QStringLiteral("COUNTER_STAT"); // assigned by the database
inline const QString& kObject = ObjectsTable::kId;
inline const QString kDate = QStringLiteral("STATUS_DATE");
inline const QString kText = QStringLiteral("STATUS_STRING");

// The current object's entries (":id_object" is the object list's current key), newest first, and the journal
// window's changes.
inline const QString kOfObjectSelect =
    QStringLiteral("SELECT*from STATUS_OBJECT Where (id_object=:id_object) ORDER BY STATUS_DATE DESC");
inline const QString kInsert = QStringLiteral(
    "INSERT INTO STATUS_OBJECT (STATUS_DATE,ID_OBJECT,STATUS_STRING) VALUES (:STATUS_DATE,:ID_OBJECT,:STATUS_STRING)");
inline const QString kModify =
    QStringLiteral("UPDATE STATUS_OBJECT SET ID_OBJECT=:ID_OBJECT, STATUS_DATE=:STATUS_DATE,  "
                   "STATUS_STRING=:STATUS_STRING WHERE COUNTER_STAT=?old_COUNTER_STAT");
inline const QString kDelete = QStringLiteral("Delete From STATUS_OBJECT where COUNTER_STAT=?old_COUNTER_STAT");
// Every entry of one object (the parameter), before the object itself is removed.
inline const QString kDeleteOfObject = QStringLiteral("Delete From STATUS_OBJECT where id_object=?");

} // namespace vornic::ServiceJournalTable
