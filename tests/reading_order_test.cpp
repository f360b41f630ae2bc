#include "reports/ConsumptionSeries.h"
#include "reports/PeriodReport.h"
#include "reports/ScannerMaintenance.h"
#include "support/MainWindowFixture.h"
#include "ui/reports/Expense_reports.h"
#include "ui/reports/Generate_reports.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// One object read three times in the same second at either end of November 2014. Each group is stored out of the
// order of its picture numbers, so that the order the engine happens to keep them in is not the one that counts:
// at the start the oldest is s1 (1475), at the end the newest is e3 (1500).
class ReadingsOfOneSecondTest : public test::MainWindowTest {
protected:
    int object = 0;

    void SetUp() override {
        object = fixture.addObject(u"Иванов И.И."_s, u"860001"_s);
        const QDateTime start(QDate(2014, 11, 1), QTime(8, 0));
        const QDateTime end(QDate(2014, 11, 11), QTime(12, 0));
        const struct {
            const char* id;
            QDateTime at;
            const char* value;
            int battery;
        } readings[] = {
            {"e2", end, "1510", 62},   {"s3", start, "1480", 80}, {"e3", end, "1500", 63},
            {"s1", start, "1475", 80}, {"e1", end, "1490", 61},   {"s2", start, "1470", 80},
        };
        for (const auto& r : readings)
            fixture.addReading(
                {object, QString::fromLatin1(r.id), r.at, {}, QString::fromLatin1(r.value), r.battery, 20, 2, 0});
        ASSERT_NO_FATAL_FAILURE(openWindow());
    }

    template <typename Window> std::unique_ptr<Window> opened(std::unique_ptr<Window> report) {
        report->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return report->isActiveWindow(); }));
        return report;
    }

    static QStringList column(DataSet& dataSet, const QString& field) {
        dataSet.fetchAll();
        QStringList values;
        for (int row = 0; row < dataSet.rowCount(); ++row)
            values.append(dataSet.value(row, dataSet.fieldIndex(field)).toString());
        return values;
    }
};

const QStringList kNewestFirst = {u"e3"_s, u"e2"_s, u"e1"_s, u"s3"_s, u"s2"_s, u"s1"_s};

TEST_F(ReadingsOfOneSecondTest, TheSubscriberAndTheConsumptionReportTakeTheSameNewestAndOldestReading) {
    auto subscriber = opened(std::make_unique<TForm3>(context(), objects()));
    subscriber->Button1Click();
    EXPECT_EQ(column(subscriber->IBDataSet1(), u"ID_IMAG"_s), kNewestFirst);
    EXPECT_EQ(subscriber->form().Edit1->text(), u"25"_s);
    subscriber.reset();

    auto consumption = opened(std::make_unique<TForm13>(context()));
    consumption->Button1Click();
    const QStringList row = {u"860001"_s, u"Иванов И.И."_s, u"25,0"_s,
                             u"1475"_s,   u"1500"_s,        u"01.11.2014 - 11.11.2014"_s};
    EXPECT_EQ(consumption->resultRows(), QList<QStringList>{row});
    consumption.reset();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}

TEST_F(ReadingsOfOneSecondTest, EveryOtherListTakesTheGreaterPictureNumberAsTheNewer) {
    DataSet period(fixture.db());
    period.setSelectSql(periodReportSelect(PeriodScope::AllSubscribers, {2014, 11}));
    period.open();
    QStringList values;
    for (const PeriodReportRow& row : periodReportRows(period))
        values.append(row.readings);
    EXPECT_EQ(values, (QStringList{u"1500"_s, u"1510"_s, u"1490"_s, u"1480"_s, u"1470"_s, u"1475"_s}));
    period.close();

    // The chart reads the history oldest first: the same readings in the opposite order.
    QStringList history;
    for (const HistoryReading& reading : objectHistory(fixture.db(), object, QDate(2014, 11, 30)))
        history.prepend(reading.id);
    EXPECT_EQ(history, kNewestFirst);

    // The maintenance list's charge is that of the newest reading.
    const QList<MaintenanceRow> maintenance = scannerMaintenance(fixture.db(), QDate(2014, 11, 11), {});
    ASSERT_EQ(maintenance.size(), 1);
    EXPECT_EQ(maintenance[0].battery, 63);

    // The main window's readings list, newest first and after a title click oldest first.
    readings().open();
    EXPECT_EQ(column(readings(), u"ID_IMAG"_s), kNewestFirst);
    window->DBGrid2TitleClick(1);
    EXPECT_EQ(readings().selectSql(),
              u"SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY DAT, ID_IMAG"_s);
    QStringList oldestFirst = kNewestFirst;
    std::reverse(oldestFirst.begin(), oldestFirst.end());
    EXPECT_EQ(column(readings(), u"ID_IMAG"_s), oldestFirst);
    window->DBGrid2TitleClick(1);
    EXPECT_EQ(readings().selectSql(),
              u"SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY ID_OBJECT DESC, DAT DESC, ID_IMAG "
              u"DESC"_s);
    EXPECT_EQ(column(readings(), u"ID_IMAG"_s), kNewestFirst);
}

} // namespace
} // namespace vornic
