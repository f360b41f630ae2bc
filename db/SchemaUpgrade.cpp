#include "db/SchemaUpgrade.h"

#include "app/DataFolder.h"
#include "app/Failure.h"
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

QDomElement loadDescription(QFile& file) {
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Не удалось открыть файл %1: %2").arg(file.fileName(), file.errorString()));
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    const bool parsed = document.setContent(&file, &error, &line, &column);
    file.close();
    if (!parsed)
        throw Failure(QStringLiteral("Файл %1 не является правильным XML-документом: %2 (строка %3, позиция %4).")
                          .arg(file.fileName(), error)
                          .arg(line)
                          .arg(column));
    return document.documentElement();
}

void upgradeTable(Database& database, const KnownTable& table, const QDomElement& tableElement) {
    const QStringList columns = database.columnNames(table.probe);
    int place = 0;
    for (QDomElement entry = tableElement.firstChildElement(); !entry.isNull();
         entry = entry.nextSiblingElement()) {
        ++place;
        const QString name = entry.attribute(QStringLiteral("name"));
        if (columns.contains(name, Qt::CaseInsensitive))
            continue;
        const QString type = entry.attribute(QStringLiteral("type"));
        auto unit = database.lock();
        database.execute(QStringLiteral("ALTER TABLE ") + table.name + QStringLiteral(" ADD ") + name +
                         QStringLiteral(" ") + type);
        database.execute(QStringLiteral("alter table ") + table.name + QStringLiteral(" alter ") + name +
                         QStringLiteral(" position ") + QString::number(place));
        database.commitRetaining();
    }
}

} // namespace

void upgradeSchema(Database& database, const QString& dataFolder) {
    QFile file(dataFile(dataFolder, QStringLiteral("compare_bd.xml")));
    if (!file.exists())
        return;
    const QDomElement root = loadDescription(file);
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (const KnownTable* table = tableNamed(child.tagName()))
            upgradeTable(database, *table, child);
    }
    if (!file.remove())
        throw Failure(QStringLiteral("Не удалось удалить файл %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace vornic
