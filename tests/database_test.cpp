#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/DatabaseReason.h"
#include "db/Firebird.h"
#include "db/SqlParameters.h"
#include "db/Statement.h"
#include "support/TestDatabase.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using namespace vornic;
using namespace Qt::StringLiterals;
using vornic::test::TestDatabase;

namespace {

const QString kObjectsModify =
    QStringLiteral("UPDATE LIST_OBJECTS SET STATUS=:STATUS, CHECK_GRID=:CHECK_GRID WHERE ID_OBJECT=?old_ID_OBJECT");

QByteArray pictureBytes(int seed, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    bytes[0] = char(0xFF);
    bytes[1] = char(0xD8);
    for (int i = 2; i < size; ++i)
        bytes[i] = char((i * 31 + seed) & 0xFF);
    return bytes;
}

void addReading(Database& db, int object, const QString& id, const QDateTime& at, const QByteArray& picture,
                const QVariant& readings) {
    Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, IMAGE, "
                                        "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                        "VALUES (?, ?, ?, ?, ?, ?, 80, 20, 2, 0)"));
    insert.bind(0, object);
    insert.bind(1, at);
    insert.bind(2, id);
    insert.bind(3, picture.isNull() ? QVariant() : QVariant(picture));
    insert.bind(4, readings);
    insert.bind(5, readings);
    insert.execute();
    db.commitRetaining();
}

class DataSetTest : public ::testing::Test {
protected:
    TestDatabase fixture;
    Database& db = fixture.db();
};

} // namespace

TEST(SqlParameters, NamedParametersBecomePositionalAndQuotedTextIsLeftAlone) {
    const ParsedStatement parsed = parseNamedParameters(
        QStringLiteral("UPDATE T SET A=:A, B= :b_2, C='x:y' WHERE K=?old_K AND \"Q:R\"=1 AND D=?OLD_Dd"));
    EXPECT_EQ(parsed.sql, QStringLiteral("UPDATE T SET A=?, B= ?, C='x:y' WHERE K=? AND \"Q:R\"=1 AND D=?"));
    ASSERT_EQ(parsed.parameters.size(), 4);
    EXPECT_EQ(parsed.parameters[0].field, QStringLiteral("A"));
    EXPECT_FALSE(parsed.parameters[0].old);
    EXPECT_EQ(parsed.parameters[1].field, QStringLiteral("b_2"));
    EXPECT_EQ(parsed.parameters[2].field, QStringLiteral("K"));
    EXPECT_TRUE(parsed.parameters[2].old);
    EXPECT_EQ(parsed.parameters[3].field, QStringLiteral("Dd"));
    EXPECT_TRUE(parsed.parameters[3].old);
}

TEST_F(DataSetTest, FieldsAreFoundByNameInAnyCaseAndReadInEveryKind) {
    const int id = fixture.addObject(QStringLiteral("Иванов Пётр"), QStringLiteral(" 123 "));
    addReading(db, id, QStringLiteral("9001"), QDateTime(QDate(2018, 3, 2), QTime(14, 15, 5)), pictureBytes(1, 5000),
               QStringLiteral("00123"));

    DataSet readings(db);
    readings.setSelectSql(QStringLiteral("SELECT * FROM IMAGE_OBJECT_DATE"));
    readings.open();
    ASSERT_EQ(readings.rowCount(), 1);
    EXPECT_EQ(readings.field(QStringLiteral("dat")).asDateTime(), QDateTime(QDate(2018, 3, 2), QTime(14, 15, 5)));
    EXPECT_EQ(readings.field(QStringLiteral("Dat")).asString(), QStringLiteral("02.03.2018 14:15:05"));
    EXPECT_EQ(readings.field(QStringLiteral("bat")).asInteger(), 80);
    EXPECT_EQ(readings.field(QStringLiteral("READINGS")).asString(), QStringLiteral("00123"));
    EXPECT_TRUE(readings.field(QStringLiteral("image")).value().canConvert<BlobId>()) << "pictures stay unread";
    EXPECT_EQ(readings.field(QStringLiteral("image")).asBytes(), pictureBytes(1, 5000));
    EXPECT_THROW(readings.field(QStringLiteral("NO_SUCH")), Failure);

    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
    objects.open();
    EXPECT_EQ(objects.field(QStringLiteral("fio")).asString(), QStringLiteral("Иванов Пётр"));
    EXPECT_EQ(objects.field(QStringLiteral("ID_SCANNER")).asString(), QStringLiteral(" 123 "));
    EXPECT_TRUE(objects.field(QStringLiteral("SIM_CARD")).isNull());
    EXPECT_FALSE(objects.field(QStringLiteral("STATUS")).isNull());
    // Stored as single-byte Windows-1251: 11 letters are 11 bytes.
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT OCTET_LENGTH(FIO) FROM LIST_OBJECTS")).toInt(), 11);
}

// Rows are kept as read and their cells turned into values only when asked for: every cell of every row, nulls
// among texts of every length and values of every kind after them, must read as the statement itself gave it,
// also in rows read in later batches and beside a row that was stored and so holds values of its own.
TEST_F(DataSetTest, RowsKeptAsReadGiveEveryCellAsTheStatementDid) {
    for (int i = 0; i < 300; ++i)
        db.execute(QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ADDRESS, CHECK_GRID) VALUES ('%1', %2, %3)")
                       .arg(QStringLiteral("Абонент").left(i % 8))
                       .arg(i % 3 == 0 ? QStringLiteral("NULL") : QStringLiteral("'ул. Ленина, %1'").arg(i))
                       .arg(i % 2 == 0 ? QStringLiteral("NULL") : QString::number(i % 5)));
    db.commitRetaining();
    const QString select = QStringLiteral(
        "SELECT ID_OBJECT, FIO, ADDRESS, CHECK_GRID, CAST(FIO AS CHAR(9)) AS FIXED, "
        "CAST(ID_OBJECT AS NUMERIC(12, 2)) / 8 AS SHARE, CAST(ID_OBJECT AS DOUBLE PRECISION) / 3 AS THIRD, "
        "DATEADD(ID_OBJECT MINUTE TO TIMESTAMP '2018-03-02 14:15:05') AS TAKEN, "
        "DATEADD(ID_OBJECT DAY TO DATE '2018-03-02') AS TAKEN_DAY, IIF(CHECK_GRID IS NULL, NULL, CHECK_GRID > 2) AS "
        "HIGH, ID_SCANNER FROM LIST_OBJECTS ORDER BY ID_OBJECT");
    DataSet objects(db);
    objects.setSelectSql(select);
    objects.setModifySql(
        QStringLiteral("UPDATE LIST_OBJECTS SET CHECK_GRID=:CHECK_GRID WHERE ID_OBJECT=?old_ID_OBJECT"));
    objects.open();
    objects.moveTo(3);
    objects.edit();
    objects.field(QStringLiteral("CHECK_GRID")).setValue(7);
    objects.post();
    objects.fetchAll();

    Statement direct(db, select);
    direct.open();
    int row = 0;
    for (; direct.fetch(); ++row) {
        ASSERT_LT(row, objects.rowCount());
        for (int column = 0; column < direct.columnCount(); ++column) {
            QVariant expected = direct.value(column);
            if (row == 3 && column == 3)
                expected = 7; // the stored change, as the data set posted it
            const QVariant read = objects.value(row, column);
            EXPECT_EQ(read, expected) << "row " << row << ", " << objects.fieldNames().at(column).toStdString();
            EXPECT_EQ(read.typeId(), expected.typeId()) << "row " << row << ", column " << column;
        }
    }
    EXPECT_EQ(row, 300);
    EXPECT_EQ(objects.rowCount(), 300);
}

TEST_F(DataSetTest, TextOutsideTheCodePageIsRefusedAndNothingIsStored) {
    const int id = fixture.addObject(QStringLiteral("Первый"), QStringLiteral("1"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
    objects.setModifySql(QStringLiteral("UPDATE LIST_OBJECTS SET FIO=:FIO WHERE ID_OBJECT=?old_ID_OBJECT"));
    objects.open();
    objects.edit();
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("Ω Омега"));
    try {
        objects.post();
        FAIL() << "the text was accepted";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.text().contains(u'Ω'));
    }
    EXPECT_EQ(objects.state(), DataSet::State::Edit) << "the operator's row stays open";
    EXPECT_EQ(fixture.value(QStringLiteral("SELECT FIO FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id)).toString(),
              QStringLiteral("Первый"));
}

TEST_F(DataSetTest, OldParametersFindARowWhoseKeyWasChanged) {
    const int id = fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
    objects.setModifySql(
        QStringLiteral("UPDATE LIST_OBJECTS SET ID_OBJECT=:ID_OBJECT, FIO=:FIO WHERE ID_OBJECT=?old_ID_OBJECT"));
    objects.open();
    objects.edit();
    objects.field(QStringLiteral("ID_OBJECT")).setValue(id + 100);
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("B"));
    objects.post();
    db.commitRetaining();
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT FIO FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id + 100))
                  .toString(),
              QStringLiteral("B"));
    EXPECT_FALSE(
        fixture.committedValue(QStringLiteral("SELECT FIO FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id)).isValid());
}

TEST_F(DataSetTest, ModifyWritesOnlyTheColumnsItNames) {
    const int id = fixture.addObject(QStringLiteral("Имя"), QStringLiteral("77"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT *  FROM LIST_OBJECTS"));
    objects.setModifySql(kObjectsModify);
    objects.open();
    objects.edit();
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("Другое имя"));
    objects.field(QStringLiteral("ID_SCANNER")).setValue(QStringLiteral("99"));
    objects.field(QStringLiteral("STATUS")).setValue(QStringLiteral("Работает"));
    objects.field(QStringLiteral("CHECK_GRID")).setValue(1);
    objects.post();
    db.commitRetaining();
    const QString where = QStringLiteral(" FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT FIO") + where).toString(), QStringLiteral("Имя"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT ID_SCANNER") + where).toString(), QStringLiteral("77"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT STATUS") + where).toString(), QStringLiteral("Работает"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT CHECK_GRID") + where).toInt(), 1);
}

TEST_F(DataSetTest, RetainingCommitKeepsDataSetsOpenAndFullCommitClosesThem) {
    fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    fixture.addObject(QStringLiteral("B"), QStringLiteral("2"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY FIO"));
    objects.setModifySql(kObjectsModify);
    objects.open();
    objects.next();

    objects.edit();
    objects.field(QStringLiteral("STATUS")).setValue(QStringLiteral("Отключен"));
    objects.post();
    EXPECT_EQ(
        fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS WHERE STATUS='Отключен'")).toInt(), 0)
        << "posted is not yet committed";
    db.commitRetaining();
    EXPECT_EQ(
        fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS WHERE STATUS='Отключен'")).toInt(), 1);
    EXPECT_TRUE(objects.isOpen());
    EXPECT_EQ(objects.currentRow(), 1);

    db.commit();
    EXPECT_FALSE(objects.isOpen());
    objects.open(); // the next statement starts a new transaction
    EXPECT_EQ(objects.rowCount(), 2);
}

TEST_F(DataSetTest, WhatWasPostedSurvivesTheEndOfTheProgramWithoutACommit) {
    const int id = fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    {
        DataSet objects(db);
        objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
        objects.setModifySql(kObjectsModify);
        objects.open();
        objects.edit();
        objects.field(QStringLiteral("CHECK_GRID")).setValue(1);
        objects.post();
    }
    fixture.reconnect();
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT CHECK_GRID FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id))
                  .toInt(),
              1);
}

TEST_F(DataSetTest, InsertedRowShowsItsKeyAfterReopenAndDeleteUsesTheOldKey) {
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
    objects.setInsertSql(QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER, CHECK_GRID) "
                                        "VALUES (:FIO, :ID_SCANNER, '1')"));
    objects.setDeleteSql(QStringLiteral("Delete From LIST_OBJECTS where id_object=?old_id_object"));
    objects.open();
    EXPECT_TRUE(objects.isEmpty());
    objects.insert();
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("Новый"));
    objects.field(QStringLiteral("ID_SCANNER")).setValue(QStringLiteral("555"));
    objects.post();
    db.commitRetaining();
    EXPECT_TRUE(objects.field(QStringLiteral("ID_OBJECT")).isNull());
    objects.reopen();
    ASSERT_EQ(objects.rowCount(), 1);
    EXPECT_FALSE(objects.field(QStringLiteral("ID_OBJECT")).isNull());
    EXPECT_EQ(objects.field(QStringLiteral("CHECK_GRID")).asInteger(), 1);

    objects.remove();
    db.commitRetaining();
    EXPECT_TRUE(objects.isEmpty());
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")).toInt(), 0);
}

TEST_F(DataSetTest, MovingAwayStoresAChangedRowAndDropsAnUntouchedNewOne) {
    fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    fixture.addObject(QStringLiteral("B"), QStringLiteral("2"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY FIO"));
    objects.setModifySql(kObjectsModify);
    objects.open();
    objects.edit();
    objects.field(QStringLiteral("STATUS")).setValue(QStringLiteral("Работает"));
    objects.next();
    EXPECT_EQ(objects.state(), DataSet::State::Browse);
    EXPECT_EQ(fixture.value(QStringLiteral("SELECT STATUS FROM LIST_OBJECTS WHERE FIO='A'")).toString(),
              QStringLiteral("Работает"));

    objects.first();
    objects.insert();
    EXPECT_EQ(objects.rowCount(), 3);
    objects.moveTo(2); // B, which the new row had pushed down
    EXPECT_EQ(objects.rowCount(), 2);
    EXPECT_EQ(objects.field(QStringLiteral("FIO")).asString(), QStringLiteral("B"));
    EXPECT_THROW(objects.post(), Failure) << "only an open row is stored";
}

TEST_F(DataSetTest, ManyRowsAreReadAsNeededAndSearchedByPrefixInAnyCase) {
    for (int i = 0; i < 600; ++i)
        db.execute(
            QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER) VALUES ('%1', '%2')")
                .arg(i == 500 ? QStringLiteral("Ёлкин Семён") : QStringLiteral("Абонент %1").arg(i, 3, 10, QChar(u'0')))
                .arg(i));
    db.commitRetaining();
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY ID_OBJECT"));
    QSignalSpy positioned(&objects, &DataSet::positioned);
    objects.open();
    EXPECT_EQ(objects.rowCount(), DataSet::kFetchBatch);
    EXPECT_EQ(positioned.count(), 1);

    EXPECT_TRUE(objects.locatePrefix(QStringLiteral("fio"), QStringLiteral("ёлк")));
    EXPECT_EQ(objects.currentRow(), 500);
    EXPECT_FALSE(objects.locatePrefix(QStringLiteral("FIO"), QStringLiteral("Семён")))
        << "a name that merely contains the text does not match";
    EXPECT_EQ(objects.currentRow(), 500);

    objects.last();
    EXPECT_EQ(objects.rowCount(), 600);
    EXPECT_EQ(objects.currentRow(), 599);
}

TEST_F(DataSetTest, DetailFollowsItsMaster) {
    const int first = fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    const int second = fixture.addObject(QStringLiteral("B"), QStringLiteral("2"));
    addReading(db, first, QStringLiteral("1"), QDateTime(QDate(2020, 1, 1), QTime(1, 0)), {}, QStringLiteral("1"));
    addReading(db, first, QStringLiteral("2"), QDateTime(QDate(2020, 1, 2), QTime(1, 0)), {}, QStringLiteral("2"));
    addReading(db, second, QStringLiteral("3"), QDateTime(QDate(2020, 1, 3), QTime(1, 0)), {}, {});

    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY FIO"));
    DataSet readings(db);
    readings.setSelectSql(
        QStringLiteral("SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY DAT DESC"));
    readings.setMaster(&objects);
    objects.open();
    readings.open();
    ASSERT_EQ(readings.rowCount(), 2);
    EXPECT_EQ(readings.field(QStringLiteral("ID_IMAG")).asString(), QStringLiteral("2")) << "newest first";
    objects.next();
    ASSERT_EQ(readings.rowCount(), 1);
    EXPECT_TRUE(readings.field(QStringLiteral("READINGS")).isNull());
}

TEST_F(DataSetTest, AFailingStatementReportsTheDatabaseMessage) {
    fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    DataSet objects(db);
    objects.setSelectSql(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
    try {
        objects.open();
        FAIL() << "opened";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().contains(QStringLiteral("NO_SUCH_TABLE"))) << error.text().toStdString();
    }
    EXPECT_FALSE(objects.isOpen());
}

// A pass is cancelled from another thread at any moment, also while it reads a row or opens its next statement,
// where the engine would forget the request: the pass's next statement or row is refused all the same, until the
// connection is told the cancelled work has returned.
TEST_F(DataSetTest, ACancellationBetweenTwoStatementsStopsTheNextOne) {
    fixture.addObject(QStringLiteral("A"), QStringLiteral("1"));
    fixture.addObject(QStringLiteral("B"), QStringLiteral("2"));
    Statement objects(db, QStringLiteral("SELECT FIO FROM LIST_OBJECTS"));
    objects.open();
    ASSERT_TRUE(objects.fetch());
    db.cancelOperation();
    EXPECT_THROW(objects.fetch(), DatabaseError);
    Statement names(db, QStringLiteral("SELECT ID_SCANNER FROM LIST_OBJECTS"));
    EXPECT_THROW(names.open(), DatabaseError);
    db.resumeAfterCancel();
    names.open();
    EXPECT_TRUE(names.fetch());
}

namespace {

std::intptr_t text(const char* value) {
    return reinterpret_cast<std::intptr_t>(value);
}

DataSet& openObjects(DataSet& objects) {
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY FIO"));
    objects.setModifySql(kObjectsModify);
    objects.setInsertSql(QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER) VALUES (:FIO, :ID_SCANNER)"));
    objects.open();
    return objects;
}

} // namespace

TEST(DatabaseReason, StatusVectorsBecomeTheOperatorsWords) {
    const char* const file = "/data/Vornic_Client/DB/FB_PROJECT.GDB";
    const struct {
        std::vector<std::intptr_t> errors;
        QString reason;
    } cases[] = {
        {{isc_arg_gds, isc_read_only_database}, QStringLiteral("база данных открыта только для чтения")},
        {{isc_arg_gds, isc_deadlock, isc_arg_gds, isc_update_conflict, isc_arg_gds, isc_concurrent_transaction,
          isc_arg_string, text("17")},
         QStringLiteral("запись изменена или заблокирована другим пользователем; повторите позже")},
        {{isc_arg_gds, isc_lock_conflict},
         QStringLiteral("запись изменена или заблокирована другим пользователем; повторите позже")},
        {{isc_arg_gds, isc_io_error, isc_arg_string, text("open"), isc_arg_string, text(file), isc_arg_gds,
          isc_io_open_err, isc_arg_unix, ENOENT},
         QStringLiteral("файл базы данных не найден: /data/Vornic_Client/DB/FB_PROJECT.GDB")},
        {{isc_arg_gds, isc_io_error, isc_arg_string, text("open"), isc_arg_string, text(file), isc_arg_gds,
          isc_io_open_err, isc_arg_unix, EACCES},
         QStringLiteral("нет прав доступа к файлу базы данных: /data/Vornic_Client/DB/FB_PROJECT.GDB")},
        {{isc_arg_gds, isc_no_priv, isc_arg_string, text("read-write"), isc_arg_string, text("database"),
          isc_arg_string, text(file)},
         QStringLiteral("нет прав доступа к файлу базы данных: /data/Vornic_Client/DB/FB_PROJECT.GDB")},
        {{isc_arg_gds, isc_io_error, isc_arg_string, text("write"), isc_arg_string, text(file), isc_arg_gds,
          isc_io_write_err, isc_arg_unix, ENOSPC},
         QStringLiteral("ошибка чтения или записи файла базы данных: /data/Vornic_Client/DB/FB_PROJECT.GDB")},
        {{isc_arg_gds, isc_io_error, isc_arg_string, text("lock"), isc_arg_string, text(file), isc_arg_gds,
          isc_already_opened},
         QStringLiteral("база данных уже открыта другой копией программы")},
        {{isc_arg_gds, isc_bad_db_format, isc_arg_string, text(file)},
         QStringLiteral("файл /data/Vornic_Client/DB/FB_PROJECT.GDB не является базой данных или повреждён")},
        {{isc_arg_gds, isc_network_error, isc_arg_string, text("server.local"), isc_arg_gds, isc_net_connect_err},
         QStringLiteral("сервер базы данных server.local недоступен")},
        {{isc_arg_gds, isc_network_error, isc_arg_string, text("server.local"), isc_arg_gds, isc_net_read_err},
         QStringLiteral("связь с сервером базы данных потеряна; перезапустите программу")},
        {{isc_arg_gds, isc_login}, QStringLiteral("неверное имя пользователя или пароль базы данных")},
        {{isc_arg_gds, isc_no_priv, isc_arg_string, text("UPDATE"), isc_arg_string, text("TABLE"), isc_arg_string,
          text("LIST_OBJECTS")},
         QStringLiteral("недостаточно прав для этого действия")},
        {{isc_arg_gds, isc_unique_key_violation, isc_arg_string, text("PK_LIST_OBJECTS"), isc_arg_string,
          text("LIST_OBJECTS")},
         QStringLiteral("запись с таким значением уже есть, а оно не должно повторяться")},
        {{isc_arg_gds, isc_not_valid, isc_arg_string, text("\"LIST_OBJECTS\".\"FIO\""), isc_arg_string,
          text("*** null ***")},
         QStringLiteral("не заполнено обязательное поле: LIST_OBJECTS.FIO")},
        {{isc_arg_gds, isc_foreign_key, isc_arg_string, text("FK_1"), isc_arg_string, text("IMAGE_OBJECT_DATE"),
          isc_arg_gds, isc_foreign_key_references_present},
         QStringLiteral("на запись ссылаются другие записи; сначала измените или удалите их")},
        {{isc_arg_gds, isc_arith_except, isc_arg_gds, isc_string_truncation, isc_arg_gds, isc_trunc_limits,
          isc_arg_number, 5, isc_arg_number, 12},
         QStringLiteral("текст длиннее, чем допускает поле (не более 5 знаков)")},
        // The value quoted back is Windows-1251, as the database keeps its texts.
        {{isc_arg_gds, isc_convert_error, isc_arg_string, text("\xE0\xE1\xE2")},
         QStringLiteral("значение «абв» не подходит для поля")},
        {{isc_arg_gds, isc_dsql_error, isc_arg_gds, isc_dsql_relation_err, isc_arg_string, text("NO_SUCH_TABLE")},
         QStringLiteral("ошибка базы данных")},
        {{}, QStringLiteral("ошибка базы данных")},
    };
    for (const auto& c : cases) {
        std::vector<std::intptr_t> errors = c.errors;
        errors.push_back(isc_arg_end);
        EXPECT_EQ(databaseReason(errors.data()), c.reason);
    }
}

TEST(DatabaseReason, TheErrorLeadsWithTheReasonAndKeepsTheDatabasesMessage) {
    Firebird::IStatus* refusal = fb::master()->getStatus();
    const std::intptr_t errors[] = {isc_arg_gds, isc_read_only_database, isc_arg_end};
    refusal->setErrors(errors);
    const DatabaseError error = fb::databaseError(Firebird::FbException(refusal));
    refusal->dispose();
    EXPECT_TRUE(error.refusedByDatabase());
    EXPECT_EQ(error.reason(), QStringLiteral("база данных открыта только для чтения"));
    EXPECT_EQ(error.text(), QStringLiteral("База данных открыта только для чтения\n"
                                           "Сообщение базы данных: attempted update on read-only database"));
}

TEST_F(DataSetTest, ARefusedChangeShowsTheStoredRowAgainAndSaysWhy) {
    const int id = fixture.addObject(QStringLiteral("А"), QStringLiteral("1"), 0);
    fixture.addObject(QStringLiteral("Б"), QStringLiteral("2"), 0);
    fixture.makeReadOnly();
    DataSet objects(fixture.db());
    openObjects(objects);
    const int mark = objects.fieldIndex(QStringLiteral("CHECK_GRID"));
    objects.edit();
    objects.field(QStringLiteral("CHECK_GRID")).setValue(1);
    QSignalSpy changed(&objects, &DataSet::rowChanged);
    try {
        objects.post();
        FAIL() << "the read-only database took the change";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Изменение не сохранено: база данных открыта только для "
                                                           "чтения\nСообщение базы данных: ")))
            << error.text().toStdString();
    }
    EXPECT_EQ(objects.state(), DataSet::State::Browse);
    EXPECT_FALSE(objects.isModified());
    EXPECT_EQ(objects.value(0, mark), QVariant(0));
    ASSERT_EQ(changed.count(), 1) << "views repaint the row";
    EXPECT_EQ(changed[0][0].toInt(), 0);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT CHECK_GRID FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(id)),
              QVariant(0));

    // Moving away posts the open row; after a refusal the operator is still on it, and it shows what is stored.
    const QString storedStatus = objects.field(QStringLiteral("STATUS")).asString();
    objects.edit();
    objects.field(QStringLiteral("STATUS")).setValue(QStringLiteral("Работает"));
    EXPECT_THROW(objects.next(), DatabaseError);
    EXPECT_EQ(objects.currentRow(), 0);
    EXPECT_EQ(objects.state(), DataSet::State::Browse);
    EXPECT_EQ(objects.field(QStringLiteral("STATUS")).asString(), storedStatus);
}

TEST_F(DataSetTest, ARefusedNewRowStaysOpenWithTheOperatorsInput) {
    fixture.makeReadOnly();
    DataSet objects(fixture.db());
    openObjects(objects);
    objects.append();
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("Новый"));
    try {
        objects.post();
        FAIL() << "the read-only database took the row";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Запись не сохранена: база данных открыта только для "
                                                           "чтения\nСообщение базы данных: ")))
            << error.text().toStdString();
    }
    EXPECT_EQ(objects.state(), DataSet::State::Insert);
    EXPECT_EQ(objects.rowCount(), 1);
    EXPECT_EQ(objects.field(QStringLiteral("FIO")).asString(), QStringLiteral("Новый"));
}

TEST_F(DataSetTest, AChangeToARowAnotherUserHoldsIsRefusedAfterTheLockTimeOut) {
    const int id = fixture.addObject(QStringLiteral("А"), QStringLiteral("1"), 0);
    Database other;
    other.connect(fixture.path());
    other.execute(QStringLiteral("UPDATE LIST_OBJECTS SET CHECK_GRID=1 WHERE ID_OBJECT=%1").arg(id)); // not committed

    db.setLockTimeout(1);
    db.commit(); // the next transaction waits as set
    DataSet objects(db);
    openObjects(objects);
    objects.edit();
    objects.field(QStringLiteral("CHECK_GRID")).setValue(2);
    try {
        objects.post();
        FAIL() << "the held row was changed";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Изменение не сохранено: запись изменена или заблокирована "
                                                           "другим пользователем; повторите позже\n")))
            << error.text().toStdString();
    }
    EXPECT_EQ(objects.field(QStringLiteral("CHECK_GRID")).asInteger(), 0);
}

namespace {

const QString kReadingsSelect =
    QStringLiteral("SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY DAT DESC");
const QString kReadingsModify = QStringLiteral(
    "UPDATE IMAGE_OBJECT_DATE SET error=:error, ID_OBJECT=:ID_OBJECT, DAT=:DAT, READINGS= :READINGS, BAT=:BAT, "
    "CSQ=:CSQ, NSMOD=:NSMOD WHERE   ID_IMAG = ?old_ID_IMAG");
const QString kReadingsDelete = QStringLiteral("delete from IMAGE_OBJECT_DATE where ID_IMAG=?old_ID_IMAG");

// Another operator's connection to the same database file, storing its work at once.
void storeAsAnotherOperator(const QString& path, const QString& sql) {
    Database other;
    other.connect(path);
    other.execute(sql);
    other.commitRetaining();
}

} // namespace

TEST_F(DataSetTest, AChangeOrRemovalOfARowAnotherOperatorChangedSinceItWasReadIsRefused) {
    const struct {
        const char* name;
        QString othersChange; // stored by the other operator after this one read the list
        bool remove;          // this operator removes the row instead of changing its mark
        bool refused;
        bool rowGone;
    } cases[] = {
        {"their status, my mark", u"UPDATE LIST_OBJECTS SET STATUS='Не работает' WHERE FIO='A'"_s, false, true, false},
        {"their mark, my mark", u"UPDATE LIST_OBJECTS SET CHECK_GRID=1 WHERE FIO='A'"_s, false, true, false},
        {"their status, my removal", u"UPDATE LIST_OBJECTS SET STATUS='Отключен' WHERE FIO='A'"_s, true, true, false},
        {"their removal, my mark", u"DELETE FROM LIST_OBJECTS WHERE FIO='A'"_s, false, true, true},
        {"their removal, my removal", u"DELETE FROM LIST_OBJECTS WHERE FIO='A'"_s, true, true, true},
        // A column my statement does not write is none of my business.
        {"their address, my mark", u"UPDATE LIST_OBJECTS SET ADDRESS='Новая, 1' WHERE FIO='A'"_s, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.exec(u"DELETE FROM LIST_OBJECTS"_s);
        const int id = fixture.addObject(u"A"_s, u"1"_s);
        fixture.addObject(u"B"_s, u"2"_s);
        DataSet objects(db);
        objects.setSelectSql(u"SELECT * FROM LIST_OBJECTS ORDER BY FIO"_s);
        objects.setModifySql(kObjectsModify);
        objects.setDeleteSql(u"Delete From LIST_OBJECTS where id_object=?old_id_object"_s);
        objects.open();
        ASSERT_EQ(objects.field(u"ID_OBJECT"_s).asInteger(), id);

        storeAsAnotherOperator(fixture.path(), c.othersChange);
        const QString othersStatus =
            fixture.committedValue(u"SELECT STATUS FROM LIST_OBJECTS WHERE FIO='A'"_s).toString();
        const QVariant othersMark = fixture.committedValue(u"SELECT CHECK_GRID FROM LIST_OBJECTS WHERE FIO='A'"_s);
        try {
            if (c.remove) {
                objects.remove();
            } else {
                objects.edit();
                objects.field(u"CHECK_GRID"_s).setValue(1 - objects.field(u"CHECK_GRID"_s).asInteger());
                objects.post();
            }
            db.commitRetaining();
            EXPECT_FALSE(c.refused) << "stored over the other operator's work";
        } catch (const RowChangedByOther& refusal) {
            EXPECT_TRUE(c.refused) << refusal.text().toStdString();
            EXPECT_EQ(refusal.removed(), c.rowGone);
            EXPECT_TRUE(refusal.text().contains(u"другим оператором"_s)) << refusal.text().toStdString();
            db.commitRetaining();
            // Nothing of mine was written over theirs, and the list shows what is stored.
            EXPECT_EQ(fixture.committedValue(u"SELECT STATUS FROM LIST_OBJECTS WHERE FIO='A'"_s).toString(),
                      othersStatus);
            EXPECT_EQ(fixture.committedValue(u"SELECT CHECK_GRID FROM LIST_OBJECTS WHERE FIO='A'"_s), othersMark);
            EXPECT_EQ(objects.state(), DataSet::State::Browse);
            if (c.rowGone) {
                EXPECT_EQ(objects.rowCount(), 1);
                EXPECT_EQ(objects.field(u"FIO"_s).asString(), u"B"_s);
            } else {
                EXPECT_EQ(objects.field(u"FIO"_s).asString(), u"A"_s);
                EXPECT_EQ(objects.field(u"STATUS"_s).asString(), othersStatus);
                EXPECT_EQ(objects.field(u"CHECK_GRID"_s).value(), othersMark);
            }
        }
    }
}

TEST_F(DataSetTest, OneOperatorsEditsOneAfterAnotherAreNeverRefused) {
    const int id = fixture.addObject(u"A"_s, u"1"_s);
    fixture.exec(u"UPDATE LIST_OBJECTS SET STATUS=NULL, CHECK_GRID=NULL WHERE ID_OBJECT=%1"_s.arg(id));
    addReading(db, id, u"101"_s, QDateTime(QDate(2020, 1, 1), QTime(10, 0, 5, 250)), pictureBytes(1, 100), u"12 "_s);
    addReading(db, id, u"102"_s, QDateTime(QDate(2020, 1, 2), QTime(10, 0)), {}, {});

    DataSet objects(db);
    objects.setSelectSql(u"SELECT * FROM LIST_OBJECTS"_s);
    objects.setModifySql(kObjectsModify);
    objects.open();
    DataSet readings(db);
    readings.setSelectSql(kReadingsSelect);
    readings.setModifySql(kReadingsModify);
    readings.setDeleteSql(kReadingsDelete);
    readings.setMaster(&objects);
    readings.open();

    // Nulls, a text with a trailing blank and a time with milliseconds are all compared as they were read.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        objects.edit();
        objects.field(u"CHECK_GRID"_s).setValue(round % 2);
        objects.field(u"STATUS"_s).setValue(round == 1 ? QVariant() : QVariant(u"Работает"_s));
        EXPECT_NO_THROW(objects.post());
        db.commitRetaining();
        for (int row = 0; row < readings.rowCount(); ++row) {
            readings.moveTo(row);
            readings.edit();
            readings.field(u"READINGS"_s).setValue(round == 2 ? QVariant() : QVariant(u"%1 "_s.arg(round)));
            readings.field(u"ERROR"_s).setValue(99);
            EXPECT_NO_THROW(readings.post());
            db.commitRetaining();
        }
    }
    EXPECT_EQ(fixture.committedValue(u"SELECT COUNT(*) FROM IMAGE_OBJECT_DATE WHERE ERROR=99"_s).toInt(), 2);
    readings.first();
    EXPECT_NO_THROW(readings.remove());
    db.commitRetaining();
    EXPECT_EQ(fixture.committedValue(u"SELECT COUNT(*) FROM IMAGE_OBJECT_DATE"_s).toInt(), 1);
}
