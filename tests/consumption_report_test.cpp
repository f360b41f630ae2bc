#include "base/IniFile.h"
#include "base/Windows1251.h"
#include "reports/ConsumptionReport.h"
#include "reports/Spreadsheet.h"
#include "support/MainWindowFixture.h"
#include "support/RecordingSpreadsheet.h"
#include "ui/reports/Expense_reports.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

TEST(ConsumptionReading, IsReadWithEitherDecimalSignAndNothingElse) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"12.5", 12.5},
        {"12,5", 12.5},
        {" 1500\t", 1500},
        {"-3", -3},
        {"16777217", 16777217},
        {"123.45", 123.45},
        {",5", 0.5},
        {"1e3", 1000},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"ошибка", std::nullopt},
        {"12,5,3", std::nullopt},
        {"1 500", std::nullopt},
        {"inf", std::nullopt},
        {"0x10", std::nullopt},
        {"-", std::nullopt},
        {"1e", std::nullopt},
        {"1e999", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(numericReading(QString::fromUtf8(c.text)), c.value);
    }
}

TEST(ConsumptionReading, ReadingsPrintAsReadAndConsumptionWithOneDecimalRoundedHalfAwayFromZero) {
    const struct {
        double reading;
        const char* text;
    } readings[] = {
        {1475, "1475"}, {12.5, "12,5"}, {123.45, "123,45"}, {16777217, "16777217"}, {99999999.99, "99999999,99"},
        {0, "0"},       {-0.0, "0"},
    };
    for (const auto& c : readings) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readingText(c.reading), QString::fromUtf8(c.text));
    }

    const struct {
        double consumption;
        const char* text;
    } consumptions[] = {
        {25, "25,0"},
        {-3, "-3,0"},
        {-3.25, "-3,3"},
        {0, "0,0"},
        {-0.04, "0,0"},
        {0.05, "0,1"},
        // 12.349999999999994 in binary: the readings say 12.35, which rounds up.
        {112.35 - 100, "12,4"},
        {16777217 - 123.45, "16777093,6"},
    };
    for (const auto& c : consumptions) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(consumptionText(c.consumption), QString::fromUtf8(c.text));
    }
}

// The test clock says 11.11.2014, so a first opening offers the period 01.11.2014 to 11.11.2014 23:59:59.
class ConsumptionReportTest : public test::MainWindowTest {
protected:
    RecordingSpreadsheetServer spreadsheet;
    ScopedSpreadsheetServer spreadsheetInForce{spreadsheet};
    std::unique_ptr<TForm13> report;
    int readingsAdded = 0;

    void SetUp() override { ASSERT_NO_FATAL_FAILURE(openWindow()); }
    void TearDown() override { report.reset(); }

    // Made once, as start-up makes it; each call opens it as the main window's menu does.
    void openReport() {
        if (!report)
            report = std::make_unique<TForm13>(context());
        report->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return report->isActiveWindow(); }));
    }

    void addReading(int object, const QDateTime& at, const QVariant& value) {
        test::TestDatabase::Reading reading;
        reading.object = object;
        reading.id = QString::number(++readingsAdded);
        reading.at = at;
        reading.readings = value;
        fixture.addReading(reading);
    }

    // Readings newest first: 1500, a text that is no number, 1490, 1475, on the first and last second of the
    // period, and one reading on either side of it that must not count.
    int addSmallFixture() {
        const int object = fixture.addObject(u"Иванов И.И. "_s, u"860001"_s);
        addReading(object, QDateTime(QDate(2014, 11, 12), QTime(0, 0)), u"1"_s);
        addReading(object, QDateTime(QDate(2014, 11, 11), QTime(23, 59, 59)), u"1500"_s);
        addReading(object, QDateTime(QDate(2014, 11, 10), QTime(12, 0)), u"ошибка"_s);
        addReading(object, QDateTime(QDate(2014, 11, 5), QTime(9, 5)), u"1490"_s);
        addReading(object, QDateTime(QDate(2014, 11, 1), QTime(0, 0)), u"1475"_s);
        addReading(object, QDateTime(QDate(2014, 10, 31), QTime(23, 59, 59)), u"9999"_s);
        return object;
    }

    QString reportPath(const QString& name) const { return fixture.folder() + name; }

    void saveAs(const QString& format, const QString& file = {}) {
        report->form().ComboBox1->setCurrentText(format);
        if (!file.isEmpty())
            services.files.names = {reportPath(file)};
        report->Button2Click();
    }

    QByteArray fileBytes(const QString& name) const {
        QFile file(reportPath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    static QByteArray cp1251(const QString& text) { return windows1251::encode(text).value_or(QByteArray()); }

    // The calls a consumption workbook makes up to its rows, and after them.
    QStringList sheetHead() const {
        QStringList calls = {u"attach"_s, u"start"_s, u"WorkBooks.add"_s, u"WorkSheets(1)"_s};
        for (int c = 1; c <= 6; ++c)
            calls.append(u"Cells(1,%1).ColumnWidth=%2"_s.arg(c).arg(c == 6 ? 40 : 25));
        calls += {u"Cells(1,1).Value=Отчет потребления "_s, u"Cells(1,2).Value=С: 01.11.2014"_s,
                  u"Cells(1,3).Value=По: 11.11.2014 23:59:59"_s};
        const QStringList titles = consumptionTitles();
        for (int c = 0; c < 6; ++c)
            calls.append(u"Cells(2,%1).Value=%2"_s.arg(c + 1).arg(titles.at(c)));
        return calls;
    }
    static QStringList sheetTail() { return {u"Visible=true"_s, u"WorkBooks(1).SaveAs(MyTest)"_s}; }
};

TEST_F(ConsumptionReportTest, FirstOpeningOffersThisMonthAndClosingKeepsTheStartForTheNextOpening) {
    ASSERT_NO_FATAL_FAILURE(openReport());
    EXPECT_EQ(report->form().DateTimePicker1->dateTime(), QDateTime(QDate(2014, 11, 1), QTime(0, 0)));
    EXPECT_EQ(report->form().DateTimePicker2->dateTime(), QDateTime(QDate(2014, 11, 11), QTime(23, 59, 59)));
    EXPECT_TRUE(services.messages.shown.isEmpty());

    report->form().DateTimePicker1->setDay(QDate(2014, 3, 15));
    report->form().DateTimePicker2->setDay(QDate(2014, 3, 20));
    QTest::keyClick(report.get(), Qt::Key_Escape); // closes like the close box
    EXPECT_FALSE(report->isVisible());
    EXPECT_EQ(context().settings().readDate(u"expense_reports"_s, u"DateTimePicker1"_s, QDate()), QDate(2014, 3, 15));

    services.clock.current = QDateTime(QDate(2015, 2, 3), QTime(8, 0));
    ASSERT_NO_FATAL_FAILURE(openReport());
    EXPECT_EQ(report->form().DateTimePicker1->dateTime(), QDateTime(QDate(2014, 3, 15), QTime(0, 0)));
    EXPECT_EQ(report->form().DateTimePicker2->dateTime(), QDateTime(QDate(2015, 2, 3), QTime(23, 59, 59)));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ConsumptionReportTest, SmallFixtureInTheGridAndInAllThreeFormsWhole) {
    addSmallFixture();
    ASSERT_NO_FATAL_FAILURE(openReport());
    report->Button1Click();

    // The grid keeps the name as stored; the files trim it.
    const QStringList row = {u"860001"_s, u"Иванов И.И. "_s, u"25,0"_s,
                             u"1475"_s,   u"1500"_s,         u"01.11.2014 - 11.11.2014"_s};
    EXPECT_EQ(report->resultRows(), QList<QStringList>{row});
    EXPECT_EQ(report->form().SG->rowCount(), 2); // the object and the empty row below the title row

    saveAs(u"TXT"_s, u"report.txt"_s);
    saveAs(u"XML"_s, u"report.xml"_s);
    saveAs(u"XLS"_s);

    EXPECT_EQ(fileBytes(u"report.txt"_s),
              cp1251(u"Отчет расхода с: 01.11.2014 по: 11.11.2014 23:59:59\r\n"
                     "  ID Сканера 860001  Абонент Иванов И.И.  Потребление куб.м 25,0  Показание на начало периода "
                     "куб.м 1475  Показания на конец периода куб.м 1500  Период потребление 01.11.2014 - 11.11.2014"
                     "\r\n"_s));
    EXPECT_EQ(fileBytes(u"report.xml"_s).toStdString(),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1>"
              "<row date1=\"01.11.2014\" date2=\"11.11.2014 23:59:59\"/>"
              "<row id_object=\"860001\" abonent=\"Иванов И.И.\" consuming=\"25,0\" date1=\"1475\" date2=\"1500\" "
              "time_period=\"01.11.2014 - 11.11.2014\"/></UR_1>\n"_s.toStdString());
    const QStringList cells = {u"Cells(3,1).Value=860001"_s, u"Cells(3,2).Value=Иванов И.И."_s,
                               u"Cells(3,3).Value=25,0"_s,   u"Cells(3,4).Value=1475"_s,
                               u"Cells(3,5).Value=1500"_s,   u"Cells(3,6).Value=01.11.2014 - 11.11.2014"_s};
    EXPECT_EQ(spreadsheet.calls, sheetHead() + cells + sheetTail());
    EXPECT_EQ(services.files.calls, (QList<SaveDialogCall>{{u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s},
                                                           {u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s}}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ConsumptionReportTest, EachObjectsReadingsGiveItsRow) {
    const struct {
        const char* scanner;
        QStringList readings; // newest first, one a day from 10.11.2014 back
        QStringList row;      // consumption, start, end, period
    } cases[] = {
        {"1", {u"14.5"_s, u"12,5"_s}, {u"2,0"_s, u"12,5"_s, u"14,5"_s, u"09.11.2014 - 10.11.2014"_s}},
        {"2", {u"1500"_s}, {u"0,0"_s, u"1500"_s, u"1500"_s, u"10.11.2014 - 10.11.2014"_s}},
        {"3", {u"1487"_s, u"1490"_s}, {u"-3,0"_s, u"1490"_s, u"1487"_s, u"09.11.2014 - 10.11.2014"_s}},
        {"4",
         {u"16777217"_s, u"нет"_s, u"123.45"_s},
         {u"16777093,6"_s, u"123,45"_s, u"16777217"_s, u"08.11.2014 - 10.11.2014"_s}},
        {"5", {u"112.35"_s, u"100"_s}, {u"12,4"_s, u"100"_s, u"112,35"_s, u"09.11.2014 - 10.11.2014"_s}},
        {"6", {u"ошибка"_s, u""_s, u" "_s}, {u"0,0"_s, u"0"_s, u"0"_s, u" - "_s}},
    };
    QList<QStringList> expected;
    for (const auto& c : cases) {
        const QString scanner = QString::fromUtf8(c.scanner);
        const int object = fixture.addObject(u"Абонент "_s + scanner, scanner);
        for (int i = 0; i < c.readings.size(); ++i)
            addReading(object, QDateTime(QDate(2014, 11, 10).addDays(-i), QTime(12, 0)), c.readings.at(i));
        expected.append(QStringList{scanner, u"Абонент "_s + scanner} + c.row);
    }
    // Two readings of one second: the one with the greater picture number is the newer, at either end.
    const int tied = fixture.addObject(u"Абонент 8"_s, u"8"_s);
    readingsAdded = 20;
    for (const auto& [value, day] : {std::pair{"30", 10}, {"20", 10}, {"10", 9}, {"5", 9}})
        addReading(tied, QDateTime(QDate(2014, 11, day), QTime(12, 0)), QString::fromUtf8(value));
    expected.append({u"8"_s, u"Абонент 8"_s, u"10,0"_s, u"10"_s, u"20"_s, u"09.11.2014 - 10.11.2014"_s});
    fixture.addObject(u"Без показаний"_s, u"7"_s);
    ASSERT_NO_FATAL_FAILURE(openReport());

    report->Button1Click();

    // The objects come in the database's order, which nothing relies on.
    QList<QStringList> rows = report->resultRows();
    std::sort(rows.begin(), rows.end(), [](const QStringList& a, const QStringList& b) { return a[0] < b[0]; });
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ConsumptionReportTest, SaveBeforeBuildAndAPeriodWithoutReadingsGiveTheFixedPartsOnly) {
    addSmallFixture();
    addReading(fixture.addObject(u"Петров"_s, u"860002"_s), QDateTime(QDate(2014, 11, 3), QTime(7, 0)), u"7"_s);
    ASSERT_NO_FATAL_FAILURE(openReport());
    const QByteArray periodLine = cp1251(u"Отчет расхода с: 01.11.2014 по: 11.11.2014 23:59:59\r\n"_s);
    const QByteArray bareXml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1>"
                               "<row date1=\"01.11.2014\" date2=\"11.11.2014 23:59:59\"/></UR_1>"_s.toUtf8();

    saveAs(u"TXT"_s, u"before.txt"_s);
    EXPECT_EQ(fileBytes(u"before.txt"_s), periodLine);

    // A result of two objects, then one of none: the grid shrinks to its title row and the empty row.
    report->Button1Click();
    EXPECT_EQ(report->resultRows().size(), 2);
    report->form().DateTimePicker2->setDay(QDate(2014, 11, 30));
    report->form().DateTimePicker1->setDay(QDate(2014, 11, 13));
    report->Button1Click();
    EXPECT_EQ(report->form().SG->rowCount(), 1);
    EXPECT_TRUE(report->resultRows().isEmpty());

    saveAs(u"TXT"_s, u"empty.txt"_s);
    saveAs(u"XML"_s, u"empty.xml"_s);
    saveAs(u"XLS"_s);
    EXPECT_EQ(fileBytes(u"empty.txt"_s), cp1251(u"Отчет расхода с: 13.11.2014 по: 30.11.2014 23:59:59\r\n"_s));
    EXPECT_EQ(fileBytes(u"empty.xml"_s).toStdString(),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1>"
              "<row date1=\"13.11.2014\" date2=\"30.11.2014 23:59:59\"/></UR_1>\n"_s.toStdString());
    QStringList head = sheetHead();
    head.replaceInStrings(u"01.11.2014"_s, u"13.11.2014"_s).replaceInStrings(u"11.11.2014"_s, u"30.11.2014"_s);
    EXPECT_EQ(spreadsheet.calls, head + sheetTail());
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ConsumptionReportTest, ObjectsComeInTheOrderOfTheJoinOrderedByTimeWithoutReadingTheYear) {
    // Newest readings of the period: 3 and 1 on 10.11 at noon (a tie), 2 on 09.11 (its reading of 11.11 after
    // the period's end does not count), 4 has readings before the period only, 5 none.
    const int first = fixture.addObject(u"Б"_s, u"860001"_s);
    const int second = fixture.addObject(u"А"_s, u"860002"_s);
    const int third = fixture.addObject(u"А"_s, u"860000"_s);
    const int outside = fixture.addObject(u"В"_s, u"860004"_s);
    fixture.addObject(u"Г"_s, u"860005"_s);
    const QTime noon(12, 0);
    addReading(first, QDateTime(QDate(2014, 11, 10), noon), u"1"_s);
    addReading(first, QDateTime(QDate(2014, 11, 2), noon), u"1"_s);
    addReading(second, QDateTime(QDate(2014, 11, 1), noon), u"1"_s);
    addReading(second, QDateTime(QDate(2014, 11, 9), noon), u"1"_s);
    addReading(second, QDateTime(QDate(2014, 11, 11), QTime(12, 0)), u"1"_s);
    addReading(third, QDateTime(QDate(2014, 11, 10), noon), u"ошибка"_s);
    addReading(outside, QDateTime(QDate(2014, 10, 30), noon), u"1"_s);
    const ConsumptionPeriod period{u"01.11.2014"_s, u"10.11.2014 23:59:59"_s};

    const auto rowsOf = [&](const QString& select) {
        DataSet objects(context().database);
        objects.setSelectSql(select);
        objects.setParameter(u"PERIOD_START"_s, period.start);
        objects.setParameter(u"PERIOD_END"_s, period.end);
        objects.open();
        objects.fetchAll();
        QStringList rows;
        for (int row = 0; row < objects.rowCount(); ++row) {
            objects.moveTo(row);
            rows.append(objects.field(u"ID_SCANNER"_s).asString());
        }
        return rows;
    };
    // The plain join the report was first written with: the engine sorts it by time and keeps each object once.
    const QStringList joined = rowsOf(
        u"SELECT distinct list_objects.id_scanner, list_objects.fio, list_objects.id_object FROM Image_object_date, "
        "list_objects WHERE image_object_date.id_object=list_objects.id_object and dat>=:PERIOD_START and "
        "dat<=:PERIOD_END ORDER BY DAT DESC"_s);
    EXPECT_EQ(joined, (QStringList{u"860000"_s, u"860001"_s, u"860002"_s}));
    DataSet objects(context().database);
    selectConsumptionObjects(objects, period);
    EXPECT_EQ(rowsOf(objects.selectSql()), joined);
}

TEST_F(ConsumptionReportTest, BuildLetsEventsThroughAndAnInterruptedBuildLeavesTheGridAsItWas) {
    for (int i = 1; i <= 3; ++i)
        addReading(fixture.addObject(u"Абонент"_s, QString::number(i)), QDateTime(QDate(2014, 11, 5), QTime(9, 0)),
                   QString::number(i));
    ASSERT_NO_FATAL_FAILURE(openReport());
    report->Button1Click();
    const QList<QStringList> built = report->resultRows();
    ASSERT_EQ(built.size(), 3);

    // An event posted once the first object's row is made is handled while later objects are still to come.
    qint64 objectsDone = 0;
    std::optional<qint64> objectsDoneWhenHandled;
    const auto connection =
        QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&](qint64 done, qint64) {
            if (std::exchange(objectsDone, done) == 0 && done == 1)
                QTimer::singleShot(0, report.get(), [&] { objectsDoneWhenHandled = objectsDone; });
        });
    addReading(fixture.addObject(u"Абонент"_s, u"4"_s), QDateTime(QDate(2014, 11, 6), QTime(9, 0)), u"4"_s);
    report->Button1Click();
    EXPECT_EQ(objectsDone, 4);
    ASSERT_TRUE(objectsDoneWhenHandled);
    EXPECT_LT(*objectsDoneWhenHandled, 4);
    EXPECT_EQ(report->resultRows().size(), 4);
    QObject::disconnect(connection);

    // Interrupted after its first object, the Build leaves the four rows of the one before.
    const QList<QStringList> before = report->resultRows();
    addReading(fixture.addObject(u"Абонент"_s, u"5"_s), QDateTime(QDate(2014, 11, 7), QTime(9, 0)), u"5"_s);
    QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&](qint64 done, qint64) {
        if (done == 1)
            report->work().interrupt();
    });
    report->Button1Click();
    EXPECT_EQ(report->resultRows(), before);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ConsumptionReportTest, TypedFormatThatIsNoItemSavesNothing) {
    addSmallFixture();
    ASSERT_NO_FATAL_FAILURE(openReport());
    report->Button1Click();
    services.files.names = {reportPath(u"typed.txt"_s)};

    saveAs(u"XLSX"_s);

    EXPECT_TRUE(services.files.calls.isEmpty());
    EXPECT_TRUE(spreadsheet.calls.isEmpty());
    EXPECT_FALSE(QFile::exists(reportPath(u"typed.txt"_s)));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

} // namespace
} // namespace vornic
