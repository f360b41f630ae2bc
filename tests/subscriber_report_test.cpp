#include "base/IniFile.h"
#include "base/Windows1251.h"
#include "reports/Spreadsheet.h"
#include "reports/SubscriberReport.h"
#include "support/MainWindowFixture.h"
#include "support/RecordingSpreadsheet.h"
#include "ui/reports/Generate_reports.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;
using namespace vornic;

namespace {

const QString kWarning = u"Расход за период  вычисляется только с распознанных данных, если данные не распознаны "
                         u"или распознаны не верно они пропускаются. Внимательно проверяйте полученную сумму в "
                         u"расхода."_s;

TEST(SubscriberReportReadings, WholeNumberIsASignedDecimalOfThe32BitRange) {
    const struct {
        const char* text;
        std::optional<qint32> value;
    } cases[] = {
        {"1500", 1500},
        {" \t0042\r\n", 42},
        {"-7", -7},
        {"+7", 7},
        {"0", 0},
        {"000000000000000000001475", 1475},
        {"16777217", 16777217},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"12.5", std::nullopt},
        {"12,5", std::nullopt},
        {"1 500", std::nullopt},
        {"1500a", std::nullopt},
        {"ошибка", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"", std::nullopt},
        {"١٥٠٠", std::nullopt}, // digits of another script
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(wholeNumberReading(QString::fromUtf8(c.text)), c.value);
    }
}

TEST(SubscriberReportReadings, ConsumptionIsTheNewestWholeNumberLessTheOldest) {
    const struct {
        const char* name;
        QStringList readings; // newest first
        qint64 end, start, difference;
        int startRow;
    } cases[] = {
        {"a reading that is no number between", {u"1500"_s, u"ошибка"_s, u"1490"_s, u"1475"_s}, 1500, 1475, 25, 3},
        {"no number at either end", {u"12.5"_s, u"1500"_s, u"1475"_s, u"12,5"_s}, 1500, 1475, 25, 2},
        {"a single reading", {u"1500"_s}, 1500, 1500, 0, 0},
        {"a meter that went back", {u"1400"_s, u"1500"_s}, 1400, 1500, -100, 1},
        {"no whole number", {u"12.5"_s, u""_s}, 0, 0, 0, 0},
        {"no readings", {}, 0, 0, 0, -1},
        {"the ends of the range", {u"2147483647"_s, u"-2147483648"_s}, 2147483647, -2147483648LL, 4294967295LL, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Consumption consumption = consumptionOf(c.readings);
        EXPECT_EQ(consumption.endValue, c.end);
        EXPECT_EQ(consumption.startValue, c.start);
        EXPECT_EQ(consumption.difference, c.difference);
        EXPECT_EQ(consumption.startRow, c.startRow);
    }
}

TEST(SubscriberReportReadings, IncreasePassesOverAReadingThatIsNoWholeNumber) {
    const auto increases = [](const QStringList& texts) {
        QList<SubscriberReading> readings;
        for (const QString& text : texts)
            readings.append({{}, text, {}, {}, {}});
        return readingIncreases(readings);
    };
    using Increases = QList<std::optional<qint64>>;
    EXPECT_EQ(increases({u"1500"_s, u"ошибка"_s, u"1490"_s, u"1475"_s}),
              (Increases{10, std::nullopt, 15, std::nullopt}));
    EXPECT_EQ(increases({u"1500"_s, u"12.5"_s, u"12,5"_s}), (Increases{std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(increases({u"1400"_s, u""_s, u"1500"_s}), (Increases{-100, std::nullopt, std::nullopt}));
    EXPECT_EQ(increases({}), Increases{});
}

class SubscriberReportTest : public vornic::test::MainWindowTest {
protected:
    RecordingSpreadsheetServer spreadsheet;
    ScopedSpreadsheetServer spreadsheetInForce{spreadsheet};
    QTemporaryDir files;
    std::unique_ptr<TForm3> report;

    void TearDown() override {
        report.reset(); // before the main window whose list it reads
    }

    // Made once, as start-up makes it; each call opens it as the main window's menu does.
    void openReport() {
        if (!report)
            report = std::make_unique<TForm3>(context(), objects());
        report->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return report->isActiveWindow(); }));
    }

    Ui::TForm3& form() { return report->form(); }

    // The object of the report and the fixture's readings, newest first: 1500, a text that is no number, 1490 and
    // 1475 from the first day of November to 11.11.2014, the clock's today; and readings just outside the period
    // and of another object, which the report leaves out.
    int addSubscriberWithReadings() {
        const int object = fixture.addObject(u"  Иванов И.И. "_s, u"860001 "_s, 0, u"ул. Мира, 5"_s);
        const int other = fixture.addObject(u"Петров"_s, u"860002"_s);
        const auto at = [](int day, QTime time) { return QDateTime(QDate(2014, 11, day), time); };
        const QDateTime beforeStart(QDate(2014, 10, 31), QTime(23, 59, 59));
        fixture.addReading({object, u"1"_s, beforeStart, {}, u"1400"_s, 99, 30, 1, 0});
        fixture.addReading({object, u"2"_s, at(1, QTime(0, 0)), {}, u"1475"_s, 88, 17, 4, 0});
        fixture.addReading({object, u"3"_s, at(3, QTime(12, 0)), {}, u"1490"_s, 90, 18, 1, 0});
        fixture.addReading({object, u"4"_s, at(5, QTime(9, 5)), {}, u"ошибка"_s, {}, {}, {}, 1});
        fixture.addReading({object, u"5"_s, at(11, QTime(23, 59, 59)), {}, u" 1500 "_s, 95, 20, 2, 0});
        fixture.addReading({object, u"6"_s, at(12, QTime(0, 0)), {}, u"1600"_s, 95, 20, 2, 0});
        fixture.addReading({other, u"7"_s, at(5, QTime(10, 0)), {}, u"9999"_s, 95, 20, 2, 0});
        return object;
    }

    QByteArray savedBytes(int format, const QString& name) {
        const QString path = files.filePath(name);
        services.files.names = {path};
        form().ComboBox1->setCurrentIndex(format);
        report->Button2Click();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    static QByteArray textFile(const QStringList& lines) {
        QByteArray bytes;
        for (const QString& line : lines)
            bytes += windows1251::encode(line).value() + "\r\n";
        return bytes;
    }
};

TEST_F(SubscriberReportTest, BuildListsThePeriodsReadingsNewestFirstWithTheirConsumption) {
    const int object = addSubscriberWithReadings();
    openWindow();
    openReport();
    EXPECT_EQ(form().Label5->text(), u"Абонент: Иванов И.И.,  ул. Мира, 5"_s);
    EXPECT_EQ(form().Label6->text(), u"ID абонента: %1"_s.arg(object));
    EXPECT_EQ(form().Label7->text(), u"ID сканера: 860001"_s);

    report->Button1Click();

    EXPECT_EQ(report->IBDataSet1().selectSql(),
              u"SELECT*FROM Image_object_date WHERE id_object=%1 and dat>='01.11.2014' and "
              u"dat<='11.11.2014 23:59:59' ORDER BY ID_OBJECT DESC, DAT DESC, ID_IMAG DESC ROWS 1 TO 2147483647"_s.arg(
                  object));
    QStringList listed;
    for (int row = 0; row < form().DBGrid1->model()->rowCount(); ++row)
        listed.append(form().DBGrid1->model()->index(row, 0).data().toString() + u" | "_s +
                      form().DBGrid1->model()->index(row, 1).data().toString());
    EXPECT_EQ(listed, (QStringList{u"11.11.2014 23:59:59 |  1500 "_s, u"05.11.2014 9:05:00 | ошибка"_s,
                                   u"03.11.2014 12:00:00 | 1490"_s, u"01.11.2014 | 1475"_s}));
    EXPECT_EQ(form().Edit1->text(), u"25"_s);
    EXPECT_EQ(report->IBDataSet1().currentRow(), 3); // where the scan from the oldest reading stopped
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    // Coming back from a message box shown over the window keeps the result; a new opening empties it.
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(report.get(), &activation);
    EXPECT_TRUE(report->IBDataSet1().isOpen());
    report->close();
    openReport();
    EXPECT_FALSE(report->IBDataSet1().isOpen());
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(form().Edit1->text(), u"25"_s); // the last consumption stays until the next Build
}

TEST_F(SubscriberReportTest, BuildRunsItsStatementWhileEventsAreHandledAndAnInterruptedOneLeavesTheResultClosed) {
    addSubscriberWithReadings();
    openWindow();
    openReport();

    std::optional<bool> runningWhenHandled;
    auto connection = QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&] {
        QTimer::singleShot(0, report.get(), [&] { runningWhenHandled = report->work().isRunning(); });
    });
    report->Button1Click();
    EXPECT_EQ(runningWhenHandled, std::optional<bool>(true));
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 4);
    EXPECT_EQ(form().Edit1->text(), u"25"_s);
    QObject::disconnect(connection);

    connection =
        QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&] { report->work().interrupt(); });
    report->Button1Click();
    EXPECT_FALSE(report->IBDataSet1().isOpen());
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(form().Edit1->text(), u"25"_s);
    QObject::disconnect(connection);
    report->Button1Click();
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 4);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}

TEST_F(SubscriberReportTest, ResultIsSavedWholeInEachForm) {
    const int object = addSubscriberWithReadings();
    openWindow();
    openReport();
    report->Button1Click();

    EXPECT_EQ(
        savedBytes(0, u"Отчет.txt"_s),
        textFile({u" Абонент: Иванов И.И.,  ул. Мира, 5"_s, u" ID абонента: %1"_s.arg(object), u" ID Сканера: 860001"_s,
                  u"  Дата:11.11.2014 23:59:59  Показания:1500  Батарея:95  Уровень сигнала:20  Тип сети:2"_s,
                  u"  Дата:05.11.2014 9:05:00  Показания:ошибка  Батарея:  Уровень сигнала:  Тип сети:"_s,
                  u"  Дата:03.11.2014 12:00:00  Показания:1490  Батарея:90  Уровень сигнала:18  Тип сети:1"_s,
                  u"  Дата:01.11.2014  Показания:1475  Батарея:88  Уровень сигнала:17  Тип сети:4"_s,
                  u" Расход за период*  : 25"_s, u' ' + kWarning + u' '}));

    const QString xml =
        uR"(<?xml version="1.0" encoding="UTF-8"?><UR_1>)"
        uR"(<inf_abo abonent="Иванов И.И.,  ул. Мира, 5"/><inf_abo id_abonent="%1"/><inf_abo id_scaner="860001"/>)"
        uR"(<row date="11.11.2014 23:59:59" READINGS="1500" BAT="95" CSQ="20" NSMOD="2"/>)"
        uR"(<row date="05.11.2014 9:05:00" READINGS="ошибка" BAT="" CSQ="" NSMOD=""/>)"
        uR"(<row date="03.11.2014 12:00:00" READINGS="1490" BAT="90" CSQ="18" NSMOD="1"/>)"
        uR"(<row date="01.11.2014" READINGS="1475" BAT="88" CSQ="17" NSMOD="4"/>)"
        uR"(<rasxod rasxod="25"/><rasxod inf_rasxod="%2"/></UR_1>)"_s.arg(object)
            .arg(kWarning);
    EXPECT_EQ(QString::fromUtf8(savedBytes(1, u"Отчет.xml"_s)).trimmed(), xml);

    form().ComboBox1->setCurrentIndex(2);
    report->Button2Click();
    EXPECT_EQ(spreadsheet.calls, (QStringList{
                                     u"attach"_s,
                                     u"start"_s,
                                     u"WorkBooks.add"_s,
                                     u"WorkSheets(1)"_s,
                                     u"Cells(1,1).ColumnWidth=25"_s,
                                     u"Cells(1,2).ColumnWidth=25"_s,
                                     u"Cells(1,3).ColumnWidth=25"_s,
                                     u"Cells(1,4).ColumnWidth=25"_s,
                                     u"Cells(1,5).ColumnWidth=25"_s,
                                     u"Cells(1,1).Value=Абонент: Иванов И.И."_s,
                                     u"Cells(1,2).Value=Адрес: ул. Мира, 5"_s,
                                     u"Cells(1,3).Value= ID абонента: %1"_s.arg(object),
                                     u"Cells(1,4).Value= ID Сканера: 860001"_s,
                                     u"Cells(2,1).Value=Дата: "_s,
                                     u"Cells(2,2).Value=Показания: "_s,
                                     u"Cells(2,3).Value=Расход: "_s,
                                     u"Cells(2,4).Value=Батарея: "_s,
                                     u"Cells(2,5).Value=Уровень сигнала:  "_s,
                                     u"Cells(2,6).Value=Тип сети: "_s,
                                     u"Cells(3,1).Value=11.11.2014 23:59:59"_s,
                                     u"Cells(3,2).Value= 1500 "_s, // as read: the sheet alone keeps the blanks
                                     u"Cells(3,3).Value=10"_s,     // compared with 1490, not with the text
                                     u"Cells(3,4).Value=95"_s,
                                     u"Cells(3,5).Value=20"_s,
                                     u"Cells(3,6).Value=2"_s,
                                     u"Cells(4,1).Value=05.11.2014 9:05:00"_s,
                                     u"Cells(4,2).Value=ошибка"_s, // no increase of its own
                                     u"Cells(4,4).Value="_s,
                                     u"Cells(4,5).Value="_s,
                                     u"Cells(4,6).Value="_s,
                                     u"Cells(5,1).Value=03.11.2014 12:00:00"_s,
                                     u"Cells(5,2).Value=1490"_s,
                                     u"Cells(5,3).Value=15"_s,
                                     u"Cells(5,4).Value=90"_s,
                                     u"Cells(5,5).Value=18"_s,
                                     u"Cells(5,6).Value=1"_s,
                                     u"Cells(6,1).Value=01.11.2014"_s,
                                     u"Cells(6,2).Value=1475"_s, // the oldest: nothing to compare with
                                     u"Cells(6,4).Value=88"_s,
                                     u"Cells(6,5).Value=17"_s,
                                     u"Cells(6,6).Value=4"_s,
                                     u"Cells(8,1).Value=!!! "_s + kWarning,
                                     u"Cells(8,2).Value=Расход за период*: 25"_s,
                                     u"Visible=true"_s,
                                     u"WorkBooks(1).SaveAs(MyTest)"_s,
                                 }));

    EXPECT_EQ(services.files.calls, (QList<SaveDialogCall>{{u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s},
                                                           {u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s}}));
    EXPECT_EQ(report->IBDataSet1().currentRow(), 0); // back on the first row for the next Save
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}

TEST_F(SubscriberReportTest, PeriodWithoutReadingsGivesTheFixedPartsOnly) {
    const int object = fixture.addObject(u"Сидоров"_s, u"860003"_s);
    openWindow();
    openReport();
    report->Button1Click();
    EXPECT_EQ(form().Edit1->text(), u"0"_s);

    EXPECT_EQ(savedBytes(0, u"пусто.txt"_s),
              textFile({u" Абонент: Сидоров,  "_s, u" ID абонента: %1"_s.arg(object), u" ID Сканера: 860003"_s,
                        u" Расход за период*  : 0"_s, u' ' + kWarning + u' '}));
    EXPECT_EQ(QString::fromUtf8(savedBytes(1, u"пусто.xml"_s)).trimmed(),
              uR"(<?xml version="1.0" encoding="UTF-8"?><UR_1><inf_abo abonent="Сидоров,  "/>)"
              uR"(<inf_abo id_abonent="%1"/><inf_abo id_scaner="860003"/><rasxod rasxod="0"/>)"
              uR"(<rasxod inf_rasxod="%2"/></UR_1>)"_s.arg(object)
                  .arg(kWarning));
    form().ComboBox1->setCurrentIndex(2);
    report->Button2Click();
    const QStringList cells = spreadsheet.calls.filter(u".Value="_s);
    EXPECT_EQ(cells.size(), 12);
    EXPECT_TRUE(cells.at(9).startsWith(u"Cells(2,6).Value="_s));
    EXPECT_EQ(cells.at(10), u"Cells(4,1).Value=!!! "_s + kWarning);
    EXPECT_EQ(cells.at(11), u"Cells(4,2).Value=Расход за период*: 0"_s);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}

TEST_F(SubscriberReportTest, OpeningTakesTheStoredStartOrTheMonthsFirstDayAndClosingStoresIt) {
    fixture.addObject(u"Иванов"_s, u"860001"_s);
    services.clock.current = QDateTime(QDate(2016, 2, 29), QTime(8, 0));
    openWindow();
    openReport();

    // A first opening has no start stored: the current month is offered, and nothing is reported.
    EXPECT_EQ(form().DateTimePicker1->dateTime(), QDateTime(QDate(2016, 2, 1), QTime(0, 0)));
    EXPECT_EQ(form().DateTimePicker2->dateTime(), QDateTime(QDate(2016, 2, 29), QTime(23, 59, 59)));
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    form().DateTimePicker1->setDay(QDate(2015, 12, 31));
    QTest::keyClick(report.get(), Qt::Key_Escape); // closes like the close box
    EXPECT_FALSE(report->isVisible());
    EXPECT_EQ(context().settings().readDate(u"Edits_generate_reports"_s, u"DateTimePicker1"_s, QDate()),
              QDate(2015, 12, 31));

    services.clock.current = QDateTime(QDate(2016, 3, 1), QTime(0, 0, 1));
    form().DateTimePicker1->setDay(QDate(2010, 1, 1)); // what the picker shows in between is not kept
    openReport();
    EXPECT_EQ(form().DateTimePicker1->dateTime(), QDateTime(QDate(2015, 12, 31), QTime(0, 0)));
    EXPECT_EQ(form().DateTimePicker2->dateTime(), QDateTime(QDate(2016, 3, 1), QTime(23, 59, 59)));
}

TEST_F(SubscriberReportTest, SaveDoesNothingForATypedFormatAndFailsBeforeBuild) {
    fixture.addObject(u"Иванов"_s, u"860001"_s);
    openWindow();
    openReport();

    form().ComboBox1->setEditText(u"PDF"_s);
    report->Button2Click();
    EXPECT_TRUE(services.messages.shown.isEmpty());

    for (int format : {0, 1, 2}) {
        SCOPED_TRACE(format);
        services.messages.shown.clear();
        services.files.names = {files.filePath(u"Отчет"_s)};
        form().ComboBox1->setCurrentIndex(format);
        report->Button2Click();
        EXPECT_EQ(services.messages.shown,
                  (QList<ShownMessage>{{MessageKind::Error, u"Операция невозможна: набор данных закрыт."_s}}));
    }
    EXPECT_TRUE(services.files.calls.isEmpty());
    EXPECT_TRUE(spreadsheet.calls.isEmpty());
}

TEST_F(SubscriberReportTest, BuildWithoutACurrentObjectIsReportedAndKeepsTheLastConsumption) {
    addSubscriberWithReadings();
    openWindow();
    openReport();
    report->Button1Click();
    ASSERT_EQ(form().Edit1->text(), u"25"_s);

    fixture.exec(u"DELETE FROM LIST_OBJECTS"_s);
    objects().reopen();
    ASSERT_EQ(objects().currentRow(), -1);
    report->Button1Click();

    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
    EXPECT_FALSE(report->IBDataSet1().isOpen());
    EXPECT_EQ(form().Edit1->text(), u"25"_s);
}

} // namespace
