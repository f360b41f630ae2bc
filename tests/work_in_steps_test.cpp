#include "ui/common/WorkInSteps.h"

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace vornic {
namespace {

// A step that asks the operator something past the moment the progress is due: the question stays on top, and
// the progress shows once it is answered, as the work goes on.
TEST(WorkInSteps, TheProgressWaitsForAQuestionAStepAsks) {
    QWidget window;
    window.show();
    WorkInSteps work(&window, QStringLiteral("Сохранение отчёта"));
    bool progressWhileAsked = true;
    bool progressAfterwards = false;
    int step = 0;
    const WorkEnd end = work.run([&] {
        ++step;
        if (step == 1) {
            QDialog question(&window);
            question.setModal(true);
            QTimer::singleShot(800, &question, [&] {
                progressWhileAsked = work.progressWindow() != nullptr;
                question.accept();
            });
            question.exec();
            return true;
        }
        progressAfterwards = work.progressWindow() != nullptr && work.progressWindow()->isVisible();
        return false;
    });
    EXPECT_EQ(end, WorkEnd::Finished);
    EXPECT_FALSE(progressWhileAsked);
    EXPECT_TRUE(progressAfterwards);
}

// Work run aside has no steps: a question that another window asked when the progress was due holds it back only
// until it is answered.
TEST(WorkInSteps, WorkAsideShowsItsProgressOnceAnotherWindowsQuestionIsAnswered) {
    QWidget window;
    window.show();
    WorkInSteps work(&window, QStringLiteral("Поиск"));
    QDialog question(&window);
    question.setModal(true);
    bool progressWhileAsked = true;
    bool progressAfterwards = false;
    std::atomic_bool done = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(800, &question, [&] {
            progressWhileAsked = work.progressWindow() != nullptr;
            question.accept();
        });
        question.exec();
        QTimer::singleShot(300, [&] {
            progressAfterwards = work.progressWindow() != nullptr && work.progressWindow()->isVisible();
            done = true;
        });
    });
    const WorkEnd end = work.runAside(
        [&] {
            while (!done)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        },
        [] {});
    EXPECT_EQ(end, WorkEnd::Finished);
    EXPECT_FALSE(progressWhileAsked);
    EXPECT_TRUE(progressAfterwards);
}

} // namespace
} // namespace vornic
