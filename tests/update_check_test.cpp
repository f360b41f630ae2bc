#include "base/Failure.h"
#include "db/Database.h"
#include "support/MainWindowFixture.h"
#include "tools/readings_server/ReadingsServer.h"
#include "ui/common/WindowContext.h"
#include "ui/update/Updatesoftware.h"
#include "update/Threadupdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vornic;
using namespace Qt::StringLiterals;

namespace {

const QString kDescription = QStringLiteral("Update_inf.XML");

QByteArray description(const QString& rows) {
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Update>") + rows + QStringLiteral("</Update>"))
        .toUtf8();
}

QByteArray updateBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

// The update window over a main window on a fresh database, against a local server whose "Software_Update/" folder
// the test fills.
class UpdateCheckTest : public test::MainWindowTest {
protected:
    QTemporaryDir updateFolder;
    std::unique_ptr<ReadingsServer> server;
    std::unique_ptr<TForm9> form9;

    void SetUp() override { openWindow(); }

    void TearDown() override {
        form9.reset(); // the check ends before the server goes
        server.reset();
    }

    void serve(const QByteArray& updateDescription, int pieceDelayMs = 0) {
        writeFile(kDescription, updateDescription);
        ReadingsServer::Options options;
        options.updateFolder = updateFolder.path();
        options.updatePieceDelayMs = pieceDelayMs;
        server = std::make_unique<ReadingsServer>(options);
        server->start();
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(QDir(updateFolder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    // Start-up's creation of the update window, with the server (or the given address) as the base address.
    TForm9& createUpdateWindow(const QString& link = {}) {
        context().settings().writeString(QStringLiteral("Edit_link"), QStringLiteral("link"),
                                         link.isNull() ? server->baseAddress() : link);
        form9 = std::make_unique<TForm9>(context(), QStringLiteral(" 83 "),
                                         TForm9::MainWindow{window.get(), window->Timer1()});
        return *form9;
    }

    // Waits until the check has ended and its last signals have reached the windows.
    void waitForEnd() {
        QTRY_VERIFY_WITH_TIMEOUT(form9->updateCheck().isFinished(), 15000);
        QCoreApplication::processEvents();
    }

    void waitForOffer() {
        QTRY_VERIFY_WITH_TIMEOUT(form9->updateCheck().waitingForOperator(), 15000);
        QCoreApplication::processEvents();
    }

    QString caption() const { return form9->windowTitle(); }
    QStringList dataFolderFiles() const {
        return QDir(fixture.folder()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString updatesFolder() const { return fixture.folder() + QStringLiteral("Updates/"); }
    QStringList updateFolderFiles() const {
        return QDir(updatesFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // The client's own files, by name in the data folder, with their bytes; a missing one is listed empty.
    QMap<QString, QByteArray> clientFiles() const {
        QStringList names = {QStringLiteral("options.ini"), QStringLiteral("compare_bd.xml"),
                             QStringLiteral("DB/FB_PROJECT.GDB")};
        names += dataFolderFiles();
        QMap<QString, QByteArray> files;
        for (const QString& name : names) {
            QFile file(fixture.folder() + name);
            files.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        }
        return files;
    }
};

TEST_F(UpdateCheckTest, OnlyTheFirstNewerRowLeadsToAnOfferAndSwitchesTheTimerOn) {
    struct Case {
        const char* name;
        QByteArray description;
        bool offered;
    };
    const Case cases[] = {
        {"equal version", description(QStringLiteral("<row Version=\"83\" Put=\"VornicClient.exe\"/>")), false},
        {"older version", description(QStringLiteral("<row Version=\"9\" Put=\"VornicClient.exe\"/>")), false},
        {"newer version", description(QStringLiteral("<row Version=\"84\" Put=\"VornicClient.exe\"/>")), true},
        {"older row first",
         description(QStringLiteral("<row Version=\"82\" Put=\"a.exe\"/><other Version=\"99\"/><row Version=\"84\" "
                                    "Put=\"b.exe\"/>")),
         true},
        {"version not a number", description(QStringLiteral("<row Version=\"8x4\" Put=\"VornicClient.exe\"/>")), false},
        {"a bad version ends the check before a newer row",
         description(QStringLiteral("<row Put=\"a.exe\"/><row Version=\"84\" Put=\"b.exe\"/>")), false},
        {"not XML", QByteArray("<html>no description"), false},
        {"only other elements", description(QStringLiteral("<Row Version=\"84\"/>")), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(c.description);
        window->Timer1().start();
        createUpdateWindow();
        EXPECT_FALSE(window->Timer1().isActive()) << "switched off as the check is made";
        if (c.offered)
            waitForOffer();
        else
            waitForEnd();
        EXPECT_EQ(window->Timer1().isActive(), c.offered);
        EXPECT_EQ(caption(), QStringLiteral("Поиск новой версии ПО")) << "nothing is reported";
        EXPECT_FALSE(form9->isVisible());
        window->Timer1().stop();
        form9.reset();
        server.reset();
    }
    EXPECT_TRUE(services.shell.targets.isEmpty());
    EXPECT_TRUE(services.process.exitCodes.isEmpty());
}

TEST(UpdateFailureCaption, FollowsTheStatusOrTheSocketError) {
    using Kind = HttpFailure::Kind;
    const std::optional<QString> none;
    const QString unreachable = QStringLiteral("Не удалось подключится к удалённому серверу");
    const struct {
        HttpFailure failure;
        std::optional<QString> caption;
    } cases[] = {
        {{Kind::Protocol, 400, QStringLiteral("Bad Request")},
         QStringLiteral("400 C") + QStringLiteral("ервер обнаружил в запросе клиента синтаксическую ошибку")},
        {{Kind::Protocol, 401, QStringLiteral("Unauthorized")},
         QStringLiteral("401 Запрос требует идентификации пользователя.")},
        {{Kind::Protocol, 404, QStringLiteral("Not Found")}, QStringLiteral("404 Страница не найдена")},
        {{Kind::Protocol, 503, QStringLiteral("Service Unavailable")}, QStringLiteral("503 Service Unavailable")},
        {{Kind::Socket, 11001, {}}, unreachable},
        {{Kind::Socket, 10054, {}}, unreachable},
        {{Kind::Socket, 10061, {}}, none},
        {{Kind::Socket, 10060, {}}, none},
        {{Kind::TooLarge, 1024, {}}, none},
        {{Kind::Interrupted, 0, {}}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure.describe().toStdString());
        const std::optional<QString> caption = updateFailureCaption(c.failure);
        ASSERT_EQ(caption.has_value(), c.caption.has_value());
        if (caption) {
            EXPECT_EQ(caption->toStdString(), c.caption->toStdString());
        }
    }
}

TEST_F(UpdateCheckTest, AFailedDescriptionRequestLeavesItsCaptionOnTheHiddenWindow) {
    serve(QByteArray());
    QFile::remove(QDir(updateFolder.path()).filePath(kDescription)); // the server answers 404
    const struct {
        const char* name;
        QString link;
        QString caption;
    } cases[] = {
        {"404", server->baseAddress(), QStringLiteral("404 Страница не найдена")},
        {"host not found", QStringLiteral("http://no-such-host.invalid/"),
         QStringLiteral("Не удалось подключится к удалённому серверу")},
        {"no address set", QStringLiteral("0"), QStringLiteral("Не удалось подключится к удалённому серверу")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        createUpdateWindow(c.link);
        waitForEnd();
        EXPECT_EQ(caption().toStdString(), c.caption.toStdString());
        EXPECT_FALSE(form9->isVisible());
        EXPECT_FALSE(window->Timer1().isActive());
    }
}

// How the client then ends, its pending work committed and its settings written, is the orderly end's (ClientEnd).
TEST_F(UpdateCheckTest, DownloadSavesOpensAndAsksTheClientToEnd) {
    const QByteArray file = updateBytes(300 * 1024);
    serve(description(QStringLiteral("<row Version=\"80\" Put=\"old.exe\"/>") +
                      signedUpdateRow(QStringLiteral("84"), QStringLiteral("VornicClient_84.exe"), file)),
          20);
    writeFile(QStringLiteral("VornicClient_84.exe"), file);

    createUpdateWindow();
    waitForOffer();
    form9->show();
    form9->Button2Click();
    EXPECT_FALSE(form9->form().Button2->isEnabled());
    EXPECT_FALSE(form9->updateCheck().proceed()) << "a second press finds no check waiting";
    QTRY_COMPARE(caption(), QStringLiteral("Идет загрузка обновления"));
    waitForEnd();

    const QString target = updatesFolder() + QStringLiteral("VornicClient_84.exe");
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), file);
    EXPECT_EQ(form9->form().ProgressBar1->maximum(), file.size());
    EXPECT_EQ(form9->form().ProgressBar1->value(), file.size());
    EXPECT_EQ(services.shell.targets, QStringList{target});
    EXPECT_EQ(services.process.exitCodes, QList<int>{0});
}

TEST_F(UpdateCheckTest, ExitWhileTheFileIsFetchedWritesItAndOpensNothing) {
    const QByteArray file = updateBytes(640 * 1024); // ten pieces, a second in all
    serve(description(signedUpdateRow(QStringLiteral("84"), QStringLiteral("VornicClient_84.exe"), file)), 100);
    writeFile(QStringLiteral("VornicClient_84.exe"), file);
    createUpdateWindow();
    waitForOffer();
    form9->show();
    form9->Button2Click();
    QTRY_COMPARE(form9->form().ProgressBar1->maximum(), file.size());
    QTRY_VERIFY(form9->form().ProgressBar1->value() > 0);
    ASSERT_LT(form9->form().ProgressBar1->value(), file.size());
    form9->Button1Click();
    EXPECT_FALSE(form9->isVisible());
    waitForEnd();

    QFile saved(updatesFolder() + QStringLiteral("VornicClient_84.exe"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), file) << "the transfer completes in the background";
    EXPECT_TRUE(services.shell.targets.isEmpty());
    EXPECT_TRUE(services.process.exitCodes.isEmpty());
}

// Operators install what waits in the data folder, so a transfer that does not complete must leave nothing there:
// neither an empty file nor the part that arrived, nor a temporary one.
TEST_F(UpdateCheckTest, AFailedOrInterruptedDownloadLeavesNoFile) {
    const QByteArray file = updateBytes(640 * 1024); // a second in all
    serve(description(signedUpdateRow(QStringLiteral("84"), QStringLiteral("VornicClient_84.exe"), file)), 100);
    const QStringList onlySettings{QStringLiteral("options.ini")};
    {
        SCOPED_TRACE("the server answers 404");
        createUpdateWindow();
        waitForOffer();
        form9->Button2Click();
        waitForEnd();
        EXPECT_EQ(caption().toStdString(), "404 Страница не найдена");
        EXPECT_EQ(dataFolderFiles(), onlySettings);
        EXPECT_EQ(updateFolderFiles(), QStringList());
    }
    {
        SCOPED_TRACE("the program ends midway");
        writeFile(QStringLiteral("VornicClient_84.exe"), file);
        createUpdateWindow();
        waitForOffer();
        form9->Button2Click();
        QTRY_VERIFY(form9->form().ProgressBar1->value() > 0);
        form9.reset();
        EXPECT_EQ(dataFolderFiles(), onlySettings);
        EXPECT_EQ(updateFolderFiles(), QStringList());
    }
    EXPECT_TRUE(services.shell.targets.isEmpty());
    EXPECT_TRUE(services.process.exitCodes.isEmpty());
}

TEST_F(UpdateCheckTest, ExitWhileTheOfferWaitsEndsTheCheckWithoutADownload) {
    serve(description(QStringLiteral("<row Version=\"84\" Put=\"VornicClient_84.exe\"/>")));
    writeFile(QStringLiteral("VornicClient_84.exe"), updateBytes(10));
    createUpdateWindow();
    waitForOffer();
    const QStringList before = dataFolderFiles();
    form9->Button1Click();
    waitForEnd();
    form9->Button2Click(); // no check waits: nothing happens
    EXPECT_EQ(server->requestCount(), 1) << "the description only";
    EXPECT_EQ(dataFolderFiles(), before);
    EXPECT_TRUE(services.shell.targets.isEmpty());
}

TEST_F(UpdateCheckTest, AFileNameThatLeavesTheDataFolderIsRefused) {
    serve(QByteArray());
    writeFile(QStringLiteral("x.exe"), updateBytes(10));
    context().settings().writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server->baseAddress());
    const QStringList before = dataFolderFiles();
    const char* const names[] = {"",          ".",       "..",        "../x.exe",  "sub/x.exe",
                                 "..\\x.exe", "C:x.exe", "C:\\x.exe", "x.exe&#9;", "/tmp/x.exe"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        writeFile(kDescription,
                  description(QStringLiteral("<row Version=\"84\" Put=\"%1\"/>").arg(QString::fromUtf8(name))));
        const int requests = server->requestCount();
        createUpdateWindow();
        waitForOffer();
        form9->Button2Click();
        waitForEnd();
        EXPECT_TRUE(caption().startsWith(QStringLiteral("Сервер указал недопустимое имя файла обновления")))
            << caption().toStdString();
        EXPECT_EQ(server->requestCount(), requests + 1) << "the description only";
        form9.reset();
    }
    EXPECT_EQ(dataFolderFiles(), before);
    EXPECT_TRUE(services.shell.targets.isEmpty());
    EXPECT_TRUE(services.process.exitCodes.isEmpty());
}

// The server names the file, and a name of the client's own must not replace the client's file: settings pointing
// at other hosts, or a schema description that changes the database at the next start.
TEST_F(UpdateCheckTest, TheUpdateGoesIntoItsOwnFolderWhateverItsNameAndTheClientsFilesStayAsTheyWere) {
    serve(QByteArray());
    context().settings().writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server->baseAddress());
    const QStringList names = {QStringLiteral("options.ini"), QStringLiteral("compare_bd.xml"), QStringLiteral("DB"),
                               QFileInfo(fixture.path()).fileName()};
    ASSERT_EQ(names.last(), QStringLiteral("FB_PROJECT.GDB"));
    const QByteArray update = updateBytes(4096);
    for (const QString& name : names) {
        for (const bool served : {true, false}) {
            SCOPED_TRACE(name.toStdString() + (served ? ", answered 200" : ", answered 404"));
            QDir(updatesFolder()).removeRecursively();
            writeFile(kDescription, description(signedUpdateRow(QStringLiteral("84"), name, update)));
            if (served)
                writeFile(name, update);
            else
                QFile::remove(QDir(updateFolder.path()).filePath(name));
            services.shell.targets.clear();
            services.process.exitCodes.clear();
            createUpdateWindow();
            waitForOffer();
            const QMap<QString, QByteArray> before = clientFiles();
            ASSERT_FALSE(before.value(QStringLiteral("options.ini")).isEmpty());
            ASSERT_FALSE(before.value(QStringLiteral("DB/FB_PROJECT.GDB")).isEmpty());
            form9->Button2Click();
            waitForEnd();

            EXPECT_TRUE(clientFiles() == before) << "the client's files are untouched";
            if (served) {
                const QString target = updatesFolder() + name;
                QFile saved(target);
                ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
                EXPECT_EQ(saved.readAll(), update);
                EXPECT_EQ(updateFolderFiles(), QStringList{name}) << "and nothing else, no temporary file";
                EXPECT_EQ(services.shell.targets, QStringList{target});
            } else {
                EXPECT_EQ(caption().toStdString(), "404 Страница не найдена");
                EXPECT_EQ(updateFolderFiles(), QStringList());
                EXPECT_TRUE(services.shell.targets.isEmpty());
            }
            form9.reset();
        }
    }
}

TEST(UpdateDescription, OnlyTheRootsRowElementsAreEntriesAndABrokenDeepOrLargeDescriptionIsRefused) {
    const auto nested = [](int depth, const QByteArray& inner) {
        return QByteArray("<a>").repeated(depth) + inner + QByteArray("</a>").repeated(depth);
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        std::optional<QList<std::pair<QString, QString>>> rows; // nothing: refused
    };
    const QList<Case> cases = {
        {"rows among other nodes",
         "<?xml version=\"1.0\"?><U><row Version=\"1\" Put=\"a\"/><?row Version=\"2\"?><x><row Version=\"3\"/>"
         "</x><!-- <row/> --><Row Version=\"5\"/><p:row Version=\"6\"/><row Put=\"b\" Version=\"4\">text</row></U>",
         QList<std::pair<QString, QString>>{{QStringLiteral("1"), QStringLiteral("a")},
                                            {QStringLiteral("4"), QStringLiteral("b")}}},
        {"the root is no entry", "<row Version=\"84\" Put=\"a\"/>", QList<std::pair<QString, QString>>{}},
        {"as deep as allowed", "<U>" + nested(kUpdateDescriptionDepthLimit - 2, "<row/>") + "<row Version=\"7\"/></U>",
         QList<std::pair<QString, QString>>{{QStringLiteral("7"), QString()}}},
        {"one level deeper", "<U>" + nested(kUpdateDescriptionDepthLimit - 1, "<row/>") + "<row Version=\"7\"/></U>",
         std::nullopt},
        {"200,000 levels", nested(200000, {}), std::nullopt},
        {"broken after its rows", "<U><row Version=\"84\" Put=\"a\"/></U><", std::nullopt},
        {"empty", {}, std::nullopt},
        {"larger than a description may be",
         "<U><row Version=\"84\" Put=\"a\"/>" + QByteArray(kUpdateDescriptionLimit, ' ') + "</U>", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            QList<std::pair<QString, QString>> rows;
            for (const UpdateRow& row : parseUpdateDescription(c.bytes))
                rows.append({row.version, row.put});
            ASSERT_TRUE(c.rows.has_value()) << "read, not refused";
            EXPECT_EQ(rows, *c.rows);
        } catch (const Failure&) {
            EXPECT_FALSE(c.rows.has_value()) << "refused";
        }
    }
}

TEST(UpdateFileName, PlainNamesPass) {
    for (const char* name : {"VornicClient.exe", "Vornic Client 84.msi", "обновление.exe", "a..b"})
        EXPECT_TRUE(isPlainFileName(QString::fromUtf8(name))) << name;
}

TEST_F(UpdateCheckTest, WindowIsAModelessOfferCentredOnTheMainWindow) {
    serve(description(QStringLiteral("<row Version=\"83\" Put=\"VornicClient.exe\"/>")));
    createUpdateWindow();
    Ui::TForm9& ui = form9->form();
    EXPECT_EQ(caption().toStdString(), "Поиск новой версии ПО");
    EXPECT_EQ(ui.Button2->text(), QStringLiteral("Скачать"));
    EXPECT_EQ(ui.Button1->text(), QStringLiteral("Выход"));
    EXPECT_FALSE(form9->windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(form9->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(form9->windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));

    window->show();
    form9->show();
    EXPECT_FALSE(form9->isModal());
    QWidget* first = form9->nextInFocusChain();
    while (first->focusPolicy() == Qt::NoFocus)
        first = first->nextInFocusChain();
    EXPECT_EQ(first, ui.Button2) << "first in the tab order";
    const QPoint offset = form9->frameGeometry().center() - window->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    QTest::keyClick(form9.get(), Qt::Key_Escape);
    EXPECT_TRUE(form9->isVisible()) << "only \"Выход\" closes the window";
    window->Timer1().start();
    form9->FormActivate();
    EXPECT_FALSE(window->Timer1().isActive());

    // A transfer that announces no size gets a busy bar, not a percentage.
    Q_EMIT form9->updateCheck().transferProgressed(-1, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.ProgressBar1->maximum(), 0);
    Q_EMIT form9->updateCheck().transferProgressed(2000, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.ProgressBar1->maximum(), 2000);
    EXPECT_EQ(ui.ProgressBar1->value(), 500);
}

} // namespace

// Whoever answers for the server's address can offer any file: only one that a publisher the client trusts signed,
// as it was signed, is written and opened. Each refusal names its reason in the caption and leaves nothing behind;
// a signed update older than the running client is never offered.
TEST_F(UpdateCheckTest, OnlyAnUpdateATrustedPublisherSignedAsItIsIsWrittenAndOpened) {
    serve(QByteArray());
    context().settings().writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server->baseAddress());
    const QString name = QStringLiteral("VornicClient_84.exe");
    const QByteArray file = updateBytes(4096);
    QByteArray tampered = file;
    tampered[100] = static_cast<char>(tampered[100] ^ 1);
    const QString signedRow = signedUpdateRow(QStringLiteral("84"), name, file);
    const struct {
        const char* what;
        QString row;
        QByteArray served;
        QString reason; // empty: written and opened
    } cases[] = {
        {"unsigned", QStringLiteral("<row Version=\"84\" Put=\"%1\"/>").arg(name), file,
         QStringLiteral("обновление не подписано издателем")},
        {"signed by an unknown key", signedUpdateRow(QStringLiteral("84"), name, file, makeUpdateKeyPair()), file,
         QStringLiteral("обновление подписано ключом, которому эта программа не доверяет")},
        {"a tampered file", signedRow, tampered,
         QStringLiteral("файл обновления не совпадает с подписанным: контрольная сумма другая")},
        {"a tampered version", QString(signedRow).replace(u"Version=\"84\""_s, u"Version=\"85\""_s), file,
         QStringLiteral("подпись не сходится с описанием обновления")},
        {"a truncated file", signedRow, file.left(4000),
         QStringLiteral("файл обновления занимает 4000 байт, а подписано 4096")},
        {"as signed", signedRow, file, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(updatesFolder()).removeRecursively();
        services.shell.targets.clear();
        services.process.exitCodes.clear();
        writeFile(kDescription, description(c.row));
        writeFile(name, c.served);
        createUpdateWindow();
        waitForOffer();
        form9->Button2Click();
        waitForEnd();
        if (c.reason.isEmpty()) {
            QFile saved(updatesFolder() + name);
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            EXPECT_EQ(saved.readAll(), file);
            EXPECT_EQ(services.shell.targets, QStringList{updatesFolder() + name});
        } else {
            EXPECT_TRUE(caption().startsWith(u"Обновление отклонено: "_s + c.reason)) << caption().toStdString();
            EXPECT_EQ(updateFolderFiles(), QStringList());
            EXPECT_TRUE(services.shell.targets.isEmpty());
            EXPECT_TRUE(services.process.exitCodes.isEmpty());
        }
        form9.reset();
    }

    SCOPED_TRACE("a signed older version");
    writeFile(kDescription, description(signedUpdateRow(QStringLiteral("82"), name, file)));
    const int requests = server->requestCount();
    createUpdateWindow();
    waitForEnd();
    EXPECT_EQ(server->requestCount(), requests + 1) << "the description only";
    EXPECT_FALSE(window->Timer1().isActive()) << "no offer";
}
