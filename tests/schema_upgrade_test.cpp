#include "base/Failure.h"
#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/SchemaUpgrade.h"
#include "db/Statement.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QMap>

#include <tuple>

#include <gtest/gtest.h>

using namespace vornic;
using vornic::test::TestDatabase;

namespace {

class SchemaUpgradeTest : public ::testing::Test {
protected:
    TestDatabase fixture;

    QString descriptionPath() const { return fixture.folder() + QStringLiteral("compare_bd.xml"); }

    void writeDescription(const QByteArray& xml) {
        QFile file(descriptionPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xml);
    }

    QStringList objectColumns() {
        return fixture.db().columnNames(QStringLiteral("select* from LIST_OBJECTS where id_object=1"));
    }

    // The database's committed indexes, none of a constraint's, each as "NAME [DESCENDING ]ON TABLE (A, B)",
    // in the order of their names.
    QStringList indexes() const {
        Database other;
        other.connect(fixture.path());
        Statement statement(other,
                            QStringLiteral("SELECT TRIM(i.RDB$INDEX_NAME), COALESCE(i.RDB$INDEX_TYPE, 0), "
                                           "TRIM(i.RDB$RELATION_NAME), TRIM(s.RDB$FIELD_NAME) FROM RDB$INDICES i "
                                           "JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
                                           "WHERE COALESCE(i.RDB$SYSTEM_FLAG, 0) = 0 AND NOT EXISTS (SELECT 1 FROM "
                                           "RDB$RELATION_CONSTRAINTS c WHERE c.RDB$INDEX_NAME = i.RDB$INDEX_NAME) "
                                           "ORDER BY 1, s.RDB$FIELD_POSITION"));
        statement.open();
        QMap<QString, QString> heads;
        QMap<QString, QStringList> fields;
        while (statement.fetch()) {
            const QString name = statement.value(0).toString();
            heads[name] =
                (statement.value(1).toInt() == 1 ? QStringLiteral(" DESCENDING ON ") : QStringLiteral(" ON ")) +
                statement.value(2).toString();
            fields[name].append(statement.value(3).toString());
        }
        QStringList definitions;
        for (auto head = heads.cbegin(); head != heads.cend(); ++head)
            definitions.append(head.key() + head.value() + QStringLiteral(" (") +
                               fields[head.key()].join(QStringLiteral(", ")) + QStringLiteral(")"));
        return definitions;
    }
};

const QStringList kDeliveredObjectColumns = {QStringLiteral("ID_OBJECT"),     QStringLiteral("PERSONAL_ACCOUNT"),
                                             QStringLiteral("FIO"),           QStringLiteral("ADDRESS"),
                                             QStringLiteral("ID_SCANNER"),    QStringLiteral("NOMER_PLOMB"),
                                             QStringLiteral("STATUS"),        QStringLiteral("SIM_CARD"),
                                             QStringLiteral("POWER_DEVICES"), QStringLiteral("CHECK_GRID")};

// The indexes of a database made from the delivered schema.
const QStringList kDeliveredIndexes = {
    QStringLiteral("IX_IMAGE_OBJECT_DATE_DAT DESCENDING ON IMAGE_OBJECT_DATE (DAT, ID_IMAG)"),
    QStringLiteral("IX_IMAGE_OBJECT_DATE_NEWEST DESCENDING ON IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG)"),
    QStringLiteral("IX_IMAGE_OBJECT_DATE_OLDEST ON IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG)"),
    QStringLiteral("IX_STATUS_OBJECT_OBJECT ON STATUS_OBJECT (ID_OBJECT)"),
};

QByteArray deliveredDescription() {
    QFile file(QStringLiteral(VORNIC_SOURCE_DIR "/db/schema/compare_bd.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

TEST_F(SchemaUpgradeTest, WithoutADescriptionNothingHappens) {
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
}

// Elements of other tables are never applied, so what they hold is not checked either.
TEST_F(SchemaUpgradeTest, PresentColumnsInAnyCaseAndTablesNamedInAnotherCaseChangeNothing) {
    writeDescription(R"xml(<?xml version="1.0" encoding="windows-1251"?>
<bd>
  <LIST_OBJECTS><c name="id_object" type="INTEGER"/><c name="Fio" type="VARCHAR(250)"/></LIST_OBJECTS>
  <list_objects><c name="IGNORED" type="INTEGER"/><c name="X; DROP TABLE LIST_OBJECTS" type="?"/></list_objects>
  <OTHER_TABLE><c name="X" type="INTEGER DEFAULT 0; DELETE FROM LIST_OBJECTS"/></OTHER_TABLE>
</bd>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
    EXPECT_FALSE(QFile::exists(descriptionPath())) << "the description is consumed";
}

TEST_F(SchemaUpgradeTest, MissingColumnsAreAddedAtTheirListedPlaces) {
    writeDescription(R"xml(<root>
  <LIST_OBJECTS>
    <c name="ID_OBJECT" type="INTEGER"/><c name="PERSONAL_ACCOUNT" type="VARCHAR(50)"/>
    <c name="FIO" type="VARCHAR(250)"/><c name="ADDRESS" type="VARCHAR(250)"/>
    <c name="NOTE_ONE" type="VARCHAR(40)"/><c name="NOTE_TWO" type="INTEGER"/>
  </LIST_OBJECTS>
  <STATUS_OBJECT><c name="AUTHOR" type="VARCHAR(80)"/></STATUS_OBJECT>
</root>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    const QStringList columns = objectColumns();
    ASSERT_EQ(columns.size(), 12);
    EXPECT_EQ(columns[4], QStringLiteral("NOTE_ONE"));
    EXPECT_EQ(columns[5], QStringLiteral("NOTE_TWO"));
    EXPECT_EQ(columns[6], QStringLiteral("ID_SCANNER")) << "existing columns follow";
    EXPECT_EQ(fixture.db().columnNames(QStringLiteral("select* from STATUS_OBJECT where COUNTER_STAT=1")).first(),
              QStringLiteral("AUTHOR"));
    // Committed: another connection sees the columns.
    EXPECT_EQ(fixture
                  .committedValue(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                                                 "WHERE RDB$FIELD_NAME IN ('NOTE_ONE', 'NOTE_TWO', 'AUTHOR')"))
                  .toInt(),
              3);
}

// A type of the right form that the database still refuses: the check lets it through, the database does not.
TEST_F(SchemaUpgradeTest, ARefusedDescriptionIsKeptAndTheMendedOneIsAppliedAtTheNextStart) {
    writeDescription(R"xml(<root><IMAGE_OBJECT_DATE>
      <c name="QUALITY" type="INTEGER"/><c name="BROKEN" type="VARCHAR(5) CHARACTER SET NO_SUCH_SET"/>
    </IMAGE_OBJECT_DATE></root>)xml");
    EXPECT_THROW(upgradeSchema(fixture.db(), fixture.folder()), DatabaseError);
    EXPECT_TRUE(QFile::exists(descriptionPath()));

    fixture.reconnect(); // the next start, with the description mended
    writeDescription(R"xml(<root><IMAGE_OBJECT_DATE>
      <c name="QUALITY" type="INTEGER"/><c name="BROKEN" type="VARCHAR(5)"/>
    </IMAGE_OBJECT_DATE></root>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    const QStringList columns =
        fixture.db().columnNames(QStringLiteral("select* from IMAGE_OBJECT_DATE where id_object=1"));
    EXPECT_EQ(columns.indexOf(QStringLiteral("QUALITY")), 0);
    EXPECT_EQ(columns.indexOf(QStringLiteral("BROKEN")), 1);
    EXPECT_FALSE(QFile::exists(descriptionPath()));
}

// Entries the database would refuse, each after a valid one: either the check refuses the description before
// any statement runs, or the database refuses one entry and the valid one before it is rolled back with it.
TEST_F(SchemaUpgradeTest, ARefusedEntryLeavesTheDatabaseAsItWas) {
    const struct {
        const char* entries;
        QString reported;
    } cases[] = {
        {R"xml(<c name="VALUE" type="INTEGER"/>)xml",
         QStringLiteral("запись 2 — имя столбца «VALUE» является зарезервированным словом SQL")},
        {R"xml(<c name="RDB$DB_KEY" type="INTEGER"/>)xml",
         QStringLiteral("запись 2 — имя столбца «RDB$DB_KEY» относится к системным именам базы данных")},
        {R"xml(<c name="NOTE_TWO" type="VARCHAR(10) CHARACTER SET NOSUCH"/>)xml",
         QStringLiteral("запись 2 (столбец NOTE_TWO) — в базе данных нет такого набора символов: NOSUCH")},
        // The database checks the row size only at the commit; the entry named is the one that overflows it.
        {R"xml(<c name="WIDE_1" type="VARCHAR(32000)"/><c name="WIDE_2" type="VARCHAR(32000)"/>
            <c name="WIDE_3" type="VARCHAR(32000)"/><c name="WIDE_4" type="VARCHAR(32000)"/>)xml",
         QStringLiteral("запись 4 (столбец WIDE_3) — строка таблицы стала бы длиннее допустимых 64 КБ")},
    };
    fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("S1"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries);
        writeDescription(QByteArray(R"xml(<root><LIST_OBJECTS><c name="NOTE_ONE" type="INTEGER"/>)xml") + c.entries +
                         "</LIST_OBJECTS></root>");
        try {
            upgradeSchema(fixture.db(), fixture.folder());
            ADD_FAILURE() << "accepted";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().startsWith(QStringLiteral("Файл %1 не применён").arg(descriptionPath())))
                << failure.text().toStdString();
            EXPECT_TRUE(failure.text().contains(QStringLiteral("в таблице LIST_OBJECTS ") + c.reported))
                << failure.text().toStdString();
        }
        EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
        EXPECT_EQ(fixture
                      .committedValue(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                                                     "WHERE RDB$RELATION_NAME = 'LIST_OBJECTS'"))
                      .toInt(),
                  10);
        EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")).toInt(), 1);
        EXPECT_TRUE(QFile::exists(descriptionPath()));
    }
    fixture.reconnect(); // nothing of the refused changes is left over for the program's next start either
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
}

TEST_F(SchemaUpgradeTest, ADescriptionThatIsNoXmlOrTooDeepOrTooLargeIsReportedAndKept) {
    const auto nested = [](int levels) {
        return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
    };
    const struct {
        const char* what;
        QByteArray xml;
        QString reported; // empty: read
    } cases[] = {
        {"no well-formed XML", "<root><LIST_OBJECTS><c name=\"X\" type=\"INTEGER\"></root>",
         QStringLiteral("не является правильным XML-документом")},
        {"nothing", "", QStringLiteral("не является правильным XML-документом")},
        {"200,000 levels", nested(200000), QStringLiteral("элементы вложены глубже 32 уровней (строка 1")},
        {"33 levels", nested(33), QStringLiteral("элементы вложены глубже 32 уровней")},
        {"32 levels", nested(32), {}},
        {"over 4 MB", "<root>" + QByteArray(4 * 1024 * 1024, ' ') + "</root>",
         QStringLiteral("описание столбцов не может быть больше 4 МБ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeDescription(c.xml);
        try {
            upgradeSchema(fixture.db(), fixture.folder());
            EXPECT_TRUE(c.reported.isEmpty()) << "accepted";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().startsWith(QStringLiteral("Файл %1 не ").arg(descriptionPath())))
                << failure.text().toStdString();
            EXPECT_TRUE(!c.reported.isEmpty() && failure.text().contains(c.reported)) << failure.text().toStdString();
        }
        EXPECT_EQ(QFile::exists(descriptionPath()), !c.reported.isEmpty());
        EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
    }
}

// The reading rules: entries are the table element's child elements, counted in order whatever they hold or are
// named; text, comments and other elements are passed over; a table's name is compared as written, prefix and all.
TEST(SchemaDescriptionReading, EntriesAreTheTableElementsChildElementsInOrder) {
    const QList<DescribedTable> tables = parseSchemaDescription(R"xml(<?xml version="1.0"?>
<!-- before the root -->
<bd>
  text <OTHER><LIST_OBJECTS><c name="NESTED" type="INTEGER"/></LIST_OBJECTS></OTHER>
  <LIST_OBJECTS>
    <!-- a comment --> words
    <column name="A" type="INTEGER"><inner name="I" type="INTEGER"><deeper/></inner></column>
    <other type="DATE" name="B" extra="x"/>
    <c/>
  </LIST_OBJECTS>
  <x:STATUS_OBJECT xmlns:x="urn:x"><c name="PREFIXED" type="INTEGER"/></x:STATUS_OBJECT>
  <STATUS_OBJECT/>
</bd>)xml",
                                                                QStringLiteral("c.xml"))
                                             .tables;
    ASSERT_EQ(tables.size(), 2);
    EXPECT_EQ(tables[0].table, QStringLiteral("LIST_OBJECTS"));
    ASSERT_EQ(tables[0].columns.size(), 3);
    const DescribedColumn& a = tables[0].columns[0];
    const DescribedColumn& b = tables[0].columns[1];
    const DescribedColumn& empty = tables[0].columns[2];
    EXPECT_EQ(std::tuple(a.name, a.type, a.place), std::tuple(QStringLiteral("A"), QStringLiteral("INTEGER"), 1));
    EXPECT_EQ(std::tuple(b.name, b.type, b.place), std::tuple(QStringLiteral("B"), QStringLiteral("DATE"), 2));
    EXPECT_EQ(std::tuple(empty.name, empty.type, empty.place), std::tuple(QString(), QString(), 3));
    EXPECT_EQ(tables[1].table, QStringLiteral("STATUS_OBJECT"));
    EXPECT_TRUE(tables[1].columns.isEmpty());
}

namespace {

// Types written in each way the check lets through; each must be one the database takes too.
const QStringList kAcceptedTypes = {
    QStringLiteral("VARCHAR(20)"),
    QStringLiteral("varchar ( 20 )"),
    QStringLiteral("NUMERIC(15,2)"),
    QStringLiteral("DOUBLE PRECISION"),
    QStringLiteral(" double\t \tprecision "),
    QStringLiteral("BLOB SUB_TYPE TEXT"),
    QStringLiteral("VARCHAR(20) CHARACTER SET WIN1251"),
    QStringLiteral("SMALLINT"),
    QStringLiteral("int"),
    QStringLiteral("BIGINT"),
    QStringLiteral("FLOAT"),
    QStringLiteral("REAL"),
    QStringLiteral("DATE"),
    QStringLiteral("Time"),
    QStringLiteral("TIMESTAMP"),
    QStringLiteral("BOOLEAN"),
    QStringLiteral("CHAR(1)"),
    QStringLiteral("CHARACTER(32767)"),
    QStringLiteral("VARCHAR(32765)"),
    QStringLiteral("CHAR VARYING(10)"),
    QStringLiteral("CHARACTER  VARYING (10) character set UTF8"),
    QStringLiteral("NCHAR(5)"),
    QStringLiteral("NUMERIC(1)"),
    QStringLiteral("DECIMAL(18,18)"),
    QStringLiteral("DECIMAL( 9 , 0 )"),
    QStringLiteral("BLOB"),
    QStringLiteral("BLOB SUB_TYPE 0 SEGMENT SIZE 80"),
    QStringLiteral("BLOB SUB_TYPE BINARY"),
    QStringLiteral("BLOB SUB_TYPE 1 SEGMENT SIZE 80 CHARACTER SET WIN1251"),
};

// The check's answer for one entry: empty when accepted, else what the failure says is wrong.
QString entryFault(const QString& name, const QString& type) {
    try {
        checkSchemaDescription({.tables = {{QStringLiteral("LIST_OBJECTS"), {{name, type, 3}}}}, .indexes = {}},
                               QStringLiteral("c.xml"));
        return {};
    } catch (const Failure& failure) {
        return failure.text();
    }
}

} // namespace

TEST(SchemaDescriptionCheck, NamesArePlainIdentifiersAndNoSqlWords) {
    const QString notPlain = QStringLiteral("не является простым именем SQL");
    const QString sqlWord = QStringLiteral("является зарезервированным словом SQL");
    const struct {
        QString name;
        QString fault; // empty: accepted
    } cases[] = {
        {QStringLiteral("NOTE"), {}},
        {QStringLiteral("note_2$x"), {}},
        {QStringLiteral("A234567890123456789012345678901"), {}}, // 31
        {QStringLiteral("POSITIONS"), {}},
        {QStringLiteral("A2345678901234567890123456789012"), notPlain}, // 32
        {QStringLiteral("X; DROP TABLE LIST_OBJECTS"), notPlain},
        {QStringLiteral("A B"), notPlain},
        {QStringLiteral("\"QUOTED\""), notPlain},
        {QStringLiteral("ПРИМЕЧАНИЕ"), notPlain},
        {QStringLiteral("NOTEЁ"), notPlain},
        {QStringLiteral("_NOTE"), notPlain},
        {QStringLiteral("1NOTE"), notPlain},
        {QStringLiteral("NOTE-2"), notPlain},
        {QStringLiteral("NOTE\n"), notPlain},
        {QStringLiteral("Ｎ"), notPlain}, // a letter of the full-width Latin block
        {QStringLiteral("select"), sqlWord},
        {QStringLiteral("Position"), sqlWord},
        {QStringLiteral("NULL"), sqlWord},
        {QStringLiteral("value"), sqlWord},
        {QStringLiteral("Rdb$Record_Version"), QStringLiteral("относится к системным именам базы данных")},
        {QStringLiteral("MON$STATE"), QStringLiteral("относится к системным именам базы данных")},
        {QStringLiteral("sec$user"), QStringLiteral("относится к системным именам базы данных")},
        {QStringLiteral("RDB_NOTE"), {}},
        {QStringLiteral("TYPE"), {}}, // a word of the language the server does not reserve
        {QString(), QStringLiteral("не указано имя столбца")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString fault = entryFault(c.name, QStringLiteral("INTEGER"));
        if (c.fault.isEmpty())
            EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
        else
            EXPECT_TRUE(fault.contains(c.fault)) << fault.toStdString();
    }
}

TEST(SchemaDescriptionCheck, TypesAreWholeColumnTypes) {
    for (const QString& type : kAcceptedTypes) {
        SCOPED_TRACE(type.toStdString());
        const QString fault = entryFault(QStringLiteral("NOTE"), type);
        EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
    }

    const QStringList refused = {
        QStringLiteral("INTEGER DEFAULT 0"),
        QStringLiteral("INTEGER; DELETE FROM LIST_OBJECTS"),
        QStringLiteral("INTEGER;"),
        QStringLiteral("VARCHAR(20) /* note */"),
        QStringLiteral("VARCHAR(20) CHARACTER SET WIN1251'"),
        QStringLiteral("INTEGER NOT NULL"),
        QStringLiteral("INTEGER -- note"),
        QStringLiteral("INTEGER\nNOT NULL"),
        QStringLiteral("VARCHAR(0)"),
        QStringLiteral("VARCHAR(99999)"),
        QStringLiteral("VARCHAR(32766)"),
        QStringLiteral("CHAR(32768)"),
        QStringLiteral("VARCHAR(99999999999999999999)"),
        QStringLiteral("VARCHAR(-1)"),
        QStringLiteral("VARCHAR(２０)"), // full-width digits
        QStringLiteral("VARCHAR"),
        QStringLiteral("VARCHAR(20"),
        QStringLiteral("VARCHAR(20))"),
        QStringLiteral("VARCHAR(20,2)"),
        QStringLiteral("VARCHAR(20) CHARACTER SET"),
        QStringLiteral("VARCHAR(20) CHARACTER SET \"WIN1251\""),
        QStringLiteral("VARCHAR(20) CHARACTER SET WIN1251 COLLATE PXW_CYRL"),
        QStringLiteral("NCHAR(5) CHARACTER SET WIN1251"),
        QStringLiteral("NUMERIC(20,2)"),
        QStringLiteral("NUMERIC(0)"),
        QStringLiteral("NUMERIC(5,6)"),
        QStringLiteral("NUMERIC"),
        QStringLiteral("DOUBLE"),
        QStringLiteral("DOUBLEPRECISION"),
        QStringLiteral("INTEGER INTEGER"),
        QStringLiteral("BLOB SUB_TYPE"),
        QStringLiteral("BLOB SUB_TYPE BINARY CHARACTER SET WIN1251"),
        QStringLiteral("BLOB SEGMENT 80"),
        QStringLiteral("BLOB SUB_TYPE TEXT SEGMENT SIZE 0"),
        QStringLiteral("ЦЕЛОЕ"),
        QStringLiteral("  "),
    };
    for (const QString& type : refused) {
        SCOPED_TRACE(type.toStdString());
        EXPECT_TRUE(entryFault(QStringLiteral("NOTE"), type)
                        .contains(QStringLiteral("тип столбца «%1» не является типом SQL").arg(type)));
    }
    EXPECT_TRUE(entryFault(QStringLiteral("NOTE"), QString()).contains(QStringLiteral("не указан тип столбца")));
}

TEST_F(SchemaUpgradeTest, OneBadEntryRefusesTheWholeDescriptionAndNothingIsApplied) {
    fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("S1"));
    fixture.addObject(QStringLiteral("Петров"), QStringLiteral("S2"));
    writeDescription(R"xml(<root>
  <STATUS_OBJECT><c name="AUTHOR" type="VARCHAR(80)"/></STATUS_OBJECT>
  <LIST_OBJECTS><c name="NOTE_ONE" type="VARCHAR(40)"/><c name="X; DROP TABLE LIST_OBJECTS" type="INTEGER"/></LIST_OBJECTS>
</root>)xml");
    try {
        upgradeSchema(fixture.db(), fixture.folder());
        FAIL() << "accepted";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.text().toStdString(),
                  QStringLiteral("Файл %1 не применён: в таблице LIST_OBJECTS запись 2 — имя столбца "
                                 "«X; DROP TABLE LIST_OBJECTS» не является простым именем SQL.")
                      .arg(descriptionPath())
                      .toStdString());
    }
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
    EXPECT_FALSE(fixture.db()
                     .columnNames(QStringLiteral("select* from STATUS_OBJECT where COUNTER_STAT=1"))
                     .contains(QStringLiteral("AUTHOR")))
        << "entries of a table before the bad one are not applied either";
    EXPECT_EQ(fixture
                  .committedValue(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                                                 "WHERE RDB$FIELD_NAME IN ('NOTE_ONE', 'AUTHOR', 'X')"))
                  .toInt(),
              0);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")).toInt(), 2);
    EXPECT_TRUE(QFile::exists(descriptionPath())) << "kept for the next start";

    writeDescription(R"xml(<root>
  <LIST_OBJECTS><c name="NOTE_ONE" type="varchar ( 40 )"/></LIST_OBJECTS>
</root>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_EQ(objectColumns().first(), QStringLiteral("NOTE_ONE"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")).toInt(), 2);
    EXPECT_FALSE(QFile::exists(descriptionPath()));
}

TEST_F(SchemaUpgradeTest, TypesTheCheckAcceptsAreTakenByTheDatabase) {
    for (const QString& type : kAcceptedTypes) {
        SCOPED_TRACE(type.toStdString());
        QByteArray xml = R"xml(<root><LIST_OBJECTS><c name="NOTE" type="TYPE"/></LIST_OBJECTS></root>)xml";
        writeDescription(xml.replace("TYPE", type.toUtf8()));
        upgradeSchema(fixture.db(), fixture.folder());
        ASSERT_EQ(objectColumns().first(), QStringLiteral("NOTE"));
        fixture.exec(QStringLiteral("ALTER TABLE LIST_OBJECTS DROP NOTE")); // one at a time: rows have a size limit
    }
}

// Index elements are the root's children named "INDEX" exactly; what they hold is passed over.
TEST(SchemaDescriptionReading, IndexElementsAreTheRootsChildrenNamedIndex) {
    const SchemaDescription description = parseSchemaDescription(R"xml(<bd>
  <index name="LOWER" table="LIST_OBJECTS" fields="FIO"/>
  <OTHER><INDEX name="NESTED" table="LIST_OBJECTS" fields="FIO"/></OTHER>
  <LIST_OBJECTS><INDEX name="AN_ENTRY" type="INTEGER"/></LIST_OBJECTS>
  <INDEX name="A" table="T" fields=" X ,Y,, " descending="Yes"><INDEX name="INNER"/></INDEX>
  <INDEX name="B" descending="TRUE"/>
  <INDEX name="C" fields="  " descending="1"/>
  <INDEX name="D" descending="no"/>
  <INDEX name="E" descending=" yes"/>
  <INDEX name="F" descending="2"/>
  <INDEX name="G"/>
</bd>)xml",
                                                                 QStringLiteral("c.xml"));
    ASSERT_EQ(description.tables.size(), 1);
    EXPECT_EQ(description.tables[0].columns[0].name, QStringLiteral("AN_ENTRY"));
    QStringList read;
    for (const DescribedIndex& index : description.indexes)
        read.append(QStringLiteral("%1 %2 %3 [%4] %5")
                        .arg(QString::number(index.place), index.name, index.table,
                             index.fields.join(QStringLiteral("|")),
                             index.descending ? QStringLiteral("desc") : QStringLiteral("asc")));
    EXPECT_EQ(read,
              QStringList({QStringLiteral("1 A T [X|Y||] desc"), QStringLiteral("2 B  [] desc"),
                           QStringLiteral("3 C  [] desc"), QStringLiteral("4 D  [] asc"), QStringLiteral("5 E  [] asc"),
                           QStringLiteral("6 F  [] asc"), QStringLiteral("7 G  [] asc")}));
}

// Each index element after a valid column and a valid index: refused ones stop the description before any
// statement runs, naming the element; accepted ones pass the check.
TEST_F(SchemaUpgradeTest, IndexElementsAreCheckedBeforeAnythingIsApplied) {
    const QString notPlain = QStringLiteral("не является простым именем SQL");
    const QString notATable = QStringLiteral("не из тех, что описание может изменить (IMAGE_OBJECT_DATE, "
                                             "LIST_OBJECTS, STATUS_OBJECT)");
    const struct {
        const char* attributes;
        QString fault; // empty: accepted
    } cases[] = {
        {R"(name="ix_fio" table="LIST_OBJECTS" fields=" FIO ,ADDRESS " descending="yes")", {}},
        {R"(name="A234567890123456789012345678901" table="STATUS_OBJECT" fields="ID_OBJECT,STATUS_DATE")", {}},
        {R"(table="LIST_OBJECTS" fields="FIO")", QStringLiteral("не указано имя индекса")},
        {R"(name="IX; DROP TABLE LIST_OBJECTS" table="LIST_OBJECTS" fields="FIO")",
         QStringLiteral("имя индекса «IX; DROP TABLE LIST_OBJECTS» ") + notPlain},
        {R"(name="A2345678901234567890123456789012" table="LIST_OBJECTS" fields="FIO")", notPlain}, // 32
        {R"(name="rdb$primary1" table="LIST_OBJECTS" fields="FIO")",
         QStringLiteral("имя индекса «rdb$primary1» относится к системным именам базы данных")},
        {R"(name="Order" table="LIST_OBJECTS" fields="FIO")",
         QStringLiteral("имя индекса «Order» является зарезервированным словом SQL")},
        {R"(name="IX_FIO" fields="FIO")", QStringLiteral("не указана таблица индекса")},
        {R"(name="IX_FIO" table="list_objects" fields="FIO")", QStringLiteral("таблица «list_objects» ") + notATable},
        {R"(name="IX_FIO" table="RDB$RELATIONS" fields="RDB$RELATION_ID")",
         QStringLiteral("таблица «RDB$RELATIONS» ") + notATable},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields=" ")", QStringLiteral("не указаны столбцы индекса")},
        {R"(name="IX_FIO" table="LIST_OBJECTS")", QStringLiteral("не указаны столбцы индекса")},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO,,ADDRESS")",
         QStringLiteral("в списке столбцов индекса пропущено имя столбца")},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO,")",
         QStringLiteral("в списке столбцов индекса пропущено имя столбца")},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO DESC")",
         QStringLiteral("имя столбца «FIO DESC» ") + notPlain},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO); DROP TABLE LIST_OBJECTS; --")", notPlain},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="&quot;FIO&quot;")", notPlain},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO, RDB$DB_KEY")",
         QStringLiteral("имя столбца «RDB$DB_KEY» относится к системным именам базы данных")},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO, Value")",
         QStringLiteral("имя столбца «Value» является зарезервированным словом SQL")},
        {R"(name="IX_FIO" table="LIST_OBJECTS" fields="FIO, ADDRESS, fio")",
         QStringLiteral("столбец «fio» указан в индексе дважды")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        const QByteArray xml = QByteArray(R"xml(<root><LIST_OBJECTS><c name="NOTE_ONE" type="INTEGER"/></LIST_OBJECTS>
                <INDEX name="IX_NOTE_ONE" table="LIST_OBJECTS" fields="NOTE_ONE"/><INDEX )xml") +
                               c.attributes + "/></root>";
        if (c.fault.isEmpty()) {
            EXPECT_NO_THROW(
                checkSchemaDescription(parseSchemaDescription(xml, QStringLiteral("c.xml")), QStringLiteral("c.xml")));
            continue;
        }
        writeDescription(xml);
        try {
            upgradeSchema(fixture.db(), fixture.folder());
            ADD_FAILURE() << "accepted";
        } catch (const Failure& failure) {
            const QString expected = QStringLiteral("Файл %1 не применён: элемент INDEX 2 — ").arg(descriptionPath());
            EXPECT_TRUE(failure.text().startsWith(expected) && failure.text().contains(c.fault))
                << failure.text().toStdString();
        }
        EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
        EXPECT_EQ(indexes(), kDeliveredIndexes);
        EXPECT_TRUE(QFile::exists(descriptionPath()));
    }
}

// Columns come first, whatever the order of the elements: an index may be on a column the same description adds.
// An index present in another letter case, or listed a second time, is left as it is.
TEST_F(SchemaUpgradeTest, MissingIndexesAreMadeTogetherWithTheColumns) {
    fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("S1"));
    writeDescription(R"xml(<root>
  <INDEX name="ix_note" table="LIST_OBJECTS" fields=" note ,fio" descending="TRUE"/>
  <LIST_OBJECTS><c name="NOTE" type="VARCHAR(40)"/></LIST_OBJECTS>
  <INDEX name="IX_STATUS_DATE" table="STATUS_OBJECT" fields="STATUS_DATE" descending="no"/>
  <INDEX name="ix_status_object_object" table="STATUS_OBJECT" fields="STATUS_STRING, STATUS_DATE"/>
  <INDEX name="IX_NOTE" table="LIST_OBJECTS" fields="ADDRESS"/>
</root>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    QStringList expected = kDeliveredIndexes;
    expected << QStringLiteral("IX_NOTE DESCENDING ON LIST_OBJECTS (NOTE, FIO)")
             << QStringLiteral("IX_STATUS_DATE ON STATUS_OBJECT (STATUS_DATE)");
    expected.sort();
    EXPECT_EQ(indexes(), expected);
    EXPECT_EQ(objectColumns().first(), QStringLiteral("NOTE"));
    EXPECT_FALSE(QFile::exists(descriptionPath()));
}

// The database refuses an index either at once (a column the table lacks) or only at the commit (a key too long
// for an index): the columns and indexes before it are undone with it.
TEST_F(SchemaUpgradeTest, ARefusedIndexLeavesColumnsAndIndexesAsTheyWere) {
    const struct {
        const char* index;
        QString reported;
    } cases[] = {
        {R"xml(<INDEX name="IX_BAD" table="LIST_OBJECTS" fields="NOTE_ONE, NO_SUCH"/>)xml",
         QStringLiteral("элемент INDEX 2 (индекс IX_BAD) — в таблице нет такого столбца")},
        {R"xml(<INDEX name="IX_WIDE" table="STATUS_OBJECT" fields="STATUS_STRING"/>)xml",
         QStringLiteral("элемент INDEX 2 (индекс IX_WIDE) — ключ индекса был бы длиннее, чем допускает база "
                        "данных")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        writeDescription(QByteArray(R"xml(<root><LIST_OBJECTS><c name="NOTE_ONE" type="INTEGER"/></LIST_OBJECTS>
            <INDEX name="IX_NOTE_ONE" table="LIST_OBJECTS" fields="NOTE_ONE"/>)xml") +
                         c.index + R"xml(<INDEX name="IX_ADDRESS" table="LIST_OBJECTS" fields="ADDRESS"/></root>)xml");
        try {
            upgradeSchema(fixture.db(), fixture.folder());
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& failure) {
            EXPECT_TRUE(failure.text().startsWith(
                QStringLiteral("Файл %1 не применён, база данных не изменена: ").arg(descriptionPath()) + c.reported))
                << failure.text().toStdString();
        }
        EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
        EXPECT_EQ(indexes(), kDeliveredIndexes);
        EXPECT_TRUE(QFile::exists(descriptionPath()));
    }
}

// A database made before the indexes by the newest and by time came, with the index by object and time on two
// columns only: the delivered description brings the missing indexes, and leaves the old one alone. A second run
// finds nothing to do: on a read-only database any statement would fail.
TEST_F(SchemaUpgradeTest, TheDeliveredDescriptionBringsAnOlderDatabasesIndexes) {
    const int object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("S1"));
    TestDatabase::Reading reading;
    reading.object = object;
    reading.id = QStringLiteral("R1");
    reading.at = QDateTime(QDate(2024, 5, 1), QTime(8, 0));
    reading.readings = QStringLiteral("123");
    fixture.addReading(reading);
    for (const char* index : {"IX_IMAGE_OBJECT_DATE_OLDEST", "IX_IMAGE_OBJECT_DATE_NEWEST", "IX_IMAGE_OBJECT_DATE_DAT"})
        fixture.exec(QStringLiteral("DROP INDEX ") + QLatin1StringView(index));
    fixture.exec(QStringLiteral("CREATE INDEX IX_IMAGE_OBJECT_DATE_OBJECT_DAT ON IMAGE_OBJECT_DATE (ID_OBJECT, DAT)"));
    fixture.reconnect();

    const QByteArray delivered = deliveredDescription();
    ASSERT_FALSE(delivered.isEmpty());
    writeDescription(delivered);
    upgradeSchema(fixture.db(), fixture.folder());
    QStringList expected = kDeliveredIndexes;
    expected << QStringLiteral("IX_IMAGE_OBJECT_DATE_OBJECT_DAT ON IMAGE_OBJECT_DATE (ID_OBJECT, DAT)");
    expected.sort();
    EXPECT_EQ(indexes(), expected);
    EXPECT_FALSE(QFile::exists(descriptionPath()));

    writeDescription(delivered);
    fixture.makeReadOnly();
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_FALSE(QFile::exists(descriptionPath()));
    EXPECT_EQ(indexes(), expected);
}

namespace {

// A table's columns as the database keeps them: name, type code, subtype, length, scale, precision, segment size,
// character set.
QStringList columnDefinitions(Database& database, const QString& table) {
    Statement statement(
        database, QStringLiteral("SELECT TRIM(rf.RDB$FIELD_NAME), f.RDB$FIELD_TYPE, COALESCE(f.RDB$FIELD_SUB_TYPE, 0), "
                                 "f.RDB$FIELD_LENGTH, COALESCE(f.RDB$FIELD_SCALE, 0), "
                                 "COALESCE(f.RDB$FIELD_PRECISION, 0), COALESCE(f.RDB$SEGMENT_LENGTH, 0), "
                                 "COALESCE(f.RDB$CHARACTER_SET_ID, 0) FROM RDB$RELATION_FIELDS rf JOIN "
                                 "RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE "
                                 "rf.RDB$RELATION_NAME = '%1' ORDER BY rf.RDB$FIELD_POSITION")
                      .arg(table));
    statement.open();
    QStringList columns;
    while (statement.fetch()) {
        QStringList parts;
        for (const QVariant& value : statement.row())
            parts.append(value.toString());
        columns.append(parts.join(u' '));
    }
    return columns;
}

} // namespace

// The delivered description against a database made from the delivered schema: every column of the three tables
// in its order with its type (a table made from the description's entries is compared with the real one), every
// index; applied to such a database it changes nothing.
TEST_F(SchemaUpgradeTest, TheDeliveredDescriptionListsTheDeliveredSchema) {
    const QString fileName = QStringLiteral("compare_bd.xml");
    const SchemaDescription description = parseSchemaDescription(deliveredDescription(), fileName);
    checkSchemaDescription(description, fileName);

    QStringList tables;
    for (const DescribedTable& table : description.tables) {
        SCOPED_TRACE(table.table.toStdString());
        tables.append(table.table);
        QStringList definitions;
        for (const DescribedColumn& column : table.columns)
            definitions.append(column.name + u' ' + column.type);
        const QString copy = QStringLiteral("DESCRIBED_") + table.table;
        fixture.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(copy, definitions.join(QStringLiteral(", "))));
        EXPECT_EQ(columnDefinitions(fixture.db(), copy), columnDefinitions(fixture.db(), table.table));
        fixture.exec(QStringLiteral("DROP TABLE ") + copy);
    }
    tables.sort();
    EXPECT_EQ(tables, QStringList({QStringLiteral("IMAGE_OBJECT_DATE"), QStringLiteral("LIST_OBJECTS"),
                                   QStringLiteral("STATUS_OBJECT")}));

    QStringList indexesDescribed;
    for (const DescribedIndex& index : description.indexes)
        indexesDescribed.append(index.name.toUpper() +
                                (index.descending ? QStringLiteral(" DESCENDING ON ") : QStringLiteral(" ON ")) +
                                index.table + QStringLiteral(" (") + index.fields.join(QStringLiteral(", ")).toUpper() +
                                QStringLiteral(")"));
    indexesDescribed.sort();
    EXPECT_EQ(indexesDescribed, indexes());
    EXPECT_EQ(indexes(), kDeliveredIndexes);

    writeDescription(deliveredDescription());
    fixture.makeReadOnly();
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_FALSE(QFile::exists(descriptionPath()));
}
