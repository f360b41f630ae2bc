#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/DeliveredDatabase.h"
#include "base/Failure.h"
#include "base/IniFile.h"
#include "support/MainWindowFixture.h"
#include "support/TestServices.h"
#include "tools/make_database/DatabaseMaker.h"
#include "ui/main/Glav_form.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace vornic;
using vornic::test::ScopedDataHome;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A first start on a workstation: an empty home whose data folder does not exist yet, and the database the package
// delivers, made once for all the tests.
class DeliveredDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        packageDir_ = new QTemporaryDir;
        makeDatabase(packageDir_->filePath(QStringLiteral("share/vornic-client/FB_PROJECT.GDB")));
    }
    static void TearDownTestSuite() {
        delete packageDir_;
        packageDir_ = nullptr;
    }

    static QString delivered() { return deliveredDatabaseFileFor(packageDir_->filePath(QStringLiteral("bin"))); }

    ScopedTestServices services;
    QTemporaryDir home;
    ScopedDataHome scopedHome{home.path()};
    const QString folder = dataFolder();
    const QString target = defaultDatabasePath(folder);

    // The administrator's "BD_path", in a data folder that has nothing else.
    void nameDatabase(const QString& name) {
        QDir().mkpath(folder);
        IniFile(dataFile(folder, QStringLiteral("options.ini")))
            .writeString(QStringLiteral("BD"), QStringLiteral("BD_path"), name);
    }

    // The main window's creation, as start-up runs it right after the copy.
    bool openMainWindow() {
        ClientSession session(folder);
        TForm1 window(session.context());
        return window.FormCreate();
    }

private:
    static inline QTemporaryDir* packageDir_ = nullptr;
};

} // namespace

TEST_F(DeliveredDatabaseTest, AFreshDataFolderGetsTheDeliveredDatabaseWholeAndTheMainWindowOpensOnIt) {
    ASSERT_TRUE(provideDeliveredDatabase(folder, delivered()));

    EXPECT_EQ(contents(target), contents(delivered()));
    // Written under another name and renamed: nothing else is left beside it.
    EXPECT_EQ(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("FB_PROJECT.GDB")});
    EXPECT_TRUE(openMainWindow());
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_TRUE(services.process.exitCodes.isEmpty());
}

TEST_F(DeliveredDatabaseTest, OnlyTheDataFoldersOwnMissingDatabaseIsProvided) {
    const QString named = home.filePath(QStringLiteral("elsewhere/OTHER.GDB"));
    struct Case {
        const char* name;
        QString bdPath;
        std::optional<QByteArray> existing;
        bool deliveredPresent;
        bool copied;
    };
    const Case cases[] = {
        {"BD_path names a database", named, std::nullopt, true, false},
        {"BD_path of a bare drive root counts as unset", QStringLiteral("C:\\"), std::nullopt, true, true},
        {"a database is there already, even one that is not valid", {}, QByteArray(40000, 'x'), true, false},
        {"nothing was delivered", {}, std::nullopt, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        if (!c.bdPath.isEmpty())
            nameDatabase(c.bdPath);
        if (c.existing)
            writeFile(target, *c.existing);
        const QString source = c.deliveredPresent ? delivered() : home.filePath(QStringLiteral("none/FB_PROJECT.GDB"));

        EXPECT_EQ(provideDeliveredDatabase(folder, source), c.copied);
        EXPECT_EQ(QFileInfo::exists(target), c.copied || c.existing.has_value());
        if (c.existing) {
            EXPECT_EQ(contents(target), *c.existing);
        }
        EXPECT_FALSE(QFileInfo::exists(named)) << "a named database is never made";
    }
}

TEST_F(DeliveredDatabaseTest, ANamedDatabaseThatIsMissingStillGivesTheConnectionMessage) {
    const QString named = home.filePath(QStringLiteral("elsewhere/OTHER.GDB"));
    nameDatabase(named);

    EXPECT_FALSE(provideDeliveredDatabase(folder, delivered()));
    EXPECT_FALSE(openMainWindow());
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_TRUE(services.messages.shown[0].text.startsWith(
        QStringLiteral("Нет подключения к Базе Данных. Проверьте подключение в Базе Данных.\n\n") +
        QStringLiteral("Файл базы данных не найден: %1").arg(named)))
        << services.messages.shown[0].text.toStdString();
    EXPECT_EQ(services.process.exitCodes, QList<int>{1});
    EXPECT_FALSE(QFileInfo::exists(named));
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(DeliveredDatabaseTest, AFailedCopySaysWhereFromAndWhereToAndLeavesNoDatabaseBehind) {
    // The database's folder cannot be made: a file stands in its place.
    writeFile(folder + QStringLiteral("DB"), "not a folder");

    try {
        provideDeliveredDatabase(folder, delivered());
        FAIL() << "the copy cannot have succeeded";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.text().startsWith(
            QStringLiteral("Не удалось скопировать пустую базу данных из \"%1\" в \"%2\": ").arg(delivered(), target)))
            << failure.text().toStdString();
    }
    EXPECT_FALSE(QFileInfo(target).exists());
}
