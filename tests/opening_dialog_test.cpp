#include "ui/common/OpeningDialog.h"

#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class CountingDialog final : public vornic::OpeningDialog {
public:
    void FormActivate() override { ++openings; }
    void FormClose() override { ++closings; }
    int openings = 0;
    int closings = 0;
};

void activate(QWidget& window) {
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activation);
}

} // namespace

// The opening steps run once per show, however often the window is activated again in between (coming back from
// a message box or another program); a window shown again opens again. Escape and the close box both close it
// through its closing steps, so that nothing the closing would store is skipped.
TEST(OpeningDialog, OpensOncePerShowAndClosesThroughItsClosingStepsOnEscape) {
    CountingDialog window;
    window.show();
    activate(window);
    activate(window);
    activate(window);
    EXPECT_EQ(window.openings, 1);

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.closings, 1);

    window.show();
    activate(window);
    EXPECT_EQ(window.openings, 2);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(window.closings, 2);
}
