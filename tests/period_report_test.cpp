#include "base/DateText.h"
#include "base/Failure.h"
#include "base/Windows1251.h"
#include "reports/PeriodReport.h"
#include "reports/Spreadsheet.h"
#include "support/MainWindowFixture.h"
#include "support/RecordingSpreadsheet.h"
#include "ui/reports/Generate_reports_all.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

using namespace vornic;
using namespace Qt::StringLiterals;

namespace {

const QString kClosedList = u"Операция невозможна: набор данных закрыт."_s;

QDateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QByteArray bytesOf(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// ---- The month list and the statement

TEST(PeriodReportMonths, ListTheLastTwelveMonthsAndEachItemNamesItsOwnMonth) {
    const struct {
        const char* name;
        QDate today;
        QStringList items;
        QDate lastDayOfFebruary; // of the February the list offers
    } cases[] = {
        {"January: only January of this year, then the previous year back to February",
         QDate(2026, 1, 1),
         {u"Январь"_s, u"Декабрь 2025"_s, u"Ноябрь 2025"_s, u"Октябрь 2025"_s, u"Сентябрь 2025"_s, u"Август 2025"_s,
          u"Июль 2025"_s, u"Июнь 2025"_s, u"Май 2025"_s, u"Апрель 2025"_s, u"Март 2025"_s, u"Февраль 2025"_s},
         QDate(2025, 2, 28)},
        {"December: the twelve names of this year, December first",
         QDate(2025, 12, 31),
         {u"Декабрь"_s, u"Ноябрь"_s, u"Октябрь"_s, u"Сентябрь"_s, u"Август"_s, u"Июль"_s, u"Июнь"_s, u"Май"_s,
          u"Апрель"_s, u"Март"_s, u"Февраль"_s, u"Январь"_s},
         QDate(2025, 2, 28)},
        {"February of a leap year",
         QDate(2024, 2, 29),
         {u"Февраль"_s, u"Январь"_s, u"Декабрь 2023"_s, u"Ноябрь 2023"_s, u"Октябрь 2023"_s, u"Сентябрь 2023"_s,
          u"Август 2023"_s, u"Июль 2023"_s, u"Июнь 2023"_s, u"Май 2023"_s, u"Апрель 2023"_s, u"Март 2023"_s},
         QDate(2024, 2, 29)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList items = FillMonthList(c.today);
        EXPECT_EQ(items, c.items);
        // Item k names the k-th month back from today's, and Build reads it so.
        for (int k = 0; k < items.size(); ++k) {
            SCOPED_TRACE(items[k].toStdString());
            const QDate first = QDate(c.today.year(), c.today.month(), 1).addMonths(-k);
            const ReportMonth month = reportMonth(items[k], c.today);
            EXPECT_EQ(month.firstDay(), first);
            EXPECT_EQ(month.lastDay(), first.month() == 2 ? c.lastDayOfFebruary : first.addMonths(1).addDays(-1));
        }
    }
}

TEST(PeriodReportMonths, NameAloneIsThisYearsMonthAndNameWithItsYearThatYearsAndNothingElseIsAMonth) {
    const QDate today(2014, 11, 11);
    EXPECT_EQ(reportMonth(u"Декабрь"_s, today), (ReportMonth{2014, 12})); // still to come: built all the same
    EXPECT_EQ(reportMonth(u"Май 2012"_s, today), (ReportMonth{2012, 5}));
    EXPECT_EQ((ReportMonth{2012, 2}).lastDay(), QDate(2012, 2, 29));

    for (const QString& text :
         {u"ноябрь"_s, u"НОЯБРЬ"_s, u"Ноябрь "_s, u" Ноябрь"_s, u"Ноябрь  2013"_s, u"Ноябрь 13"_s, u"Ноябрь 2013 "_s,
          u"Ноябрь 0000"_s, u"Ноябрь ２０１３"_s, u"11"_s, u"11.2014"_s, QString()}) {
        SCOPED_TRACE(text.toStdString());
        try {
            reportMonth(text, today);
            FAIL() << "a month was made of it";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().contains(u"«"_s + text + u"»"_s)) << failure.what();
        }
    }
}

TEST(PeriodReportStatement, RunsFromTheFirstDayToTheLastSecondOfTheMonth) {
    const ReportMonth february{2024, 2};
    EXPECT_EQ(periodReportSelect(PeriodScope::AllSubscribers, february),
              u"SELECT LIST_OBJECTS.personal_account, list_objects.id_scanner, list_objects.fio, "
              u"list_objects.id_object, image_object_date.dat, image_object_date.READINGS from list_objects, "
              u"Image_object_date WHERE dat>='01.02.2024' and dat<='29.02.2024 23:59:59' and "
              u"list_objects.id_object=image_object_date.id_object ORDER BY DAT DESC, ID_IMAG DESC"_s);
    EXPECT_EQ(periodReportSelect(PeriodScope::MarkedGroup, february),
              u"SELECT LIST_OBJECTS.personal_account, list_objects.id_scanner, list_objects.fio, "
              u"list_objects.id_object, image_object_date.dat, image_object_date.READINGS from list_objects, "
              u"Image_object_date WHERE dat>='01.02.2024' and dat<='29.02.2024 23:59:59' AND "
              u"list_objects.check_grid=1 and list_objects.id_object=image_object_date.id_object"_s);
}

// ---- The window

// The workbook calls of a first report in a freshly started spreadsheet application: the widths, the titles and
// then the given cells.
QStringList sheetCalls(const QStringList& cells) {
    QStringList calls{u"attach"_s, u"start"_s, u"WorkBooks.add"_s, u"WorkSheets(1)"_s};
    for (int column = 1; column <= 6; ++column)
        calls.append(u"Cells(1,%1).ColumnWidth=25"_s.arg(column));
    calls +=
        {u"Cells(1,1).Value=ID абонента "_s, u"Cells(1,2).Value=ФИО абонента "_s, u"Cells(1,3).Value=ID сканера "_s,
         u"Cells(1,4).Value=Дата  "_s, u"Cells(1,5).Value=Показания счетчика  "_s};
    return calls + cells + QStringList{u"Visible=true"_s, u"WorkBooks(1).SaveAs(MyTest)"_s};
}

class PeriodReportTest : public vornic::test::MainWindowTest {
protected:
    RecordingSpreadsheetServer spreadsheet;
    ScopedSpreadsheetServer spreadsheetInForce{spreadsheet};
    QTemporaryDir saved;
    std::unique_ptr<TForm7> report;
    int readingId = 0;

    void SetUp() override { ASSERT_TRUE(saved.isValid()); }
    void TearDown() override { report.reset(); }

    void addReading(int object, const QDateTime& when, const QString& value) {
        fixture.addReading({object, QString::number(++readingId), when, {}, value, 50, 20, 2, 0});
    }

    // Made once, as start-up makes it after the main window; each call opens it as the menu does.
    void makeWindow() {
        openWindow();
        report = std::make_unique<TForm7>(context());
    }
    void openReport() {
        report->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return report->isActiveWindow(); }));
    }
    // Escape, as the operator closes it.
    void closeReport() {
        QTest::keyClick(report.get(), Qt::Key_Escape);
        ASSERT_FALSE(report->isVisible());
    }

    Ui::TForm7& form() { return report->form(); }
    DataSet& result() { return report->IBDataSet1(); }

    // An item chosen as the operator chooses it, whatever text was typed into the box before.
    static void choose(QComboBox& box, int item) {
        box.setCurrentIndex(item);
        box.setEditText(box.itemText(item));
    }

    void build(int scope, const QString& month) {
        choose(*form().ComboBox2, scope);
        form().ComboBox3->setEditText(month);
        report->Button1Click();
    }

    // A column of the list as it shows it, in its order.
    QStringList listed(int column) {
        QStringList values;
        QAbstractItemModel* model = form().DBGrid1->model();
        while (model->canFetchMore({}))
            model->fetchMore({});
        for (int row = 0; row < model->rowCount(); ++row)
            values.append(model->index(row, column).data().toString());
        return values;
    }

    struct SavedForms {
        QByteArray text;
        QByteArray xml;
        QStringList sheet;
    };

    // Saves the result in the three forms, the current row left on the last reading each time: every save
    // starts from the first row and comes back to it.
    SavedForms saveInEveryForm() {
        const QString text = saved.filePath(u"Отчет.txt"_s);
        const QString xml = saved.filePath(u"Отчет.xml"_s);
        services.files.names = {text, xml};
        for (int item = 0; item < 3; ++item) {
            result().last();
            choose(*form().ComboBox1, item);
            report->Button2Click();
            EXPECT_EQ(result().currentRow(), result().isEmpty() ? -1 : 0);
        }
        return {bytesOf(text), bytesOf(xml), spreadsheet.calls};
    }
};

TEST_F(PeriodReportTest, SavesEveryReadingOfTheMonthNewestFirstTrimmedInTheFilesAndAsStoredInTheWorkbook) {
    const int ivanov = fixture.addObject(u"Иванов И.И."_s, u"1001"_s);
    const int petrov = fixture.addObject(u" Петров П.П.\t"_s, u"1002 "_s);
    addReading(ivanov, at(2014, 10, 31, 23, 59, 59), u"1470"_s); // the last second before the month
    addReading(ivanov, at(2014, 11, 1), u"1475"_s);              // its first second
    addReading(ivanov, at(2014, 11, 5, 8, 15), u"1490"_s);
    addReading(ivanov, at(2014, 11, 20, 9, 5), u"15?0"_s);       // not recognised as a number
    addReading(ivanov, at(2014, 11, 30, 23, 59, 59), u"1500"_s); // its last second
    addReading(ivanov, at(2014, 12, 1), u"1510"_s);              // the first second after it
    addReading(petrov, at(2014, 11, 10, 12), u"735"_s);
    makeWindow();
    openReport();
    ASSERT_EQ(form().ComboBox3->currentText(), u"Ноябрь"_s);

    report->Button1Click();

    EXPECT_EQ(listed(3), (QStringList{u"30.11.2014 23:59:59"_s, u"20.11.2014 9:05:00"_s, u"10.11.2014 12:00:00"_s,
                                      u"05.11.2014 8:15:00"_s, u"01.11.2014"_s}));
    const SavedForms forms = saveInEveryForm();

    const QString i = QString::number(ivanov);
    const QString p = QString::number(petrov);
    const QString ivanovLine = u" ID абонента:"_s + i + u"  ФИО абонента:Иванов И.И.  ID сканера:1001  Дата:"_s;
    EXPECT_EQ(forms.text,
              windows1251::encode(ivanovLine + u"30.11.2014 23:59:59  Показания счетчика:1500\r\n"_s + ivanovLine +
                                  u"20.11.2014 9:05:00  Показания счетчика:15?0\r\n"_s + u" ID абонента:"_s + p +
                                  u"  ФИО абонента:Петров П.П.  ID сканера:1002  Дата:10.11.2014 12:00:00  "
                                  u"Показания счетчика:735\r\n"_s +
                                  ivanovLine + u"05.11.2014 8:15:00  Показания счетчика:1490\r\n"_s + ivanovLine +
                                  u"01.11.2014  Показания счетчика:1475\r\n"_s));
    const QString ivanovRow = u"<row personal_account=\""_s + i + u"\" fio=\"Иванов И.И.\" id_object=\"1001\" dat=\""_s;
    EXPECT_EQ(forms.xml.toStdString(),
              (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1>"_s + ivanovRow +
               u"30.11.2014 23:59:59\" READINGS=\"1500\"/>"_s + ivanovRow +
               u"20.11.2014 9:05:00\" READINGS=\"15?0\"/><row personal_account=\""_s + p +
               u"\" fio=\"Петров П.П.\" id_object=\"1002\" dat=\"10.11.2014 12:00:00\" READINGS=\"735\"/>"_s +
               ivanovRow + u"05.11.2014 8:15:00\" READINGS=\"1490\"/>"_s + ivanovRow +
               u"01.11.2014\" READINGS=\"1475\"/></UR_1>\n"_s)
                  .toStdString());
    QStringList cells;
    const auto row = [&](int r, const QString& id, const QString& fio, const QString& scanner, const QString& dat,
                         const QString& value) {
        cells += {u"Cells(%1,1).Value=%2"_s.arg(r).arg(id), u"Cells(%1,2).Value=%2"_s.arg(r).arg(fio),
                  u"Cells(%1,3).Value=%2"_s.arg(r).arg(scanner), u"Cells(%1,4).Value=%2"_s.arg(r).arg(dat),
                  u"Cells(%1,5).Value=%2"_s.arg(r).arg(value)};
    };
    row(2, i, u"Иванов И.И."_s, u"1001"_s, u"30.11.2014 23:59:59"_s, u"1500"_s);
    row(3, i, u"Иванов И.И."_s, u"1001"_s, u"20.11.2014 9:05:00"_s, u"15?0"_s);
    row(4, p, u" Петров П.П.\t"_s, u"1002 "_s, u"10.11.2014 12:00:00"_s, u"735"_s);
    row(5, i, u"Иванов И.И."_s, u"1001"_s, u"05.11.2014 8:15:00"_s, u"1490"_s);
    row(6, i, u"Иванов И.И."_s, u"1001"_s, u"01.11.2014"_s, u"1475"_s);
    EXPECT_EQ(forms.sheet, sheetCalls(cells));
    EXPECT_EQ(services.files.calls, (QList<SaveDialogCall>{{u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s},
                                                           {u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s}}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(PeriodReportTest, AMonthOfSeveralSlicesIsSavedWholeWhileEventsAreHandledAndAnInterruptedSaveWritesNothing) {
    // 12,001 readings of one object in November, one a minute from the 1st on: several slices of the Save.
    const int object = fixture.addObject(u"Иванов И.И."_s, u"1001"_s);
    fixture.exec(
        u"EXECUTE BLOCK AS DECLARE n INTEGER = 0; BEGIN WHILE (n < 12001) DO BEGIN "
        "INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, READINGS) VALUES (%1, "
        "DATEADD(:n MINUTE TO TIMESTAMP '2014-11-01 00:00:00'), 'p' || :n, :n); n = n + 1; END END"_s.arg(object));
    makeWindow();
    openReport();
    build(0, u"Ноябрь"_s);

    // An event posted at the first step is handled while the steps go on.
    int steps = 0;
    std::optional<int> stepsWhenHandled;
    const auto counting = QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&] {
        if (++steps == 1)
            QTimer::singleShot(0, report.get(), [&] { stepsWhenHandled = steps; });
    });
    const QString text = saved.filePath(u"Отчет.txt"_s);
    services.files.names = {text};
    choose(*form().ComboBox1, 0);
    report->Button2Click();
    ASSERT_TRUE(stepsWhenHandled);
    EXPECT_LT(*stepsWhenHandled, steps);
    QObject::disconnect(counting);
    const QList<QByteArray> lines = bytesOf(text).split('\n');
    ASSERT_EQ(lines.size(), 12002); // the last line's end leaves an empty piece
    const QByteArray line = u" ID абонента:%1  ФИО абонента:Иванов И.И.  ID сканера:1001  Дата:"_s.arg(object).toUtf8();
    EXPECT_EQ(windows1251::decode(lines.first()),
              QString::fromUtf8(line) + u"09.11.2014 8:00:00  Показания счетчика:12000\r"_s);
    EXPECT_EQ(windows1251::decode(lines.at(12000)), QString::fromUtf8(line) + u"01.11.2014  Показания счетчика:0\r"_s);

    choose(*form().ComboBox1, 2);
    report->Button2Click();
    const QStringList& calls = spreadsheet.calls;
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(), [](const QString& call) { return call.contains(u".Value="_s); }),
        5 + 12001 * 5);
    EXPECT_TRUE(calls.contains(u"Cells(12002,5).Value=0"_s));
    EXPECT_TRUE(calls.contains(u"Cells(5002,4).Value=05.11.2014 20:40:00"_s));

    // Interrupted at its first step, a Save asks for no file and writes none.
    QObject::connect(&report->work(), &WorkInSteps::progressed, report.get(), [&] { report->work().interrupt(); });
    const QString xml = saved.filePath(u"Отчет.xml"_s);
    services.files.names = {xml};
    choose(*form().ComboBox1, 1);
    report->Button2Click();
    EXPECT_FALSE(QFile::exists(xml));
    EXPECT_EQ(services.files.calls.size(), 1);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(PeriodReportTest, MarkedGroupListsTheReadingsOfMarkedObjectsOnlyAndNoneMarkedSavesEmptyForms) {
    const int marked = fixture.addObject(u"Иванов И.И."_s, u"1001"_s, 1);
    const int other = fixture.addObject(u"Петров П.П."_s, u"1002"_s, 0);
    addReading(marked, at(2014, 11, 3, 10), u"1475"_s);
    addReading(marked, at(2014, 11, 4, 10), u"1490"_s);
    addReading(other, at(2014, 11, 5, 10), u"735"_s);
    makeWindow();
    openReport();

    build(1, u"Ноябрь"_s);
    QStringList readings = listed(4); // in the database's order: compared as a set
    std::sort(readings.begin(), readings.end());
    EXPECT_EQ(readings, (QStringList{u"1475"_s, u"1490"_s}));

    fixture.exec(u"UPDATE LIST_OBJECTS SET CHECK_GRID=0"_s);
    build(1, u"Ноябрь"_s);
    ASSERT_TRUE(result().isOpen());
    ASSERT_TRUE(listed(0).isEmpty());

    const SavedForms forms = saveInEveryForm();

    EXPECT_EQ(forms.text, QByteArray());
    EXPECT_TRUE(QFile::exists(saved.filePath(u"Отчет.txt"_s)));
    EXPECT_EQ(forms.xml.toStdString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1/>\n");
    EXPECT_EQ(forms.sheet, sheetCalls({}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(PeriodReportTest, MonthRunsFromItsFirstDayAtMidnightToItsLastDayAtItsLastSecond) {
    const struct {
        const char* name;
        QDateTime now;
        QString month;
        QList<QDateTime> listed;   // newest first
        QList<QDateTime> unlisted; // the seconds just outside
    } cases[] = {
        {"February of a leap year",
         at(2024, 2, 10, 9),
         u"Февраль"_s,
         {at(2024, 2, 29, 23, 59, 59), at(2024, 2, 1)},
         {at(2024, 1, 31, 23, 59, 59), at(2024, 3, 1)}},
        {"February of another year",
         at(2023, 2, 10, 9),
         u"Февраль"_s,
         {at(2023, 2, 28, 23, 59, 59), at(2023, 2, 1)},
         {at(2023, 1, 31, 23, 59, 59), at(2023, 3, 1)}},
        {"last December, in January",
         at(2026, 1, 5, 9),
         u"Декабрь 2025"_s,
         {at(2025, 12, 31, 23, 59, 59), at(2025, 12, 1)},
         {at(2025, 11, 30, 23, 59, 59), at(2026, 1, 1)}},
        {"a month still to come, typed",
         at(2014, 11, 11, 9),
         u"Декабрь"_s,
         {at(2014, 12, 31, 23, 59, 59)},
         {at(2013, 12, 15, 12)}},
    };
    const int object = fixture.addObject(u"Иванов И.И."_s, u"1001"_s);
    for (const auto& c : cases) {
        for (const QDateTime& when : c.listed + c.unlisted)
            addReading(object, when, u"1500"_s);
    }
    makeWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services.clock.current = c.now;
        openReport();

        build(0, c.month);

        QStringList expected;
        for (const QDateTime& when : c.listed)
            expected.append(dateTimeText(when));
        EXPECT_EQ(listed(3), expected);
        closeReport();
    }
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(PeriodReportTest, EachOpeningRebuildsTheMonthListAndEmptiesTheResultWhileTheChoicesStay) {
    const int object = fixture.addObject(u"Иванов И.И."_s, u"1001"_s);
    addReading(object, at(2014, 10, 20, 12), u"1500"_s);
    makeWindow();
    const QStringList november = FillMonthList(QDate(2014, 11, 11));
    for (int opening = 0; opening < 3; ++opening) {
        SCOPED_TRACE(opening);
        openReport();
        QStringList items;
        for (int i = 0; i < form().ComboBox3->count(); ++i)
            items.append(form().ComboBox3->itemText(i));
        EXPECT_EQ(items, november); // every month once
        EXPECT_EQ(form().ComboBox3->currentText(), u"Ноябрь"_s);
        EXPECT_FALSE(result().isOpen());
        EXPECT_EQ(form().DBGrid1->model()->rowCount(), 0);
        EXPECT_EQ(form().ComboBox2->currentIndex(), opening == 0 ? 0 : 1);
        EXPECT_EQ(form().ComboBox1->currentText(), opening == 0 ? u"TXT"_s : u"XML"_s);

        choose(*form().ComboBox1, 1);
        build(0, u"Октябрь"_s);
        EXPECT_EQ(listed(4), QStringList{u"1500"_s});
        choose(*form().ComboBox2, 1);
        closeReport();
    }
    // A new month at the next opening.
    services.clock.current = at(2014, 12, 1, 8);
    openReport();
    EXPECT_EQ(form().ComboBox3->currentText(), u"Декабрь"_s);
    EXPECT_EQ(form().ComboBox3->count(), 12);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(PeriodReportTest, TextsThatNameNoChoice) {
    const int object = fixture.addObject(u"Иванов И.И."_s, u"1001"_s);
    addReading(object, at(2014, 11, 3, 10), u"1500"_s);
    makeWindow();
    const QString txt = saved.filePath(u"Отчет.txt"_s);
    const struct {
        const char* name;
        bool builtFirst;
        std::function<void()> act;
        QStringList messages;
        bool resultOpen;
    } cases[] = {
        {"a month typed with a small letter: the Build ends in the error report, with the list emptied",
         true,
         [&] { build(0, u"ноябрь"_s); },
         {u"«ноябрь» не является названием месяца: дату начала периода составить нельзя."_s},
         false},
        {"a typed scope: nothing changes",
         true,
         [&] {
             form().ComboBox2->setEditText(u"Всем"_s);
             report->Button1Click();
         },
         {},
         true},
        {"a typed format: Save writes nothing",
         true,
         [&] {
             form().ComboBox1->setEditText(u"PDF"_s);
             report->Button2Click();
         },
         {},
         true},
        {"Save before Build: refused by the closed list",
         false,
         [&] {
             choose(*form().ComboBox1, 0);
             report->Button2Click();
         },
         {kClosedList},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openReport();
        if (c.builtFirst) {
            build(0, u"Ноябрь"_s);
            ASSERT_EQ(listed(4), QStringList{u"1500"_s});
        }
        services.messages.shown.clear();
        services.files.names = {txt};

        c.act();

        EXPECT_EQ(services.messages.texts(), c.messages);
        EXPECT_EQ(result().isOpen(), c.resultOpen);
        EXPECT_EQ(listed(4), c.resultOpen ? QStringList{u"1500"_s} : QStringList());
        EXPECT_TRUE(services.files.calls.isEmpty());
        EXPECT_TRUE(spreadsheet.calls.isEmpty());
        EXPECT_FALSE(QFile::exists(txt));
        closeReport();
        choose(*form().ComboBox2, 0);
    }
}

} // namespace
