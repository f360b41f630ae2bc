#include "base/IniFile.h"
#include "ui/common/WindowLayout.h"

#include <QFile>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

const QString kSection = u"TForm4"_s;
constexpr QSize kDesignSize(500, 400);

class WindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        settings_.emplace(dir_.filePath(u"options.ini"_s));
        grid_ = new QTableView(&window_);
        auto* layout = new QVBoxLayout(&window_);
        layout->addWidget(grid_);
        model_.setColumnCount(4);
        model_.setRowCount(2);
        grid_->setModel(&model_);
        window_.resize(kDesignSize);
    }

    // Columns 0 to 2 carry fields; column 3 has no key of its own.
    WindowLayout layout() {
        return WindowLayout(kSection, &window_, grid_,
                            {{u"FIO"_s, 0, 111}, {u"ADDRESS"_s, 1, 222}, {u"ID_SCANNER"_s, 2, 333}});
    }

    QTemporaryDir dir_;
    std::optional<IniFile> settings_;
    QWidget window_;
    QTableView* grid_ = nullptr;
    QStandardItemModel model_;
};

TEST_F(WindowLayoutTest, RestoresStoredColumnWidthsAndKeepsDesignWidthWhereNoneIsStored) {
    settings_->writeInteger(kSection, u"DBGrid1_FIO"_s, 150);
    settings_->writeInteger(kSection, u"DBGrid1_ADDRESS"_s, 0);
    grid_->setColumnWidth(3, 77);

    layout().restore(*settings_);

    EXPECT_EQ(grid_->columnWidth(0), 150);
    EXPECT_EQ(grid_->columnWidth(1), 222);
    EXPECT_EQ(grid_->columnWidth(2), 333);
    EXPECT_EQ(grid_->columnWidth(3), 77);
}

TEST_F(WindowLayoutTest, RestoresStateOrSize) {
    const struct {
        const char* name;
        QByteArray stored;
        bool maximised;
        QSize size; // checked only when not maximised
    } cases[] = {
        {"closed minimised", "FWState=1\r\nFWidth=640\r\nFHeight=480\r\n", true, {}},
        {"closed maximised", "FWState=2\r\nFWidth=640\r\nFHeight=480\r\n", true, {}},
        {"closed normal", "FWState=0\r\nFWidth=640\r\nFHeight=480\r\n", false, QSize(640, 480)},
        {"state not a number", "FWState=max\r\nFWidth=640\r\nFHeight=480\r\n", false, QSize(640, 480)},
        {"nothing stored", "", false, kDesignSize},
        {"height missing", "FWState=0\r\nFWidth=640\r\n", false, kDesignSize},
        {"zero size", "FWState=0\r\nFWidth=0\r\nFHeight=0\r\n", false, kDesignSize},
    };
    for (const auto& c : cases) {
        QFile file(settings_->path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[TForm4]\r\n" + c.stored);
        file.close();
        window_.setWindowState(Qt::WindowNoState);
        window_.resize(kDesignSize);

        layout().restore(*settings_);

        EXPECT_EQ(window_.windowState().testFlag(Qt::WindowMaximized), c.maximised) << c.name;
        EXPECT_FALSE(window_.windowState().testFlag(Qt::WindowMinimized)) << c.name;
        if (!c.maximised) {
            EXPECT_EQ(window_.size(), c.size) << c.name;
        }
    }
}

TEST_F(WindowLayoutTest, SavesWidthsAndKeepsTheNormalSizeWhenClosedOtherwise) {
    grid_->setColumnWidth(0, 140);
    grid_->setColumnWidth(1, 0);
    grid_->setColumnWidth(2, 90);
    window_.resize(640, 480);

    layout().save(*settings_);
    EXPECT_EQ(settings_->readInteger(kSection, u"DBGrid1_FIO"_s, -1), 140);
    EXPECT_EQ(settings_->readInteger(kSection, u"DBGrid1_ADDRESS"_s, -1), 0);
    EXPECT_EQ(settings_->readInteger(kSection, u"DBGrid1_ID_SCANNER"_s, -1), 90);
    EXPECT_EQ(settings_->readString(kSection, u"FWState"_s, {}), u"0"_s);
    EXPECT_EQ(settings_->readInteger(kSection, u"FWidth"_s, -1), 640);
    EXPECT_EQ(settings_->readInteger(kSection, u"FHeight"_s, -1), 480);

    for (const auto& [state, stored] :
         {std::pair{Qt::WindowMaximized, u"2"_s}, std::pair{Qt::WindowMinimized, u"1"_s}}) {
        window_.resize(300, 200);
        window_.setWindowState(state);
        layout().save(*settings_);
        EXPECT_EQ(settings_->readString(kSection, u"FWState"_s, {}), stored);
        EXPECT_EQ(settings_->readInteger(kSection, u"FWidth"_s, -1), 640);
        EXPECT_EQ(settings_->readInteger(kSection, u"FHeight"_s, -1), 480);
    }

    // What was saved comes back in a window made afresh.
    QWidget other;
    auto* otherGrid = new QTableView(&other);
    otherGrid->setModel(&model_);
    WindowLayout(kSection, &other, otherGrid, {{u"FIO"_s, 0, 111}, {u"ADDRESS"_s, 1, 222}}).restore(*settings_);
    EXPECT_EQ(otherGrid->columnWidth(0), 140);
    EXPECT_EQ(otherGrid->columnWidth(1), 222);
    EXPECT_TRUE(other.windowState().testFlag(Qt::WindowMaximized));
}

} // namespace
} // namespace vornic
