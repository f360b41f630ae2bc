#include "app/Startup.h"
#include "base/DataFolder.h"
#include "base/IniFile.h"
#include "db/DataSet.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace vornic;
using vornic::test::ScopedDataHome;
using vornic::test::TestDatabase;

namespace {

// Types text as an operator would, one character and one change of the field at a time (the key simulation of
// the test library knows no Cyrillic keys).
void typeInto(QLineEdit* field, const QString& text) {
    for (const QChar c : text)
        field->insert(QString(c));
}

const QString kNoConnection = QStringLiteral("Нет подключения к Базе Данных. Проверьте подключение в Базе Данных.");

class ObjectListTest : public vornic::test::MainWindowTest {
protected:
    QStringList names() {
        QStringList result;
        DataSet& list = objects();
        list.fetchAll();
        const int fio = list.fieldIndex(QStringLiteral("FIO"));
        for (int row = 0; row < list.rowCount(); ++row)
            result.append(list.value(row, fio).toString());
        return result;
    }

    QVariant storedMark(int id) {
        return fixture.committedValue(QStringLiteral("SELECT CHECK_GRID FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id));
    }
};

} // namespace

TEST_F(ObjectListTest, TitleClicksSortAndFilterWithOneFlagForTheWholeList) {
    fixture.addObject(QStringLiteral("Борисов"), QStringLiteral("2"), 0, QStringLiteral("ул. Б"));
    fixture.addObject(QStringLiteral("Андреев"), QStringLiteral("1"), 1, QStringLiteral("ул. В"));
    fixture.addObject(QStringLiteral("Васильев"), QStringLiteral("3"), 1, QStringLiteral("ул. А"));
    openWindow();
    EXPECT_EQ(objects().selectSql(), QStringLiteral("SELECT *  FROM LIST_OBJECTS"));

    const int mark = 0, fio = 1, address = 2;
    struct Step {
        int column;
        QString select;
        QStringList names;
    };
    const QList<Step> steps = {
        {fio,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY FIO"),
         {QStringLiteral("Андреев"), QStringLiteral("Борисов"), QStringLiteral("Васильев")}},
        {address,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ADDRESS DESC"),
         {QStringLiteral("Андреев"), QStringLiteral("Борисов"), QStringLiteral("Васильев")}},
        {mark, QStringLiteral("select * from list_objects where list_objects.check_grid = 1"), {}},
        {mark, QStringLiteral("SELECT *  FROM LIST_OBJECTS"), {}},
        {address,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ADDRESS"),
         {QStringLiteral("Васильев"), QStringLiteral("Борисов"), QStringLiteral("Андреев")}},
        {mark, QStringLiteral("SELECT *  FROM LIST_OBJECTS"), {}}, // after an odd number of clicks: all objects
    };
    for (const Step& step : steps) {
        window->DBGrid1TitleClick(step.column);
        EXPECT_EQ(objects().selectSql(), step.select);
        EXPECT_EQ(objects().currentRow(), 0);
        if (!step.names.isEmpty()) {
            EXPECT_EQ(names(), step.names) << step.select.toStdString();
        }
    }
    window->DBGrid1TitleClick(mark); // the flag is set again: marked objects only
    QStringList marked = names();
    marked.sort();
    EXPECT_EQ(marked, QStringList({QStringLiteral("Андреев"), QStringLiteral("Васильев")}));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ObjectListTest, DoubleClickFlipsTheMarkAndCommitsIt) {
    const int empty = fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    fixture.exec(QStringLiteral("UPDATE LIST_OBJECTS SET CHECK_GRID = NULL WHERE ID_OBJECT=%1").arg(empty));
    const int unmarked = fixture.addObject(QStringLiteral("Б"), QStringLiteral("2"), 0);
    fixture.exec(QStringLiteral("UPDATE LIST_OBJECTS SET FIO='Б', STATUS='Работает' WHERE ID_OBJECT=%1").arg(unmarked));
    openWindow();
    window->DBGrid1TitleClick(1); // by name: А, Б

    window->DBGrid1DblClick();
    EXPECT_EQ(storedMark(empty), QVariant(0)) << "an empty mark becomes 0, not 1";
    objects().next();
    window->DBGrid1DblClick();
    EXPECT_EQ(storedMark(unmarked).toInt(), 1);
    window->DBGrid1DblClick();
    EXPECT_EQ(storedMark(unmarked).toInt(), 0);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT STATUS FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(unmarked))
                  .toString(),
              QStringLiteral("Работает"));
}

TEST_F(ObjectListTest, ARefusedMarkIsReportedAndTheListShowsTheStoredOne) {
    fixture.addObject(QStringLiteral("А"), QStringLiteral("1"), 0);
    fixture.makeReadOnly();
    openWindow();

    window->DBGrid1DblClick();
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(services.messages.shown[0].text.startsWith(
        QStringLiteral("Изменение не сохранено: база данных открыта только для чтения\n")))
        << services.messages.shown[0].text.toStdString();
    const QAbstractItemModel* list = window->form().DBGrid1->model();
    EXPECT_EQ(list->index(0, 0).data(Qt::EditRole).toInt(), 0);
    EXPECT_EQ(objects().state(), DataSet::State::Browse);
}

TEST_F(ObjectListTest, TypingFindsTheFirstObjectThatBeginsWithTheTextInAnyCase) {
    fixture.addObject(QStringLiteral("Семёнов"), QStringLiteral("100"));
    fixture.addObject(QStringLiteral("Ёлкин Семён"), QStringLiteral("200"));
    fixture.addObject(QStringLiteral("ёжиков"), QStringLiteral("300"));
    fixture.addObject(QStringLiteral("Сёмин"), QStringLiteral("210"));
    openWindow();
    window->DBGrid1TitleClick(1); // ordered by name

    typeInto(window->form().Edit1, QStringLiteral("сё"));
    EXPECT_EQ(objects().field(QStringLiteral("FIO")).asString(), QStringLiteral("Сёмин"));
    window->form().Edit1->clear();
    typeInto(window->form().Edit1, QStringLiteral("ЁЛ"));
    EXPECT_EQ(objects().field(QStringLiteral("FIO")).asString(), QStringLiteral("Ёлкин Семён"));
    typeInto(window->form().Edit1, QStringLiteral("x"));
    EXPECT_EQ(objects().field(QStringLiteral("FIO")).asString(), QStringLiteral("Ёлкин Семён"))
        << "no match leaves the current object";

    window->form().ComboBox1->setCurrentIndex(2); // ID сканера; choosing alone does not search
    EXPECT_EQ(objects().field(QStringLiteral("FIO")).asString(), QStringLiteral("Ёлкин Семён"));
    window->form().Edit1->setText(QStringLiteral("21"));
    EXPECT_EQ(objects().field(QStringLiteral("FIO")).asString(), QStringLiteral("Сёмин"));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ObjectListTest, SelectedRowIsGreyAndTheMarkCellStaysWhiteWithItsPicture) {
    fixture.addObject(QStringLiteral("Отмеченный"), QStringLiteral("1"), 1);
    fixture.addObject(QStringLiteral("Без отметки"), QStringLiteral("2"), 0);
    openWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    DbGrid* grid = window->form().DBGrid1;
    ASSERT_EQ(objects().currentRow(), 0);

    const QImage image = grid->viewport()->grab().toImage();
    const QRect markOfSelected = grid->visualRect(grid->model()->index(0, 0));
    const QRect markOfOther = grid->visualRect(grid->model()->index(1, 0));
    const QRect addressOfSelected = grid->visualRect(grid->model()->index(0, 2));
    const QRect addressOfOther = grid->visualRect(grid->model()->index(1, 2));

    const auto pixel = [&](const QRect& cell, int dx, int dy) {
        return QColor(image.pixel(cell.left() + dx, cell.top() + dy));
    };
    EXPECT_EQ(pixel(addressOfSelected, addressOfSelected.width() - 3, 2), QColor(221, 221, 221));
    EXPECT_EQ(pixel(addressOfOther, addressOfOther.width() - 3, 2), QColor(Qt::white));
    // The mark cell of the selected row is white; the tick is green, centred, at the cell's top.
    EXPECT_EQ(pixel(markOfSelected, 1, markOfSelected.height() - 2), QColor(Qt::white));
    const int left = (markOfSelected.left() + markOfSelected.left() + markOfSelected.width() - 16) / 2;
    bool green = false;
    for (int x = left; x < left + 16; ++x)
        for (int y = markOfSelected.top(); y < markOfSelected.top() + 16; ++y) {
            const QColor c(image.pixel(x, y));
            green = green || (c.green() > 100 && c.red() < 80 && c.blue() < 80);
        }
    EXPECT_TRUE(green);
    bool onlyWhite = true;
    for (int x = markOfOther.left(); x < markOfOther.right(); ++x)
        for (int y = markOfOther.top(); y < markOfOther.bottom(); ++y)
            onlyWhite = onlyWhite && QColor(image.pixel(x, y)) == QColor(Qt::white);
    EXPECT_TRUE(onlyWhite) << "an unmarked object shows the plain white picture";
}

TEST_F(ObjectListTest, LayoutIsRestoredAtStartAndSavedAtClose) {
    fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    openWindow();
    EXPECT_GE(window->form().Panel2->width(), 488) << "no settings file: the panel opens at its minimum";
    window->close();
    IniFile options(fixture.folder() + QStringLiteral("options.ini"));
    ASSERT_TRUE(QFile::exists(options.path()));
    for (const QString& key :
         {QStringLiteral("Panel2"), QStringLiteral("DBGrid1_FIO"), QStringLiteral("DBGrid1_POWER_DEVICES"),
          QStringLiteral("DBGrid2"), QStringLiteral("DBGrid2_DAT"), QStringLiteral("DBGrid2_CSQ")})
        EXPECT_GT(options.readInteger(QStringLiteral("TForm1"), key, -1), 0) << key.toStdString();

    options.writeInteger(QStringLiteral("TForm1"), QStringLiteral("Panel2"), 300);
    options.writeInteger(QStringLiteral("TForm1"), QStringLiteral("DBGrid1_ADDRESS"), 157);
    options.writeInteger(QStringLiteral("TForm1"), QStringLiteral("DBGrid2_BAT"), 91);
    openWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->form().Panel2->width(), 488) << "never narrower than 488 pixels";
    EXPECT_EQ(window->form().DBGrid1->columnWidth(2), 157);
    EXPECT_EQ(window->form().DBGrid2->columnWidth(5), 91);
}

TEST(StartUp, WithoutADatabaseTheOperatorIsToldWhyAndTheProcessEndsWithCodeOne) {
    ScopedTestServices services;
    const auto expectRefusal = [&](const QString& reason) {
        EXPECT_EQ(createClientWindows(dataFolder()), nullptr);
        ASSERT_EQ(services.messages.shown.size(), 1);
        // The line operators know stays as it was; a blank line, then why.
        const QStringList lines = services.messages.shown[0].text.split(u'\n');
        ASSERT_GE(lines.size(), 4) << services.messages.shown[0].text.toStdString();
        EXPECT_EQ(lines[0], kNoConnection);
        EXPECT_EQ(lines[1], QString());
        EXPECT_EQ(lines[2], reason);
        EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Сообщение базы данных: "))) << lines[3].toStdString();
        EXPECT_EQ(services.process.exitCodes, QList<int>{1});
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
        services.messages.shown.clear();
        services.process.exitCodes.clear();
    };

    for (const bool garbageFile : {false, true}) {
        SCOPED_TRACE(garbageFile ? "garbage file" : "no file");
        QTemporaryDir home;
        ScopedDataHome scopedHome(home.path());
        const QString file = home.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB");
        if (garbageFile) {
            QDir(home.path()).mkpath(QStringLiteral("Vornic_Client/DB"));
            QFile garbage(file);
            ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
            garbage.write(QByteArray(40000, 'x'));
        }
        expectRefusal(garbageFile ? QStringLiteral("Файл %1 не является базой данных или повреждён").arg(file)
                                  : QStringLiteral("Файл базы данных не найден: %1").arg(file));
    }

    TestDatabase fixture;
    ScopedDataHome scopedHome(fixture.dataHome());
    const auto otherCopy = fixture.holdOpenInAnotherProcess();
    if (!otherCopy)
        GTEST_SKIP() << "no command-line database tool to hold the database in another process";
    expectRefusal(QStringLiteral("База данных уже открыта другой копией программы"));
}

// A refused schema description leaves the database as it was, so the program starts as on any other day.
TEST(StartUp, ARefusedSchemaDescriptionIsReportedAndTheListsOpenAsUsual) {
    const struct {
        const char* what;
        QByteArray xml;
        QString reported;
    } cases[] = {
        {"no well-formed XML", "<root><LIST_OBJECTS>", QStringLiteral("не является правильным XML-документом")},
        {"nested 200,000 deep", QByteArray("<a>").repeated(200000) + QByteArray("</a>").repeated(200000),
         QStringLiteral("элементы вложены глубже 32 уровней")},
        {"refused by the database",
         R"xml(<root><LIST_OBJECTS><c name="NOTE" type="INTEGER"/>
               <c name="NOTE_TWO" type="VARCHAR(10) CHARACTER SET NOSUCH"/></LIST_OBJECTS></root>)xml",
         QStringLiteral("в таблице LIST_OBJECTS запись 2 (столбец NOTE_TWO)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTestServices services;
        TestDatabase fixture;
        fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("S1"));
        fixture.addObject(QStringLiteral("Петров"), QStringLiteral("S2"));
        ScopedDataHome home(fixture.dataHome());
        QFile description(fixture.folder() + QStringLiteral("compare_bd.xml"));
        ASSERT_TRUE(description.open(QIODevice::WriteOnly));
        description.write(c.xml);
        description.close();

        std::unique_ptr<ClientWindows> windows = createClientWindows(fixture.folder());
        ASSERT_NE(windows, nullptr);
        ASSERT_EQ(services.messages.shown.size(), 1);
        EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
        EXPECT_TRUE(services.messages.shown[0].text.contains(c.reported))
            << services.messages.shown[0].text.toStdString();
        DataSet& objects = windows->form1->IBDataSet1();
        ASSERT_TRUE(objects.isOpen());
        objects.fetchAll();
        EXPECT_EQ(objects.rowCount(), 2);
        EXPECT_EQ(objects.fieldIndex(QStringLiteral("NOTE")), -1) << "nothing of the description is applied";
        EXPECT_TRUE(description.exists()) << "kept, so that the next start reports it again";
        EXPECT_NE(windows->form13, nullptr) << "start-up goes on with the next windows";
        EXPECT_TRUE(services.process.exitCodes.isEmpty());
    }
}
