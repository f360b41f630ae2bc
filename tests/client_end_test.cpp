#include "app/ClientEnd.h"
#include "app/Startup.h"
#include "base/IniFile.h"
#include "db/Database.h"
#include "db/DatabaseReason.h"
#include "support/MainWindowFixture.h"
#include "tools/readings_server/ReadingsServer.h"
#include "ui/common/ErrorReport.h"
#include "ui/main/Glav_form.h"
#include "ui/update/Updatesoftware.h"
#include "update/Threadupdate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

#include <gtest/gtest.h>

using namespace vornic;

namespace {

constexpr int kStuck = 99;

// The program as start-up runs it, on a fresh database, with the update window shown beside the main window and a
// change posted and not yet committed: each way of ending must end the event loop within 2 s, with the change
// committed, the main window's settings written and the update window gone with the rest.
class ClientEndTest : public ::testing::Test {
protected:
    ScopedTestServices services;
    test::TestDatabase fixture;
    test::ScopedDataHome home{fixture.dataHome()};
    std::unique_ptr<ClientEnd> end = std::make_unique<ClientEnd>(); // the process end in force from here on
    std::unique_ptr<ClientWindows> windows;
    int object = 0;

    void TearDown() override {
        end.reset();
        connectionLostReported = false;
    }

    void start() {
        object = fixture.addObject(QStringLiteral("Иванов"), QStringLiteral("860001"));
        windows = createClientWindows(fixture.folder());
        ASSERT_TRUE(windows);
        windows->session->context().database.execute(
            QStringLiteral("UPDATE LIST_OBJECTS SET FIO = 'Петров' WHERE ID_OBJECT = %1").arg(object));
    }

    // Runs the program until it ends; the way of ending is taken once the main window is up. Returns the exit code.
    int runEndingWith(const std::function<void()>& way, qint64* elapsed) {
        QElapsedTimer timer;
        ClientWindows* shown = windows.get();
        QTimer::singleShot(50, [&] {
            EXPECT_TRUE(shown->form1->isVisible());
            shown->form9->show();
            QCoreApplication::processEvents();
            timer.start();
            way();
        });
        // A program that does not end fails here instead of hanging the test run.
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(kStuck); });
        stuck.start(5000);
        const int code = runClientWindows(std::move(windows), *end);
        *elapsed = timer.elapsed();
        return code;
    }

    void expectOrderlyEnd(qint64 elapsed) {
        EXPECT_LT(elapsed, 2000);
        EXPECT_EQ(
            fixture.committedValue(QStringLiteral("SELECT FIO FROM LIST_OBJECTS WHERE ID_OBJECT = %1").arg(object)),
            QVariant(QStringLiteral("Петров")))
            << "the pending change is committed";
        EXPECT_NE(IniFile(fixture.folder() + QStringLiteral("options.ini"))
                      .readInteger(QStringLiteral("TForm1"), QStringLiteral("Panel2"), -1),
                  -1)
            << "the main window's settings are written";
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
    }
};

TEST_F(ClientEndTest, EveryWayOfEndingEndsTheProgramInAnOrderlyWay) {
    const struct {
        const char* name;
        std::function<void(ClientWindows&)> way;
        int code;
    } cases[] = {
        {"menu Выход", [](ClientWindows& w) { w.form1->form().N16->trigger(); }, 0},
        {"close box", [](ClientWindows& w) { w.form1->close(); }, 0},
        {"SIGTERM", [](ClientWindows&) { ::raise(SIGTERM); }, 0},
        {"Выход of the update window, then the close box",
         [](ClientWindows& w) {
             w.form9->Button1Click();
             w.form1->close();
         },
         0},
        {"lost server connection",
         [](ClientWindows&) {
             reportFailures([] { throw DatabaseError(lostConnectionReason(), QStringLiteral("connection lost")); });
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        end.reset(); // the test's process end comes back before the next one takes its place
        end = std::make_unique<ClientEnd>();
        connectionLostReported = false;
        start();
        ClientWindows* shown = windows.get();
        qint64 elapsed = 0;
        EXPECT_EQ(runEndingWith([&] { c.way(*shown); }, &elapsed), c.code);
        expectOrderlyEnd(elapsed);
        QFile::remove(fixture.folder() + QStringLiteral("options.ini"));
        fixture.db().execute(QStringLiteral("DELETE FROM LIST_OBJECTS"));
        fixture.db().commit();
    }
}

// The downloaded update is opened and the client ends the same way, while its download runs and the update check
// wind down.
TEST_F(ClientEndTest, TheOpenedUpdateEndsTheProgramInAnOrderlyWay) {
    QTemporaryDir updateFolder;
    const auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile file(QDir(updateFolder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const QByteArray update(100 * 1024, 'x');
    put(QStringLiteral("Update_inf.XML"),
        (QStringLiteral("<?xml version=\"1.0\"?><Update>") +
         signedUpdateRow(QStringLiteral("84"), QStringLiteral("VornicClient_84.exe"), update) +
         QStringLiteral("</Update>"))
            .toUtf8());
    put(QStringLiteral("VornicClient_84.exe"), update);
    ReadingsServer::Options options;
    options.updateFolder = updateFolder.path();
    ReadingsServer server(options);
    server.start();
    IniFile(fixture.folder() + QStringLiteral("options.ini"))
        .writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server.baseAddress());

    start();
    QTRY_VERIFY_WITH_TIMEOUT(windows->form9->updateCheck().waitingForOperator(), 5000);
    TForm9* form9 = windows->form9.get();
    qint64 elapsed = 0;
    EXPECT_EQ(runEndingWith([form9] { form9->Button2Click(); }, &elapsed), 0);
    EXPECT_EQ(services.shell.targets, QStringList{fixture.folder() + QStringLiteral("Updates/VornicClient_84.exe")});
    // The time counts the download too: 100 KB from this computer.
    expectOrderlyEnd(elapsed);
}

} // namespace
