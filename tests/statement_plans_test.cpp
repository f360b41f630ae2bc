// How the engine reads one object's readings. The indexes by time over all objects serve the month's reports; a
// statement of one object that the engine answers from them reads every object's readings of the period to find
// the few of its own, which on a year of a utility's readings takes seconds a statement. The delivered database
// holds no index statistics, as a database made from it keeps until someone recomputes them, so the plans here
// are those an office's database gets.

#include "db/ReadingsTable.h"
#include "db/Statement.h"
#include "reports/SubscriberReport.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace vornic {
namespace {

TEST(StatementPlansTest, OneObjectsReadingsComeDownItsOwnIndexWithoutASort) {
    test::TestDatabase fixture;
    const QString newest = QStringLiteral("ORDER IX_IMAGE_OBJECT_DATE_NEWEST");
    const QString oldest = QStringLiteral("ORDER IX_IMAGE_OBJECT_DATE_OLDEST");
    const QString byObject = QStringLiteral(":id_object");
    const struct {
        const char* what;
        QString sql;
        QString plan;
    } cases[] = {
        {"the readings list, newest first",
         QString(ReadingsTable::kOfObjectNewestFirst).replace(byObject, QStringLiteral("?")), newest},
        {"the readings list, oldest first",
         QString(ReadingsTable::kOfObjectOldestFirst).replace(byObject, QStringLiteral("?")), oldest},
        {"the subscriber report",
         subscriberReportSelect(QStringLiteral("5"), QStringLiteral("01.01.2026 00:00:00"),
                                QStringLiteral("10.12.2026 23:59:59")),
         newest},
        {"the chart's history", ReadingsTable::kHistorySelect, oldest},
        {"a period's values, newest first", ReadingsTable::kValuesOfObjectInPeriodNewestFirst, newest},
        {"a period's values, oldest first", ReadingsTable::kValuesOfObjectInPeriodOldestFirst, oldest},
        {"the maintenance history", ReadingsTable::kNewestFirstOfObjectSelect, newest},
        {"the implausible readings of one object", ReadingsTable::kOfObjectInTimeOrder, oldest},
    };
    // The engine weighs its indexes by the table's size: an empty table and one of some thousand readings take
    // different plans, and each must be one of these.
    const auto expectPlans = [&](const char* table) {
        for (const auto& c : cases) {
            Statement statement(fixture.db(), c.sql);
            const QString plan = statement.plan();
            EXPECT_TRUE(plan.contains(c.plan)) << table << ", " << c.what << ": " << plan.toStdString();
            EXPECT_FALSE(plan.contains(QStringLiteral("SORT")))
                << table << ", " << c.what << ": " << plan.toStdString();
        }
    };
    expectPlans("no readings");
    fixture.exec(QStringLiteral("EXECUTE BLOCK AS DECLARE i INT = 0; BEGIN WHILE (i < 100) DO BEGIN INSERT INTO "
                                "LIST_OBJECTS (ID_SCANNER, FIO) VALUES (:i, 'x'); i = i + 1; END END"));
    fixture.exec(QStringLiteral(
        "EXECUTE BLOCK AS DECLARE i INT = 0; DECLARE o INT; BEGIN SELECT MIN(ID_OBJECT) FROM LIST_OBJECTS INTO :o; "
        "WHILE (i < 5000) DO BEGIN INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, READINGS) VALUES (:o + "
        "MOD(:i, 100), DATEADD(:i / 100 DAY TO TIMESTAMP '2020-01-01'), :i, '1'); i = i + 1; END END"));
    expectPlans("5,000 readings");
}

} // namespace
} // namespace vornic
