#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace vornic {

// Several operators may change the same row: each reads it, changes it and stores it. A change is applied only to
// the row as its operator read it; where another operator has stored a change since, the statement finds no row
// and nothing is overwritten.

// The columns an UPDATE statement writes, in the order of its SET list, as written there ("list_objects.FIO"
// stays qualified).
QStringList columnsWrittenBy(const QString& updateSql);

// The fields named by "?old_FIELD" parameters: the key by which a change statement finds its row.
QStringList oldValueFields(const QString& sql);

// A column a change compares with the value it had when its row was read.
struct ComparedColumn {
    QString column; // as the statement names it
    QString field;  // the data set's field that holds the value read
    QVariant readValue;
};

// The change statement with its condition narrowed to the row as read: each compared column must still hold the
// value read ("?old_FIELD"). A time is compared to the millisecond, the precision it is read with.
QString guardedChange(const QString& changeSql, const QList<ComparedColumn>& compared);

// A select of the one row of a data set's select whose key fields hold the "?old_" values: the row as it is
// stored now.
QString rowReReadSelect(const QString& select, const QStringList& keyFields);

} // namespace vornic
