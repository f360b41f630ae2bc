#include "db/DataSet.h"
#include "support/TestDatabase.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/ListReadAhead.h"

#include <QAbstractItemModelTester>
#include <QLoggingCategory>
#include <QTest>

#include <gtest/gtest.h>

using namespace vornic;

namespace {

// What the model tester finds wrong, collected instead of printed.
QStringList g_modelFaults;

void collectModelFaults(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (context.category && QByteArrayView(context.category) == "qt.modeltest")
        g_modelFaults << message;
}

} // namespace

// The list's model must announce every change before a view asks for it: rows read as the list scrolls,
// a new row, a removed row, a close and a reopen.
TEST(DataSetModel, StaysConsistentThroughEveryChangeOfItsDataSet) {
    test::TestDatabase fixture;
    for (int i = 0; i < 600; ++i)
        fixture.db().execute(QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER, CHECK_GRID) VALUES "
                                            "('Абонент %1', '%1', 1)")
                                 .arg(i, 3, 10, QChar(u'0')));
    fixture.db().commitRetaining();
    DataSet objects(fixture.db());
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS ORDER BY FIO"));
    objects.setInsertSql(QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER) VALUES (:FIO, :ID_SCANNER)"));
    objects.setDeleteSql(QStringLiteral("Delete From LIST_OBJECTS where id_object=?old_id_object"));
    DataSetModel model(objects, {{QStringLiteral("FIO"), QStringLiteral("ФИО"), true, 100},
                                 {QStringLiteral("NO_SUCH_FIELD"), QStringLiteral("Нет"), true, 50}});
    EXPECT_EQ(model.rowCount(), 0);
    objects.open();
    EXPECT_EQ(model.rowCount(), DataSet::kFetchBatch);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("Абонент 000"));
    EXPECT_FALSE(model.index(0, 1).data().isValid()) << "a column the select does not have stays empty";
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("ФИО"));

    ASSERT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 2 * DataSet::kFetchBatch);
    objects.moveTo(599); // reads the rest as it goes
    EXPECT_EQ(model.rowCount(), 600);
    EXPECT_FALSE(model.canFetchMore({}));

    // From here on the model tester watches every change (and reads whatever it can).
    g_modelFaults.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectModelFaults);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    objects.insert();
    EXPECT_EQ(model.rowCount(), 601);
    objects.field(QStringLiteral("FIO")).setValue(QStringLiteral("Новый"));
    EXPECT_EQ(model.index(599, 0).data().toString(), QStringLiteral("Новый"));
    objects.cancel();
    EXPECT_EQ(model.rowCount(), 600);

    objects.first();
    objects.remove();
    EXPECT_EQ(model.rowCount(), 599);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("Абонент 001"));

    objects.close();
    EXPECT_EQ(model.rowCount(), 0);
    objects.open();
    EXPECT_GE(model.rowCount(), DataSet::kFetchBatch);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_modelFaults.isEmpty()) << g_modelFaults.join(u'\n').toStdString();
}

// A long list is read on while the window waits for the operator, and left alone while a row of it is open.
TEST(ListReadAhead, ReadsTheRestOfABrowsedListBetweenEventsAndWaitsWhileARowIsEdited) {
    test::TestDatabase fixture;
    const int count = DataSet::kFetchBatch + 2 * ListReadAhead::kRowsASlice + 10;
    fixture.exec(QStringLiteral("EXECUTE BLOCK AS DECLARE i INT = 0; BEGIN WHILE (i < %1) DO BEGIN INSERT INTO "
                                "LIST_OBJECTS (ID_SCANNER, FIO) VALUES (:i, 'x'); i = i + 1; END END")
                     .arg(count));
    DataSet objects(fixture.db());
    objects.setSelectSql(QStringLiteral("SELECT * FROM LIST_OBJECTS"));
    objects.setModifySql(QStringLiteral("UPDATE LIST_OBJECTS SET FIO=:FIO WHERE ID_OBJECT=?old_ID_OBJECT"));
    DataSetModel model(objects, {{QStringLiteral("FIO"), QStringLiteral("ФИО"), true, 100}});
    ListReadAhead readAhead(objects);

    objects.open();
    EXPECT_EQ(objects.rowCount(), DataSet::kFetchBatch);
    QCoreApplication::processEvents();
    EXPECT_EQ(objects.rowCount(), DataSet::kFetchBatch + ListReadAhead::kRowsASlice); // a slice between events
    objects.edit();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(objects.rowCount(), DataSet::kFetchBatch + ListReadAhead::kRowsASlice);
    objects.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !readAhead.isReading(); }));
    EXPECT_EQ(objects.rowCount(), count);
    EXPECT_EQ(model.rowCount(), count);
    EXPECT_EQ(objects.currentRow(), 0);
}
