#pragma once

#include "base/Settings.h"
#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vornic {

class Database;
class IniFile;

// The scanner maintenance list: for every object, how long its scanner has been silent, where its battery is
// heading and how good its signal is, with what the service team should do about it. Nothing is stored.

// The limits the verdicts are drawn with, from the settings section "Maintenance" (base/Settings.h).
struct MaintenanceThresholds {
    int silentDays = settings::silentDays().defaultValue;     // a scanner unheard of this many days has no connection
    int batteryLevel = settings::batteryLevel().defaultValue; // the charge, in %, at which a battery is spent
    int batteryWarningDays = settings::batteryWarningDays().defaultValue; // how far ahead a spent battery is told
    int batteryChangeRise = settings::batteryChangeRise().defaultValue;   // a rise this big is a new battery
    int weakSignal = settings::weakSignal().defaultValue;                 // a usual signal below this is weak
    int trendDays = settings::trendDays().defaultValue; // how far back the battery trend and usual signal look
};

// The thresholds in force: each key of the section "Maintenance" that is missing or not a whole number gives its
// default.
MaintenanceThresholds maintenanceThresholds(const IniFile& settings);

// An object as the list needs it.
struct MaintenanceObject {
    qint64 id = 0;
    QString scanner;
    QString fio;
    QString address;
    bool mains = false; // powered from the mains: it has no battery to change
};

// One stored reading, its battery and signal as stored (nothing for NULL).
struct MaintenanceReading {
    QDateTime at;
    std::optional<int> battery;
    std::optional<int> signal;
};

// What the service team is told, the most urgent first: the order of the list.
enum class MaintenanceVerdict { NoConnection, NoReadings, ReplaceBattery, WeakSignal, None };

struct MaintenanceRow {
    MaintenanceObject object;
    std::optional<int> daysSilent;      // calendar days from the last reading to today; nothing: never read
    std::optional<int> battery;         // the last battery level; nothing for a mains-powered object
    std::optional<double> batteryTrend; // % per day, least squares since the last battery change
    std::optional<QDate> batterySpent;  // the day the trend reaches the spent level
    std::optional<int> signal;          // the last signal level
    std::optional<double> usualSignal;  // the median signal over the trend days
    MaintenanceVerdict verdict = MaintenanceVerdict::None;
    QString verdictText; // "Нет связи 4 дня", "Заменить батарею до 21.12.2026", "Слабый сигнал" or empty
};

// One object's row from its readings, oldest first.
MaintenanceRow maintenanceRow(const MaintenanceObject& object, const QList<MaintenanceReading>& readings, QDate today,
                              const MaintenanceThresholds& thresholds);

// Rows with a verdict first, the most urgent at the top: the longest silence, then the objects never heard
// from, then the batteries by the day they run out, then the weakest signals; the rest in the object order.
void sortMaintenanceRows(QList<MaintenanceRow>& rows);

// The whole list from the database in one ordered pass over the readings of each object's trend days, sorted.
QList<MaintenanceRow> scannerMaintenance(Database& database, QDate today, const MaintenanceThresholds& thresholds);

// "4 дня", "1 день", "11 дней".
QString daysText(int days);

// The titles of the list's columns and one row's cells, in the same order, as the window and the saved forms
// show them.
const QStringList& maintenanceTitles();
QStringList maintenanceCells(const MaintenanceRow& row);

// The three saved forms: a line, a "row" element and a sheet row per object.
QStringList maintenanceLines(const QList<MaintenanceRow>& rows);
QList<XmlElement> maintenanceElements(const QList<MaintenanceRow>& rows);
SpreadsheetReport maintenanceSheet(const QList<MaintenanceRow>& rows);

} // namespace vornic
