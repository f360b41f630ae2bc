#include "db/Statement.h"
#include "support/MainWindowFixture.h"
#include "ui/objects/Service.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace vornic;

namespace {

const QString kEmptyDate = QStringLiteral("  .  .    ");

class ServiceJournalTest : public vornic::test::MainWindowTest {
protected:
    std::unique_ptr<TForm8> journal;

    void TearDown() override {
        journal.reset(); // before the main window whose list it follows
    }

    // Made once, as start-up makes it; each call opens it as the main window's menu does.
    void openJournal() {
        if (!journal)
            journal = std::make_unique<TForm8>(context(), objects());
        journal->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return journal->isActiveWindow(); }));
    }

    Ui::TForm8& form() { return journal->form(); }
    DataSet& entries() { return journal->IBDataSet1(); }

    void addEntry(int object, QDate date, const QString& text) {
        fixture.exec(QStringLiteral("INSERT INTO STATUS_OBJECT (ID_OBJECT, STATUS_DATE, STATUS_STRING) "
                                    "VALUES (%1, '%2', '%3')")
                         .arg(object)
                         .arg(date.toString(Qt::ISODate), text));
    }

    // A value as the program's own connection sees it, uncommitted work included.
    QVariant pendingValue(const QString& sql) {
        Statement statement(context().database, sql);
        statement.open();
        return statement.fetch() ? statement.value(0) : QVariant();
    }

    // Types digits into the date field from its start, as the operator does after "Добавить" cleared it.
    void typeDate(const QString& digits) {
        form().MaskEdit1->clear();
        form().MaskEdit1->setCursorPosition(0);
        QTest::keyClicks(form().MaskEdit1, digits);
    }

    void addThroughWindow(const QString& dateDigits, const QString& text) {
        journal->But_addClick();
        typeDate(dateDigits);
        form().Memo1->setPlainText(text);
        journal->But_addClick();
    }

    void clickEntry(int row) {
        DbGrid* list = form().DBGrid1;
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QStringList listedDates() {
        QStringList dates;
        for (int row = 0; row < entries().rowCount(); ++row)
            dates.append(form().DBGrid1->model()->index(row, 0).data().toString());
        return dates;
    }

    QString lastMessage() const {
        return services.messages.shown.isEmpty() ? QString() : services.messages.shown.last().text;
    }
};

} // namespace

TEST_F(ServiceJournalTest, HeaderAndJournalFollowTheMainListsCurrentObjectNewestFirst) {
    const int first = fixture.addObject(QStringLiteral("\t Иванов И.И. "), QStringLiteral("1"), 0,
                                        QStringLiteral("  ул. Ленина, 1\r\n"));
    const int second = fixture.addObject(QStringLiteral("Петров"), QStringLiteral("2"), 0, QStringLiteral("ул. Мира"));
    addEntry(first, QDate(2024, 3, 1), QStringLiteral("Осмотр"));
    addEntry(first, QDate(2024, 5, 20), QStringLiteral("  Замена батареи\r\nи пломбы\n"));
    addEntry(first, QDate(2023, 12, 31), QStringLiteral("Установка"));
    openWindow();
    window->DBGrid1TitleClick(1); // by name: Иванов first

    openJournal();
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Иванов И.И.  ул. Ленина, 1"));
    EXPECT_EQ(listedDates(),
              (QStringList{QStringLiteral("20.05.2024"), QStringLiteral("01.03.2024"), QStringLiteral("31.12.2023")}));
    EXPECT_EQ(form().DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Дата:"));
    EXPECT_TRUE(form().DBGrid1->isColumnHidden(1));
    EXPECT_TRUE(form().DBGrid1->isColumnHidden(2));
    EXPECT_EQ(form().MaskEdit1->displayText(), QStringLiteral("20.05.2024"));
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Замена батареи\nи пломбы"));

    clickEntry(2); // a click in the list shows the entry
    EXPECT_EQ(form().MaskEdit1->displayText(), QStringLiteral("31.12.2023"));
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Установка"));
    QTest::keyClick(form().DBGrid1, Qt::Key_Up); // and so does a key released in it
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Осмотр"));
    journal->close();

    // Closed, the journal still follows the list; the next opening starts on the newest entry again.
    objects().next();
    ASSERT_EQ(objects().field(QStringLiteral("ID_OBJECT")).asInteger(), second);
    EXPECT_TRUE(entries().isEmpty());
    objects().prior();
    EXPECT_EQ(entries().rowCount(), 3);
    entries().last();
    openJournal();
    EXPECT_EQ(entries().currentRow(), 0);
    EXPECT_EQ(form().MaskEdit1->displayText(), QStringLiteral("20.05.2024"));
    journal->close();

    // The directory's full commit closes the journal; the next opening reads it again.
    context().database.commit();
    ASSERT_FALSE(entries().isOpen());
    window->refreshLists();
    objects().moveTo(1);
    openJournal();
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Петров  ул. Мира"));
    EXPECT_TRUE(entries().isOpen());
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(form().MaskEdit1->displayText(), kEmptyDate);
    EXPECT_EQ(form().Memo1->toPlainText(), QString());
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();
}

TEST_F(ServiceJournalTest, NothingIsCommittedBeforeCloseAndEverythingAtClose) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("1"));
    addEntry(object, QDate(2024, 1, 10), QStringLiteral("Первая"));
    addEntry(object, QDate(2024, 2, 10), QStringLiteral("Вторая"));
    openWindow();
    const auto committed = [&](const QString& sql) { return fixture.committedValue(sql); };
    const QString count = QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT WHERE ID_OBJECT=%1").arg(object);
    const QString status = QStringLiteral("SELECT STATUS FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(object);
    const QString firstText = QStringLiteral("SELECT STATUS_STRING FROM STATUS_OBJECT WHERE STATUS_DATE='2024-01-10'");

    openJournal();
    addThroughWindow(QStringLiteral("15032024"), QStringLiteral("Замена\nсканера"));
    EXPECT_EQ(form().But_add->text(), QStringLiteral("Новая запись"));
    clickEntry(2); // 10.01.2024
    journal->But_EditClick();
    form().Memo1->setPlainText(QStringLiteral("Первая, исправлена"));
    journal->But_EditClick();
    clickEntry(1); // 10.02.2024
    journal->But_DelClick();
    form().ComboBox1->setFocus();
    QTest::keyClick(form().ComboBox1, Qt::Key_Down); // "Работает"

    EXPECT_EQ(pendingValue(count).toInt(), 2);
    EXPECT_EQ(pendingValue(firstText).toString(), QStringLiteral("Первая, исправлена"));
    EXPECT_EQ(pendingValue(status).toString(), QStringLiteral("Работает"));
    EXPECT_EQ(committed(count).toInt(), 2);
    EXPECT_EQ(committed(firstText).toString(), QStringLiteral("Первая"));
    EXPECT_EQ(committed(status).toString(), QStringLiteral(" "));
    EXPECT_EQ(committed(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT WHERE STATUS_DATE='2024-02-10'")).toInt(),
              1);

    QTest::keyClick(journal.get(), Qt::Key_Escape); // closes like the close box
    EXPECT_FALSE(journal->isVisible());
    EXPECT_EQ(committed(count).toInt(), 2);
    EXPECT_EQ(committed(firstText).toString(), QStringLiteral("Первая, исправлена"));
    EXPECT_EQ(committed(status).toString(), QStringLiteral("Работает"));
    EXPECT_EQ(
        committed(QStringLiteral("SELECT STATUS_STRING FROM STATUS_OBJECT WHERE STATUS_DATE='2024-03-15'")).toString(),
        QStringLiteral("Замена\nсканера"));
    EXPECT_EQ(committed(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT WHERE STATUS_DATE='2024-02-10'")).toInt(),
              0);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();
}

TEST_F(ServiceJournalTest, ClosingWhileAddingDropsTheEntryAndTheNextOpeningBrowses) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("1"));
    addEntry(object, QDate(2024, 1, 10), QStringLiteral("Первая"));
    openWindow();
    openJournal();
    journal->But_addClick();
    EXPECT_EQ(form().But_add->text(), QStringLiteral("Сохранить"));
    EXPECT_FALSE(form().DBGrid1->isEnabled());
    EXPECT_FALSE(form().But_Edit->isEnabled());
    EXPECT_FALSE(form().But_Del->isEnabled());
    EXPECT_EQ(form().MaskEdit1->displayText(), kEmptyDate);
    typeDate(QStringLiteral("01022024"));
    form().Memo1->setPlainText(QStringLiteral("Не сохранять"));
    form().Button1->click(); // "Выход"
    EXPECT_FALSE(journal->isVisible());

    const QString count = QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT");
    EXPECT_EQ(pendingValue(count).toInt(), 1);
    EXPECT_EQ(fixture.committedValue(count).toInt(), 1);
    EXPECT_EQ(entries().rowCount(), 1);

    openJournal();
    EXPECT_FALSE(journal->isAdding());
    EXPECT_EQ(form().But_add->text(), QStringLiteral("Добавить"));
    EXPECT_TRUE(form().But_Edit->isEnabled());
    EXPECT_TRUE(form().But_Del->isEnabled());
    EXPECT_TRUE(form().DBGrid1->isEnabled());
    EXPECT_FALSE(form().MaskEdit1->isEnabled());
    EXPECT_FALSE(form().Memo1->isEnabled());
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Первая"));
}

TEST_F(ServiceJournalTest, ARefusedDateIsReportedAndTheEntryStaysOpenForAnotherTry) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("1"));
    openWindow();
    openJournal();
    journal->But_addClick();
    const QString wanted = QStringLiteral("Укажите дату в виде ДД.ММ.ГГГГ.");
    const struct {
        QString digits;
        QString message;
    } refused[] = {
        {QString(), QStringLiteral("Дата не указана. ") + wanted},
        {QStringLiteral("31022026"), QStringLiteral("Дата «31.02.2026» указана неверно. ") + wanted},
        {QStringLiteral("29022023"), QStringLiteral("Дата «29.02.2023» указана неверно. ") + wanted},
        {QStringLiteral("01132026"), QStringLiteral("Дата «01.13.2026» указана неверно. ") + wanted},
        {QStringLiteral("1205202"), QStringLiteral("Дата «12.05.202 » указана неверно. ") + wanted},
    };
    for (const auto& date : refused) {
        SCOPED_TRACE(date.digits.toStdString());
        typeDate(date.digits);
        form().Memo1->setPlainText(QStringLiteral("Текст"));
        services.messages.shown.clear();
        journal->But_addClick();
        ASSERT_EQ(services.messages.shown.size(), 1);
        EXPECT_EQ(services.messages.shown[0], (ShownMessage{MessageKind::Error, date.message}));
        // Coming back from the report does not start the window afresh.
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(journal.get(), &activation);
        EXPECT_TRUE(journal->isAdding());
        EXPECT_EQ(form().But_add->text(), QStringLiteral("Новая запись"));
        EXPECT_EQ(entries().state(), DataSet::State::Insert);
        EXPECT_FALSE(form().DBGrid1->isEnabled());
        EXPECT_TRUE(form().MaskEdit1->isEnabled());
        EXPECT_EQ(pendingValue(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT")).toInt(), 0);
    }

    // A day and a month with one digit each are a date too.
    form().MaskEdit1->clear();
    form().MaskEdit1->setCursorPosition(0);
    QTest::keyClicks(form().MaskEdit1, QStringLiteral("7"));
    form().MaskEdit1->setCursorPosition(3);
    QTest::keyClicks(form().MaskEdit1, QStringLiteral("3"));
    form().MaskEdit1->setCursorPosition(6);
    QTest::keyClicks(form().MaskEdit1, QStringLiteral("2025"));
    ASSERT_EQ(form().MaskEdit1->displayText(), QStringLiteral("7 .3 .2025"));
    services.messages.shown.clear();
    journal->But_addClick();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();
    EXPECT_FALSE(journal->isAdding());
    EXPECT_EQ(form().But_add->text(), QStringLiteral("Новая запись"));
    EXPECT_EQ(
        pendingValue(QStringLiteral("SELECT STATUS_DATE FROM STATUS_OBJECT WHERE ID_OBJECT=%1").arg(object)).toDate(),
        QDate(2025, 3, 7));
    EXPECT_EQ(form().MaskEdit1->displayText(), QStringLiteral("07.03.2025"));
}

TEST_F(ServiceJournalTest, OnlyAChosenItemStoresAStatusAndTheBoxKeepsTheLastChoice) {
    const int first = fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    const int second = fixture.addObject(QStringLiteral("Б"), QStringLiteral("2"));
    fixture.exec(QStringLiteral("UPDATE LIST_OBJECTS SET STATUS='Работает' WHERE ID_OBJECT=%1").arg(second));
    openWindow();
    window->DBGrid1TitleClick(1);
    const auto stored = [&](int id) {
        return pendingValue(QStringLiteral("SELECT STATUS FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id)).toString();
    };
    openJournal();
    ASSERT_EQ(form().ComboBox1->currentText(), QString());
    form().ComboBox1->setFocus();

    const struct {
        Qt::Key key;
        QString value;
    } choices[] = {
        {Qt::Key_Down, QStringLiteral("Работает")}, {Qt::Key_Down, QStringLiteral("Не работает")},
        {Qt::Key_Down, QStringLiteral("Отключен")}, {Qt::Key_Home, QStringLiteral(" ")},
        {Qt::Key_End, QStringLiteral("Отключен")},
    };
    for (const auto& choice : choices) {
        QTest::keyClick(form().ComboBox1, choice.key);
        EXPECT_EQ(stored(first), choice.value);
        EXPECT_EQ(objects().field(QStringLiteral("STATUS")).asString(), choice.value) << "the main list shows it";
    }
    EXPECT_EQ(form().ComboBox1->currentText(), QStringLiteral("Отключен "));
    form().ComboBox1->setCurrentIndex(1); // set, not chosen
    EXPECT_EQ(stored(first), QStringLiteral("Отключен"));
    journal->close();

    // Another object: the box shows the last choice, not that object's status, and stores nothing by itself.
    objects().next();
    openJournal();
    EXPECT_EQ(form().ComboBox1->currentText(), QStringLiteral("Работает"));
    EXPECT_EQ(stored(second), QStringLiteral("Работает"));
    journal->ComboBox1Select(2);
    EXPECT_EQ(stored(second), QStringLiteral("Не работает"));
    EXPECT_EQ(stored(first), QStringLiteral("Отключен"));
    EXPECT_EQ(objects().state(), DataSet::State::Browse);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();
}

TEST_F(ServiceJournalTest, AChangeReplacesTheTextOfTheEntryThenCurrentAndKeepsItsDate) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("1"));
    const int empty = fixture.addObject(QStringLiteral("Пустой"), QStringLiteral("2"));
    addEntry(object, QDate(2024, 3, 10), QStringLiteral("Старая"));
    addEntry(object, QDate(2024, 4, 1), QStringLiteral("Новая"));
    openWindow();
    window->DBGrid1TitleClick(1); // by name: Иванов, then Пустой
    openJournal();

    journal->But_EditClick();
    EXPECT_EQ(form().But_Edit->text(), QStringLiteral("Сохранить"));
    EXPECT_FALSE(form().But_add->isEnabled());
    EXPECT_FALSE(form().But_Del->isEnabled());
    EXPECT_TRUE(form().Memo1->isEnabled());
    EXPECT_FALSE(form().MaskEdit1->isEnabled());
    EXPECT_TRUE(form().DBGrid1->isEnabled());
    clickEntry(1); // another entry while changing: its text replaces the field's
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Старая"));
    form().Memo1->setPlainText(QStringLiteral("Старая, дополнена\nвторой строкой"));
    journal->But_EditClick();

    EXPECT_EQ(form().But_Edit->text(), QStringLiteral("Изменить"));
    EXPECT_FALSE(journal->isChanging());
    EXPECT_FALSE(form().Memo1->isEnabled());
    EXPECT_TRUE(form().But_add->isEnabled());
    EXPECT_EQ(pendingValue(QStringLiteral("SELECT STATUS_STRING FROM STATUS_OBJECT WHERE STATUS_DATE='2024-03-10'"))
                  .toString(),
              QStringLiteral("Старая, дополнена\nвторой строкой"));
    EXPECT_EQ(pendingValue(QStringLiteral("SELECT STATUS_STRING FROM STATUS_OBJECT WHERE STATUS_DATE='2024-04-01'"))
                  .toString(),
              QStringLiteral("Новая"));
    EXPECT_EQ(pendingValue(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT WHERE ID_OBJECT=%1").arg(object)).toInt(),
              2);
    journal->close();

    // An empty journal: two presses store nothing and add no row.
    objects().next();
    ASSERT_EQ(objects().field(QStringLiteral("ID_OBJECT")).asInteger(), empty);
    openJournal();
    journal->But_EditClick();
    form().Memo1->setPlainText(QStringLiteral("Некуда"));
    journal->But_EditClick();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(entries().state(), DataSet::State::Browse);
    EXPECT_EQ(pendingValue(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT")).toInt(), 2);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();

    journal->But_DelClick(); // nothing to delete: the data layer says so
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(ServiceJournalTest, AJustAddedEntryIsReadBackSoThatItCanBeChangedAndDeletedAtOnce) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("1"));
    addEntry(object, QDate(2024, 5, 1), QStringLiteral("Май"));
    addEntry(object, QDate(2024, 3, 1), QStringLiteral("Март"));
    openWindow();
    openJournal();

    addThroughWindow(QStringLiteral("01042024"), QStringLiteral("Апрель"));
    ASSERT_FALSE(journal->isAdding()) << lastMessage().toStdString();
    // Between the two others, newest first, and current with the key the database gave it.
    EXPECT_EQ(listedDates(),
              (QStringList{QStringLiteral("01.05.2024"), QStringLiteral("01.04.2024"), QStringLiteral("01.03.2024")}));
    EXPECT_EQ(entries().currentRow(), 1);
    const QVariant key = pendingValue(
        QStringLiteral("SELECT COUNTER_STAT FROM STATUS_OBJECT WHERE STATUS_STRING='Апрель' AND ID_OBJECT=%1")
            .arg(object));
    ASSERT_FALSE(key.isNull());
    EXPECT_EQ(entries().field(QStringLiteral("COUNTER_STAT")).asInteger(), key.toInt());
    EXPECT_EQ(form().Memo1->toPlainText(), QStringLiteral("Апрель"));

    journal->But_EditClick();
    form().Memo1->setPlainText(QStringLiteral("Апрель, исправлено"));
    journal->But_EditClick();
    const QString textOfKey =
        QStringLiteral("SELECT STATUS_STRING FROM STATUS_OBJECT WHERE COUNTER_STAT=%1").arg(key.toInt());
    EXPECT_EQ(pendingValue(textOfKey).toString(), QStringLiteral("Апрель, исправлено"));

    journal->But_DelClick();
    EXPECT_TRUE(pendingValue(textOfKey).isNull());
    EXPECT_EQ(pendingValue(QStringLiteral("SELECT COUNT(*) FROM STATUS_OBJECT")).toInt(), 2);
    EXPECT_EQ(entries().rowCount(), 2);
    EXPECT_TRUE(services.messages.shown.isEmpty()) << lastMessage().toStdString();
}

TEST_F(ServiceJournalTest, WithoutACurrentObjectNothingIsAddedAndNoStatusIsSet) {
    openWindow(); // an empty object list
    openJournal();
    EXPECT_EQ(form().Label1->text(), QString());
    const QString noObject =
        QStringLiteral("Объект не выбран. Выберите объект в списке главного окна и откройте журнал снова.");

    journal->But_addClick();
    journal->ComboBox1Select(1);
    EXPECT_EQ(services.messages.shown,
              (QList<ShownMessage>{{MessageKind::Error, noObject}, {MessageKind::Error, noObject}}));
    EXPECT_FALSE(journal->isAdding());
    EXPECT_EQ(form().But_add->text(), QStringLiteral("Добавить"));
    EXPECT_TRUE(entries().isEmpty());
    // Editing an empty list would make up a row in it; the main list stays as it was.
    EXPECT_EQ(objects().rowCount(), 0);
    EXPECT_EQ(objects().state(), DataSet::State::Browse);
}
