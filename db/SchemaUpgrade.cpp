#include "db/SchemaUpgrade.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "db/Database.h"

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

void upgradeSchema(Database& database, const QString& dataFolder) {
    QFile file(dataFile(dataFolder, QStringLiteral("compare_bd.xml")));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Не удалось открыть файл %1: %2").arg(file.fileName(), file.errorString()));
    const QByteArray xml = file.readAll();
    file.close();
    for (const DescribedTable& described : parseSchemaDescription(xml, file.fileName()))
        upgradeTable(database, *tableNamed(described.table), described.columns);
    if (!file.remove())
        throw Failure(QStringLiteral("Не удалось удалить файл %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace vornic
