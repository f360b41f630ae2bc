#include "ui/common/RowLabels.h"

#include "base/DateText.h"
#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/ServiceJournalTable.h"

namespace vornic {
namespace {

QString text(const DataSet& dataSet, int row, const QString& field) {
    const QVariant value = dataSet.value(row, dataSet.fieldIndex(field));
    if (value.typeId() == QMetaType::QDateTime)
        return dateTimeText(value.toDateTime());
    if (value.typeId() == QMetaType::QDate)
        return dateTimeText(value.toDate().startOfDay());
    return trimmed(value.toString());
}

} // namespace

QString objectRowLabel(const DataSet& objects, int row) {
    QString label = QStringLiteral("объект «%1»").arg(text(objects, row, ObjectsTable::kFio));
    const QString scanner = text(objects, row, ObjectsTable::kScanner);
    if (!scanner.isEmpty())
        label += QStringLiteral(", ID сканера %1").arg(scanner);
    return label;
}

QString readingRowLabel(const DataSet& readings, int row) {
    QString label = QStringLiteral("показания «%1» от %2")
                        .arg(text(readings, row, ReadingsTable::kReadings), text(readings, row, ReadingsTable::kDate));
    const QString fio = text(readings, row, ObjectsTable::kFio);
    if (!fio.isEmpty())
        label += QStringLiteral(" (%1)").arg(fio);
    return label;
}

QString journalRowLabel(const DataSet& journal, int row) {
    return QStringLiteral("запись журнала от %1").arg(text(journal, row, ServiceJournalTable::kDate));
}

} // namespace vornic
