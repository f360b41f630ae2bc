#pragma once

#include <QDateTimeEdit>
#include <QTime>

namespace vornic {

class Clock;
class IniFile;
struct DateSetting;

// A picker of one end of a report period. The operator picks a day; the time of day is the picker's own and
// stays whatever sets the day, so that the period's statements and files always see whole days. Designer forms
// use the two concrete pickers below as promoted QDateTimeEdit widgets.
class PeriodPicker : public QDateTimeEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeriodPicker)

public:
    QDate day() const { return date(); }
    // Replaces the day and keeps the time of day. Throws Failure for a day the picker refuses; it then stays as
    // it was.
    virtual void setDay(QDate day);
    // The picker's value as the reports write it: "01.01.2014" for a start, "11.11.2014 23:59:59" for an end.
    QString dateText() const;

protected:
    PeriodPicker(QTime timeOfDay, QWidget* parent);

private:
    void keepTimeOfDay();

    QTime timeOfDay_;
};

// The start of a period, at 00:00:00. It refuses the zero day 30.12.1899, which is what a missing stored date
// reads as.
class PeriodStartPicker final : public PeriodPicker {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeriodStartPicker)

public:
    explicit PeriodStartPicker(QWidget* parent = nullptr);

    void setDay(QDate day) override;

    // The start date stored in the settings section, or, when there is none yet (a first opening), the first day
    // of the current month, so that a first opening offers a useful period instead of an error.
    void loadDay(const IniFile& settings, const DateSetting& setting, const Clock& clock);
    void saveDay(IniFile settings, const DateSetting& setting) const;
};

// The end of a period, at 23:59:59.
class PeriodEndPicker final : public PeriodPicker {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeriodEndPicker)

public:
    explicit PeriodEndPicker(QWidget* parent = nullptr);
};

} // namespace vornic
