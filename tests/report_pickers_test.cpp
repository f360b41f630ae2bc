#include "base/DateText.h"
#include "base/Failure.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "support/TestServices.h"
#include "ui/reports/PeriodPickers.h"
#include "ui/reports/ReportSaving.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

struct PickerCase {
    const char* name;
    std::function<std::unique_ptr<PeriodPicker>()> make;
    QTime time;
};

const PickerCase kPickers[] = {
    {"start", [] { return std::make_unique<PeriodStartPicker>(); }, QTime(0, 0, 0)},
    {"end", [] { return std::make_unique<PeriodEndPicker>(); }, QTime(23, 59, 59)},
};

TEST(ReportPeriodPickers, KeepTheirTimeOfDayWhateverSetsTheDay) {
    for (const PickerCase& c : kPickers) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<PeriodPicker> picker = c.make();
        EXPECT_EQ(picker->time(), c.time);

        picker->setDay(QDate(2014, 11, 11));
        EXPECT_EQ(picker->dateTime(), QDateTime(QDate(2014, 11, 11), c.time));

        // A form or a window setting a full value changes the day only.
        picker->setDateTime(QDateTime(QDate(2013, 1, 1), QTime(12, 34, 56)));
        EXPECT_EQ(picker->dateTime(), QDateTime(QDate(2013, 1, 1), c.time));

        // The operator steps the day and types a year; no time section can be reached.
        picker->show();
        picker->setFocus();
        picker->setSelectedSection(QDateTimeEdit::DaySection);
        QTest::keyClick(picker.get(), Qt::Key_Up);
        picker->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(picker.get(), u"2015"_s);
        EXPECT_EQ(picker->dateTime(), QDateTime(QDate(2015, 1, 2), c.time));
        EXPECT_EQ(picker->sectionCount(), 3);
    }
}

TEST(ReportPeriodPickers, DateTextIsTheDayAloneForAStartAndTheDayWithItsTimeForAnEnd) {
    PeriodStartPicker start;
    PeriodEndPicker end;
    start.setDay(QDate(2014, 1, 1));
    end.setDay(QDate(2014, 11, 11));
    EXPECT_EQ(start.dateText(), u"01.01.2014"_s);
    EXPECT_EQ(end.dateText(), u"11.11.2014 23:59:59"_s);
}

TEST(ReportPeriodPickers, StartRefusesTheZeroDayAndStaysAsItWas) {
    PeriodStartPicker start;
    start.setDay(QDate(2014, 1, 1));
    for (const QDate refused : {zeroDay(), QDate()}) {
        SCOPED_TRACE(refused.toString().toStdString());
        EXPECT_THROW(start.setDay(refused), Failure);
        EXPECT_EQ(start.dateTime(), QDateTime(QDate(2014, 1, 1), QTime(0, 0)));
    }
    // Nor can the operator type it.
    EXPECT_GT(start.minimumDate(), zeroDay());
}

class StoredStartDate : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    IniFile settings() const { return IniFile(dir_.filePath(u"options.ini"_s)); }

    QTemporaryDir dir_;
    TestClock clock_; // 11.11.2014
};

TEST_F(StoredStartDate, IsLoadedOrFallsBackToTheFirstDayOfTheCurrentMonth) {
    const struct {
        const char* name;
        std::optional<QString> stored;
        QDate shown;
    } cases[] = {
        {"first opening", std::nullopt, QDate(2014, 11, 1)},
        {"stored", u"15.03.2013"_s, QDate(2013, 3, 15)},
        {"zero day", u"30.12.1899"_s, QDate(2014, 11, 1)},
        {"unreadable", u"вчера"_s, QDate(2014, 11, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(settings().path());
        if (c.stored)
            settings().writeString(u"expense_reports"_s, u"DateTimePicker1"_s, *c.stored);
        PeriodStartPicker start;

        EXPECT_NO_THROW(start.loadDay(settings(), {u"expense_reports"_s, u"DateTimePicker1"_s}, clock_));

        EXPECT_EQ(start.dateTime(), QDateTime(c.shown, QTime(0, 0)));
    }
}

TEST_F(StoredStartDate, SavedDayIsLoadedAtTheNextOpening) {
    PeriodStartPicker closing;
    closing.setDay(QDate(2012, 2, 29));
    closing.saveDay(settings(), {u"TForm10"_s, u"DateTimePicker1"_s});
    PeriodStartPicker opening;
    opening.loadDay(settings(), {u"TForm10"_s, u"DateTimePicker1"_s}, clock_);
    EXPECT_EQ(opening.day(), QDate(2012, 2, 29));
}

TEST(ReportFormatChoice, NamesTheFormOfTheChosenItemAndNothingForOtherText) {
    QComboBox choice;
    setUpFormatChoice(choice);
    EXPECT_EQ(chosenFormat(choice), ReportFormat::Text); // the first item when the window is made

    const struct {
        const char* name;
        std::function<void()> choose;
        std::optional<ReportFormat> format;
    } cases[] = {
        {"XML chosen", [&] { choice.setCurrentIndex(1); }, ReportFormat::Xml},
        {"XLS chosen", [&] { choice.setCurrentIndex(2); }, ReportFormat::Spreadsheet},
        {"TXT typed", [&] { choice.setEditText(u"TXT"_s); }, ReportFormat::Text},
        {"part of an item typed", [&] { choice.setEditText(u"XM"_s); }, std::nullopt},
        {"other case typed", [&] { choice.setEditText(u"xls"_s); }, std::nullopt},
        {"nothing", [&] { choice.setEditText(QString()); }, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.choose();
        EXPECT_EQ(chosenFormat(choice), c.format);
    }

    // What the operator types and confirms is not added to the items.
    choice.show();
    choice.lineEdit()->selectAll();
    QTest::keyClicks(choice.lineEdit(), u"PDF"_s);
    QTest::keyClick(choice.lineEdit(), Qt::Key_Return);
    EXPECT_EQ(choice.count(), 3);
    EXPECT_EQ(chosenFormat(choice), std::nullopt);
}

} // namespace
} // namespace vornic
