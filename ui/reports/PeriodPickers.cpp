#include "ui/reports/PeriodPickers.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/IniFile.h"
#include "base/Services.h"
#include "base/Settings.h"

using namespace Qt::StringLiterals;

namespace vornic {

PeriodPicker::PeriodPicker(QTime timeOfDay, QWidget* parent) : QDateTimeEdit(parent), timeOfDay_(timeOfDay) {
    // Only the day's sections are shown, so the day is all the operator can edit.
    setDisplayFormat(u"dd.MM.yyyy"_s);
    setCalendarPopup(true);
    setTime(timeOfDay_);
    // Whatever sets the value (the operator, a form, a window calling setDateTime), the time of day stays.
    connect(this, &QDateTimeEdit::dateTimeChanged, this, &PeriodPicker::keepTimeOfDay);
}

void PeriodPicker::setDay(QDate day) {
    if (!day.isValid())
        throw Failure(u"Дата периода не задана."_s);
    if (day < minimumDate() || day > maximumDate())
        throw Failure(u"Дата «%1» не может быть выбрана."_s.arg(day.toString(u"dd.MM.yyyy"_s)));
    setDate(day);
}

QString PeriodPicker::dateText() const {
    return dateTimeText(dateTime());
}

void PeriodPicker::keepTimeOfDay() {
    if (time() != timeOfDay_)
        setTime(timeOfDay_);
}

PeriodStartPicker::PeriodStartPicker(QWidget* parent) : PeriodPicker(QTime(0, 0, 0), parent) {
    // The zero day cannot be typed either.
    setMinimumDate(zeroDay().addDays(1));
}

void PeriodStartPicker::setDay(QDate day) {
    if (day == zeroDay())
        throw Failure(u"Начальная дата 30.12.1899 не может быть выбрана."_s);
    PeriodPicker::setDay(day);
}

void PeriodStartPicker::loadDay(const IniFile& settings, const DateSetting& setting, const Clock& clock) {
    const QDate stored = readSetting(settings, setting);
    if (stored.isValid() && stored > zeroDay() && stored >= minimumDate() && stored <= maximumDate()) {
        setDay(stored);
        return;
    }
    const QDate today = clock.today();
    setDay(QDate(today.year(), today.month(), 1));
}

void PeriodStartPicker::saveDay(IniFile settings, const DateSetting& setting) const {
    writeSetting(settings, setting, day());
}

PeriodEndPicker::PeriodEndPicker(QWidget* parent) : PeriodPicker(QTime(23, 59, 59), parent) {}

} // namespace vornic
