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

// Reads a schema description: a root, table elements under it, entry elements under those. Table elements with
// other names (another letter case included) are passed over. Throws Failure, naming fileName, when the bytes are
// no well-formed XML document, or one larger than a few megabytes or nested deeper than a few dozen levels.
QList<DescribedTable> parseSchemaDescription(const QByteArray& xml, const QString& fileName);

// Names and types go into DDL text as they stand, so a description is applied only when each entry of each
// table element read is a plain column name (no reserved word, nothing of the server's own namespaces) and a whole
// column type (db/SqlTypeCheck.h). Throws Failure, naming fileName, the table, the entry's place and what is
// wrong, at the first entry that is not.
void checkSchemaDescription(const QList<DescribedTable>& tables, const QString& fileName);

// An installation's database may be older than the program. A schema description "compare_bd.xml" placed in
// the data folder lists the columns the tables must have; each missing one is added at its listed position, and
// the description is then deleted. Without the file nothing happens.
//
// A description is applied whole or not at all: every entry is checked (checkSchemaDescription) before any is
// applied, and the columns are added in one transaction that is committed only when the database has taken all
// of them. A failure (a description that is no well-formed XML or too large or too deep, an entry the check
// refuses, a probe or a change the database refuses) leaves the database as it was and is thrown, naming the
// entry where there is one; the file stays, so that every start reports it until it is mended or removed.
void upgradeSchema(Database& database, const QString& dataFolder);

} // namespace vornic
