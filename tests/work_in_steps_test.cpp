#include "ui/common/WorkInSteps.h"

#include <QDialog>
#include <QTimer>

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

} // namespace
} // namespace vornic
