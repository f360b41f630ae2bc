#include "base/Windows1251.h"
#include "reports/Spreadsheet.h"
#include "support/MainWindowFixture.h"
#include "support/RecordingSpreadsheet.h"
#include "ui/reports/Notrespondentsscanners.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace vornic;
using namespace Qt::StringLiterals;
using vornic::test::TestDatabase;

namespace {

const QString kClosedList = u"Операция невозможна: набор данных закрыт."_s;

QDateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QByteArray bytesOf(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The workbook calls of a first report in a freshly started spreadsheet application: the widths, the titles and
// then the given cells.
QStringList sheetCalls(const QStringList& cells) {
    return QStringList{u"attach"_s,
                       u"start"_s,
                       u"WorkBooks.add"_s,
                       u"WorkSheets(1)"_s,
                       u"Cells(1,1).ColumnWidth=25"_s,
                       u"Cells(1,2).ColumnWidth=25"_s,
                       u"Cells(1,3).ColumnWidth=25"_s,
                       u"Cells(1,1).Value=ID сканера "_s,
                       u"Cells(1,2).Value=ФИО абонента "_s,
                       u"Cells(1,3).Value=Адресс "_s} +
           cells + QStringList{u"Visible=true"_s, u"WorkBooks(1).SaveAs(MyTest)"_s};
}

class UnpolledObjectsTest : public vornic::test::MainWindowTest {
protected:
    RecordingSpreadsheetServer spreadsheet;
    ScopedSpreadsheetServer spreadsheetInForce{spreadsheet};
    QTemporaryDir saved;
    std::unique_ptr<TForm10> unpolled;

    void SetUp() override { ASSERT_TRUE(saved.isValid()); }
    void TearDown() override { unpolled.reset(); }

    // Made once, as start-up makes it after the main window; each call opens it as the menu does.
    void makeWindow() {
        openWindow();
        unpolled = std::make_unique<TForm10>(context());
    }
    void openList() {
        unpolled->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return unpolled->isActiveWindow(); }));
    }

    Ui::TForm10& form() { return unpolled->form(); }
    DataSet& list() { return unpolled->IBDataSet1(); }

    void formList(QDate start, QDate end) {
        form().DateTimePicker1->setDay(start);
        form().DateTimePicker2->setDay(end);
        unpolled->Button1Click();
    }

    // The scanners the list shows, in its order.
    QStringList listedScanners() {
        QStringList scanners;
        QAbstractItemModel* model = form().DBGrid1->model();
        while (model->canFetchMore({}))
            model->fetchMore({});
        for (int row = 0; row < model->rowCount(); ++row)
            scanners.append(model->index(row, 0).data().toString());
        return scanners;
    }

    struct SavedForms {
        QByteArray text;
        QByteArray xml;
        QStringList sheet;
    };

    // Saves the formed list in the three forms, the current row left on the last object each time, and checks
    // that every save moves back to the first.
    SavedForms saveInEveryForm() {
        const QString text = saved.filePath(u"Отчет.txt"_s);
        const QString xml = saved.filePath(u"Отчет.xml"_s);
        services.files.names = {text, xml};
        for (int item = 0; item < 3; ++item) {
            list().last();
            form().ComboBox1->setCurrentIndex(item);
            unpolled->Button2Click();
            EXPECT_EQ(list().currentRow(), list().isEmpty() ? -1 : 0);
        }
        return {bytesOf(text), bytesOf(xml), spreadsheet.calls};
    }
};

TEST_F(UnpolledObjectsTest, PeriodRunsFromTheStartDayAtMidnightToTheEndDayAtItsLastSecond) {
    const struct {
        const char* scanner;
        QDateTime reading;
        bool listed;
    } objects[] = {
        {"1", at(2018, 12, 1, 0, 0, 0), false},    // the first second of the period
        {"2", at(2018, 12, 9, 23, 59, 59), false}, // the last second of the period
        {"3", at(2018, 11, 30, 23, 59, 59), true}, // the last second before it
        {"4", at(2018, 12, 10, 0, 0, 0), true},    // the first second after it
        {"5", QDateTime(), true},                  // never heard from
    };
    QStringList expected;
    int id = 0;
    for (const auto& o : objects) {
        const int object = fixture.addObject(u"Объект "_s + QLatin1StringView(o.scanner), QLatin1StringView(o.scanner));
        if (o.reading.isValid())
            fixture.addReading({object, QString::number(++id), o.reading, {}, u"100"_s, 50, 20, 2, 0});
        if (o.listed)
            expected.append(QLatin1StringView(o.scanner));
    }
    // A reading without an object in the period, as another program writing to a shared database can leave one:
    // it is nobody's reading, and the objects above are listed as before.
    fixture.exec(u"insert into image_object_date (id_object, id_imag, dat, readings) "
                 u"values (null, 'no object', '2018-12-05 12:00:00', '100')"_s);
    makeWindow();
    openList();

    formList(QDate(2018, 12, 1), QDate(2018, 12, 9));

    EXPECT_EQ(listedScanners(), expected);

    // A period with no readings at all lists every object.
    formList(QDate(2019, 1, 1), QDate(2019, 1, 31));
    EXPECT_EQ(listedScanners(), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(UnpolledObjectsTest, SavesTheListTrimmedInTheFilesAndAsStoredInTheWorkbook) {
    // Read in the period, though mostly not numbers a bill could be made from: not listed.
    const int read = fixture.addObject(u"Петров П.П."_s, u"2001"_s, 0, u"ул. Ленина, 1"_s);
    const QVariant values[] = {u"1500"_s, u"ошибка"_s, u"1490"_s, u"1475"_s};
    for (int day = 0; day < 4; ++day)
        fixture.addReading({read, QString::number(day), at(2018, 12, 2 + day, 10), {}, values[day], 50, 20, 2, 0});
    // Read only after the period, with blanks and a tab around what the directory holds.
    const int late = fixture.addObject(u" Сидорова А.А.\t"_s, u"2002 "_s, 0, u"  ул. Мира, 5  "_s);
    fixture.addReading({late, u"9"_s, at(2018, 12, 10), {}, u"1490"_s, 50, 20, 2, 0});
    // Never read, no address.
    fixture.addObject(u"Котельная №3"_s, u"2003"_s);
    makeWindow();
    openList();
    formList(QDate(2018, 12, 1), QDate(2018, 12, 9));
    ASSERT_EQ(listedScanners(), (QStringList{u"2002 "_s, u"2003"_s}));

    const SavedForms forms = saveInEveryForm();

    EXPECT_EQ(forms.text, windows1251::encode(u" ID сканера:2002  ФИО абонента:Сидорова А.А.  Адресс:ул. Мира, 5\r\n"
                                              u" ID сканера:2003  ФИО абонента:Котельная №3  Адресс:\r\n"_s));
    EXPECT_EQ(QString::fromUtf8(forms.xml),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              u"<UR_1><row ID_SCANNER=\"2002\" fio=\"Сидорова А.А.\" address=\"ул. Мира, 5\"/>"
              u"<row ID_SCANNER=\"2003\" fio=\"Котельная №3\" address=\"\"/></UR_1>\n"_s);
    EXPECT_EQ(forms.sheet, sheetCalls({u"Cells(2,1).Value=2002 "_s, u"Cells(2,2).Value= Сидорова А.А.\t"_s,
                                       u"Cells(2,3).Value=  ул. Мира, 5  "_s, u"Cells(3,1).Value=2003"_s,
                                       u"Cells(3,2).Value=Котельная №3"_s, u"Cells(3,3).Value="_s}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(UnpolledObjectsTest, EmptyListSavesAnEmptyFileTheBareRootAndTheTitlesOnly) {
    const int object = fixture.addObject(u"Петров П.П."_s, u"2001"_s);
    fixture.addReading({object, u"1"_s, at(2018, 12, 5, 12), {}, u"1500"_s, 50, 20, 2, 0});
    makeWindow();
    openList();
    formList(QDate(2018, 12, 1), QDate(2018, 12, 9));
    ASSERT_TRUE(list().isOpen());
    ASSERT_TRUE(listedScanners().isEmpty());

    const SavedForms forms = saveInEveryForm();

    EXPECT_EQ(forms.text, QByteArray());
    EXPECT_TRUE(QFile::exists(saved.filePath(u"Отчет.txt"_s)));
    EXPECT_EQ(forms.xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><UR_1/>\n");
    EXPECT_EQ(forms.sheet, sheetCalls({}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(UnpolledObjectsTest, SaveWritesNothingBeforeTheListIsFormedOrForAFormatThatIsNoneOfTheItems) {
    fixture.addObject(u"Котельная №3"_s, u"2003"_s);
    makeWindow();
    const auto formed = [&] { formList(QDate(2018, 12, 1), QDate(2018, 12, 9)); };
    const struct {
        const char* name;
        std::function<void()> beforeOpening;
        std::function<void()> afterOpening;
        QString format;
        QStringList messages;
    } cases[] = {
        {"first opening", [] {}, [] {}, u"TXT"_s, {kClosedList}},
        {"opened again after forming", formed, [] {}, u"XLS"_s, {kClosedList}},
        {"typed format", [] {}, formed, u"PDF"_s, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.beforeOpening();
        openList();
        c.afterOpening();
        form().ComboBox1->setEditText(c.format);
        services.messages.shown.clear();
        services.files.names = {saved.filePath(u"Отчет.txt"_s)};

        unpolled->Button2Click();

        EXPECT_EQ(services.messages.texts(), c.messages);
        EXPECT_TRUE(services.files.calls.isEmpty());
        EXPECT_TRUE(spreadsheet.calls.isEmpty());
        unpolled->close();
    }
}

TEST_F(UnpolledObjectsTest, PickersKeepTheRunsDaysAndTheStartIsStoredAtClose) {
    // The first run: no stored start. The window is made at start-up, before midnight.
    services.clock.current = at(2014, 11, 11, 23, 50);
    makeWindow();
    EXPECT_EQ(form().DateTimePicker1->dateTime(), at(2014, 11, 1));
    EXPECT_EQ(form().DateTimePicker2->dateTime(), at(2014, 11, 11, 23, 59, 59));
    EXPECT_TRUE(services.messages.shown.isEmpty());

    // Opened after midnight: the end is still the day the program started.
    services.clock.current = at(2014, 11, 12, 0, 5);
    openList();
    EXPECT_EQ(form().DateTimePicker2->day(), QDate(2014, 11, 11));
    formList(QDate(2014, 10, 5), QDate(2014, 10, 20));
    EXPECT_TRUE(list().isOpen());

    QTest::keyClick(unpolled.get(), Qt::Key_Escape); // closes as the close box does
    EXPECT_FALSE(unpolled->isVisible());
    EXPECT_EQ(context().settings().readDate(u"TForm10"_s, u"DateTimePicker1"_s, QDate()), QDate(2014, 10, 5));
    EXPECT_EQ(context().settings().readString(u"TForm10"_s, u"DateTimePicker2"_s, u"none"_s), u"none"_s);

    // Opened again: the list is gone until it is formed; the days stay.
    openList();
    EXPECT_FALSE(list().isOpen());
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(form().DateTimePicker1->dateTime(), at(2014, 10, 5));
    EXPECT_EQ(form().DateTimePicker2->dateTime(), at(2014, 10, 20, 23, 59, 59));
    unpolled->close();

    // The next run starts from the stored day.
    TForm10 nextRun(context());
    EXPECT_EQ(nextRun.form().DateTimePicker1->dateTime(), at(2014, 10, 5));
    EXPECT_EQ(nextRun.form().DateTimePicker2->dateTime(), at(2014, 11, 12, 23, 59, 59));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

} // namespace
