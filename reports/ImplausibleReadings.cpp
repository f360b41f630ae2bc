#include "reports/ImplausibleReadings.h"

#include "base/IniFile.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/Statement.h"
#include "reports/ConsumptionReport.h"

#include <QHash>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// The operator has set or confirmed the value: it is the object's history now, whatever it looks like.

// The usual rise is what the meter did in the two months before the reading: long enough to outlast a week away,
// short enough to follow the seasons.
constexpr qint64 kLookBackDays = 60;
// A median of one or two rises says nothing about a meter: a new object is not judged by its rises until it has
// a few.
constexpr size_t kFewestRises = 3;
// Dials count whole units on their main drums, and a quiet meter (a summer house in winter) has a usual rise of
// nothing: without a floor its every step would be doubted. With the floor such a meter may move a few units a
// day before it is.
constexpr double kUsualRiseFloor = 1;

// Differences of readings read with a decimal part carry binary noise (12.3 - 12.2); the reason shows what the
// dials say.
QString amountText(double amount, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return readingText(std::round(amount * scale) / scale);
}

QString daysText(qint64 days) {
    const qint64 lastTwo = days % 100;
    const qint64 last = days % 10;
    QString word = u"дней"_s;
    if (lastTwo < 11 || lastTwo > 14) {
        if (last == 1)
            word = u"день"_s;
        else if (last >= 2 && last <= 4)
            word = u"дня"_s;
    }
    return QString::number(days) + u' ' + word;
}

} // namespace

double implausibleFactor(const IniFile& settings) {
    return readSetting(settings, settings::implausibleFactor());
}

std::optional<double> ImplausibleReadingJudge::usualDailyRise(qint64 day) {
    while (!rises_.empty() && rises_.front().day < day - kLookBackDays) {
        sortedRises_.erase(std::lower_bound(sortedRises_.begin(), sortedRises_.end(), rises_.front().perDay));
        rises_.pop_front();
    }
    if (rises_.size() < kFewestRises)
        return std::nullopt;
    // Most readings of a busy meter ask for the median, so the window is kept sorted as it moves rather than
    // sorted again for each.
    const size_t middle = sortedRises_.size() / 2;
    double median = sortedRises_[middle];
    if (sortedRises_.size() % 2 == 0)
        median = (median + sortedRises_[middle - 1]) / 2;
    return std::max(median, kUsualRiseFloor);
}

std::optional<QString> ImplausibleReadingJudge::objection(double value, qint64 day, const Numeric& previous) {
    if (value < previous.value)
        return u"меньше предыдущего на "_s + amountText(previous.value - value, 6);
    // Consumption comes in bursts within a day, so readings hours apart are allowed a whole day's rise.
    const qint64 days = std::max<qint64>(1, day - previous.day);
    const double rise = value - previous.value;
    // Within what even the floor allows, the median need not be found: most readings end here.
    if (rise <= factor_ * kUsualRiseFloor * static_cast<double>(days))
        return std::nullopt;
    const std::optional<double> usual = usualDailyRise(day);
    if (!usual)
        return std::nullopt;
    if (rise <= factor_ * *usual * static_cast<double>(days))
        return std::nullopt;
    return u"рост "_s + amountText(rise, 6) + u" за "_s + daysText(days) + u" при обычном "_s + amountText(*usual, 1) +
           u" в день"_s;
}

void ImplausibleReadingJudge::accept(double value, qint64 day) {
    if (accepted_) {
        const double rise = value - accepted_->value;
        // A decrease the operator confirmed is a replaced meter, not a rate of consumption.
        if (rise >= 0) {
            const double perDay = rise / static_cast<double>(std::max<qint64>(1, day - accepted_->day));
            rises_.push_back({day, perDay});
            sortedRises_.insert(std::upper_bound(sortedRises_.begin(), sortedRises_.end(), perDay), perDay);
        }
    }
    accepted_ = Numeric{value, day};
}

std::optional<ImplausibleReading> ImplausibleReadingJudge::judge(const HistoryReading& reading) {
    const bool confirmed = reading.error == ReadingsTable::kSetByOperator;
    const std::optional<double> value = numericReading(reading.text);
    const auto listed = [&](const QString& reason) {
        return ImplausibleReading{reading.object,
                                  reading.id,
                                  reading.at,
                                  reading.text,
                                  previous_ ? std::optional<double>(previous_->value) : std::nullopt,
                                  reason,
                                  {},
                                  {}};
    };
    if (!value) {
        // No value at all is a recognition still to come, which a later download completes; only a text that
        // was read and is no number is a misreading.
        if (confirmed || reading.text.trimmed().isEmpty())
            return std::nullopt;
        return listed(u"не число"_s);
    }
    const qint64 day = reading.at.date().toJulianDay();
    std::optional<QString> reason;
    if (previous_) {
        reason = objection(*value, day, *previous_);
        // After a misreading the next good reading is lower than it, or far above a misreading that was too low:
        // it is judged by the readings before the misreading too, so that one slip is listed once, not twice.
        // A meter that really went backwards is listed once and judged by its new values from then on.
        if (reason && previousListed_ && accepted_ && !objection(*value, day, *accepted_))
            reason.reset();
    }
    std::optional<ImplausibleReading> verdict;
    if (reason && !confirmed)
        verdict = listed(*reason);
    else
        accept(*value, day);
    previous_ = Numeric{*value, day};
    previousListed_ = verdict.has_value();
    return verdict;
}

std::optional<ImplausibleReading> ImplausibleReadingsPass::judge(const HistoryReading& reading) {
    if (object_ != reading.object) {
        object_ = reading.object;
        judge_ = ImplausibleReadingJudge(factor_);
    }
    return judge_.judge(reading);
}

QList<ImplausibleReading> findImplausibleReadings(Database& database, double factor, std::optional<int> object) {
    // One statement for all objects, in the order of objects and times, judged as the rows come: the per-object
    // statements of the reports would take a round trip for each of thousands of objects, and holding every
    // reading to sort it here would take memory for all of them. The rows come up the index over object, time and
    // picture number, so the engine sorts nothing.
    const QString& readingsSql = object ? ReadingsTable::kOfObjectInTimeOrder : ReadingsTable::kAllInObjectOrder;
    const QString& objectsSql = object ? ObjectsTable::kNamesOfObjectSelect : ObjectsTable::kNamesSelect;
    // A download running meanwhile must not slip readings in between the two statements.
    auto unit = database.lock();

    struct Names {
        QString fio;
        QString scanner;
    };
    QHash<int, Names> names;
    {
        Statement objects(database, objectsSql);
        if (object)
            objects.bind(0, *object);
        objects.open();
        while (objects.fetch())
            names.insert(objects.value(0).toInt(), {objects.value(1).toString(), objects.value(2).toString()});
    }

    QList<ImplausibleReading> found;
    Statement readings(database, readingsSql);
    if (object)
        readings.bind(0, *object);
    readings.open();
    ImplausibleReadingsPass pass(factor);
    HistoryReading reading;
    while (readings.fetch()) {
        const QVariant at = readings.value(1);
        // A reading without a time has no place in a history.
        if (at.isNull())
            continue;
        reading.object = readings.value(0).toInt();
        // Judged by its wall-clock time alone; a reading listed gets its local date and time below.
        reading.at = QDateTime::fromSecsSinceEpoch(ReadingsTable::kSecondsAt2000 + at.toLongLong(), Qt::UTC);
        reading.text = readings.value(3).toString();
        reading.error = readings.value(4).toInt();
        // The picture number is the listed readings' alone: it is read for them only.
        std::optional<ImplausibleReading> verdict = pass.judge(reading);
        if (!verdict)
            continue;
        verdict->id = readings.value(2).toString();
        verdict->at = QDateTime(verdict->at.date(), verdict->at.time());
        // An object no longer in the directory is nobody's to check.
        const auto known = names.constFind(verdict->object);
        if (known == names.cend())
            continue;
        verdict->fio = known->fio;
        verdict->scanner = known->scanner;
        found.append(std::move(*verdict));
    }
    // Newest first. The pass met each object's readings oldest first, so an object's readings of one second are
    // taken from the end, newest first as everywhere else; objects with a reading at the same time keep their
    // order.
    std::reverse(found.begin(), found.end());
    std::stable_sort(found.begin(), found.end(), [](const ImplausibleReading& a, const ImplausibleReading& b) {
        if (a.at != b.at)
            return a.at > b.at;
        return a.object < b.object;
    });
    return found;
}

} // namespace vornic
