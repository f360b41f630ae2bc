#include "db/SchemaUpgrade.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "base/ShownText.h"
#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/DatabaseReason.h"
#include "db/SqlTypeCheck.h"
#include "db/Statement.h"

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

// What is wrong with a name of something ("столбца", "индекса"), or nothing.
QString nameFault(const QString& name, const QString& of) {
    if (name.isEmpty())
        return QStringLiteral("не указано имя %1").arg(of);
    if (!isPlainIdentifier(name))
        return QStringLiteral("имя %1 «%2» не является простым именем SQL").arg(of, shownText(name));
    if (isSystemName(name))
        return QStringLiteral("имя %1 «%2» относится к системным именам базы данных (RDB$, MON$, SEC$)").arg(of, name);
    if (isReservedWord(name))
        return QStringLiteral("имя %1 «%2» является зарезервированным словом SQL").arg(of, name);
    return {};
}

// What is wrong with an entry, or nothing.
QString fault(const DescribedColumn& column) {
    if (const QString wrong = nameFault(column.name, QStringLiteral("столбца")); !wrong.isEmpty())
        return wrong;
    if (column.type.isEmpty())
        return QStringLiteral("не указан тип столбца");
    if (!isColumnType(column.type))
        return QStringLiteral("тип столбца «%1» не является типом SQL").arg(shownText(column.type));
    return {};
}

QString fault(const DescribedIndex& index) {
    if (const QString wrong = nameFault(index.name, QStringLiteral("индекса")); !wrong.isEmpty())
        return wrong;
    if (index.table.isEmpty())
        return QStringLiteral("не указана таблица индекса");
    if (tableNamed(index.table) == nullptr) {
        QStringList names;
        for (const KnownTable& table : knownTables())
            names.append(table.name);
        return QStringLiteral("таблица «%1» не из тех, что описание может изменить (%2)")
            .arg(shownText(index.table), names.join(QStringLiteral(", ")));
    }
    if (index.fields.isEmpty())
        return QStringLiteral("не указаны столбцы индекса");
    for (qsizetype i = 0; i < index.fields.size(); ++i) {
        const QString& field = index.fields[i];
        if (field.isEmpty())
            return QStringLiteral("в списке столбцов индекса пропущено имя столбца");
        if (const QString wrong = nameFault(field, QStringLiteral("столбца")); !wrong.isEmpty())
            return wrong;
        // Unquoted names are the same in any letter case.
        if (index.fields.first(i).contains(field, Qt::CaseInsensitive))
            return QStringLiteral("столбец «%1» указан в индексе дважды").arg(field);
    }
    return {};
}

// One change the description asks for: its statements, and the entry a refusal names ("в таблице LIST_OBJECTS
// запись 3 (столбец NOTE)").
struct Change {
    QStringList statements;
    QString entry;
};

// The columns the description lists and their tables lack. Each table is probed once; a column counts as present
// from the entry that adds it on, so that one listed twice (in one table element or in two) is added once.
QList<Change> missingColumns(Database& database, const QList<DescribedTable>& description) {
    QHash<QString, QStringList> present;
    QList<Change> missing;
    for (const DescribedTable& described : description) {
        const KnownTable& table = *tableNamed(described.table);
        auto columns = present.find(table.name);
        if (columns == present.end())
            columns = present.insert(table.name, database.columnNames(table.probe));
        for (const DescribedColumn& column : described.columns) {
            if (columns->contains(column.name, Qt::CaseInsensitive))
                continue;
            columns->append(column.name);
            missing.append({{QStringLiteral("ALTER TABLE ") + table.name + QStringLiteral(" ADD ") + column.name +
                                 QStringLiteral(" ") + column.type,
                             QStringLiteral("alter table ") + table.name + QStringLiteral(" alter ") + column.name +
                                 QStringLiteral(" position ") + QString::number(column.place)},
                            QStringLiteral("в таблице %1 запись %2 (столбец %3)")
                                .arg(table.name, QString::number(column.place), column.name)});
        }
    }
    return missing;
}

// The names of the database's indexes, its own and those of constraints among them. The database keeps them
// upper-case (an unquoted name is), padded with blanks.
QStringList indexNames(Database& database) {
    Statement statement(database, QStringLiteral("SELECT RDB$INDEX_NAME FROM RDB$INDICES"));
    statement.open();
    QStringList names;
    while (statement.fetch())
        names.append(statement.value(0).toString().trimmed());
    return names;
}

// The indexes the description lists whose names the database lacks; an index listed twice is made once.
QList<Change> missingIndexes(Database& database, const QList<DescribedIndex>& description) {
    if (description.isEmpty())
        return {};
    QStringList present = indexNames(database);
    QList<Change> missing;
    for (const DescribedIndex& index : description) {
        if (present.contains(index.name, Qt::CaseInsensitive))
            continue;
        present.append(index.name);
        missing.append({{QStringLiteral("CREATE ") +
                         (index.descending ? QStringLiteral("DESCENDING INDEX ") : QStringLiteral("INDEX ")) +
                         index.name + QStringLiteral(" ON ") + index.table + QStringLiteral(" (") +
                         index.fields.join(QStringLiteral(", ")) + QStringLiteral(")")},
                        QStringLiteral("элемент INDEX %1 (индекс %2)").arg(QString::number(index.place), index.name)});
    }
    return missing;
}

// The database's refusal of one entry, with the entry named; the database's own message goes along.
DatabaseError refusal(const QString& fileName, const Change& change, const DatabaseError& error) {
    const QString text = QStringLiteral("Файл %1 не применён, база данных не изменена: %2 — %3")
                             .arg(fileName, change.entry, error.reason());
    return error.databaseMessage().isEmpty() ? DatabaseError(text) : DatabaseError(text, error.databaseMessage());
}

// Runs the statements of the first count changes, uncommitted. Throws the refusal of the entry the database
// refuses.
void applyChanges(Database& database, const QList<Change>& changes, qsizetype count, const QString& fileName) {
    for (qsizetype i = 0; i < count; ++i) {
        try {
            for (const QString& statement : changes[i].statements)
                database.execute(statement);
        } catch (const DatabaseError& error) {
            throw refusal(fileName, changes[i], error);
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

// Some checks the database makes only at the commit, over all the changes together (a table's row size, an
// index's key length). The entry to name is the first that the database refuses together with those before it;
// more changes never make the whole acceptable again, so a halving search finds it. Each trial is undone.
DatabaseError deferredRefusal(Database& database, const QList<Change>& changes, const QString& fileName,
                              const DatabaseError& wholeRefused) {
    qsizetype accepted = 0;             // the longest start of the list known to pass
    qsizetype refused = changes.size(); // the shortest start known to fail
    DatabaseError reason = wholeRefused;
    while (refused - accepted > 1) {
        const qsizetype trial = accepted + (refused - accepted) / 2;
        try {
            applyChanges(database, changes, trial, fileName);
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
    return refusal(fileName, changes[refused - 1], reason);
}

// All the changes in one transaction: committed together, or, at any refusal, rolled back together.
void applyAll(Database& database, const QList<Change>& changes, const QString& fileName) {
    if (changes.isEmpty())
        return;
    auto unit = database.lock();
    // What the transaction holds so far is not this change's: it stays, and a rollback undoes this change alone.
    database.commit();
    try {
        applyChanges(database, changes, changes.size(), fileName);
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
        throw deferredRefusal(database, changes, fileName, error);
    }
}

// An index element as written: the list of columns is cut at its commas, blanks around each part removed.
DescribedIndex describedIndex(const QXmlStreamAttributes& attributes, qsizetype place) {
    DescribedIndex index;
    index.name = attributes.value(QStringLiteral("name")).toString();
    index.table = attributes.value(QStringLiteral("table")).toString();
    const QString fields = attributes.value(QStringLiteral("fields")).toString();
    if (!fields.trimmed().isEmpty())
        for (const QString& field : fields.split(u','))
            index.fields.append(field.trimmed());
    const QString descending = attributes.value(QStringLiteral("descending")).toString();
    index.descending = descending == QLatin1StringView("1") ||
                       descending.compare(QLatin1StringView("yes"), Qt::CaseInsensitive) == 0 ||
                       descending.compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0;
    index.place = static_cast<int>(place);
    return index;
}

} // namespace

SchemaDescription parseSchemaDescription(const QByteArray& xml, const QString& fileName) {
    if (xml.size() > kMaxDescriptionBytes)
        throw Failure(QStringLiteral("Файл %1 не принят: описание столбцов не может быть больше %2 МБ.")
                          .arg(fileName, QString::number(kMaxDescriptionBytes / (1024 * 1024))));
    QXmlStreamReader reader(xml);
    // Element and attribute names are taken as written, prefix and all.
    reader.setNamespaceProcessing(false);
    SchemaDescription description;
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
                    description.tables.append({name, {}});
                else if (name == QLatin1StringView("INDEX"))
                    description.indexes.append(describedIndex(reader.attributes(), description.indexes.size() + 1));
            } else if (depth == 3 && inTable) {
                const QXmlStreamAttributes attributes = reader.attributes();
                QList<DescribedColumn>& columns = description.tables.last().columns;
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
    return description;
}

void checkSchemaDescription(const SchemaDescription& description, const QString& fileName) {
    for (const DescribedTable& table : description.tables)
        for (const DescribedColumn& column : table.columns)
            if (const QString wrong = fault(column); !wrong.isEmpty())
                throw Failure(QStringLiteral("Файл %1 не применён: в таблице %2 запись %3 — %4.")
                                  .arg(fileName, table.table, QString::number(column.place), wrong));
    for (const DescribedIndex& index : description.indexes)
        if (const QString wrong = fault(index); !wrong.isEmpty())
            throw Failure(QStringLiteral("Файл %1 не применён: элемент INDEX %2 — %3.")
                              .arg(fileName, QString::number(index.place), wrong));
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
    const SchemaDescription description = parseSchemaDescription(xml, file.fileName());
    checkSchemaDescription(description, file.fileName());
    // Columns first: an index may be on a column the description adds.
    applyAll(database, missingColumns(database, description.tables) + missingIndexes(database, description.indexes),
             file.fileName());
    if (!file.remove())
        throw Failure(QStringLiteral("Не удалось удалить файл %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace vornic
