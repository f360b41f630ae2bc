#include "db/SchemaUpgrade.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "db/Database.h"
#include "db/SqlTypeCheck.h"

#include <QDomDocument>
#include <QFile>

namespace vornic {
namespace {

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

void upgradeTable(Database& database, const KnownTable& table, const QList<DescribedColumn>& wanted) {
    const QStringList columns = database.columnNames(table.probe);
    for (const DescribedColumn& column : wanted) {
        if (columns.contains(column.name, Qt::CaseInsensitive))
            continue;
        auto unit = database.lock();
        database.execute(QStringLiteral("ALTER TABLE ") + table.name + QStringLiteral(" ADD ") + column.name +
                         QStringLiteral(" ") + column.type);
        database.execute(QStringLiteral("alter table ") + table.name + QStringLiteral(" alter ") + column.name +
                         QStringLiteral(" position ") + QString::number(column.place));
        database.commitRetaining();
    }
}

// An entry's text as the operator is shown it: a long one cut, so that the report stays readable.
QString shown(const QString& text) {
    constexpr qsizetype kMaxShown = 80;
    if (text.size() <= kMaxShown)
        return text;
    const qsizetype cut = text[kMaxShown - 1].isHighSurrogate() ? kMaxShown - 1 : kMaxShown;
    return text.left(cut) + QStringLiteral("…");
}

// What is wrong with an entry, or nothing.
QString fault(const DescribedColumn& column) {
    if (column.name.isEmpty())
        return QStringLiteral("не указано имя столбца");
    if (!isPlainIdentifier(column.name))
        return QStringLiteral("имя столбца «%1» не является простым именем SQL").arg(shown(column.name));
    if (isReservedWord(column.name))
        return QStringLiteral("имя столбца «%1» является зарезервированным словом SQL").arg(column.name);
    if (column.type.isEmpty())
        return QStringLiteral("не указан тип столбца");
    if (!isColumnType(column.type))
        return QStringLiteral("тип столбца «%1» не является типом SQL").arg(shown(column.type));
    return {};
}

} // namespace

QList<DescribedTable> parseSchemaDescription(const QByteArray& xml, const QString& fileName) {
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(xml, &error, &line, &column))
        throw Failure(QStringLiteral("Файл %1 не является правильным XML-документом: %2 (строка %3, позиция %4).")
                          .arg(fileName, error)
                          .arg(line)
                          .arg(column));
    QList<DescribedTable> tables;
    const QDomElement root = document.documentElement();
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (!tableNamed(child.tagName()))
            continue;
        DescribedTable table{child.tagName(), {}};
        int place = 0;
        for (QDomElement entry = child.firstChildElement(); !entry.isNull(); entry = entry.nextSiblingElement())
            table.columns.append(
                {entry.attribute(QStringLiteral("name")), entry.attribute(QStringLiteral("type")), ++place});
        tables.append(table);
    }
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
    const QByteArray xml = file.readAll();
    file.close();
    const QList<DescribedTable> description = parseSchemaDescription(xml, file.fileName());
    checkSchemaDescription(description, file.fileName());
    for (const DescribedTable& described : description)
        upgradeTable(database, *tableNamed(described.table), described.columns);
    if (!file.remove())
        throw Failure(QStringLiteral("Не удалось удалить файл %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace vornic
