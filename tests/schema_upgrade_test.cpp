#include "db/DatabaseError.h"
#include "db/SchemaUpgrade.h"
#include "support/TestDatabase.h"

#include <QFile>

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
};

const QStringList kDeliveredObjectColumns = {
    QStringLiteral("ID_OBJECT"),  QStringLiteral("PERSONAL_ACCOUNT"), QStringLiteral("FIO"),
    QStringLiteral("ADDRESS"),    QStringLiteral("ID_SCANNER"),       QStringLiteral("NOMER_PLOMB"),
    QStringLiteral("STATUS"),     QStringLiteral("SIM_CARD"),         QStringLiteral("POWER_DEVICES"),
    QStringLiteral("CHECK_GRID")};

} // namespace

TEST_F(SchemaUpgradeTest, WithoutADescriptionNothingHappens) {
    upgradeSchema(fixture.db(), fixture.folder());
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
}

TEST_F(SchemaUpgradeTest, PresentColumnsInAnyCaseAndTablesNamedInAnotherCaseChangeNothing) {
    writeDescription(R"xml(<?xml version="1.0" encoding="windows-1251"?>
<bd>
  <LIST_OBJECTS><c name="id_object" type="INTEGER"/><c name="Fio" type="VARCHAR(250)"/></LIST_OBJECTS>
  <list_objects><c name="IGNORED" type="INTEGER"/></list_objects>
  <OTHER_TABLE><c name="X" type="INTEGER"/></OTHER_TABLE>
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
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                                                    "WHERE RDB$FIELD_NAME IN ('NOTE_ONE', 'NOTE_TWO', 'AUTHOR')"))
                  .toInt(),
              3);
}

TEST_F(SchemaUpgradeTest, AFailureKeepsTheDescriptionAndTheNextRunFinishesTheWork) {
    writeDescription(R"xml(<root><IMAGE_OBJECT_DATE>
      <c name="QUALITY" type="INTEGER"/><c name="BROKEN" type="NO_SUCH_TYPE"/>
    </IMAGE_OBJECT_DATE></root>)xml");
    EXPECT_THROW(upgradeSchema(fixture.db(), fixture.folder()), DatabaseError);
    EXPECT_TRUE(QFile::exists(descriptionPath()));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                                                    "WHERE RDB$FIELD_NAME = 'QUALITY'"))
                  .toInt(),
              1)
        << "the column added before the failure stays";

    fixture.reconnect(); // the next start, with the description mended
    writeDescription(R"xml(<root><IMAGE_OBJECT_DATE>
      <c name="QUALITY" type="INTEGER"/><c name="BROKEN" type="VARCHAR(5)"/>
    </IMAGE_OBJECT_DATE></root>)xml");
    upgradeSchema(fixture.db(), fixture.folder());
    const QStringList columns =
        fixture.db().columnNames(QStringLiteral("select* from IMAGE_OBJECT_DATE where id_object=1"));
    EXPECT_EQ(columns.count(QStringLiteral("QUALITY")), 1);
    EXPECT_EQ(columns.indexOf(QStringLiteral("BROKEN")), 1);
    EXPECT_FALSE(QFile::exists(descriptionPath()));
}

TEST_F(SchemaUpgradeTest, ADescriptionThatIsNoXmlIsReportedAndKept) {
    writeDescription("<root><LIST_OBJECTS><c name=\"X\" type=\"INTEGER\"></root>");
    try {
        upgradeSchema(fixture.db(), fixture.folder());
        FAIL() << "accepted";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.text().contains(QStringLiteral("compare_bd.xml")));
    }
    EXPECT_TRUE(QFile::exists(descriptionPath()));
    EXPECT_EQ(objectColumns(), kDeliveredObjectColumns);
}
