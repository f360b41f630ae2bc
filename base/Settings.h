#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <climits>

namespace vornic {

class IniFile;

// Every section and key of "options.ini" that the client reads, with its default and its bounds: the one place
// that spells them. Windows, workers and reports read and write the settings file only through these and the
// accessors below; README.md lists the same table, and a test compares the two.

// A text. A missing key gives the default.
struct TextSetting {
    QString section;
    QString key;
    QString defaultValue;
};

// A whole number. A missing key, a text that is no whole number and a number below `minimum` give the default; a
// number above `maximum` gives the maximum.
struct IntegerSetting {
    QString section;
    QString key;
    int defaultValue = 0;
    int minimum = INT_MIN;
    int maximum = INT_MAX;
};

// A decimal number, with a comma or a point. A missing key, a text that is no number and a number not above
// `above` give the default.
struct DecimalSetting {
    QString section;
    QString key;
    double defaultValue = 0;
    double above = 0;
};

// A day, kept as the settings file writes dates. A missing key or a text that is no date gives no date, and the
// window that reads it offers a day of its own.
struct DateSetting {
    QString section;
    QString key;
};

QString readSetting(const IniFile& settings, const TextSetting& setting);
int readSetting(const IniFile& settings, const IntegerSetting& setting);
double readSetting(const IniFile& settings, const DecimalSetting& setting);
QDate readSetting(const IniFile& settings, const DateSetting& setting);

// Throw Failure when the file cannot be written.
void writeSetting(IniFile& settings, const IntegerSetting& setting, int value);
void writeSetting(IniFile& settings, const DateSetting& setting, QDate value);

namespace settings {

// [BD]: another database than the data folder's own, a path or "host:path" for a server; "0" for none.
TextSetting databasePath();
// [Edit_link]: the readings server's base address (and the update server's); "0" for none.
TextSetting serverAddress();
// [Download]: the time-outs of each request, in seconds, and how many requests go at once.
IntegerSetting connectTimeout();
IntegerSetting stallTimeout();
IntegerSetting requestTimeout();
IntegerSetting parallelRequests();
// [Implausible]: a rise above this many times the object's usual daily rise is doubted.
DecimalSetting implausibleFactor();
// [Maintenance]: the limits the maintenance list draws its verdicts with.
IntegerSetting silentDays();
IntegerSetting batteryLevel();
IntegerSetting batteryWarningDays();
IntegerSetting batteryChangeRise();
IntegerSetting weakSignal();
IntegerSetting trendDays();

// The loading window's depth in days, as the operator last gave it.
IntegerSetting downloadDepth();
// The start of the period a report window offers, as the operator last picked it: the consumption report's, the
// subscriber report's and the unpolled objects'.
DateSetting consumptionReportStart();
DateSetting subscriberReportStart();
DateSetting unpolledObjectsStart();

// The windows that keep a layout, each in the section of its class name.
QString mainWindowSection();        // "TForm1"
QString directoryWindowSection();   // "TForm4"
QString reviewWindowSection();      // "TForm11"
QString implausibleWindowSection(); // "TForm14"

// A window's layout, in the window's own section ("TForm1", "TForm4", …). A width or size of 0 (as a missing key
// reads) keeps the design's.
IntegerSetting windowWidth(const QString& window);
IntegerSetting windowHeight(const QString& window);
// 0 normal, 1 minimised, 2 maximised.
IntegerSetting windowState(const QString& window);
// The width of a list's column: the list's component name and the column's field ("DBGrid1_FIO").
IntegerSetting columnWidth(const QString& window, const QString& grid, const QString& field);
// The width of a panel or a list as a whole ("Panel2", "DBGrid2" of the main window).
IntegerSetting panelWidth(const QString& window, const QString& panel);

// One row of the table as README.md shows it: the section, the key ("<field>" standing for a column's field), the
// default as the file would hold it ("" for none) and the bounds in words ("" for none).
struct SettingRow {
    QString section;
    QString key;
    QString defaultText;
    QString bounds;
    bool operator==(const SettingRow&) const = default;
};
QList<SettingRow> allSettings();

} // namespace settings
} // namespace vornic
