#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vornic {

class Database;

// What a schema description asks for: per table element, in document order, the columns it lists.
struct DescribedColumn {
    QString name;
    QString type;
    int place = 0; // 1 for the table element's first entry
};

struct DescribedTable {
    QString table; // one of the three tables, exactly as the program names them
    QList<DescribedColumn> columns;
};

// Reads a schema description. Table elements with other names (another letter case included) are passed
// over. Throws Failure, naming fileName, when the bytes are no well-formed XML document.
QList<DescribedTable> parseSchemaDescription(const QByteArray& xml, const QString& fileName);

// Names and types go into DDL text as they stand, so a description is applied only when each entry of each
// table element read is a plain column name (no SQL word) and a whole column type (db/SqlTypeCheck.h). Throws
// Failure, naming fileName, the table, the entry's place and what is wrong, at the first entry that is not.
void checkSchemaDescription(const QList<DescribedTable>& tables, const QString& fileName);

// An installation's database may be older than the program. A schema description "compare_bd.xml" placed in
// the data folder lists the columns the tables must have; each missing one is added at its listed position and
// committed, and the description is then deleted. Without the file nothing happens.
//
// A description with any entry that checkSchemaDescription refuses is refused whole: nothing of it is applied.
// A failure (a refused description, one that is no well-formed XML, a probe or a change the database refuses)
// is thrown and the file stays, so the next start runs the upgrade again; columns committed before the failure
// are then found present and not added twice.
void upgradeSchema(Database& database, const QString& dataFolder);

} // namespace vornic
