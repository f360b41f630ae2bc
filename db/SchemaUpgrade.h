#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vornic {

class Database;

// What a schema description asks for: per table element, in document order, the columns it lists; and the
// indexes.
struct DescribedColumn {
    QString name;
    QString type;
    int place = 0; // 1 for the table element's first entry
};

struct DescribedTable {
    QString table; // one of the three tables, exactly as the program names them
    QList<DescribedColumn> columns;
};

// An index element: an index the table must have.
struct DescribedIndex {
    QString name;
    QString table;      // as written; the check sees to it that it is one of the three tables
    QStringList fields; // the parts of the comma-separated list, blanks around each removed, empty ones kept
    bool descending = false;
    int place = 0; // 1 for the description's first index element
};

struct SchemaDescription {
    QList<DescribedTable> tables;
    QList<DescribedIndex> indexes;
};

// Reads a schema description: a root; under it table elements, with entry elements under those, and index
// elements, named "INDEX". Other elements under the root (table names in another letter case included) are passed
// over, and so is what an index element holds. An index element's "descending" is "1", "yes" or "true" in any
// letter case for a descending index; any other value, or none, makes it ascending. Throws Failure, naming
// fileName, when the bytes are no well-formed XML document, or one larger than a few megabytes or nested deeper
// than a few dozen levels.
SchemaDescription parseSchemaDescription(const QByteArray& xml, const QString& fileName);

// Names and types go into DDL text as they stand, so a description is applied only when each entry of each
// table element read is a plain column name (no reserved word, nothing of the server's own namespaces) and a whole
// column type (db/SqlTypeCheck.h), and each index element names an index and its columns by plain names, one of
// the three tables, and no column twice. Throws Failure, naming fileName and the entry (the table and the entry's
// place, or the index element's place) and what is wrong, at the first entry that is not.
void checkSchemaDescription(const SchemaDescription& description, const QString& fileName);

// An installation's database may be older than the program. A schema description "compare_bd.xml" placed in
// the data folder lists the columns the tables must have and the indexes they must have; each missing column is
// added at its listed position, each index whose name the database lacks (in any letter case) is made, and the
// description is then deleted. A column or an index already there is left as it is, whatever its definition.
// Without the file nothing happens.
//
// A description is applied whole or not at all: every entry is checked (checkSchemaDescription) before any is
// applied, and the columns, then the indexes, are made in one transaction that is committed only when the
// database has taken all of them (an index may so be on a column the same description adds). A failure (a
// description that is no well-formed XML or too large or too deep, an entry the check refuses, a probe or a
// change the database refuses) leaves the database as it was and is thrown, naming the entry where there is one;
// the file stays, so that every start reports it until it is mended or removed.
void upgradeSchema(Database& database, const QString& dataFolder);

} // namespace vornic
