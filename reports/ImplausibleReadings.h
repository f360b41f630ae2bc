#pragma once

#include "base/Settings.h"
#include <QDateTime>
#include <QList>
#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace vornic {

class Database;
class IniFile;

// Readings that their own object's history makes implausible: a confident misreading that the server did not
// doubt (a dial read as 17903 between 12899 and 12910), a meter that seems to run backwards, a text that is no
// number. Readings the operator has set or confirmed are history, never listed.

// How many times the usual daily rise a rise may be before it is doubted (base/Settings.h).
double implausibleFactor(const IniFile& settings);
inline double defaultImplausibleFactor() {
    return settings::implausibleFactor().defaultValue;
}

// One stored reading as the history pass reads it.
struct HistoryReading {
    int object = 0;
    QDateTime at;
    QString id;   // ID_IMAG, the picture number
    QString text; // READINGS as stored
    int error = 0;
};

// A listed reading with what makes it implausible, in the operator's words.
struct ImplausibleReading {
    int object = 0;
    QString id;
    QDateTime at;
    QString value;                  // as stored
    std::optional<double> previous; // the object's numeric reading before it, when there is one
    QString reason;
    QString fio; // the object's name and scanner, filled in by the database pass
    QString scanner;
};

// Judges one object's readings, oldest first. A new object starts with a fresh judge.
class ImplausibleReadingJudge final {
public:
    explicit ImplausibleReadingJudge(double factor = defaultImplausibleFactor()) : factor_(factor) {}

    // The reading's verdict; what is not listed becomes the history later readings are judged by.
    std::optional<ImplausibleReading> judge(const HistoryReading& reading);

private:
    struct Numeric {
        double value;
        qint64 day; // Julian day
    };
    struct DailyRise {
        qint64 day; // of the later reading of the pair
        double perDay;
    };

    std::optional<QString> objection(double value, qint64 day, const Numeric& previous);
    std::optional<double> usualDailyRise(qint64 day);
    void accept(double value, qint64 day);

    double factor_;
    std::optional<Numeric> previous_; // the last numeric reading, listed or not
    bool previousListed_ = false;
    std::optional<Numeric> accepted_; // the last numeric reading that was not listed
    std::deque<DailyRise> rises_;     // between accepted readings, within the look-back window
    std::vector<double> sortedRises_; // the same rises, by size, for their median
};

// Judges readings given ordered by object, then by time.
class ImplausibleReadingsPass final {
public:
    explicit ImplausibleReadingsPass(double factor = defaultImplausibleFactor()) : factor_(factor) {}
    std::optional<ImplausibleReading> judge(const HistoryReading& reading);

private:
    double factor_;
    std::optional<int> object_;
    ImplausibleReadingJudge judge_;
};

// The implausible readings of every object, or of one, newest first, with the objects' names and scanners;
// readings of an object the directory no longer holds are left out. One ordered pass over the readings.
QList<ImplausibleReading> findImplausibleReadings(Database& database, double factor,
                                                  std::optional<int> object = std::nullopt);

} // namespace vornic
