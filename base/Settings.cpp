#include "base/Settings.h"

#include "base/IniFile.h"
#include "base/ReadingText.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vornic {

QString readSetting(const IniFile& settings, const TextSetting& setting) {
    return settings.readString(setting.section, setting.key, setting.defaultValue);
}

int readSetting(const IniFile& settings, const IntegerSetting& setting) {
    const int value = settings.readInteger(setting.section, setting.key, setting.defaultValue);
    if (value < setting.minimum)
        return setting.defaultValue;
    return std::min(value, setting.maximum);
}

double readSetting(const IniFile& settings, const DecimalSetting& setting) {
    const std::optional<double> value = numericReading(settings.readString(setting.section, setting.key, QString()));
    return value && *value > setting.above ? *value : setting.defaultValue;
}

QDate readSetting(const IniFile& settings, const DateSetting& setting) {
    return settings.readDate(setting.section, setting.key, QDate());
}

void writeSetting(IniFile& settings, const IntegerSetting& setting, int value) {
    settings.writeInteger(setting.section, setting.key, value);
}

void writeSetting(IniFile& settings, const DateSetting& setting, QDate value) {
    settings.writeDate(setting.section, setting.key, value);
}

namespace settings {

TextSetting databasePath() {
    return {u"BD"_s, u"BD_path"_s, u"0"_s};
}

TextSetting serverAddress() {
    return {u"Edit_link"_s, u"link"_s, u"0"_s};
}

IntegerSetting connectTimeout() {
    return {u"Download"_s, u"connect_timeout"_s, 15, 1};
}

IntegerSetting stallTimeout() {
    return {u"Download"_s, u"stall_timeout"_s, 30, 1};
}

IntegerSetting requestTimeout() {
    // Long enough for the largest answer at a slow line's pace; a transfer that keeps trickling in ends anyway.
    return {u"Download"_s, u"request_timeout"_s, 300, 1};
}

IntegerSetting parallelRequests() {
    return {u"Download"_s, u"parallel"_s, 8, 1, 16};
}

DecimalSetting implausibleFactor() {
    // A factor of 1 or less would doubt an ordinary day; such a value is a slip of the pen.
    return {u"Implausible"_s, u"factor"_s, 5, 1};
}

IntegerSetting silentDays() {
    return {u"Maintenance"_s, u"silent_days"_s, 3};
}

IntegerSetting batteryLevel() {
    return {u"Maintenance"_s, u"battery_level"_s, 10};
}

IntegerSetting batteryWarningDays() {
    return {u"Maintenance"_s, u"battery_warning_days"_s, 30};
}

IntegerSetting batteryChangeRise() {
    return {u"Maintenance"_s, u"battery_change_rise"_s, 20};
}

IntegerSetting weakSignal() {
    return {u"Maintenance"_s, u"weak_signal"_s, 10};
}

IntegerSetting trendDays() {
    return {u"Maintenance"_s, u"trend_days"_s, 30};
}

IntegerSetting downloadDepth() {
    return {u"TForm2"_s, u"Edit1"_s, 0};
}

DateSetting consumptionReportStart() {
    return {u"expense_reports"_s, u"DateTimePicker1"_s};
}

DateSetting subscriberReportStart() {
    return {u"Edits_generate_reports"_s, u"DateTimePicker1"_s};
}

DateSetting unpolledObjectsStart() {
    return {u"TForm10"_s, u"DateTimePicker1"_s};
}

QString mainWindowSection() {
    return u"TForm1"_s;
}

QString directoryWindowSection() {
    return u"TForm4"_s;
}

QString reviewWindowSection() {
    return u"TForm11"_s;
}

QString implausibleWindowSection() {
    return u"TForm14"_s;
}

IntegerSetting windowWidth(const QString& window) {
    return {window, u"FWidth"_s, 0, 0};
}

IntegerSetting windowHeight(const QString& window) {
    return {window, u"FHeight"_s, 0, 0};
}

IntegerSetting windowState(const QString& window) {
    return {window, u"FWState"_s, 0};
}

IntegerSetting columnWidth(const QString& window, const QString& grid, const QString& field) {
    return {window, grid + u'_' + field, 0, 0};
}

IntegerSetting panelWidth(const QString& window, const QString& panel) {
    return {window, panel, 0, 0};
}

namespace {

QString boundsText(const IntegerSetting& setting) {
    const bool low = setting.minimum != INT_MIN;
    const bool high = setting.maximum != INT_MAX;
    if (low && high)
        return u"%1 to %2"_s.arg(setting.minimum).arg(setting.maximum);
    if (low)
        return u"at least %1"_s.arg(setting.minimum);
    return high ? u"at most %1"_s.arg(setting.maximum) : QString();
}

SettingRow row(const TextSetting& setting) {
    return {setting.section, setting.key, setting.defaultValue, QString()};
}

SettingRow row(const IntegerSetting& setting) {
    return {setting.section, setting.key, QString::number(setting.defaultValue), boundsText(setting)};
}

SettingRow row(const DecimalSetting& setting) {
    return {setting.section, setting.key, QString::number(setting.defaultValue), u"above %1"_s.arg(setting.above)};
}

SettingRow row(const DateSetting& setting) {
    return {setting.section, setting.key, QString(), QString()};
}

} // namespace

QList<SettingRow> allSettings() {
    const QString field = u"<field>"_s;
    QList<SettingRow> rows = {
        row(databasePath()),
        row(serverAddress()),
        row(connectTimeout()),
        row(stallTimeout()),
        row(requestTimeout()),
        row(parallelRequests()),
        row(implausibleFactor()),
        row(silentDays()),
        row(batteryLevel()),
        row(batteryWarningDays()),
        row(batteryChangeRise()),
        row(weakSignal()),
        row(trendDays()),
        row(downloadDepth()),
        row(consumptionReportStart()),
        row(subscriberReportStart()),
        row(unpolledObjectsStart()),
        row(panelWidth(mainWindowSection(), u"Panel2"_s)),
        row(columnWidth(mainWindowSection(), u"DBGrid1"_s, field)),
        row(panelWidth(mainWindowSection(), u"DBGrid2"_s)),
        row(columnWidth(mainWindowSection(), u"DBGrid2"_s, field)),
    };
    for (const QString& window : {directoryWindowSection(), reviewWindowSection(), implausibleWindowSection()})
        rows += {row(windowWidth(window)), row(windowHeight(window)), row(windowState(window)),
                 row(columnWidth(window, u"DBGrid1"_s, field))};
    return rows;
}

} // namespace settings
} // namespace vornic
