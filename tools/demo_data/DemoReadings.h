#pragma once

#include <QDate>
#include <QHash>
#include <QStringList>

#include <functional>

namespace vornic {

class Database;

// Made-up readings of real size for the objects of a database that have none yet, written day by day as downloads
// store them: each object's meter rises steadily by its own daily amount, a share of the recognitions is doubtful
// (ERROR=1), some objects miss days, and a few carry what the implausible readings and the scanner maintenance
// lists must find. The same seed, plan and objects give the same readings.
struct DemoReadingsPlan {
    int days = 30;
    int perDay = 1;
    QDate newest = QDate::currentDate();
    bool pictures = false; // dial pictures of 20 to 40 KB showing the meter
    quint64 seed = 1;
    int doubtfulPercent = 5;
    int rowsPerCommit = 5000;
    // Called after each commit with the readings written so far and the most there will be.
    std::function<void(qint64 written, qint64 most)> progress;
};

// What an object's scanner shows the maintenance list; mains-powered objects have no battery case.
enum class DemoMaintenanceCase { None, BatteryRunningDown, BatteryChanged, Silent, WeakSignal, Mains };

struct DemoReadingsResult {
    qint64 objects = 0; // given readings
    qint64 readings = 0;
    qint64 missedObjectDays = 0; // days on which an object gave no reading: its gaps and its silence
    qint64 pictureBytes = 0;
    // The planted misreadings, decreases and texts that are no number (by ID_IMAG), and the objects with a
    // maintenance case (by ID_OBJECT). Cases are planted only in two weeks or more.
    QStringList implausible;
    QHash<qint64, DemoMaintenanceCase> maintenance;
};

// The days of silence of a silent scanner and the days since a changed battery was put in.
constexpr int kDemoSilentDays = 4;
constexpr int kDemoBatteryChangedDaysAgo = 4;

DemoReadingsResult addDemoReadings(Database& database, const DemoReadingsPlan& plan);

} // namespace vornic
