#include "ui/Threadds2select.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// A current object that the test moves, and a record of what the worker did to the readings list.
struct FakeMainWindow {
    QObject context;
    std::optional<QString> scanner = QStringLiteral(" 100 ");
    int opens = 0;
    int closes = 0;
    bool readingsOpen = false;

    ThreadDS2Select::Calls calls() {
        return {[this] { return scanner; },
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

} // namespace

TEST(DebounceWorker, ReadingsOpenOnlyOnceTheObjectStayedForAWholePeriod) {
    FakeMainWindow window;
    // A period well above the steps of the moves below, so that a loaded machine does not blur the two.
    ThreadDS2Select worker(&window.context, window.calls(), 250);
    EXPECT_FALSE(worker.isRunning()) << "made suspended";
    worker.resume();
    worker.resume(); // no effect while running
    QTRY_VERIFY_WITH_TIMEOUT(window.readingsOpen, 2000);

    // Moving faster than one object per period: the list is closed and stays closed.
    for (int i = 0; i < 60; ++i) {
        window.scanner = QString::number(200 + i);
        QTest::qWait(10);
    }
    EXPECT_FALSE(window.readingsOpen);
    const int opensWhileMoving = window.opens;
    QTest::qWait(15);
    EXPECT_EQ(window.opens, opensWhileMoving);

    // Staying: it opens again; blanks around the scanner do not count as a move.
    window.scanner = QStringLiteral("300");
    QTRY_VERIFY_WITH_TIMEOUT(window.readingsOpen, 2000);
    window.scanner = QStringLiteral("300  ");
    QTest::qWait(200);
    EXPECT_TRUE(window.readingsOpen);

    // No current object (an empty or closed list): the readings close.
    window.scanner.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!window.readingsOpen, 2000);
}

TEST(DebounceWorker, StopsPromptlyEvenWithACallQueuedOnTheUserInterfaceThread) {
    FakeMainWindow window;
    auto worker = std::make_unique<ThreadDS2Select>(&window.context, window.calls(), 20);
    worker->resume();
    QTest::qWait(50);
    // The event loop is not run from here on, so the worker's next call stays queued while it is stopped.
    QElapsedTimer timer;
    timer.start();
    worker.reset();
    EXPECT_LT(timer.elapsed(), 1000);
    QCoreApplication::processEvents(); // the abandoned call runs harmlessly
}
