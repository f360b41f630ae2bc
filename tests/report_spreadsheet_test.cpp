#include "base/Failure.h"
#include "reports/ExcelSheet.h"
#include "reports/ReportSave.h"
#include "reports/Spreadsheet.h"
#include "reports/XlsxSpreadsheet.h"
#include "support/RecordingSpreadsheet.h"
#include "support/TestServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

const QString kNoApplication =
    u"Невозможно открыть Microsoft Excel! Возможно этого приложения на компьютере не установлено. "_s;
const QString kNoWorkbook = u"Ошибка открытия книги Microsoft Excel!"_s;

// A small report in the shape every window gives: widths of its columns, then its cells.
SpreadsheetReport smallReport(const QString& first) {
    return {{25, 40}, {{1, 1, first}, {3, 1, u"12,5"_s}}};
}

QStringList callsOfSmallReport(int workbook) {
    return {u"WorkBooks.add"_s,
            u"WorkSheets(1)"_s,
            u"Cells(1,1).ColumnWidth=25"_s,
            u"Cells(1,2).ColumnWidth=40"_s,
            u"Cells(1,1).Value=Абонент"_s,
            u"Cells(3,1).Value=12,5"_s,
            u"Visible=true"_s,
            u"WorkBooks(%1).SaveAs(MyTest)"_s.arg(workbook)};
}

TEST(ReportSpreadsheetWriter, StartsTheApplicationOnceAndSavesEachReportsOwnWorkbook) {
    RecordingSpreadsheetServer server;
    RecordingMessageBoxes messages;

    writeSpreadsheetReport(server, messages, smallReport(u"Абонент"_s));
    EXPECT_EQ(server.calls, (QStringList{u"attach"_s, u"start"_s} + callsOfSmallReport(1)));

    // The next report attaches to the running application; its workbook is the second one there, and that one
    // is saved, not the first.
    server.calls.clear();
    writeSpreadsheetReport(server, messages, smallReport(u"Абонент"_s));
    EXPECT_EQ(server.calls, QStringList{u"attach"_s} + callsOfSmallReport(2));

    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(server.instance.use_count(), 1); // the report let go of the application, which keeps running
}

TEST(ReportSpreadsheetWriter, FailuresOfCellsAndOfSavingAreIgnored) {
    RecordingSpreadsheetServer server;
    server.run(1); // the operator's own workbook is open already
    server.refused = {u"Cells(1,1).Value=Абонент"_s, u"WorkBooks(2).SaveAs(MyTest)"_s};
    RecordingMessageBoxes messages;
    SpreadsheetReport report = smallReport(u"Абонент"_s);
    report.cells.insert(1, {0, 1, u"вне листа"_s});

    EXPECT_NO_THROW(writeSpreadsheetReport(server, messages, report));

    EXPECT_EQ(server.calls, QStringList{u"attach"_s} + callsOfSmallReport(2));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST(ReportSpreadsheetWriter, ApplicationOrWorkbookThatCannotBeHadIsToldAndEndsTheReportAtTheWidths) {
    const struct {
        const char* name;
        QStringList refused;
        QStringList calls;
        QStringList messages;
    } cases[] = {
        {"no application", {u"start"_s}, {u"attach"_s, u"start"_s}, {kNoApplication, kNoWorkbook}},
        {"no workbook", {u"WorkBooks.add"_s}, {u"attach"_s, u"start"_s, u"WorkBooks.add"_s}, {kNoWorkbook}},
        {"no sheet",
         {u"WorkSheets(1)"_s},
         {u"attach"_s, u"start"_s, u"WorkBooks.add"_s, u"WorkSheets(1)"_s},
         {kNoWorkbook}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSpreadsheetServer server;
        server.refused = c.refused;
        RecordingMessageBoxes messages;

        EXPECT_THROW(writeSpreadsheetReport(server, messages, smallReport(u"Абонент"_s)), Failure);

        EXPECT_EQ(server.calls, c.calls);
        EXPECT_EQ(messages.shown.size(), c.messages.size());
        EXPECT_EQ(messages.texts(), c.messages);
        for (const ShownMessage& shown : messages.shown)
            EXPECT_EQ(shown.kind, MessageKind::Information);
    }
}

TEST(ReportSave, AsksOnlyForTheContentOfTheChosenForm) {
    ScopedTestServices services;
    RecordingSpreadsheetServer server;
    ScopedSpreadsheetServer inForce(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    services.files.names = {dir.filePath(u"a.txt"_s), dir.filePath(u"a.xml"_s)};
    QStringList asked;
    // Each form gives only its own part; a part left out is an empty function, which throws when called.
    ReportContent text;
    text.lines = [&] {
        asked.append(u"lines"_s);
        return QStringList{u"x"_s};
    };
    ReportContent xml;
    xml.elements = [&] {
        asked.append(u"elements"_s);
        return QList<XmlElement>{};
    };
    ReportContent sheet;
    sheet.sheet = [&] {
        asked.append(u"sheet"_s);
        return smallReport(u"Абонент"_s);
    };

    saveReport(ReportFormat::Text, vornic::services(), text);
    saveReport(ReportFormat::Xml, vornic::services(), xml);
    saveReport(ReportFormat::Spreadsheet, vornic::services(), sheet);

    EXPECT_EQ(asked, (QStringList{u"lines"_s, u"elements"_s, u"sheet"_s}));
    EXPECT_TRUE(QFile::exists(dir.filePath(u"a.txt"_s)));
    EXPECT_TRUE(QFile::exists(dir.filePath(u"a.xml"_s)));
    EXPECT_EQ(server.calls, (QStringList{u"attach"_s, u"start"_s} + callsOfSmallReport(1)));
}

// Sets an environment variable for the object's lifetime.
class ScopedVariable final {
public:
    ScopedVariable(const char* name, const QString& value) : name_(name) {
        if (qEnvironmentVariableIsSet(name))
            previous_ = qgetenv(name);
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedVariable() {
        if (previous_)
            qputenv(name_, *previous_);
        else
            qunsetenv(name_);
    }
    Q_DISABLE_COPY_MOVE(ScopedVariable)

private:
    const char* name_;
    std::optional<QByteArray> previous_;
};

// What a spreadsheet program reads from a workbook file: the cells' texts by reference ("A1") and the columns'
// widths by number, both taken from the file's parts.
struct WorkbookContent {
    QMap<QString, QString> cells;
    QMap<int, double> widths;
};

QByteArray part(const QString& file, const QString& name) {
    QProcess unzip;
    unzip.start(u"unzip"_s, {u"-p"_s, file, name});
    EXPECT_TRUE(unzip.waitForFinished(10000));
    EXPECT_EQ(unzip.exitCode(), 0) << unzip.readAllStandardError().toStdString();
    return unzip.readAllStandardOutput();
}

WorkbookContent readWorkbook(const QString& file) {
    QStringList shared;
    QXmlStreamReader strings(part(file, u"xl/sharedStrings.xml"_s));
    while (!strings.atEnd()) {
        strings.readNext();
        if (strings.isStartElement() && strings.name() == u"si")
            shared.append(QString());
        else if (strings.isStartElement() && strings.name() == u"t")
            shared.last() += strings.readElementText();
    }
    EXPECT_FALSE(strings.hasError()) << strings.errorString().toStdString();
    WorkbookContent content;
    QXmlStreamReader sheet(part(file, u"xl/worksheets/sheet1.xml"_s));
    QString reference;
    QString type;
    while (!sheet.atEnd()) {
        sheet.readNext();
        if (!sheet.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = sheet.attributes();
        if (sheet.name() == u"col") {
            EXPECT_EQ(attributes.value(u"min"_s), attributes.value(u"max"_s));
            EXPECT_EQ(attributes.value(u"customWidth"_s), u"1");
            content.widths[attributes.value(u"min"_s).toInt()] = attributes.value(u"width"_s).toDouble();
        } else if (sheet.name() == u"c") {
            reference = attributes.value(u"r"_s).toString();
            type = attributes.value(u"t"_s).toString();
        } else if (sheet.name() == u"v") {
            const QString value = sheet.readElementText();
            // Text cells only: a reading must not turn into a number on the way.
            content.cells[reference] = type == u"s" ? shared.value(value.toInt()) : u"<%1 %2>"_s.arg(type, value);
        }
    }
    EXPECT_FALSE(sheet.hasError()) << sheet.errorString().toStdString();
    return content;
}

// A column width as the spreadsheet program shows it: the file holds it with the padding of the cell margins.
int shownWidth(double stored) {
    return static_cast<int>(std::floor(stored));
}

class XlsxWorkbookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        ASSERT_TRUE(QDir().mkpath(temp()));
    }

    QString home() const { return root_.filePath(u"home"_s); }
    QString documents() const { return root_.filePath(u"home/Documents"_s); }
    QString temp() const { return root_.filePath(u"tmp"_s); }

    void write(const SpreadsheetReport& report) { writeSpreadsheetReport(server_, services_.messages, report); }

    QTemporaryDir root_;
    ScopedVariable home_{"HOME", home()};
    ScopedVariable config_{"XDG_CONFIG_HOME", root_.filePath(u"config"_s)};
    ScopedVariable tmpdir_{"TMPDIR", temp()};
    ScopedTestServices services_;
    XlsxSpreadsheetServer server_{vornic::services()};
};

TEST_F(XlsxWorkbookTest, SavedWorkbookHoldsTheCellsAsTextAndTheColumnWidths) {
    const SpreadsheetReport report{{25, 25, 40},
                                   {{1, 1, u"Абонент: Иванов,  ул. Мира"_s},
                                    {2, 3, u"12,5"_s},
                                    {2, 1, u"0012"_s},
                                    {3, 2, u"  с пробелами  "_s},
                                    {3, 3, u"стерто"_s},
                                    {3, 3, QString()},
                                    {40, 30, u"16777217"_s},
                                    {0, 2, u"вне листа"_s}}};

    write(report);

    const QString file = QDir(documents()).filePath(u"MyTest.xlsx"_s);
    ASSERT_TRUE(QFile::exists(file)) << "the documents folder is made when missing";
    EXPECT_EQ(services_.shell.targets, QStringList{file});
    EXPECT_TRUE(services_.messages.shown.isEmpty());
    const WorkbookContent content = readWorkbook(file);
    EXPECT_EQ(content.cells, (QMap<QString, QString>{{u"A1"_s, u"Абонент: Иванов,  ул. Мира"_s},
                                                     {u"C2"_s, u"12,5"_s},
                                                     {u"A2"_s, u"0012"_s},
                                                     {u"B3"_s, u"  с пробелами  "_s},
                                                     {u"AD40"_s, u"16777217"_s}}));
    QMap<int, int> widths;
    for (auto it = content.widths.cbegin(); it != content.widths.cend(); ++it)
        widths[it.key()] = shownWidth(it.value());
    EXPECT_EQ(widths, (QMap<int, int>{{1, 25}, {2, 25}, {3, 40}}));
}

// A month of every object's readings is a workbook of over a million cells: it is written while the event loop
// turns, and once saved the application, kept for the run, no longer holds its cells.
TEST_F(XlsxWorkbookTest, LargeWorkbookIsWrittenWhileEventsAreHandledAndThenLivesOnInItsFile) {
    const std::shared_ptr<SpreadsheetApplication> application = server_.start();
    Workbook& workbook = application->WorkBooks().add();
    Worksheet& sheet = application->WorkSheets(1);
    constexpr int kRows = 20000;
    for (int row = 1; row <= kRows; ++row)
        for (int column = 1; column <= 4; ++column)
            sheet.Cells(row, column).setValue(QString::number(row * 10 + column));
    bool handledWhileSaving = false;
    bool saved = false;
    QTimer::singleShot(0, [&] { handledWhileSaving = !saved; });

    workbook.SaveAs(u"Месяц"_s);
    saved = true;

    EXPECT_TRUE(handledWhileSaving);
    const QString file = QDir(documents()).filePath(u"Месяц.xlsx"_s);
    const WorkbookContent content = readWorkbook(file);
    EXPECT_EQ(content.cells.size(), kRows * 4);
    EXPECT_EQ(content.cells.value(u"D20000"_s), u"200004"_s);
    EXPECT_EQ(content.cells.value(u"A1"_s), u"11"_s);
    EXPECT_THROW(sheet.Cells(1, 1).setValue(u"позже"_s), Failure);
    EXPECT_THROW(workbook.SaveAs(u"Ещё раз"_s), Failure);
    EXPECT_EQ(readWorkbook(file).cells.value(u"A1"_s), u"11"_s);
}

TEST_F(XlsxWorkbookTest, EachReportTakesTheNextFreeNameAndSavesItsOwnCells) {
    ASSERT_TRUE(QDir().mkpath(documents()));
    QFile earlier(QDir(documents()).filePath(u"MyTest.xlsx"_s));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier report");
    earlier.close();

    write(smallReport(u"первый"_s));
    write(smallReport(u"второй"_s));

    const QString second = QDir(documents()).filePath(u"MyTest (2).xlsx"_s);
    const QString third = QDir(documents()).filePath(u"MyTest (3).xlsx"_s);
    EXPECT_EQ(services_.shell.targets, (QStringList{second, third}));
    EXPECT_EQ(readWorkbook(second).cells.value(u"A1"_s), u"первый"_s);
    EXPECT_EQ(readWorkbook(third).cells.value(u"A1"_s), u"второй"_s);
    QFile kept(earlier.fileName());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("an earlier report"));
    ASSERT_TRUE(server_.instance());
    EXPECT_EQ(server_.instance()->count(), 2); // both in the one running application
}

TEST_F(XlsxWorkbookTest, HiddenApplicationOpensNothingUntilItIsMadeVisible) {
    const std::shared_ptr<SpreadsheetApplication> application = server_.start();
    application->WorkBooks().add();
    application->WorkSheets(1).Cells(1, 1).setValue(u"скрыто"_s);
    application->WorkBooks().item(1).SaveAs(u"Итоги.xlsx"_s);
    EXPECT_TRUE(services_.shell.targets.isEmpty());

    application->setVisible(true);

    const QString file = QDir(documents()).filePath(u"Итоги.xlsx"_s);
    EXPECT_EQ(services_.shell.targets, QStringList{file});
    EXPECT_EQ(readWorkbook(file).cells.value(u"A1"_s), u"скрыто"_s);
}

TEST_F(XlsxWorkbookTest, WorkbookGoesToTheTemporaryFolderOrIsToldWhenItCannotBeWrittenAnywhere) {
    // A file where a folder should be cannot be written into, whoever runs the test.
    const auto block = [](const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    ASSERT_TRUE(QDir().mkpath(home()));
    block(documents());

    write(smallReport(u"первый"_s));

    const QString inTemp = QDir(temp()).filePath(u"MyTest.xlsx"_s);
    EXPECT_EQ(services_.shell.targets, QStringList{inTemp});
    EXPECT_EQ(readWorkbook(inTemp).cells.value(u"A1"_s), u"первый"_s);
    EXPECT_TRUE(services_.messages.shown.isEmpty());

    ASSERT_TRUE(QDir(temp()).removeRecursively());
    block(temp());
    services_.shell.targets.clear();

    EXPECT_NO_THROW(write(smallReport(u"второй"_s)));

    EXPECT_TRUE(services_.shell.targets.isEmpty());
    ASSERT_EQ(services_.messages.shown.size(), 1);
    EXPECT_EQ(services_.messages.shown[0].kind, MessageKind::Information);
    const QString told = services_.messages.shown[0].text;
    EXPECT_TRUE(told.startsWith(u"Книгу Microsoft Excel «MyTest» не удалось сохранить."_s)) << told.toStdString();
    EXPECT_TRUE(told.contains(QDir::toNativeSeparators(documents()))) << told.toStdString();
}

} // namespace
} // namespace vornic
