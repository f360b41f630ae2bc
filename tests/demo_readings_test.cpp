#include "base/JpegPicture.h"
#include "db/Statement.h"
#include "reports/ImplausibleReadings.h"
#include "reports/ScannerMaintenance.h"
#include "support/TestDatabase.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/demo_data/DemoReadings.h"
#include "tools/demo_data/DialPictureSplicer.h"

#include <gtest/gtest.h>

#include <QSet>

#include <set>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

const QDate kNewest(2026, 6, 30);

MaintenanceVerdict expectedVerdict(DemoMaintenanceCase planted) {
    switch (planted) {
    case DemoMaintenanceCase::BatteryRunningDown:
        return MaintenanceVerdict::ReplaceBattery;
    case DemoMaintenanceCase::Silent:
        return MaintenanceVerdict::NoConnection;
    case DemoMaintenanceCase::WeakSignal:
        return MaintenanceVerdict::WeakSignal;
    case DemoMaintenanceCase::BatteryChanged: // a new battery has a long way to go
    case DemoMaintenanceCase::Mains:
    case DemoMaintenanceCase::None:
        break;
    }
    return MaintenanceVerdict::None;
}

TEST(DemoReadings, WritesEveryDayOfEveryObjectButItsGapsAndThePassesFindWhatWasPlanted) {
    test::TestDatabase database;
    addDemoObjects(database.db(), 100);
    DemoReadingsPlan plan;
    plan.days = 40;
    plan.perDay = 2;
    plan.newest = kNewest;
    const DemoReadingsResult result = addDemoReadings(database.db(), plan);

    EXPECT_GT(result.missedObjectDays, 0);
    EXPECT_LT(result.missedObjectDays, 100 * 40 / 20);
    EXPECT_EQ(result.readings, (100 * 40 - result.missedObjectDays) * 2);
    EXPECT_EQ(database.committedValue(u"SELECT COUNT(*) FROM IMAGE_OBJECT_DATE"_s).toLongLong(), result.readings);
    const qint64 doubtful =
        database.committedValue(u"SELECT COUNT(*) FROM IMAGE_OBJECT_DATE WHERE ERROR = 1"_s).toLongLong();
    EXPECT_GT(doubtful, result.readings / 100);
    EXPECT_LT(doubtful, result.readings / 10);
    EXPECT_EQ(database.committedValue(u"SELECT CAST(MAX(DAT) AS DATE) FROM IMAGE_OBJECT_DATE"_s).toDate(), kNewest);

    // Two misreadings, two decreases and two texts that are no number among 100 objects, and nothing else.
    QSet<QString> listed;
    for (const ImplausibleReading& reading : findImplausibleReadings(database.db(), defaultImplausibleFactor()))
        listed.insert(reading.id);
    EXPECT_EQ(result.implausible.size(), 6);
    EXPECT_EQ(listed, QSet<QString>(result.implausible.begin(), result.implausible.end()));

    const QList<MaintenanceRow> rows = scannerMaintenance(database.db(), kNewest, MaintenanceThresholds());
    ASSERT_EQ(rows.size(), 100);
    std::set<DemoMaintenanceCase> seen;
    for (const MaintenanceRow& row : rows) {
        const DemoMaintenanceCase planted = result.maintenance.value(row.object.id, DemoMaintenanceCase::None);
        seen.insert(planted);
        EXPECT_EQ(row.verdict, expectedVerdict(planted)) << row.object.id << ' ' << row.verdictText.toStdString();
        if (planted == DemoMaintenanceCase::Silent) {
            EXPECT_EQ(row.daysSilent, kDemoSilentDays);
        }
        if (planted == DemoMaintenanceCase::BatteryChanged) {
            EXPECT_GE(row.battery.value_or(0), 95);
        }
        EXPECT_EQ(row.battery.has_value(), planted != DemoMaintenanceCase::Mains);
    }
    EXPECT_EQ(seen.size(), 6); // every kind, None included
}

TEST(DemoReadings, PicturesAreWholeJpegsOfRealSizeShowingTheDialAsDrawn) {
    // Put together from pieces, a picture is byte for byte the one drawn and encoded directly.
    DialPictureSplicer splicer(95);
    for (const auto& [digits, scanner] : {std::pair{u"00000"_s, 860001},
                                          {u"13579"_s, 860001},
                                          {u"24680"_s, 860002},
                                          {u"123456"_s, 7},
                                          {u"98765432"_s, 860003},
                                          {u"1?345"_s, 860001}})
        EXPECT_EQ(splicer.picture(digits, scanner), splicer.drawn(digits, scanner)) << digits.toStdString();

    test::TestDatabase database;
    addDemoObjects(database.db(), 6);
    DemoReadingsPlan plan;
    plan.days = 14;
    plan.newest = kNewest;
    plan.pictures = true;
    const DemoReadingsResult result = addDemoReadings(database.db(), plan);
    Statement select(database.db(), u"SELECT IMAGE FROM IMAGE_OBJECT_DATE"_s);
    select.open();
    qint64 pictures = 0;
    while (select.fetch()) {
        const QByteArray jpeg = database.db().readBlob(select.value(0).value<BlobId>());
        ++pictures;
        EXPECT_TRUE(isWholeJpeg(jpeg));
        EXPECT_GE(jpeg.size(), 20 * 1024);
        EXPECT_LE(jpeg.size(), 40 * 1024);
        const std::optional<QImage> image = decodeJpeg(jpeg);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSize(320, 240));
    }
    EXPECT_EQ(pictures, result.readings);
}

} // namespace
} // namespace vornic
