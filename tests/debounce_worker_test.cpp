#include "ui/main/Threadds2select.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// A current object that the test moves, and a record of what the worker did to the readings list. All calls run
// on the test's thread, so the counters need no lock.
struct FakeMainWindow {
    QObject context;
    std::optional<QString> scanner = QStringLiteral(" 100 ");
    bool moving = false; // each look at the current object finds another one, however slow the machine is
    int reads = 0;
    int opens = 0;
    int closes = 0;
    bool readingsOpen = false;

    ThreadDS2Select::Calls calls() {
        return {[this] {
                    ++reads;
                    if (moving)
                        scanner = QString::number(200 + reads);
                    return scanner;
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
};

// Generous: a machine busy with sanitizers may be slow, and the waits end as soon as the effect is there.
constexpr int kBound = 10000;

} // namespace

TEST(DebounceWorker, ReadingsOpenOnlyOnceTheObjectStayedForAWholePeriod) {
    FakeMainWindow window;
    ThreadDS2Select worker(&window.context, window.calls(), 20);
    EXPECT_FALSE(worker.isRunning()) << "made suspended";
    worker.resume();
    worker.resume(); // no effect while running
    QTRY_VERIFY_WITH_TIMEOUT(window.readingsOpen, kBound);

    // Moving on at every look: the list is closed and stays closed.
    window.moving = true;
    QTRY_VERIFY_WITH_TIMEOUT(!window.readingsOpen, kBound);
    const int opensWhileMoving = window.opens;
    const int readsWhileMoving = window.reads;
    QTRY_VERIFY_WITH_TIMEOUT(window.reads >= readsWhileMoving + 6, kBound);
    EXPECT_EQ(window.opens, opensWhileMoving);
    EXPECT_FALSE(window.readingsOpen);

    // Staying: it opens again; blanks around the scanner do not count as a move.
    window.moving = false;
    window.scanner = QStringLiteral("300");
    QTRY_VERIFY_WITH_TIMEOUT(window.readingsOpen, kBound);
    const int closesWhileStaying = window.closes;
    window.scanner = QStringLiteral("300  ");
    const int readsWhileStaying = window.reads;
    QTRY_VERIFY_WITH_TIMEOUT(window.reads >= readsWhileStaying + 6, kBound);
    EXPECT_TRUE(window.readingsOpen);
    EXPECT_EQ(window.closes, closesWhileStaying);

    // No current object (an empty or closed list): the readings close.
    window.scanner.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!window.readingsOpen, kBound);
}

TEST(DebounceWorker, StopsPromptlyEvenWithACallQueuedOnTheUserInterfaceThread) {
    FakeMainWindow window;
    auto worker = std::make_unique<ThreadDS2Select>(&window.context, window.calls(), 20);
    worker->resume();
    QTRY_VERIFY_WITH_TIMEOUT(window.reads > 0, kBound);
    // The event loop is not run from here on, so the worker's next call stays queued while it is stopped.
    QElapsedTimer timer;
    timer.start();
    worker.reset();
    EXPECT_LT(timer.elapsed(), 1000);
    QCoreApplication::processEvents(); // the abandoned call runs harmlessly
}
