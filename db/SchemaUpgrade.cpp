#include "db/SchemaUpgrade.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "base/ShownText.h"
#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/DatabaseReason.h"
#include "db/SqlTypeCheck.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

namespace vornic {
namespace {

// A description lists a few dozen columns; anything near these limits is no description, and a document nested
// without end must not reach a reader that follows it down.
constexpr qsizetype kMaxDescriptionBytes = 4 * 1024 * 1024;
constexpr int kMaxNesting = 32;

// The tables the description may name, exactly so, and the statement whose result columns are each table's.
struct KnownTable {
    QString name;
    QString probe;
};

const QList<KnownTable>& knownTables() {
    static const QList<KnownTable> tables = {
        {QStringLiteral("IMAGE_OBJECT_DATE"), QStringLiteral("select* from IMAGE_OBJECT_DATE where id_object=1")},
        {QStringLiteral("LIST_OBJECTS"), QStringLiteral("select* from LIST_OBJECTS where id_object=1")},
        {QStringLiteral("STATUS_OBJECT"), QStringLiteral("select* from STATUS_OBJECT where COUNTER_STAT=1")},
    };
    return tables;
}

const KnownTable* tableNamed(const QString& elementName) {
    for (const KnownTable& table : knownTables())
        if (table.name == elementName)
            return &table;
    return nullptr;
}

// What is wrong with an entry, or nothing.
QString fault(const DescribedColumn& column) {
    if (column.name.isEmpty())
        return QStringLiteral("не указано имя столбца");
    if (!isPlainIdentifier(column.name))
        return QStringLiteral("имя столбца «%1» не является простым именем SQL").arg(shownText(column.name));
    if (isSystemName(column.name))
        return QStringLiteral("имя столбца «%1» относится к системным именам базы данных (RDB$, MON$, SEC$)")
            .arg(column.name);
    if (isReservedWord(column.name))
        return QStringLiteral("имя столбца «%1» является зарезервированным словом SQL").arg(column.name);
    if (column.type.isEmpty())
        return QStringLiteral("не указан тип столбца");
    if (!isColumnType(column.type))
        return QStringLiteral("тип столбца «%1» не является типом SQL").arg(shownText(column.type));
    return {};
}

// A column the description lists and its table lacks.
struct MissingColumn {
    const KnownTable* table = nullptr;
    DescribedColumn column;
};

// Each table is probed once; a column counts as present from the entry that adds it on, so that one listed twice
// (in one table element or in two) is added once.
QList<MissingColumn> missingColumns(Database& database, const QList<DescribedTable>& description) {
    QHash<QString, QStringList> present;
    QList<MissingColumn> missing;
    for (const DescribedTable& described : description) {
        const KnownTable& table = *tableNamed(described.table);
        auto columns = present.find(table.name);
        if (columns == present.end())
            columns = present.insert(table.name, database.columnNames(table.probe));
        for (const DescribedColumn& column : described.columns) {
            if (columns->contains(column.name, Qt::CaseInsensitive))
                continue;
            columns->append(column.name);
            missing.append({&table, column});
        }
    }
    return missing;
}

// The database's refusal of one entry, with the entry named; the database's own message goes along.
DatabaseError refusal(const QString& fileName, const MissingColumn& missing, const DatabaseError& error) {
    const QString text = QStringLiteral("Файл %1 не применён, база данных не изменена: в таблице %2 запись %3 "
                                        "(столбец %4) — %5")
                             .arg(fileName, missing.table->name, QString::number(missing.column.place),
                                  missing.column.name, error.reason());
    return error.databaseMessage().isEmpty() ? DatabaseError(text) : DatabaseError(text, error.databaseMessage());
}

// Runs the statements of the first count missing columns, uncommitted. Throws the refusal of the entry the
// database refuses.
void addColumns(Database& database, const QList<MissingColumn>& columns, qsizetype count, const QString& fileName) {
    for (qsizetype i = 0; i < count; ++i) {
        const auto& [table, column] = columns[i];
        try {
            database.execute(QStringLiteral("ALTER TABLE ") + table->name + QStringLiteral(" ADD ") + column.name +
                             QStringLiteral(" ") + column.type);
            database.execute(QStringLiteral("alter table ") + table->name + QStringLiteral(" alter ") + column.name +
                             QStringLiteral(" position ") + QString::number(column.place));
        } catch (const DatabaseError& error) {
            throw refusal(fileName, columns[i], error);
        }
    }
}

// Undoes the change in hand. The failure that led here is the one reported: a rollback that fails too means
// the connection is gone, and the server drops the transaction with it.
void discard(Database& database) noexcept {
    try {
        database.rollback();
    } catch (const Failure&) {
    }
}

// Some checks the database makes only at the commit, over all the added columns together (a table's row size).
// The entry to name is the first that the database refuses together with those before it; more columns never
// make the change acceptable again, so a halving search finds it. Each trial is undone.
DatabaseError deferredRefusal(Database& database, const QList<MissingColumn>& columns, const QString& fileName,
                              const DatabaseError& wholeRefused) {
    qsizetype accepted = 0;             // the longest start of the list known to pass
    qsizetype refused = columns.size(); // the shortest start known to fail
    DatabaseError reason = wholeRefused;
    while (refused - accepted > 1) {
        const qsizetype trial = accepted + (refused - accepted) / 2;
        try {
            addColumns(database, columns, trial, fileName);
        } catch (const Failure&) {
            discard(database);
            throw;
        }
        try {
            database.prepareCommit();
            accepted = trial;
        } catch (const DatabaseError& error) {
            refused = trial;
            reason = error;
        }
        discard(database);
    }
    return refusal(fileName, columns[refused - 1], reason);
}

// All the missing columns in one transaction: committed together, or, at any refusal, rolled back together.
void addAll(Database& database, const QList<MissingColumn>& columns, const QString& fileName) {
    if (columns.isEmpty())
        return;
    auto unit = database.lock();
    // What the transaction holds so far is not this change's: it stays, and a rollback undoes this change alone.
    database.commit();
    try {
        addColumns(database, columns, columns.size(), fileName);
    } catch (const Failure&) {
        discard(database);
        throw;
    }
    try {
        database.commit();
    } catch (const DatabaseError& error) {
        discard(database);
        if (!error.refusedByDatabase() || tellsOfLostConnection(error.reason()))
            throw;
        throw deferredRefusal(database, columns, fileName, error);
    }
}

} // namespace

QList<DescribedTable> parseSchemaDescription(const QByteArray& xml, const QString& fileName) {
    if (xml.size() > kMaxDescriptionBytes)
        throw Failure(QStringLiteral("Файл %1 не принят: описание столбцов не может быть больше %2 МБ.")
                          .arg(fileName, QString::number(kMaxDescriptionBytes / (1024 * 1024))));
    QXmlStreamReader reader(xml);
    // Element and attribute names are taken as written, prefix and all.
    reader.setNamespaceProcessing(false);
    QList<DescribedTable> tables;
    bool inTable = false; // inside a table element that names one of the tables: its children are entries
    int depth = 0;        // 1 for the root
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > kMaxNesting)
                throw Failure(QStringLiteral("Файл %1 не принят: элементы вложены глубже %2 уровней "
                                             "(строка %3, позиция %4).")
                                  .arg(fileName, QString::number(kMaxNesting))
                                  .arg(reader.lineNumber())
                                  .arg(reader.columnNumber()));
            if (depth == 2) {
                const QString name = reader.qualifiedName().toString();
                inTable = tableNamed(name) != nullptr;
                if (inTable)
                    tables.append({name, {}});
            } else if (depth == 3 && inTable) {
                const QXmlStreamAttributes attributes = reader.attributes();
                QList<DescribedColumn>& columns = tables.last().columns;
                columns.append({attributes.value(QStringLiteral("name")).toString(),
                                attributes.value(QStringLiteral("type")).toString(),
                                static_cast<int>(columns.size()) + 1});
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    if (reader.hasError())
        throw Failure(QStringLiteral("Файл %1 не является правильным XML-документом: %2 (строка %3, позиция %4).")
                          .arg(fileName, reader.errorString())
                          .arg(reader.lineNumber())
                          .arg(reader.columnNumber()));
    return tables;
}

void checkSchemaDescription(const QList<DescribedTable>& tables, const QString& fileName) {
    for (const DescribedTable& table : tables)
        for (const DescribedColumn& column : table.columns)
            if (const QString wrong = fault(column); !wrong.isEmpty())
                throw Failure(QStringLiteral("Файл %1 не применён: в таблице %2 запись %3 — %4.")
                                  .arg(fileName, table.table, QString::number(column.place), wrong));
}

void upgradeSchema(Database& database, const QString& dataFolder) {
    QFile file(dataFile(dataFolder, QStringLiteral("compare_bd.xml")));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Не удалось открыть файл %1: %2").arg(file.fileName(), file.errorString()));
    // One byte past the limit is enough for the reader to refuse a file that is too large.
    const QByteArray xml = file.read(kMaxDescriptionBytes + 1);
    file.close();
    const QList<DescribedTable> description = parseSchemaDescription(xml, file.fileName());
    checkSchemaDescription(description, file.fileName());
    addAll(database, missingColumns(database, description), file.fileName());
    if (!file.remove())
        throw Failure(QStringLiteral("Не удалось удалить файл %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace vornic
