#include "base/LocalTimeZone.h"

#include <QDateTime>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <ctime>

namespace {

// Puts TZ back as it was, set or unset.
class ScopedTimeZoneVariable final {
public:
    ScopedTimeZoneVariable() : wasSet_(qEnvironmentVariableIsSet("TZ")), previous_(qgetenv("TZ")) {}
    ~ScopedTimeZoneVariable() {
        if (wasSet_)
            qputenv("TZ", previous_);
        else
            qunsetenv("TZ");
        tzset();
    }
    Q_DISABLE_COPY_MOVE(ScopedTimeZoneVariable)

private:
    bool wasSet_;
    QByteArray previous_;
};

} // namespace

TEST(LocalTimeZone, TheMachinesZoneIsNamedOnceAndAChosenZoneIsKept) {
    if (!QFileInfo::exists(QStringLiteral("/etc/localtime")))
        GTEST_SKIP() << "this machine has no /etc/localtime";
    const ScopedTimeZoneVariable restore;
    const QDateTime reading(QDate(2026, 7, 1), QTime(12, 0));

    qunsetenv("TZ");
    tzset();
    const qint64 before = reading.toSecsSinceEpoch();
    vornic::settleLocalTimeZone();
    EXPECT_EQ(qgetenv("TZ"), QByteArrayLiteral(":/etc/localtime"));
    EXPECT_EQ(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).toSecsSinceEpoch(), before) << "the same zone as before";

    qputenv("TZ", "Europe/Moscow");
    vornic::settleLocalTimeZone();
    EXPECT_EQ(qgetenv("TZ"), QByteArrayLiteral("Europe/Moscow")) << "a zone the user chose stays";
}
