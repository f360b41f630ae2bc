#include "support/OperatorTexts.h"
#include "support/TestServices.h"
#include "ui/main/About_program.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

std::unique_ptr<QDialog> makeAbout() {
    return std::make_unique<TForm6>(vornic::services());
}

TEST(Windows, CarryTheirExactCaption) {
    struct Case {
        QString className;
        std::function<std::unique_ptr<QDialog>()> create;
        QString caption;
    };
    const Case cases[] = {
        {QStringLiteral("TForm6"), makeAbout, vornic::test::texts::kAboutCaption},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className.toStdString());
        const std::unique_ptr<QDialog> window = c.create();
        // Compared as UTF-8 so that a failure shows the two captions readably, blanks included.
        EXPECT_EQ(window->windowTitle().toStdString(), c.caption.toStdString());
    }
}

// A test that forgot to give the services back would leave later tests pointing at destroyed doubles.
TEST(TestServicesWindow, ScopeInstallsDoublesAndGivesThePreviousServicesBack) {
    const vornic::Services before = vornic::services();
    {
        vornic::ScopedTestServices doubles;
        doubles.messages.answers = {false};
        EXPECT_FALSE(vornic::services().messages->ask(QStringLiteral("Первый?")));
        EXPECT_TRUE(vornic::services().messages->ask(QStringLiteral("Второй?")));
        EXPECT_EQ(doubles.messages.texts(), (QStringList{QStringLiteral("Первый?"), QStringLiteral("Второй?")}));
    }
    const vornic::Services after = vornic::services();
    EXPECT_EQ(after.messages, before.messages);
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.clock, before.clock);
    EXPECT_EQ(after.shell, before.shell);
    EXPECT_EQ(after.process, before.process);
}

} // namespace
