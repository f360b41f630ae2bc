#pragma once

#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vornic {

class DataSet;

// The objects not heard from in a period: every object with no reading stamped from the start day at 00:00:00
// to the end day at 23:59:59, both ends included. An object that never had a reading is always among them.

// Gives the closed list its select statement for the period's two ends as the pickers write them ("01.12.2018"
// and "09.12.2018 23:59:59"). The ends travel as parameters, which the database reads as dates.
void selectUnpolledObjects(DataSet& list, const QString& start, const QString& end);

// One listed object, its fields as stored.
struct UnpolledObject {
    QString scanner;
    QString fio;
    QString address;
};

// The rows of the formed list, from the first to the last, whatever row is current.
QList<UnpolledObject> unpolledObjects(DataSet& list);

// The text file: one line per object and no heading, so that an empty list gives an empty file.
QStringList unpolledObjectsLines(const QList<UnpolledObject>& objects);
// The XML file: one "row" per object.
QList<XmlElement> unpolledObjectsElements(const QList<UnpolledObject>& objects);
// The workbook: the titles in row 1, then one row per object with the values as stored, not trimmed, so that
// the sheet shows exactly what the directory holds.
SpreadsheetReport unpolledObjectsSheet(const QList<UnpolledObject>& objects);

} // namespace vornic
