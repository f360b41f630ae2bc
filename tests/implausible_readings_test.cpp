#include "base/IniFile.h"
#include "reports/ImplausibleReadings.h"
#include "support/TestDatabase.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// One reading of a short history: its day from the first, its text, its flag.
struct Step {
    int day;
    QVariant text;
    int error = 0;
};

QDateTime morningOf(int day) {
    return QDateTime(QDate(2026, 1, 1).addDays(day), QTime(8, 0));
}

// A meter read once a day that rises by the same amount each day.
std::vector<Step> steady(int firstDay, int days, double start, double perDay) {
    std::vector<Step> steps;
    for (int d = 0; d < days; ++d)
        steps.push_back({firstDay + d, QString::number(start + perDay * d)});
    return steps;
}

std::vector<Step> operator+(std::vector<Step> history, const std::vector<Step>& more) {
    history.insert(history.end(), more.begin(), more.end());
    return history;
}

// The listed readings as (their place in the history, the reason).
std::vector<std::pair<int, QString>> judged(const std::vector<Step>& history, double factor = 5) {
    ImplausibleReadingJudge judge(factor);
    std::vector<std::pair<int, QString>> listed;
    for (int i = 0; i < static_cast<int>(history.size()); ++i) {
        const Step& step = history[static_cast<size_t>(i)];
        const auto verdict =
            judge.judge({1, morningOf(step.day), QString::number(i), step.text.toString(), step.error});
        if (verdict)
            listed.emplace_back(i, verdict->reason);
    }
    return listed;
}

TEST(ImplausibleReadings, ShortHistoriesGiveTheirFlagsAndReasons) {
    const auto steady20 = steady(0, 20, 12671, 12); // ends with 12899 on day 19
    const struct {
        const char* name;
        std::vector<Step> history;
        std::vector<std::pair<int, QString>> listed;
    } cases[] = {
        {"a quiet meter moves a few units at a time unflagged",
         steady(0, 10, 500, 0) + std::vector<Step>{{10, u"501"_s}, {11, u"501"_s}, {12, u"505"_s}, {13, u"507"_s}},
         {}},
        {"a quiet meter that jumps is flagged against the floor of one a day",
         steady(0, 10, 500, 0) + std::vector<Step>{{10, u"506"_s}},
         {{10, u"рост 6 за 1 день при обычном 1 в день"_s}}},
        {"one misreading in a steady meter is listed once, not its good neighbour",
         steady20 + std::vector<Step>{{20, u"17903"_s}, {21, u"12923"_s}, {22, u"12935"_s}},
         {{20, u"рост 5004 за 1 день при обычном 12 в день"_s}}},
        {"a misreading too low is listed once too",
         steady20 + std::vector<Step>{{20, u"12399"_s}, {21, u"12923"_s}},
         {{20, u"меньше предыдущего на 500"_s}}},
        {"a meter that goes backwards once is listed once and followed from its new values",
         steady(0, 10, 4920, 10) + std::vector<Step>{{10, u"4920"_s}, {11, u"4930"_s}, {12, u"4940"_s}},
         {{10, u"меньше предыдущего на 90"_s}}},
        {"a rise after days without readings is measured against those days",
         steady(0, 10, 1000, 10) + std::vector<Step>{{11, u"1110"_s}, {21, u"1300"_s}, {26, u"1600"_s}},
         {{12, u"рост 300 за 5 дней при обычном 10 в день"_s}}},
        {"a short gap names its days",
         steady(0, 10, 1000, 10) + std::vector<Step>{{11, u"1200"_s}},
         {{10, u"рост 110 за 2 дня при обычном 10 в день"_s}}},
        {"a new meter is not judged by its rises before it has a few",
         std::vector<Step>{{0, u"100"_s}, {1, u"101"_s}, {2, u"5000"_s}},
         {}},
        {"only the last sixty days make the usual rise",
         steady(0, 80, 0, 100) + steady(90, 61, 8000, 1) + std::vector<Step>{{151, u"8100"_s}},
         {{141, u"рост 40 за 1 день при обычном 1 в день"_s}}},
        {"texts that are no number are listed, readings still without a value are not, both skipped by the rest",
         steady(0, 5, 100, 1) +
             std::vector<Step>{
                 {5, u""_s}, {6, u"1O5"_s}, {7, QVariant()}, {8, u"107,5"_s}, {9, u"108"_s}, {10, u"  "_s}},
         {{6, u"не число"_s}}},
        {"a decimal decrease is told as the dials show it",
         std::vector<Step>{{0, u"12,3"_s}, {1, u"12.2"_s}},
         {{1, u"меньше предыдущего на 0,1"_s}}},
        {"a confirmed reading is not listed and becomes the history",
         steady20 + std::vector<Step>{{20, u"17903"_s, 99}, {21, u"12923"_s}, {22, u"ошибка"_s, 99}},
         {{21, u"меньше предыдущего на 4980"_s}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto listed = judged(c.history);
        ASSERT_EQ(listed.size(), c.listed.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            EXPECT_EQ(listed[i].first, c.listed[i].first);
            EXPECT_EQ(listed[i].second.toStdString(), c.listed[i].second.toStdString());
        }
    }
}

TEST(ImplausibleReadings, TheFactorWidensWhatPasses) {
    const auto history = steady(0, 10, 1000, 10) + std::vector<Step>{{10, u"1170"_s}};
    EXPECT_EQ(judged(history, 5).size(), 1u);
    EXPECT_TRUE(judged(history, 8).empty());
}

TEST(ImplausibleReadings, TheFactorComesFromTheSettingsWithFiveForAnythingUnusable) {
    QTemporaryDir dir;
    IniFile settings(dir.filePath(u"options.ini"_s));
    EXPECT_EQ(implausibleFactor(settings), 5);
    const std::pair<const char*, double> cases[] = {{"3", 3}, {"2,5", 2.5}, {"2.5", 2.5}, {"много", 5},
                                                    {"0", 5}, {"1", 5},     {"-4", 5}};
    for (const auto& [text, factor] : cases) {
        SCOPED_TRACE(text);
        settings.writeString(u"Implausible"_s, u"factor"_s, QString::fromUtf8(text));
        EXPECT_EQ(implausibleFactor(settings), factor);
    }
}

TEST(ImplausibleReadings, TheDatabasePassJudgesEachObjectByItsOwnHistoryNewestFirst) {
    test::TestDatabase fixture;
    const int steadyMeter = fixture.addObject(u"Иванов"_s, u"S-1"_s);
    const int quietMeter = fixture.addObject(u"Дача"_s, u"S-2"_s);
    const int removed = fixture.addObject(u"Снят"_s, u"S-3"_s);
    // Interleaved as a download stores them, so that the pass must sort them per object.
    int id = 0;
    const auto add = [&](int object, int day, const QVariant& text, int error = 0) {
        fixture.addReading({object, QString::number(++id), morningOf(day), {}, text, 50, 20, 1, error});
    };
    for (int day = 0; day < 10; ++day) {
        add(steadyMeter, day, QString::number(1000 + 10 * day));
        add(quietMeter, day, u"7"_s);
        add(removed, day, u"1"_s);
    }
    add(quietMeter, 10, u"5000"_s); // the steady meter's usual rise would let it pass
    add(steadyMeter, 10, u"1040"_s);
    add(steadyMeter, 11, u"1?50"_s);
    add(removed, 10, u"0"_s);
    fixture.exec(u"DELETE FROM LIST_OBJECTS WHERE ID_OBJECT=%1"_s.arg(removed));

    const QList<ImplausibleReading> all = findImplausibleReadings(fixture.db(), 5);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].object, steadyMeter);
    EXPECT_EQ(all[0].value, u"1?50"_s);
    EXPECT_EQ(all[0].reason, u"не число"_s);
    EXPECT_EQ(all[0].previous, 1040);
    EXPECT_EQ(all[1].object, steadyMeter);
    EXPECT_EQ(all[1].reason, u"меньше предыдущего на 50"_s);
    EXPECT_EQ(all[1].fio, u"Иванов"_s);
    EXPECT_EQ(all[1].scanner, u"S-1"_s);
    EXPECT_EQ(all[1].at, morningOf(10));
    EXPECT_EQ(all[2].object, quietMeter);
    EXPECT_EQ(all[2].id, u"31"_s);
    EXPECT_EQ(all[2].reason, u"рост 4993 за 1 день при обычном 1 в день"_s);

    const QList<ImplausibleReading> one = findImplausibleReadings(fixture.db(), 5, quietMeter);
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].fio, u"Дача"_s);
}

TEST(ImplausibleReadings, ReadingsOfOneSecondAreListedNewestFirstLikeEverywhereElse) {
    test::TestDatabase fixture;
    const int meter = fixture.addObject(u"Иванов"_s, u"S-1"_s);
    for (int day = 0; day < 10; ++day)
        fixture.addReading({meter, u"d%1"_s.arg(day), morningOf(day), {}, QString::number(1000 + 10 * day), 50, 20, 1});
    // Two seconds with two misread texts each, stored once in the order of their picture numbers and once against
    // it: among equal times the greater picture number is the newer reading.
    const std::pair<const char*, int> misread[] = {{"x1", 10}, {"x2", 10}, {"y2", 11}, {"y1", 11}};
    for (const auto& [id, day] : misread)
        fixture.addReading({meter, QString::fromLatin1(id), morningOf(day), {}, u"ошибка"_s, 50, 20, 1});

    QStringList listed;
    for (const ImplausibleReading& reading : findImplausibleReadings(fixture.db(), 5))
        listed.append(reading.id);
    EXPECT_EQ(listed, (QStringList{u"y2"_s, u"y1"_s, u"x2"_s, u"x1"_s}));
}

} // namespace
} // namespace vornic
