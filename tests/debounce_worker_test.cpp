#include "ui/main/Threadds2select.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Generous: a machine busy with sanitizers may be slow, and the waits end as soon as the effect is there.
constexpr int kBound = 10000;
constexpr int kPeriodMs = 20;

// A current object that the test moves, and a record of what the worker did to the readings list. The test
// scripts what each look at the current object finds; a look that nothing scripted (one not made for a move)
// fails the test. All calls run on the test's thread, so the record needs no lock.
struct FakeMainWindow {
    QObject context;
    std::deque<std::optional<QString>> looks;
    int reads = 0;
    int opens = 0;
    int closes = 0;
    bool readingsOpen = false;
    std::function<void()> afterRead; // a move the test makes right after a look
    QElapsedTimer clock;
    std::vector<qint64> readTimes;

    FakeMainWindow() { clock.start(); }

    int outcomes() const { return opens + closes; }

    ThreadDS2Select::Calls calls() {
        return {[this]() -> std::optional<QString> {
                    ++reads;
                    readTimes.push_back(clock.nsecsElapsed());
                    if (looks.empty()) {
                        ADD_FAILURE() << "the worker looked at the current object without a move";
                        return std::nullopt;
                    }
                    const auto look = looks.front();
                    looks.pop_front();
                    if (afterRead)
                        std::exchange(afterRead, nullptr)();
                    return look;
                },
                [this] {
                    ++opens;
                    readingsOpen = true;
                },
                [this] {
                    ++closes;
                    readingsOpen = false;
                }};
    }

    // One move seen as the given looks before and after the period; returns once the worker has acted on it.
    void move(ThreadDS2Select& worker, std::optional<QString> before, std::optional<QString> after) {
        const int outcomesBefore = outcomes();
        looks = {std::move(before), std::move(after)};
        worker.resume();
        QTRY_VERIFY_WITH_TIMEOUT(outcomes() == outcomesBefore + 1, kBound);
        EXPECT_TRUE(looks.empty());
    }
};

} // namespace

TEST(DebounceWorker, ReadingsOpenOnlyWhenTheObjectStayedForAWholePeriod) {
    FakeMainWindow window;
    ThreadDS2Select worker(&window.context, window.calls(), kPeriodMs);
    EXPECT_FALSE(worker.isRunning()) << "made suspended";

    window.move(worker, u"100"_s, u" 100 "_s); // blanks around the scanner are no move
    EXPECT_TRUE(window.readingsOpen);
    ASSERT_EQ(window.readTimes.size(), 2u);
    EXPECT_GE(window.readTimes[1] - window.readTimes[0], kPeriodMs * 1'000'000LL) << "the second look waits a period";

    window.move(worker, u"100"_s, u"200"_s); // passed over: the list closes
    EXPECT_FALSE(window.readingsOpen);
    window.move(worker, u"200"_s, u"200"_s);
    EXPECT_TRUE(window.readingsOpen);
    window.move(worker, u"200"_s, std::nullopt); // no current object (an empty or closed list)
    EXPECT_FALSE(window.readingsOpen);
    window.move(worker, std::nullopt, std::nullopt);
    EXPECT_FALSE(window.readingsOpen);
    EXPECT_EQ(window.reads, 10) << "two looks a move, none between moves";
}

// A move during the period closes the list at its end, and the worker looks once more by itself: the move is not
// lost, and the readings open for the object the operator stopped at.
TEST(DebounceWorker, AMoveDuringThePeriodIsFollowedByAnotherLook) {
    FakeMainWindow window;
    ThreadDS2Select worker(&window.context, window.calls(), kPeriodMs);
    window.move(worker, u"100"_s, u"100"_s);
    ASSERT_TRUE(window.readingsOpen);

    window.looks = {u"100"_s, u"300"_s, u"300"_s, u"300"_s};
    window.afterRead = [&] { worker.resume(); }; // the object moves right after the first look
    worker.resume();
    QTRY_VERIFY_WITH_TIMEOUT(window.outcomes() == 3, kBound);
    EXPECT_EQ(window.closes, 1);
    EXPECT_EQ(window.opens, 2);
    EXPECT_TRUE(window.readingsOpen);
    EXPECT_TRUE(window.looks.empty());
}

// The worker gives up a call on the user-interface thread when told to stop, so that the program can end while
// the call has not run. Here the user-interface thread is a thread of the test's, held inside the call.
TEST(DebounceWorker, StopsWithoutWaitingForACallOnTheUserInterfaceThread) {
    QThread uiThread;
    auto* context = new QObject;
    context->moveToThread(&uiThread);
    QObject::connect(&uiThread, &QThread::finished, context, &QObject::deleteLater);
    uiThread.start();

    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ThreadDS2Select::Calls calls{[&entered, released]() -> std::optional<QString> {
                                     entered.set_value();
                                     released.wait();
                                     return std::nullopt;
                                 },
                                 [] {}, [] {}};
    auto worker = std::make_unique<ThreadDS2Select>(context, calls, kPeriodMs);
    worker->resume();
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::milliseconds(kBound)), std::future_status::ready);

    auto stopped = std::async(std::launch::async, [&worker] { worker->stop(); });
    const bool stoppedWhileHeld = stopped.wait_for(std::chrono::milliseconds(kBound)) == std::future_status::ready;
    release.set_value(); // the abandoned call ends harmlessly
    stopped.wait();
    EXPECT_TRUE(stoppedWhileHeld) << "the stop waited for the call";
    EXPECT_TRUE(worker->isFinished());
    worker.reset();
    uiThread.quit();
    uiThread.wait();
}
