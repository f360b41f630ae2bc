#include "reports/UnpolledObjects.h"

#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/ObjectsTable.h"

using namespace Qt::StringLiterals;

namespace vornic {

void selectUnpolledObjects(DataSet& list, const QString& start, const QString& end) {
    list.setSelectSql(ObjectsTable::kUnpolledSelect);
    list.setParameter(ObjectsTable::kPeriodStart, start);
    list.setParameter(ObjectsTable::kPeriodEnd, end);
}

QList<UnpolledObject> unpolledObjects(DataSet& list) {
    // Read by row number: walking the current row through a long list would make the grid follow every step.
    list.fetchAll();
    const int scanner = list.fieldIndex(ObjectsTable::kScanner);
    const int fio = list.fieldIndex(ObjectsTable::kFio);
    const int address = list.fieldIndex(ObjectsTable::kAddress);
    QList<UnpolledObject> objects;
    objects.reserve(list.rowCount());
    for (int row = 0; row < list.rowCount(); ++row)
        objects.append({list.value(row, scanner).toString(), list.value(row, fio).toString(),
                        list.value(row, address).toString()});
    return objects;
}

QStringList unpolledObjectsLines(const QList<UnpolledObject>& objects) {
    QStringList lines;
    lines.reserve(objects.size());
    for (const UnpolledObject& object : objects)
        lines.append(u" ID сканера:"_s + trimmed(object.scanner) + u"  ФИО абонента:"_s + trimmed(object.fio) +
                     u"  Адресс:"_s + trimmed(object.address));
    return lines;
}

QList<XmlElement> unpolledObjectsElements(const QList<UnpolledObject>& objects) {
    QList<XmlElement> elements;
    elements.reserve(objects.size());
    for (const UnpolledObject& object : objects)
        elements.append({u"row"_s,
                         {{u"ID_SCANNER"_s, trimmed(object.scanner)},
                          {u"fio"_s, trimmed(object.fio)},
                          {u"address"_s, trimmed(object.address)}}});
    return elements;
}

SpreadsheetReport unpolledObjectsSheet(const QList<UnpolledObject>& objects) {
    SpreadsheetReport sheet{{25, 25, 25}, {{1, 1, u"ID сканера "_s}, {1, 2, u"ФИО абонента "_s}, {1, 3, u"Адресс "_s}}};
    sheet.cells.reserve(3 + 3 * objects.size());
    int row = 2;
    for (const UnpolledObject& object : objects) {
        sheet.cells.append({row, 1, object.scanner});
        sheet.cells.append({row, 2, object.fio});
        sheet.cells.append({row, 3, object.address});
        ++row;
    }
    return sheet;
}

} // namespace vornic
