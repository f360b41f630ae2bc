#include "base/IniFile.h"
#include "db/DataSet.h"
#include "db/ObjectDirectory.h"
#include "db/Statement.h"
#include "support/MainWindowFixture.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbGrid.h"
#include "ui/objects/Editor_bd.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

using namespace vornic;

namespace {

const QString kRequiredFields = QStringLiteral("Заполните поля 'ФИО абонента (Название объекта)' и 'ID сканера'");
const QString kDuplicateScanner = QStringLiteral("«ID сканера» уже существуют в вашей базе.");
const QString kNothingChanged = QStringLiteral("Вы не чего не изменили");

// What is committed for an object: the object itself, its journal entries, its readings.
struct Stored {
    int objects, journal, readings;
    friend bool operator==(const Stored&, const Stored&) = default;
    friend void PrintTo(const Stored& s, std::ostream* out) {
        *out << "{objects " << s.objects << ", journal " << s.journal << ", readings " << s.readings << "}";
    }
};

// The directory as start-up makes it: after the main window has connected the database.
class ObjectDirectoryTest : public vornic::test::MainWindowTest {
protected:
    std::unique_ptr<TForm4> directory;

    void openDirectory() {
        openWindow();
        directory = std::make_unique<TForm4>(context());
    }

    Ui::TForm4& form() { return directory->form(); }
    DataSet& list() { return directory->IBDataSet1(); }

    // Replaces a field's text as the operator would: select it all, delete, type the new text (one character at a
    // time through the field's own input path, since the key simulation knows no Cyrillic keys).
    static void retype(QLineEdit* field, const QString& text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        for (const QChar c : text)
            field->insert(QString(c));
    }

    void fillNewObject(const QString& fio, const QString& scanner) {
        retype(form().DBEdit2, fio);
        retype(form().DBEdit4, scanner);
    }

    int committed(const QString& sql) { return fixture.committedValue(sql).toInt(); }
    // On the program's own connection, so that what is stored but not yet committed counts too.
    int pending(const QString& sql) {
        Statement statement(context().database, sql);
        statement.open();
        return statement.fetch() ? statement.value(0).toInt() : -1;
    }
    int pendingObjects() { return pending(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")); }

    Stored stored(int object) {
        const auto rows = [&](const QString& table) {
            return committed(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE ID_OBJECT=%2").arg(table).arg(object));
        };
        return {rows(QStringLiteral("LIST_OBJECTS")), rows(QStringLiteral("STATUS_OBJECT")),
                rows(QStringLiteral("IMAGE_OBJECT_DATE"))};
    }

    QString committedText(const QString& field, int object) {
        return fixture
            .committedValue(QStringLiteral("SELECT %1 FROM LIST_OBJECTS WHERE ID_OBJECT=%2").arg(field).arg(object))
            .toString();
    }

    static QStringList column(DataSet& dataSet, const QString& field) {
        dataSet.fetchAll();
        QStringList values;
        const int index = dataSet.fieldIndex(field);
        for (int row = 0; row < dataSet.rowCount(); ++row)
            values.append(dataSet.value(row, index).toString());
        return values;
    }

    QString current(const QString& field) { return list().field(field).asString(); }

    void moveToScanner(const QString& scanner) {
        const auto row = column(list(), QStringLiteral("ID_SCANNER")).indexOf(scanner);
        ASSERT_GE(row, 0);
        list().moveTo(static_cast<int>(row));
    }

    // Whether the panel's seven fields are enabled; they always go together.
    bool editorEnabled() {
        const bool enabled = form().DBEdit2->isEnabled();
        for (QWidget* field : std::initializer_list<QWidget*>{form().DBEdit3, form().DBEdit4, form().DBEdit1,
                                                              form().DBEdit6, form().DBEdit5, form().DBComboBox1})
            EXPECT_EQ(field->isEnabled(), enabled) << field->objectName().toStdString();
        return enabled;
    }

    void addJournalEntry(int object) {
        fixture.exec(QStringLiteral("INSERT INTO STATUS_OBJECT (STATUS_DATE, ID_OBJECT, STATUS_STRING) "
                                    "VALUES ('2024-05-01', %1, 'Заменена батарея')")
                         .arg(object));
    }

    void addReading(int object, const QString& id) {
        fixture.addReading(
            {object, id, QDateTime(QDate(2024, 5, 2), QTime(8, 0)), {}, QStringLiteral("1"), {}, {}, {}, 0});
    }

    void pressInList() {
        QWidget* rows = form().DBGrid1->viewport();
        QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(20, form().DBGrid1->rowViewportPosition(0) + 4));
    }
};

} // namespace

TEST_F(ObjectDirectoryTest, ANewObjectIsCheckedThenStoredMarkedAndWithoutStatus) {
    fixture.addObject(QStringLiteral("Старый"), QStringLiteral("100"));
    openDirectory();
    EXPECT_FALSE(editorEnabled());

    directory->Button_add_bdClick();
    EXPECT_TRUE(directory->adding());
    EXPECT_TRUE(editorEnabled());
    EXPECT_EQ(form().Button_add_bd->text(), QStringLiteral("Сохранить новую запись"));
    EXPECT_EQ(list().state(), DataSet::State::Insert);

    struct Refused {
        QString fio, scanner, message;
    };
    const QList<Refused> refusals = {
        {QStringLiteral("Новый"), QString(), kRequiredFields},
        {QString(), QStringLiteral("200"), kRequiredFields},
        {QStringLiteral("Новый"), QStringLiteral("100"), kDuplicateScanner},
    };
    for (const Refused& refused : refusals) {
        SCOPED_TRACE(refused.message.toStdString() + " / " + refused.scanner.toStdString());
        services.messages.shown.clear();
        fillNewObject(refused.fio, refused.scanner);
        directory->Button_add_bdClick();
        EXPECT_EQ(services.messages.texts(), QStringList{refused.message});
        EXPECT_EQ(pendingObjects(), 1) << "nothing is stored, not even pending";
        EXPECT_TRUE(directory->adding());
        EXPECT_TRUE(editorEnabled());
        EXPECT_EQ(list().state(), DataSet::State::Insert) << "the new row stays open with the operator's input";
        EXPECT_EQ(current(QStringLiteral("FIO")), refused.fio);
    }

    services.messages.shown.clear();
    fillNewObject(QStringLiteral("Новый абонент"), QStringLiteral("200"));
    retype(form().DBEdit5, QStringLiteral("+7 912 000-00-00"));
    QTest::keyClick(form().DBComboBox1, Qt::Key_Down); // the drop-down's second item
    directory->Button_add_bdClick();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_FALSE(directory->adding());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(form().Button_add_bd->text(), QStringLiteral("Новая запись"));

    const int id = committed(QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS WHERE ID_SCANNER='200'"));
    ASSERT_GT(id, 0);
    EXPECT_EQ(committedText(QStringLiteral("FIO"), id), QStringLiteral("Новый абонент"));
    EXPECT_EQ(committedText(QStringLiteral("SIM_CARD"), id), QStringLiteral("+7 912 000-00-00"));
    EXPECT_EQ(committedText(QStringLiteral("POWER_DEVICES"), id), QStringLiteral("Электрическая сеть"));
    EXPECT_EQ(committedText(QStringLiteral("CHECK_GRID"), id), QStringLiteral("1"));
    EXPECT_TRUE(
        fixture.committedValue(QStringLiteral("SELECT STATUS FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id)).isNull());
    // The list shows the stored object, key included, as its current row.
    EXPECT_EQ(list().field(QStringLiteral("ID_OBJECT")).asInteger(), id);
    EXPECT_EQ(form().DBEdit2->text(), QStringLiteral("Новый абонент"));
}

TEST_F(ObjectDirectoryTest, AJustAddedObjectCanBeChangedAndRemovedAtOnce) {
    openDirectory();
    directory->Button_add_bdClick();
    fillNewObject(QStringLiteral("Добавленный"), QStringLiteral("300"));
    directory->Button_add_bdClick();
    const int id = committed(QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS WHERE ID_SCANNER='300'"));
    ASSERT_GT(id, 0);

    directory->Button1Click();
    retype(form().DBEdit3, QStringLiteral("ул. Новая, 1"));
    directory->Button1Click();
    EXPECT_EQ(committedText(QStringLiteral("ADDRESS"), id), QStringLiteral("ул. Новая, 1"));

    addJournalEntry(id);
    addReading(id, QStringLiteral("r1"));
    directory->Button_remove_bdClick();
    EXPECT_EQ(stored(id), (Stored{0, 0, 0}));
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}

// Readings find their object by its scanner number, so a change may not give an object another object's number,
// neither by "Сохранить изменения" nor by a key that moves the list off the changed row. The name is not required
// on a change.
TEST_F(ObjectDirectoryTest, AChangeRefusesAnotherObjectsScannerAndStoresOneKeepingItsOwn) {
    const int first = fixture.addObject(QStringLiteral("Первый"), QStringLiteral("860001"), 0);
    const int second = fixture.addObject(QStringLiteral("Второй"), QStringLiteral("860002"), 0);
    fixture.exec(QStringLiteral("UPDATE LIST_OBJECTS SET STATUS='Работает' WHERE ID_OBJECT=%1").arg(second));
    openDirectory();
    directory->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return directory->isActiveWindow(); }));
    moveToScanner(QStringLiteral("860002"));

    directory->Button1Click();
    EXPECT_TRUE(directory->changing());
    EXPECT_TRUE(editorEnabled());
    EXPECT_EQ(form().Button1->text(), QStringLiteral("Сохранить изменения"));
    retype(form().DBEdit4, QStringLiteral("860001")); // the first object's scanner
    retype(form().DBEdit2, QString());                // and no name
    retype(form().DBComboBox1->lineEdit(), QStringLiteral("Солнечная панель"));
    const auto expectRefused = [&] {
        EXPECT_EQ(services.messages.texts(), QStringList{kDuplicateScanner});
        services.messages.shown.clear();
        EXPECT_TRUE(directory->changing());
        EXPECT_TRUE(editorEnabled());
        EXPECT_EQ(list().state(), DataSet::State::Edit) << "the row stays open with the operator's input";
        EXPECT_EQ(form().DBEdit4->text(), QStringLiteral("860001"));
        EXPECT_EQ(pending(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS WHERE ID_SCANNER='860001'")), 1)
            << "nothing is stored, not even pending";
        EXPECT_EQ(committedText(QStringLiteral("ID_SCANNER"), second), QStringLiteral("860002"));
    };
    {
        SCOPED_TRACE("Сохранить изменения");
        directory->Button1Click();
        expectRefused();
    }
    {
        SCOPED_TRACE("a key moving the list");
        form().DBGrid1->setFocus();
        QTest::keyClick(form().DBGrid1, list().currentRow() > 0 ? Qt::Key_Up : Qt::Key_Down);
        expectRefused();
        EXPECT_EQ(current(QStringLiteral("ID_OBJECT")).toInt(), second) << "the list stays on the changed row";
    }

    // Its own number back: the change is stored, whatever else it carries.
    retype(form().DBEdit4, QStringLiteral("860002"));
    directory->Button1Click();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_FALSE(directory->changing());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(form().Button1->text(), QStringLiteral("Изменить запись"));
    EXPECT_EQ(committedText(QStringLiteral("ID_SCANNER"), second), QStringLiteral("860002"));
    EXPECT_EQ(committedText(QStringLiteral("FIO"), second), QString());
    EXPECT_EQ(committedText(QStringLiteral("POWER_DEVICES"), second), QStringLiteral("Солнечная панель"));
    EXPECT_EQ(committedText(QStringLiteral("STATUS"), second), QStringLiteral("Работает")) << "the status is not its";
    EXPECT_EQ(committedText(QStringLiteral("CHECK_GRID"), second), QStringLiteral("0"));
    EXPECT_EQ(committedText(QStringLiteral("ID_SCANNER"), first), QStringLiteral("860001"));
}

// The messages of "Сохранить изменения" say what happened: "Вы не чего не изменили" only when nothing was typed,
// and a refusal its own reason with the panel left open.
TEST_F(ObjectDirectoryTest, SavingAChangeSaysWhatHappened) {
    fixture.addObject(QStringLiteral("Андреев"), QStringLiteral("100"));
    fixture.addObject(QStringLiteral("Борисов"), QStringLiteral("200"));
    openDirectory();

    // Nothing typed.
    directory->Button1Click();
    directory->Button1Click();
    EXPECT_EQ(services.messages.texts(), QStringList{kNothingChanged});
    EXPECT_FALSE(directory->changing());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(form().Button1->text(), QStringLiteral("Изменить запись"));

    // A search during a change leaves the list on the row being changed, and the change is stored by the button.
    services.messages.shown.clear();
    directory->Button1Click();
    retype(form().DBEdit3, QStringLiteral("Лесная, 1"));
    form().Edit1->setText(QStringLiteral("Бор"));
    EXPECT_EQ(list().field(QStringLiteral("FIO")).asString(), QStringLiteral("Андреев"));
    directory->Button1Click();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT ADDRESS FROM LIST_OBJECTS WHERE FIO='Андреев'")),
              QVariant(QStringLiteral("Лесная, 1")));

    // A letter the database cannot hold: refused with that reason, the typed text kept to be corrected.
    directory->Button1Click();
    retype(form().DBEdit3, QStringLiteral("Лесная, 1 ✓"));
    directory->Button1Click();
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_TRUE(services.messages.shown[0].text.contains(QStringLiteral("«✓»")))
        << services.messages.texts()[0].toStdString();
    EXPECT_TRUE(directory->changing());
    EXPECT_EQ(form().DBEdit3->text(), QStringLiteral("Лесная, 1 ✓"));
    retype(form().DBEdit3, QStringLiteral("Лесная, 2"));
    directory->Button1Click();
    EXPECT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT ADDRESS FROM LIST_OBJECTS WHERE FIO='Андреев'")),
              QVariant(QStringLiteral("Лесная, 2")));
}

TEST_F(ObjectDirectoryTest, RemovalTakesTheJournalAndReadingsAlongAndAsksNothing) {
    const int gone = fixture.addObject(QStringLiteral("Удаляемый"), QStringLiteral("100"));
    const int kept = fixture.addObject(QStringLiteral("Остающийся"), QStringLiteral("200"));
    for (const int object : {gone, kept}) {
        addJournalEntry(object);
        addReading(object, QStringLiteral("r%1").arg(object));
    }
    addJournalEntry(gone);
    addReading(gone, QStringLiteral("r-extra"));
    openDirectory();
    moveToScanner(QStringLiteral("100"));
    objects().moveTo(1);

    directory->Button_remove_bdClick();
    EXPECT_EQ(stored(gone), (Stored{0, 0, 0}));
    EXPECT_EQ(stored(kept), (Stored{1, 1, 1}));
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    // Both lists are read again after the full commit; the main window stands on its first object.
    EXPECT_EQ(column(list(), QStringLiteral("FIO")), QStringList{QStringLiteral("Остающийся")});
    ASSERT_TRUE(objects().isOpen());
    EXPECT_EQ(column(objects(), QStringLiteral("FIO")), QStringList{QStringLiteral("Остающийся")});
    EXPECT_EQ(objects().currentRow(), 0);
}

TEST_F(ObjectDirectoryTest, ChangeAndRemoveDoNothingWithoutAStoredCurrentObject) {
    openDirectory();
    for (const bool newRowOpen : {false, true}) {
        SCOPED_TRACE(newRowOpen ? "a new row open" : "an empty list");
        if (newRowOpen) {
            fixture.addObject(QStringLiteral("Прежний"), QStringLiteral("100"));
            list().reopen();
            directory->Button_add_bdClick();
            fillNewObject(QStringLiteral("Новый"), QStringLiteral("200"));
        }
        directory->Button1Click();
        directory->Button_remove_bdClick();
        EXPECT_FALSE(directory->changing());
        EXPECT_EQ(form().Button1->text(), QStringLiteral("Изменить запись "));
        EXPECT_EQ(pendingObjects(), newRowOpen ? 1 : 0);
        EXPECT_EQ(list().state(), newRowOpen ? DataSet::State::Insert : DataSet::State::Browse);
        EXPECT_EQ(editorEnabled(), newRowOpen);
        EXPECT_EQ(current(QStringLiteral("FIO")), newRowOpen ? QStringLiteral("Новый") : QString());
        EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    }
}

TEST_F(ObjectDirectoryTest, SortsAlternateTheirDirectionAcrossColumns) {
    fixture.addObject(QStringLiteral("Борисов"), QStringLiteral("3"), 0, QStringLiteral("ул. А"));
    fixture.addObject(QStringLiteral("Андреев"), QStringLiteral("1"), 0, QStringLiteral("ул. В"));
    fixture.addObject(QStringLiteral("Васильев"), QStringLiteral("2"), 0, QStringLiteral("ул. Б"));
    openDirectory();
    EXPECT_EQ(list().selectSql(), QStringLiteral("SELECT *  FROM LIST_OBJECTS"));

    struct Click {
        int column;
        QString select;
        QString field;
        QStringList order;
    };
    const QList<Click> clicks = {
        {0,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY FIO"),
         QStringLiteral("FIO"),
         {QStringLiteral("Андреев"), QStringLiteral("Борисов"), QStringLiteral("Васильев")}},
        {1,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ADDRESS DESC"),
         QStringLiteral("ADDRESS"),
         {QStringLiteral("ул. В"), QStringLiteral("ул. Б"), QStringLiteral("ул. А")}},
        {2,
         QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ID_SCANNER"),
         QStringLiteral("ID_SCANNER"),
         {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}},
    };
    for (const Click& click : clicks) {
        list().moveTo(2);
        directory->DBGrid1TitleClick(click.column);
        EXPECT_EQ(list().selectSql(), click.select);
        EXPECT_EQ(list().currentRow(), 0);
        EXPECT_EQ(column(list(), click.field), click.order) << click.select.toStdString();
    }
}

TEST_F(ObjectDirectoryTest, SearchFindsTheBeginningOfTheChosenFieldInAnyLetterCase) {
    fixture.addObject(QStringLiteral("Иванов Пётр"), QStringLiteral("7001"), 0, QStringLiteral("Lenina 5"));
    fixture.addObject(QStringLiteral("ЖЭК №3"), QStringLiteral("7002"), 0, QStringLiteral("ул. Садовая"));
    fixture.addObject(QStringLiteral("Школа"), QStringLiteral("8003"), 0, QStringLiteral("ул. Ёлочная"));
    openDirectory();

    struct Search {
        int choice;
        QString text;
        QString scanner; // of the row the list stands on afterwards
    };
    const QList<Search> searches = {
        {0, QStringLiteral("жэк"), QStringLiteral("7002")},
        {0, QStringLiteral("ИВАНОВ П"), QStringLiteral("7001")},
        {0, QStringLiteral("шКОЛ"), QStringLiteral("8003")},
        {0, QStringLiteral("Щ"), QStringLiteral("8003")}, // no match: the list stays
        {1, QStringLiteral("LENIN"), QStringLiteral("7001")},
        {1, QStringLiteral("УЛ. ё"), QStringLiteral("8003")},
        {2, QStringLiteral("700"), QStringLiteral("7001")},
    };
    for (const Search& search : searches) {
        form().ComboBox1->setCurrentIndex(search.choice);
        form().Edit1->setText(search.text);
        EXPECT_EQ(current(QStringLiteral("ID_SCANNER")), search.scanner) << search.text.toStdString();
    }
    form().ComboBox1->setCurrentIndex(0); // choosing another field does not search again
    EXPECT_EQ(current(QStringLiteral("ID_SCANNER")), QStringLiteral("7001"));
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    // The chooser takes only its items: typing into it picks an item or nothing, never a text of its own that
    // would name no field at the next search.
    directory->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(directory.get()));
    form().ComboBox1->setFocus();
    QTest::keyClicks(form().ComboBox1, QStringLiteral("phone"));
    EXPECT_EQ(form().ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form().ComboBox1->currentText(), QStringLiteral("ФИО абонента  "));
    form().Edit1->setText(QStringLiteral("Ш"));
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(current(QStringLiteral("ID_SCANNER")), QStringLiteral("8003"));
}

TEST_F(ObjectDirectoryTest, ANewObjectIsShownMarkedInTheMainWindowAfterClosing) {
    fixture.addObject(QStringLiteral("Прежний"), QStringLiteral("100"), 0);
    openDirectory();
    directory->show();
    directory->Button_add_bdClick();
    fillNewObject(QStringLiteral("Новый"), QStringLiteral("200"));
    directory->Button_add_bdClick();
    EXPECT_EQ(column(objects(), QStringLiteral("FIO")), QStringList{QStringLiteral("Прежний")});

    directory->close();
    const QStringList names = column(objects(), QStringLiteral("FIO"));
    const auto row = names.indexOf(QStringLiteral("Новый"));
    ASSERT_GE(row, 0) << names.join(u',').toStdString();
    EXPECT_EQ(objects().value(static_cast<int>(row), objects().fieldIndex(QStringLiteral("CHECK_GRID"))).toInt(), 1);
    EXPECT_EQ(objects().currentRow(), 0);
    // The layout went to the directory's own section.
    EXPECT_EQ(context().settings().readInteger(QStringLiteral("TForm4"), QStringLiteral("DBGrid1_FIO"), 0),
              form().DBGrid1->columnWidth(0));
}

TEST_F(ObjectDirectoryTest, ColumnWidthsComeFromTheDirectorysSectionOrKeepTheirDesign) {
    fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    openDirectory();
    const int designed = form().DBGrid1->columnWidth(0);
    IniFile settings = context().settings();
    settings.writeInteger(QStringLiteral("TForm4"), QStringLiteral("DBGrid1_POWER_DEVICES"), 123);
    settings.writeInteger(QStringLiteral("TForm1"), QStringLiteral("DBGrid1_FIO"), 321); // not this window's

    directory->show();
    QTRY_COMPARE(form().DBGrid1->columnWidth(6), 123);
    EXPECT_EQ(form().DBGrid1->columnWidth(0), designed);
    EXPECT_GT(designed, 0);
}

TEST_F(ObjectDirectoryTest, TheListOffersNoEditingAndNoWayAroundThePanel) {
    fixture.addObject(QStringLiteral("Андреев"), QStringLiteral("100"));
    fixture.addObject(QStringLiteral("Борисов"), QStringLiteral("200"));
    openDirectory();
    directory->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(directory.get()));
    DbGrid* grid = form().DBGrid1;

    // Keys that edit a list elsewhere change nothing here.
    grid->setFocus();
    for (const auto key : {Qt::Key_Insert, Qt::Key_Delete, Qt::Key_F2, Qt::Key_Return, Qt::Key_Space})
        QTest::keyClick(grid, key);
    QTest::keyClicks(grid, QStringLiteral("xyz"));
    EXPECT_EQ(list().state(), DataSet::State::Browse);
    EXPECT_EQ(list().rowCount(), 2);
    EXPECT_EQ(column(list(), QStringLiteral("FIO")),
              QStringList({QStringLiteral("Андреев"), QStringLiteral("Борисов")}));

    // A new row that fails its checks is not stored by a search, which holds the list still.
    list().first();
    directory->Button_add_bdClick();
    fillNewObject(QStringLiteral("Непроверенный"), QStringLiteral("100"));
    form().Edit1->setText(QStringLiteral("Бор"));
    EXPECT_EQ(list().state(), DataSet::State::Insert);
    EXPECT_EQ(pendingObjects(), 2);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    // A press in the list drops it and returns to browsing.
    pressInList();
    EXPECT_FALSE(directory->adding());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(form().Button_add_bd->text(), QStringLiteral("Новая запись"));
    EXPECT_EQ(list().state(), DataSet::State::Browse);
    EXPECT_EQ(list().rowCount(), 2);

    // A changed row goes back to what is stored.
    directory->Button1Click();
    retype(form().DBEdit2, QStringLiteral("Переименованный"));
    pressInList();
    EXPECT_FALSE(directory->changing());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(form().Button1->text(), QStringLiteral("Изменить запись"));
    EXPECT_EQ(column(list(), QStringLiteral("FIO")),
              QStringList({QStringLiteral("Андреев"), QStringLiteral("Борисов")}));
    EXPECT_EQ(pending(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS WHERE FIO='Переименованный'")), 0);

    // A title is part of the list too: pressing it drops the new row before the list is sorted.
    directory->Button_add_bdClick();
    fillNewObject(QStringLiteral("Непроверенный"), QStringLiteral("300"));
    QWidget* titles = grid->horizontalHeader()->viewport();
    QTest::mouseClick(titles, Qt::LeftButton, {}, QPoint(grid->columnViewportPosition(0) + 10, titles->height() / 2));
    EXPECT_FALSE(directory->adding());
    EXPECT_FALSE(editorEnabled());
    EXPECT_EQ(list().selectSql(), QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY FIO"));
    EXPECT_EQ(pendingObjects(), 2);
}

// Tab passes through the list without moving it. A key that would move the list off an open new row is taken as
// "Сохранить новую запись": the row stays open with the check's message, or is stored with the list on it.
TEST_F(ObjectDirectoryTest, AKeyMovingOffANewRowRunsTheAddingChecksAndTabPassesThrough) {
    fixture.addObject(QStringLiteral("Андреев"), QStringLiteral("860007"));
    fixture.addObject(QStringLiteral("Борисов"), QStringLiteral("860008"));
    openDirectory();
    directory->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return directory->isActiveWindow(); }));
    DbGrid* grid = form().DBGrid1;
    const auto focused = [&] { return directory->focusWidget(); };
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(focused(), key, modifiers);
    };

    struct Case {
        QString fio, scanner;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString message; // none: the row is stored
    };
    const QList<Case> cases = {
        {QStringLiteral("Без сканера"), QString(), Qt::Key_Down, {}, kRequiredFields},
        {QStringLiteral("Двойник"), QStringLiteral("860007"), Qt::Key_Up, {}, kDuplicateScanner},
        {QStringLiteral("Двойник"), QStringLiteral("860008"), Qt::Key_Home, Qt::ControlModifier, kDuplicateScanner},
        {QStringLiteral("Новый"), QStringLiteral("860009"), Qt::Key_PageDown, {}, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fio.toStdString() + " / " + c.scanner.toStdString());
        services.messages.shown.clear();
        list().last(); // the new row goes between the two stored ones, so that every key has a row to go to
        directory->Button_add_bdClick();
        fillNewObject(c.fio, c.scanner);
        const int newRow = list().currentRow();
        const int storedBefore = pendingObjects();
        ASSERT_EQ(focused(), form().DBEdit2);

        press(Qt::Key_Tab, Qt::ShiftModifier);
        ASSERT_EQ(focused(), grid);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), form().DBEdit2) << "Tab leaves the list";
        EXPECT_EQ(list().state(), DataSet::State::Insert);
        EXPECT_EQ(list().currentRow(), newRow);
        EXPECT_TRUE(services.messages.shown.isEmpty());

        press(Qt::Key_Tab, Qt::ShiftModifier);
        press(c.key, c.modifiers);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(services.messages.texts(), QStringList{c.message});
            EXPECT_EQ(pendingObjects(), storedBefore) << "nothing is stored, not even pending";
            EXPECT_EQ(list().state(), DataSet::State::Insert);
            EXPECT_EQ(list().currentRow(), newRow);
            EXPECT_EQ(grid->currentIndex().row(), newRow);
            EXPECT_TRUE(directory->adding());
            EXPECT_TRUE(editorEnabled());
            EXPECT_EQ(current(QStringLiteral("FIO")), c.fio);
            pressInList(); // drops the row for the next case
            EXPECT_EQ(list().state(), DataSet::State::Browse);
        } else {
            EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
            EXPECT_FALSE(directory->adding());
            EXPECT_FALSE(editorEnabled());
            EXPECT_EQ(form().Button_add_bd->text(), QStringLiteral("Новая запись"));
            EXPECT_EQ(committed(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS WHERE ID_SCANNER='860009'")), 1);
            EXPECT_EQ(current(QStringLiteral("FIO")), c.fio) << "the list stands on the stored object";
            EXPECT_EQ(grid->currentIndex().row(), list().currentRow());
        }
    }
    EXPECT_EQ(committed(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")), 3);
}

TEST_F(ObjectDirectoryTest, DigitFieldsRefuseAnythingButDigitsHoweverItArrives) {
    fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    openDirectory();
    directory->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(directory.get()));
    directory->Button1Click(); // the fields take input while changing

    const auto paste = [](QLineEdit* field, const QString& text, bool byShortcut) {
        QGuiApplication::clipboard()->setText(text);
        field->end(false);
        if (byShortcut)
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        else
            field->paste(); // what the context menu's "Paste" does
    };
    // A drag that enters the field and is dropped there; the toolkit hands the drop to the field that took the
    // drag.
    const auto drop = [](QLineEdit* field, const QString& text) {
        QMimeData data;
        data.setText(text);
        const QPoint end(field->width() - 2, field->height() / 2);
        QDragEnterEvent enter(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &enter);
        QDropEvent event(QPointF(end), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &event);
    };

    const struct {
        QLineEdit* field;
        QString name;
    } digitFields[] = {{form().DBEdit4, QStringLiteral("ID_SCANNER")},
                       {form().DBEdit1, QStringLiteral("PERSONAL_ACCOUNT")},
                       {form().DBEdit6, QStringLiteral("NOMER_PLOMB")}};
    for (const auto& [field, name] : digitFields) {
        SCOPED_TRACE(name.toStdString());
        retype(field, QString());
        QTest::keyClicks(field, QStringLiteral("1a-2 b"));
        EXPECT_EQ(field->text(), QStringLiteral("12"));
        paste(field, QStringLiteral("3x"), true);
        paste(field, QStringLiteral("ж4"), false);
        drop(field, QStringLiteral("5.0"));
        EXPECT_EQ(field->text(), QStringLiteral("12"));
        // Digits arrive by every way, so the refusals above are the filter's, not a way that is shut.
        paste(field, QStringLiteral("3"), true);
        paste(field, QStringLiteral("4"), false);
        drop(field, QStringLiteral("5"));
        EXPECT_EQ(field->text(), QStringLiteral("12345"));
        EXPECT_EQ(current(name), QStringLiteral("12345"));
    }
    QTest::keyClicks(form().DBEdit5, QStringLiteral("+7 (912)"));
    EXPECT_TRUE(form().DBEdit5->text().endsWith(QStringLiteral("+7 (912)")));
}

TEST_F(ObjectDirectoryTest, TheDuplicateCheckTakesTheScannerAsAValueNotAsStatementText) {
    fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    EXPECT_TRUE(scannerIsStored(fixture.db(), QStringLiteral("1")));
    for (const QString& scanner : {QStringLiteral("1 or 1=1"), QStringLiteral("1' or '1'='1"), QStringLiteral("01")})
        EXPECT_FALSE(scannerIsStored(fixture.db(), scanner)) << scanner.toStdString();
}
