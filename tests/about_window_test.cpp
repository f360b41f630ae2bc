#include "support/OperatorTexts.h"
#include "support/TestServices.h"
#include "ui/main/About_program.h"
#include "ui/main/Help_window.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

namespace texts = vornic::test::texts;

const QString kSite = QStringLiteral("http://www.vornic-telemetry.ru");

TEST(AboutWindow, ShowsItsTextsAtAFixedSizeWithACloseBoxOnly) {
    TForm6 window(vornic::services());
    Ui::TForm6& form = window.form();
    EXPECT_EQ(window.windowTitle().toStdString(), texts::kAboutCaption.toStdString());
    EXPECT_EQ(form.LabelDeveloper->text().toStdString(), texts::kAboutDeveloper.toStdString());
    EXPECT_EQ(form.LabelVersion->text().toStdString(), "Version:");
    EXPECT_EQ(window.LVersionText().toStdString(), "83");
    EXPECT_EQ(form.LabelDescription->text().toStdString(), texts::kAboutDescription.toStdString());
    EXPECT_TRUE(form.LabelDescription->wordWrap());
    EXPECT_TRUE(form.LabelDistribution->text().isEmpty());
    EXPECT_EQ(form.LabelSite->text().toStdString(), texts::kAboutSite.toStdString());
    EXPECT_EQ(form.Button1->text().toStdString(), "Выход");
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("LabelPending")), nullptr);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.size(), QSize(441, 194));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

// The update check takes the label's text, blanks removed, as a whole number.
TEST(AboutWindow, VersionIsTheLabelAsAWholeNumber) {
    const std::pair<const char*, int> cases[] = {{"83", 83}, {" 84 ", 84}, {"\t100\n", 100}, {"", 0}, {"8 3", 0}};
    TForm6 window(vornic::services());
    EXPECT_EQ(window.version(), 83);
    for (const auto& [text, version] : cases) {
        window.form().LVersion->setText(QString::fromUtf8(text));
        EXPECT_EQ(window.version(), version) << '"' << text << '"';
    }
}

TEST(AboutWindow, LinkClickOpensTheSiteThroughTheDesktopAndExitCloses) {
    vornic::ScopedTestServices doubles;
    TForm6 window(vornic::services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QLabel* link = window.form().LabelLink;
    EXPECT_EQ(link->text().toStdString(), "<a href=\"" + kSite.toStdString() + "\">" + kSite.toStdString() + "</a>");

    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    EXPECT_EQ(doubles.shell.targets, QStringList{kSite});

    QTest::mouseClick(window.form().Button1, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(doubles.shell.targets.size(), 1);
}

TEST(HelpWindow, HasItsCaptionAndAReadOnlyText) {
    THelpWindow window;
    EXPECT_EQ(window.windowTitle().toStdString(), "Справка");
    EXPECT_TRUE(window.form().TextHelp->isReadOnly());
    EXPECT_EQ(window.form().Button1->text().toStdString(), "Закрыть");
}

} // namespace
