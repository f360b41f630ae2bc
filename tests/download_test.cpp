#include "base/IniFile.h"
#include "db/DatabaseError.h"
#include "db/Statement.h"
#include "download/HttpClient.h"
#include "download/ReadingsProtocol.h"
#include "download/Thread_loadf.h"
#include "support/TestDatabase.h"
#include "tools/readings_server/ReadingsServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>

using namespace vornic;
using vornic::test::TestDatabase;
using Fault = ReadingsServer::Fault;

namespace {

// How long a stopped run may take to end: a generous ceiling, half as long as a stalled transfer lasts.
constexpr int kStopBound = 10000;

const QDate kToday(2018, 3, 10);

ReadingsServer::Options dataSet(int scanners = 2) {
    ReadingsServer::Options options;
    options.scanners = scanners;
    options.days = 3;
    options.readingsPerDay = 3;
    options.doubtfulPercent = 30;
    options.emptyPokPercent = 0;
    options.today = kToday;
    return options;
}

struct RunRecord {
    QStringList log;
    int objectsDone = 0;
    QList<int> answerMaxima;
    bool finished = false;
};

class DownloadTest : public ::testing::Test {
protected:
    TestDatabase fixture;
    std::unique_ptr<ReadingsServer> server;
    QList<Thread_loadF::Object> objects;

    void startServer(const ReadingsServer::Options& options) {
        server = std::make_unique<ReadingsServer>(options);
        server->start();
        IniFile settings(fixture.folder() + QStringLiteral("options.ini"));
        settings.writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server->baseAddress());
    }

    void setParallel(int parallel) {
        IniFile(fixture.folder() + QStringLiteral("options.ini"))
            .writeInteger(QStringLiteral("Download"), QStringLiteral("parallel"), parallel);
    }

    void addObject(const QString& scanner) {
        const int id = fixture.addObject(QStringLiteral("Объект ") + scanner, scanner);
        objects.append({QString::number(id), scanner});
    }

    // Starts a run; the returned record fills in as the run's signals arrive.
    std::shared_ptr<RunRecord> start(int depth = 3, Thread_loadF** started = nullptr) {
        auto run = std::make_shared<RunRecord>();
        const IniFile settings(fixture.folder() + QStringLiteral("options.ini"));
        auto* worker = new Thread_loadF(fixture.db(), settings, depth, kToday, objects);
        QObject::connect(worker, &Thread_loadF::logLine, &receiver, [run](const QString& line) { run->log << line; });
        QObject::connect(worker, &Thread_loadF::objectDone, &receiver, [run] { ++run->objectsDone; });
        QObject::connect(worker, &Thread_loadF::answerProgressMaximum, &receiver,
                         [run](int maximum) { run->answerMaxima << maximum; });
        QObject::connect(worker, &Thread_loadF::runFinished, &receiver, [run] { run->finished = true; });
        if (started)
            *started = worker;
        worker->start();
        return run;
    }

    std::shared_ptr<RunRecord> runToEnd(int depth = 3) {
        auto run = start(depth);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(run->finished, 30000); }();
        return run;
    }

    int storedCount(const QString& where = QStringLiteral("1=1")) {
        return fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE WHERE ") + where).toInt();
    }

    QObject receiver;
};

// The process's peak resident memory so far.
qint64 peakKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

QString timeText(const QString& date) {
    return date.mid(6, 2) + u'.' + date.mid(4, 2) + u'.' + date.left(4) + u' ' + date.mid(8, 2) + u':' +
           date.mid(10, 2) + u':' + date.mid(12, 2);
}

} // namespace

TEST_F(DownloadTest, NewReadingsAreStoredWithEveryColumnAndTheExactPictureAndASecondRunChangesNothing) {
    startServer(dataSet());
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral(" 860002 ")); // blanks around the modem id are not sent
    const auto run = runToEnd();

    const QList<ReadingsServer::Reading> first = server->readings(860001);
    ASSERT_EQ(first.size(), 9);
    EXPECT_EQ(storedCount(), 18);
    EXPECT_EQ(run->objectsDone, 2);
    ASSERT_GE(run->log.size(), 3);
    EXPECT_EQ(run->log.first(),
              QStringLiteral(" Данные 860001 на время: ") + timeText(first[0].date) + QStringLiteral("  получены"));
    EXPECT_EQ(run->log[9], QStringLiteral("Данные по №860001 обновлены и актуальны "));
    EXPECT_EQ(run->log[19], QStringLiteral("Данные по №860002 обновлены и актуальны "));
    EXPECT_EQ(run->log.last(), QStringLiteral("Обновление завершено"));
    EXPECT_EQ(run->log.size(), 21);

    const ReadingsServer::Reading& sample = first[4];
    Statement stored(fixture.db(), QStringLiteral("SELECT ID_OBJECT, DAT, RECOGNITION, READINGS, BAT, CSQ, NSMOD, "
                                                  "ERROR, IMAGE FROM IMAGE_OBJECT_DATE WHERE ID_IMAG = ?"));
    stored.bind(0, sample.id);
    stored.open();
    ASSERT_TRUE(stored.fetch());
    EXPECT_EQ(stored.value(0).toString(), objects[0].id);
    EXPECT_EQ(stored.value(1).toDateTime(), QDateTime::fromString(sample.date, QStringLiteral("yyyyMMddHHmmss")));
    EXPECT_EQ(stored.value(2).toString(), sample.pok);
    EXPECT_EQ(stored.value(3).toString(), sample.pok);
    EXPECT_EQ(stored.value(4).toInt(), sample.bat);
    EXPECT_EQ(stored.value(5).toInt(), sample.csq);
    EXPECT_EQ(stored.value(6).toInt(), sample.nsmod);
    EXPECT_EQ(stored.value(7).toInt(), sample.er);
    QByteArray served;
    ASSERT_FALSE(HttpClient().get(server->baseAddress() + sample.img, served));
    EXPECT_EQ(fixture.db().readBlob(stored.value(8).value<BlobId>()), served);
    stored.close();

    const int requests = server->requestCount();
    const auto again = runToEnd();
    EXPECT_EQ(storedCount(), 18);
    EXPECT_EQ(again->log, QStringList({QStringLiteral("Данные по №860001 обновлены и актуальны "),
                                       QStringLiteral("Данные по №860002 обновлены и актуальны "),
                                       QStringLiteral("Обновление завершено")}));
    EXPECT_EQ(server->requestCount(), requests + 2) << "no picture is fetched for stored readings";
}

TEST_F(DownloadTest, EmptyValuesAreCompletedLaterAndStoredValuesAreNeverChanged) {
    ReadingsServer::Options options = dataSet(1);
    options.emptyPokPercent = 40;
    startServer(options);
    addObject(QStringLiteral("860001"));
    runToEnd();
    const int empty = storedCount(QStringLiteral("READINGS IS NULL"));
    ASSERT_GT(empty, 0);
    // The operator corrects one stored reading; the server will never overwrite it.
    fixture.exec(QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET READINGS='77777', ERROR=99 WHERE READINGS IS NOT NULL "
                                "AND ID_IMAG='2'"));
    // While the server still has no value for them, a run leaves them alone: no picture, no log line.
    const int requests = server->requestCount();
    EXPECT_EQ(runToEnd()->log.filter(QStringLiteral(" Обновлены")).size(), 0);
    EXPECT_EQ(server->requestCount(), requests + 1);
    const QVariant batBefore =
        fixture.committedValue(QStringLiteral("SELECT SUM(BAT + CSQ + NSMOD + ERROR) FROM IMAGE_OBJECT_DATE"));

    server->completeEmptyReadings();
    const auto run = runToEnd();
    EXPECT_EQ(storedCount(QStringLiteral("READINGS IS NULL")), 0);
    EXPECT_EQ(storedCount(QStringLiteral("READINGS <> RECOGNITION")), 1);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT SUM(BAT + CSQ + NSMOD + ERROR) FROM IMAGE_OBJECT_DATE")),
              batBefore);
    EXPECT_EQ(run->log.filter(QStringLiteral(" Обновлены")).size(), empty);
    EXPECT_TRUE(run->log.first().startsWith(QStringLiteral(" Показания на дату  ")));
    EXPECT_EQ(storedCount(QStringLiteral("IMAGE IS NULL")), 0) << "completion brings the picture too";
}

TEST_F(DownloadTest, ErrorElementsModemZeroAndAnEmptySetOfObjects) {
    ReadingsServer::Options options = dataSet(2);
    options.errorScanners = {860002};
    options.encoding = QStringLiteral("windows-1251");
    startServer(options);
    EXPECT_EQ(runToEnd()->log, QStringList{QStringLiteral("Обновление завершено")});

    addObject(QStringLiteral("0"));
    addObject(QStringLiteral("860002"));
    const int requests = server->requestCount();
    const auto run = runToEnd();
    EXPECT_EQ(run->log, QStringList({QStringLiteral("Данные по №0 обновлены и актуальны "),
                                     QStringLiteral("Данные по №860002 контроллера не найдены Нет данных по "
                                                    "контроллеру"),
                                     QStringLiteral("Данные по №860002 обновлены и актуальны "),
                                     QStringLiteral("Обновление завершено")}));
    EXPECT_EQ(server->requestCount(), requests + 1) << "modem id 0 is never asked for";
    EXPECT_EQ(run->objectsDone, 2);
    EXPECT_EQ(storedCount(), 0);
}

TEST_F(DownloadTest, AStoredIdThatBeginsWithTheNewIdDoesNotHideIt) {
    startServer(dataSet(1));
    addObject(QStringLiteral("860001"));
    const QList<ReadingsServer::Reading> served = server->readings(860001);
    fixture.addReading({objects[0].id.toInt(),
                        served[0].id + QStringLiteral("9"),
                        QDateTime(kToday, QTime(1, 0)),
                        {},
                        QStringLiteral("1"),
                        {},
                        {},
                        {},
                        0});
    runToEnd();
    EXPECT_EQ(storedCount(QStringLiteral("ID_IMAG = '%1'").arg(served[0].id)), 1);
    EXPECT_EQ(storedCount(), served.size() + 1);
}

TEST_F(DownloadTest, FailedRequestsAreNotRepeatedAndTheRunGoesOn) {
    startServer(dataSet(3));
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    addObject(QStringLiteral("860003"));
    server->injectFault(Fault::HttpStatus404, 1, QStringLiteral("idmodem=860001"));
    server->injectFault(Fault::NotXml, 1, QStringLiteral("idmodem=860002"));
    server->injectFault(Fault::ResetConnection, 1, QStringLiteral("photos/860003/"));
    const auto run = runToEnd();

    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[0].id)), 0);
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[1].id)), 0);
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[2].id)), 9) << "the run went on";
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1 AND IMAGE IS NULL").arg(objects[2].id)), 1)
        << "the reading whose picture failed is stored with what arrived";
    EXPECT_TRUE(run->log[0].contains(QStringLiteral("860001")) && run->log[0].contains(QStringLiteral("404")));
    EXPECT_EQ(run->log[1], QStringLiteral("Данные по №860001 не обновлены"));
    EXPECT_TRUE(run->log[2].startsWith(QStringLiteral("Ответ сервера по №860002 не прочитан")));
    EXPECT_EQ(run->log[3], QStringLiteral("Данные по №860002 не обновлены"));
    EXPECT_TRUE(run->log.contains(QStringLiteral("Данные по №860003 обновлены не полностью: не получено снимков: 1")));
    EXPECT_EQ(run->log.last(), QStringLiteral("Обновление завершено"));
    EXPECT_EQ(server->requestCount(), 3 + 9) << "one request per object and per new reading, none repeated";
}

TEST_F(DownloadTest, AStopDuringAPictureGivesUpItsTransferAndEndsTheRunBeforeTheTransferWould) {
    ReadingsServer::Options options = dataSet(2);
    options.stallMs = 2 * kStopBound; // a run that waited for the stalled transfer would not end within the bound
    startServer(options);
    setParallel(1); // the stalled picture is the first row's: the requests go one at a time
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    server->injectFault(Fault::Stall, 1, QStringLiteral("photos/"));
    Thread_loadF* worker = nullptr;
    const auto run = start(3, &worker);
    QTRY_VERIFY_WITH_TIMEOUT(server->requestCount() >= 2, 10000); // the first picture is on its way, stalled
    worker->requestStop();
    QTRY_VERIFY_WITH_TIMEOUT(run->finished, kStopBound);
    EXPECT_EQ(storedCount(), 0) << "the row whose picture was given up is not stored";
    EXPECT_EQ(run->log, QStringList({QStringLiteral("Данные по №860001 обновлены и актуальны "),
                                     QStringLiteral("Обновление завершено")}));
    EXPECT_EQ(server->requestCount(), 2) << "no further object is asked for";
}

TEST_F(DownloadTest, AbandoningGivesUpTheTransferAndStoresNoHalfRow) {
    ReadingsServer::Options options = dataSet(1);
    options.stallMs = 60000; // the picture never comes while the test runs; a stopping server ends the stall
    startServer(options);
    setParallel(1); // the stalled picture is the first row's: the requests go one at a time
    addObject(QStringLiteral("860001"));
    server->injectFault(Fault::Stall, 1, QStringLiteral("photos/"));
    Thread_loadF* worker = nullptr;
    const auto run = start(3, &worker);
    QTRY_VERIFY_WITH_TIMEOUT(server->requestCount() >= 2, 10000);
    QElapsedTimer ending;
    ending.start();
    delete worker; // as the program does when it closes during a run; it waits for the worker's thread
    EXPECT_LT(ending.elapsed(), options.stallMs / 2) << "the end waited for the stalled picture";
    EXPECT_EQ(storedCount(), 0);
    EXPECT_FALSE(run->finished) << "an abandoned run says nothing more";
}

TEST_F(DownloadTest, PicturesNotServedWholeAreStoredAsNullWithALineAndFetchedOnALaterRun) {
    startServer(dataSet(1));
    addObject(QStringLiteral("860001"));
    const QList<ReadingsServer::Reading> served = server->readings(860001);
    struct {
        Fault fault;
        QString line;
    } refused[] = {
        {Fault::HttpStatus404, QStringLiteral("HTTP 404 Not Found")},
        {Fault::Redirect302, QStringLiteral("HTTP 302 Found")},
        {Fault::HttpStatus500, QStringLiteral("HTTP 500 Internal Server Error")},
        {Fault::HugeBody, QStringLiteral("больше 16 МБ")},
        {Fault::HugeChunkedBody, QStringLiteral("больше 16 МБ")},
        {Fault::ResetConnection, QStringLiteral("ошибка сокета 10054 (соединение разорвано)")},
        {Fault::NotXml, QStringLiteral("получено не изображение JPEG (13 байт)")},
        {Fault::HalfPicture, QStringLiteral("изображение JPEG получено не полностью (%1 байт)")},
    };
    const int refusedCount = static_cast<int>(std::size(refused));
    QByteArray wholePicture;
    ASSERT_FALSE(HttpClient().get(server->baseAddress() + served[refusedCount - 1].img, wholePicture));
    refused[refusedCount - 1].line = refused[refusedCount - 1].line.arg(wholePicture.size() / 2);
    for (int i = 0; i < refusedCount; ++i)
        server->injectFault(refused[i].fault, 1, served[i].img);
    const auto first = runToEnd();
    EXPECT_EQ(storedCount(), served.size());
    EXPECT_EQ(storedCount(QStringLiteral("IMAGE IS NULL")), refusedCount) << "no error page is a picture";
    for (int i = 0; i < refusedCount; ++i) {
        SCOPED_TRACE(refused[i].line.toStdString());
        EXPECT_EQ(first->log.count(QStringLiteral(" Снимок ") + served[i].id +
                                   QStringLiteral(" по №860001 на время: ") + timeText(served[i].date) +
                                   QStringLiteral(" не получен: ") + refused[i].line),
                  1);
    }

    const int requests = server->requestCount();
    const auto second = runToEnd();
    EXPECT_EQ(storedCount(QStringLiteral("IMAGE IS NULL")), 0) << "the server gives them now";
    EXPECT_EQ(server->requestCount(), requests + 1 + refusedCount) << "only the missing pictures are asked for";
    EXPECT_EQ(second->log.filter(QRegularExpression(QStringLiteral("^ Снимок на дату  .* получен$"))).size(),
              refusedCount);
    const auto third = runToEnd();
    EXPECT_EQ(third->log.size(), 2) << "nothing is left to fetch";

    // What an older program stored from an error page or a picture cut short is fetched again.
    fixture.exec(
        QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET IMAGE = '<html>' WHERE ID_IMAG = '%1'").arg(served[0].id));
    fixture.exec(QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET IMAGE = SUBSTRING(IMAGE FROM 1 FOR 100) WHERE ID_IMAG = "
                                "'%1'")
                     .arg(served[1].id));
    const auto fourth = runToEnd();
    EXPECT_EQ(fourth->log.filter(QRegularExpression(QStringLiteral("^ Снимок на дату  .* получен$"))).size(), 2);
    EXPECT_EQ(storedCount(QStringLiteral("OCTET_LENGTH(IMAGE) < 200")), 0);
}

TEST_F(DownloadTest, HugeStalledAndRedirectedAnswersAreFailedRequestsWithTheirLinesAndMemoryStaysBounded) {
    startServer(dataSet(4));
    for (const char* scanner : {"860001", "860002", "860003", "860004"})
        addObject(QString::fromLatin1(scanner));
    IniFile settings(fixture.folder() + QStringLiteral("options.ini"));
    settings.writeInteger(QStringLiteral("Download"), QStringLiteral("stall_timeout"), 1);
    server->injectFault(Fault::HugeBody, 1, QStringLiteral("idmodem=860001"));
    server->injectFault(Fault::HugeChunkedBody, 1, QStringLiteral("idmodem=860002"));
    server->injectFault(Fault::Stall, 1, QStringLiteral("idmodem=860003"));
    server->injectFault(Fault::Redirect302, 1, QStringLiteral("idmodem=860004"));
    const qint64 peakBefore = peakKilobytes();
    const auto run = runToEnd();
    EXPECT_EQ(run->log, QStringList({
                            QStringLiteral("Ответ сервера по №860001 отклонён: больше 32 МБ"),
                            QStringLiteral("Данные по №860001 не обновлены"),
                            QStringLiteral("Ответ сервера по №860002 отклонён: больше 32 МБ"),
                            QStringLiteral("Данные по №860002 не обновлены"),
                            QStringLiteral("Нет ответа сервера по №860003: ошибка сокета 10060 (сервер не отвечает)"),
                            QStringLiteral("Данные по №860003 не обновлены"),
                            QStringLiteral("Нет ответа сервера по №860004: HTTP 302 Found"),
                            QStringLiteral("Данные по №860004 не обновлены"),
                            QStringLiteral("Обновление завершено"),
                        }));
    EXPECT_EQ(storedCount(), 0);
    // Two answers of 64 MB went by; a client that kept one would have grown by at least that much. What is left is
    // the answer buffer up to the 32 MB limit, with its growth reserve. AddressSanitizer keeps freed memory in
    // quarantine, so the figure says nothing there.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(peakKilobytes() - peakBefore, 60 * 1024);
#else
    Q_UNUSED(peakBefore);
#endif
}

TEST_F(DownloadTest, ADatabaseErrorIsLoggedAndEndsTheRun) {
    startServer(dataSet(2));
    setParallel(1); // so that the requests made are counted exactly
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    objects[0].id = QStringLiteral("не число"); // the insert cannot convert it
    const auto run = runToEnd();
    ASSERT_EQ(run->log.size(), 3);
    EXPECT_TRUE(run->log[0].startsWith(QStringLiteral("Ошибка базы данных при записи показаний №860001")))
        << run->log[0].toStdString();
    EXPECT_EQ(run->log[1],
              QStringLiteral("Данные по №860001 обновлены не полностью: запись прервана ошибкой базы данных"));
    EXPECT_EQ(run->log[2], QStringLiteral("Обновление завершено"));
    EXPECT_EQ(storedCount(), 0);
    EXPECT_EQ(server->requestCount(), 2) << "the next object is not asked for";
}

TEST_F(DownloadTest, AnIdTwiceInOneAnswerIsCompletedAndBrokenRowsAreSkippedWithALogLine) {
    startServer(dataSet(1));
    addObject(QStringLiteral("860001"));
    server->scriptAnswer(QStringLiteral("860001"), R"xml(<?xml version="1.0" encoding="utf-8"?>
<answer>
  <row id="900" img="" date="20180310101500" pok="" bat="50" csq="20" nsmod="2" er="1"/>
  <row id="901" img="" date="20180310111500" bat="50" csq="20" nsmod="2" er="0"/>
  <row id="902" img="" date="20180310121500" pok="5" bat="50" csq="20" nsmod="2" er="x"/>
  <row id="903" img="" date="20181310121500" pok="5" bat="50" csq="20" nsmod="2" er="0"/>
  <row id="904" img="" date="20180310121500" pok="5" bat="полно" csq="20" nsmod="2" er="0"/>
  <row id="900" img="" date="20180310101500" pok="01234" bat="99" csq="99" nsmod="5" er="0"/>
</answer>)xml");
    const auto run = runToEnd();
    EXPECT_EQ(storedCount(), 1);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT READINGS FROM IMAGE_OBJECT_DATE")).toString(),
              QStringLiteral("01234"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT BAT + ERROR FROM IMAGE_OBJECT_DATE")).toInt(), 51)
        << "the completion changes no other column";
    ASSERT_EQ(run->log.size(), 8);
    EXPECT_EQ(run->log[0], QStringLiteral(" Данные 860001 на время: 10.03.2018 10:15:00  получены"));
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(run->log[i].startsWith(QStringLiteral("Строка «90%1» ответа по №860001 пропущена").arg(i)))
            << run->log[i].toStdString();
    EXPECT_EQ(run->log[5], QStringLiteral(" Показания на дату  10.03.2018 10:15:00 Обновлены"));
    EXPECT_EQ(run->log[6], QStringLiteral("Данные по №860001 обновлены не полностью: пропущено строк: 4"));
}

TEST(HttpClientHeaders, EveryRequestCarriesTheClientsHeaderLines) {
    httplib::Server http;
    std::string accept, agent;
    http.Get("/x", [&](const httplib::Request& request, httplib::Response& response) {
        accept = request.get_header_value("Accept");
        agent = request.get_header_value("User-Agent");
        response.set_content("ok", "text/plain");
    });
    const int port = http.bind_to_any_port("127.0.0.1");
    std::thread listener([&] { http.listen_after_bind(); });
    while (!http.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const HttpClient client(nullptr, {},
                            {QByteArrayLiteral("Accept: text/html"), QByteArrayLiteral("User-Agent: Test/1")});
    QByteArray body;
    const auto failure = client.get(QStringLiteral("http://127.0.0.1:%1/x").arg(port), body);
    http.stop();
    listener.join();
    EXPECT_FALSE(failure.has_value());
    EXPECT_EQ(body, QByteArrayLiteral("ok"));
    EXPECT_EQ(accept, "text/html");
    EXPECT_EQ(agent, "Test/1");
}

// The base address is a setting: whatever it names, only a web server is asked, never a file or another scheme.
TEST(HttpClientSchemes, OnlyHttpAndHttpsAreRequested) {
    const QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("secret");
    file.close();
    const HttpClient client(nullptr, {}, {});
    for (const QString& address : {QStringLiteral("file://") + file.fileName(), QStringLiteral("ftp://127.0.0.1:1/x"),
                                   QStringLiteral("gopher://127.0.0.1:1/x")}) {
        QByteArray body;
        const auto failure = client.get(address, body);
        EXPECT_TRUE(failure.has_value()) << address.toStdString();
        EXPECT_TRUE(body.isEmpty()) << address.toStdString();
    }
}

namespace {

// Stands between the worker and the readings server: notes the address of every request in the order they come and
// how many were going at once at the most.
class RecordingProxy final {
public:
    explicit RecordingProxy(int upstreamPort) {
        http_.Get(".*", [this, upstreamPort](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(mutex_);
                targets_ << QString::fromStdString(request.target);
            }
            most_ = std::max(most_.load(), ++going_);
            httplib::Client upstream("127.0.0.1", upstreamPort);
            if (const auto answer = upstream.Get(request.target.c_str())) {
                response.status = answer->status;
                response.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
            } else {
                response.status = 502;
            }
            --going_;
        });
        port_ = http_.bind_to_any_port("127.0.0.1");
        listener_ = std::thread([this] { http_.listen_after_bind(); });
        while (!http_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~RecordingProxy() {
        http_.stop();
        listener_.join();
    }
    Q_DISABLE_COPY_MOVE(RecordingProxy)

    QString baseAddress() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }
    QStringList targets() {
        const std::lock_guard lock(mutex_);
        return targets_;
    }
    int most() const { return most_; }

private:
    httplib::Server http_;
    std::thread listener_;
    int port_ = 0;
    std::mutex mutex_;
    QStringList targets_;
    std::atomic<int> going_ = 0;
    std::atomic<int> most_ = 0;
};

// Connections of this process to the port that are still open on the client's side.
int clientConnectionsTo(int port) {
    int count = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& name : descriptors.entryList(QDir::Files | QDir::System)) {
        const int descriptor = name.toInt();
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
            getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            local.sin_family == AF_INET && ntohs(peer.sin_port) == port && ntohs(local.sin_port) != port)
            ++count;
    }
    return count;
}

} // namespace

TEST_F(DownloadTest, TheRequestsAtOnceComeFromTheSettingsWithinBounds) {
    const struct {
        const char* text;
        int parallel;
    } cases[] = {{nullptr, 8}, {"1", 1}, {"6", 6}, {"16", 16}, {"17", 16}, {"0", 8}, {"-2", 8}, {"много", 8}};
    for (const auto& [text, parallel] : cases) {
        SCOPED_TRACE(text ? text : "(none)");
        IniFile settings(fixture.folder() + QStringLiteral("options.ini"));
        if (text)
            settings.writeString(QStringLiteral("Download"), QStringLiteral("parallel"), QString::fromUtf8(text));
        const Thread_loadF worker(fixture.db(), settings, 1, kToday, {});
        EXPECT_EQ(worker.parallel(), parallel);
    }
}

// The same answers, with pictures that come late, fail or are refused, into the same database: whatever the
// number of requests at once, the same rows are stored with the same values and pictures, and the log is the same.
TEST_F(DownloadTest, FetchingAheadStoresAndLogsExactlyWhatOneRequestAtATimeDoes) {
    ReadingsServer::Options options = dataSet(3);
    options.errorScanners = {860003};
    options.slowAnswerMs = 300;
    options.latencyMs = 10;
    startServer(options);
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    addObject(QStringLiteral("860003"));
    const QList<ReadingsServer::Reading> first = server->readings(860001);
    const QList<ReadingsServer::Reading> second = server->readings(860002);
    // An id twice (the second time with its value), a row without "pok" and one whose battery is no number.
    const auto row = [](const ReadingsServer::Reading& reading, const QString& pok, const QString& bat) {
        return QStringLiteral(R"(<row id="%1" img="%2" date="%3" pok="%4" bat="%5" csq="1" nsmod="1" er="0"/>)")
            .arg(reading.id, reading.img, reading.date, pok, bat);
    };
    server->scriptAnswer(QStringLiteral("860002"),
                         (QStringLiteral(R"(<?xml version="1.0" encoding="utf-8"?><answer>)") +
                          row(second[0], {}, QStringLiteral("40")) +
                          QStringLiteral(R"(<row id="%1" img="%2" date="%3" bat="1" csq="1" nsmod="1" er="0"/>)")
                              .arg(second[1].id, second[1].img, second[1].date) +
                          row(second[2], QStringLiteral("5"), QStringLiteral("x")) +
                          row(second[0], QStringLiteral("01234"), QStringLiteral("41")) +
                          row(second[3], QStringLiteral("7"), QStringLiteral("42")) + QStringLiteral("</answer>"))
                             .toUtf8());

    const auto prepare = [&] {
        fixture.exec(QStringLiteral("DELETE FROM IMAGE_OBJECT_DATE"));
        const int object = objects[0].id.toInt();
        const auto stored = [&](const ReadingsServer::Reading& reading, QVariant image, QVariant value) {
            fixture.addReading(
                {object, reading.id, QDateTime(kToday, QTime(1, 0)), std::move(image), std::move(value), 1, 1, 1, 0});
        };
        stored(first[0], QByteArray("stored picture"), QStringLiteral("1")); // nothing to do
        stored(first[1], {}, QStringLiteral("2"));                           // its picture is asked for again
        stored(first[2], QByteArray("stored picture"), {});                  // its value comes now
        server->injectFault(Fault::SlowAnswer, 1, first[3].img); // the rows after it get their pictures first
        server->injectFault(Fault::HttpStatus404, 1, first[5].img);
        server->injectFault(Fault::ResetConnection, 1, first[6].img);
    };
    // Every stored reading, its picture as a digest.
    const auto snapshot = [&] {
        QStringList rows;
        Statement select(fixture.db(), QStringLiteral("SELECT ID_IMAG, ID_OBJECT, DAT, RECOGNITION, READINGS, BAT, "
                                                      "CSQ, NSMOD, ERROR, IMAGE FROM IMAGE_OBJECT_DATE ORDER BY 1"));
        select.open();
        while (select.fetch()) {
            QStringList values;
            for (int column = 0; column < 9; ++column)
                values << select.value(column).toString();
            const QVariant image = select.value(9);
            values << (image.isNull()
                           ? QStringLiteral("NULL")
                           : QString::fromLatin1(QCryptographicHash::hash(fixture.db().readBlob(image.value<BlobId>()),
                                                                          QCryptographicHash::Md5)
                                                     .toHex()));
            rows << values.join(u'|');
        }
        select.close();
        fixture.db().commitRetaining();
        return rows;
    };

    prepare();
    setParallel(1);
    const QStringList oneLog = runToEnd()->log;
    const QStringList oneRows = snapshot();
    ASSERT_EQ(oneLog.filter(QStringLiteral(" не получен: ")).size(), 2);
    ASSERT_EQ(oneLog.filter(QStringLiteral(" Обновлены")).size(), 2);

    prepare();
    setParallel(4);
    const int requestsBefore = server->requestCount();
    const QStringList fourLog = runToEnd()->log;
    EXPECT_EQ(fourLog, oneLog);
    EXPECT_EQ(snapshot(), oneRows);
    EXPECT_EQ(server->requestCount() - requestsBefore, requestsBefore) << "the same requests, each once";

    // The failed and the refused picture leave only their own rows without one; the others are whole.
    int whole = 0;
    for (const ReadingsServer::Reading& reading : first.mid(1) + second.mid(3, 1)) {
        const QVariant image = fixture.committedValue(
            QStringLiteral("SELECT IMAGE FROM IMAGE_OBJECT_DATE WHERE ID_IMAG = '%1'").arg(reading.id));
        if (reading.id == first[5].id || reading.id == first[6].id) {
            EXPECT_TRUE(image.isNull()) << reading.id.toStdString();
            continue;
        }
        QByteArray served;
        ASSERT_FALSE(HttpClient().get(server->baseAddress() + reading.img, served));
        EXPECT_EQ(fixture.db().readBlob(image.value<BlobId>()), served) << reading.id.toStdString();
        ++whole;
    }
    EXPECT_EQ(whole, 7);
}

TEST_F(DownloadTest, OneAtATimeSendsTheRequestsInTheirOldOrderAndMoreNeverExceedsTheSetting) {
    ReadingsServer::Options options = dataSet(2);
    options.latencyMs = 20; // so that requests made together are under way together
    startServer(options);
    RecordingProxy proxy(server->port());
    IniFile(fixture.folder() + QStringLiteral("options.ini"))
        .writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), proxy.baseAddress());
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    QStringList expected;
    for (const int scanner : {860001, 860002}) {
        expected << FormatReadingsUrl(QStringLiteral("/"), QString::number(scanner), kToday.addDays(-2), kToday);
        for (const ReadingsServer::Reading& reading : server->readings(scanner))
            expected << u'/' + reading.img;
    }

    for (const int parallel : {1, 4}) {
        SCOPED_TRACE(parallel);
        fixture.exec(QStringLiteral("DELETE FROM IMAGE_OBJECT_DATE"));
        setParallel(parallel);
        const qsizetype before = proxy.targets().size();
        QElapsedTimer timer;
        timer.start();
        runToEnd();
        if (parallel == 1) {
            EXPECT_GE(timer.elapsed(), expected.size() * options.latencyMs) << "every answer is held back";
        }
        EXPECT_EQ(storedCount(QStringLiteral("IMAGE IS NOT NULL")), 18);
        QStringList sent = proxy.targets().mid(before);
        if (parallel == 1) {
            EXPECT_EQ(sent, expected);
            EXPECT_EQ(proxy.most(), 1);
        } else {
            EXPECT_GT(proxy.most(), 1) << "pictures are fetched ahead";
            EXPECT_LE(proxy.most(), parallel);
            std::sort(sent.begin(), sent.end());
            QStringList sorted = expected;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sent, sorted);
        }
    }
}

TEST_F(DownloadTest, AStopWhilePicturesAreFetchedAheadStoresNothingPastItsRowAndLeavesNoRequestGoing) {
    ReadingsServer::Options options = dataSet(2);
    options.stallMs = 2 * kStopBound;
    startServer(options);
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    const QList<ReadingsServer::Reading> served = server->readings(860001);
    for (int stalled = 3; stalled <= 5; ++stalled)
        server->injectFault(Fault::Stall, 1, served[stalled].img);
    Thread_loadF* worker = nullptr;
    const auto run = start(3, &worker);
    // Three rows stored; the pictures of the next four are on their way, three of them stalled.
    QTRY_VERIFY_WITH_TIMEOUT(storedCount() == 3 && server->requestCount() == 1 + 7, 10000);
    worker->requestStop();
    QTRY_VERIFY_WITH_TIMEOUT(run->finished, kStopBound); // long before the stalled pictures would end
    EXPECT_EQ(storedCount(), 3) << "the picture that came ahead of its row is dropped";
    EXPECT_EQ(run->log.mid(3), QStringList({QStringLiteral("Данные по №860001 обновлены и актуальны "),
                                            QStringLiteral("Обновление завершено")}));
    // The run has ended and holds no connection: whatever it asked for has been counted.
    EXPECT_EQ(clientConnectionsTo(server->port()), 0);
    EXPECT_EQ(server->requestCount(), 1 + 7) << "nothing is asked for after the stop";
}

TEST_F(DownloadTest, ARowTheDatabaseCannotHoldIsSkippedWithItsReasonAndTheRunGoesOn) {
    startServer(dataSet(2));
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    const QString longId(51, u'7');
    const QString longValue(60, u'5');
    const QString emoji = QStringLiteral("\U0001F600");
    const auto row = [](const QString& id, const QString& time, const QString& pok) {
        return QStringLiteral(R"(<row id="%1" img="" date="201803101%2" pok="%3" bat="50" csq="20" nsmod="2" er="0"/>)")
            .arg(id, time, pok);
    };
    server->scriptAnswer(QStringLiteral("860001"),
                         (QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><answer>") +
                          row(QStringLiteral("800"), QStringLiteral("01500"), QStringLiteral("1")) +
                          row(longId, QStringLiteral("11500"), QStringLiteral("2")) +
                          row(QStringLiteral("801"), QStringLiteral("21500"), longValue) +
                          row(QStringLiteral("802"), QStringLiteral("31500"), QStringLiteral("12") + emoji) +
                          row(QStringLiteral("803"), QStringLiteral("41500"), QStringLiteral("4")) +
                          QStringLiteral("</answer>"))
                             .toUtf8());
    const auto run = runToEnd();
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[0].id)), 2);
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[1].id)), 9) << "the next object is fetched";
    EXPECT_EQ(run->log.mid(1, 5),
              QStringList({QStringLiteral("Строка «") + longId +
                               QStringLiteral("» ответа по №860001 пропущена: «id» "
                                              "длиннее 50 знаков: «") +
                               longId + u'»',
                           QStringLiteral("Строка «801» ответа по №860001 пропущена: «pok» длиннее 50 знаков: «") +
                               longValue + u'»',
                           QStringLiteral("Строка «802» ответа по №860001 пропущена: «pok» содержит знак «") + emoji +
                               QStringLiteral("», который нельзя сохранить в базе данных"),
                           QStringLiteral(" Данные 860001 на время: 10.03.2018 14:15:00  получены"),
                           QStringLiteral("Данные по №860001 обновлены не полностью: пропущено строк: 3")}));

    // What the checks above keep from the database it still refuses on its own, and says that it is the value.
    Statement tooLong(fixture.db(), QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET READINGS = ? WHERE ID_IMAG = '800'"));
    tooLong.bind(0, longValue);
    try {
        tooLong.execute();
        ADD_FAILURE() << "a text longer than its column was stored";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.valueRefused()) << error.text().toStdString();
    }
    Statement notANumber(fixture.db(),
                         QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET ID_OBJECT = ? WHERE ID_IMAG = '800'"));
    notANumber.bind(0, QStringLiteral("не число"));
    try {
        notANumber.execute();
        ADD_FAILURE() << "a text was stored as a number";
    } catch (const DatabaseError& error) {
        EXPECT_FALSE(error.valueRefused()) << "an object id the program gives is no row's fault";
    }
}

TEST_F(DownloadTest, ADeepOrEndlessAnswerEndsOnlyItsOwnObject) {
    startServer(dataSet(3));
    addObject(QStringLiteral("860001"));
    addObject(QStringLiteral("860002"));
    addObject(QStringLiteral("860003"));
    IniFile(fixture.folder() + QStringLiteral("options.ini"))
        .writeInteger(QStringLiteral("Download"), QStringLiteral("request_timeout"), 2);
    constexpr int kLevels = 200000;
    server->scriptAnswer(QStringLiteral("860001"), QByteArrayLiteral("<answer>") + QByteArray("<a>").repeated(kLevels) +
                                                       QByteArray("</a>").repeated(kLevels) +
                                                       QByteArrayLiteral("</answer>"));
    server->injectFault(Fault::Trickle, 1, QStringLiteral("idmodem=860002"));
    QElapsedTimer timer;
    timer.start();
    const auto run = runToEnd();
    EXPECT_LT(timer.elapsed(), 15000);
    ASSERT_GE(run->log.size(), 5);
    EXPECT_TRUE(run->log[0].startsWith(
        QStringLiteral("Ответ сервера по №860001 не прочитан: Ответ сервера показаний вложен глубже 32 уровней")))
        << run->log[0].toStdString();
    EXPECT_EQ(run->log.mid(1, 3),
              QStringList({QStringLiteral("Данные по №860001 не обновлены"),
                           QStringLiteral("Нет ответа сервера по №860002: ошибка сокета 10060 (ответ не получен "
                                          "целиком за 2 с)"),
                           QStringLiteral("Данные по №860002 не обновлены")}));
    EXPECT_EQ(storedCount(QStringLiteral("ID_OBJECT = %1").arg(objects[2].id)), 9);
}

TEST_F(DownloadTest, TheLargestAnswerAllowedIsReadRowByRowInBoundedMemory) {
    startServer(dataSet(1));
    addObject(QStringLiteral("860001"));
    // Rows of the usual size up to just under the limit; their time is broken, so each is read, logged and
    // passed over without the database's time.
    const QByteArray oneRow = QByteArrayLiteral(
        R"(<row id="1234567" img="photos/860001/1234567.jpg" date="2018031x101500" pok="012345" bat="95" )"
        R"(csq="17" nsmod="3" er="0"/>)");
    QByteArray body = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><answer>");
    const qsizetype rows = (Thread_loadF::kAnswerLimit - 1024) / oneRow.size();
    body.reserve(Thread_loadF::kAnswerLimit);
    for (qsizetype i = 0; i < rows; ++i)
        body += oneRow;
    body += QByteArrayLiteral("</answer>");
    server->scriptAnswer(QStringLiteral("860001"), body);
    body = {};
    const qint64 peakBefore = peakKilobytes();

    // Only counted: the test keeps no lines, as the loading window keeps no more than its last ones.
    auto* worker =
        new Thread_loadF(fixture.db(), IniFile(fixture.folder() + QStringLiteral("options.ini")), 3, kToday, objects);
    int lines = 0;
    bool finished = false;
    QObject::connect(worker, &Thread_loadF::logLine, &receiver, [&lines](const QString&) { ++lines; });
    QObject::connect(worker, &Thread_loadF::runFinished, &receiver, [&finished] { finished = true; });
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 120000);
    EXPECT_EQ(lines, rows + 2);
#if !defined(__SANITIZE_ADDRESS__)
    // The server's copy of the answer and the client's buffer make about 64 MB of it.
    EXPECT_LT(peakKilobytes() - peakBefore, 300 * 1024);
#else
    Q_UNUSED(peakBefore);
#endif
}
