#include "base/Windows1251.h"
#include "download/ReadingsProtocol.h"
#include "reports/ScannerMaintenance.h"
#include "tools/readings_server/ReadingsServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <variant>

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vornic;
using Fault = ReadingsServer::Fault;

namespace {

ReadingsServer::Options smallDataSet() {
    ReadingsServer::Options options;
    options.scanners = 3;
    options.days = 3;
    options.readingsPerDay = 4;
    options.doubtfulPercent = 30;
    options.emptyPokPercent = 30;
    options.errorScanners = {860003};
    options.today = QDate(2018, 3, 10);
    return options;
}

std::string readingsPath(const char* modem, const char* firstDay = "08.03.2018", const char* lastDay = "10.03.2018") {
    return std::string("/range_photo_xml.php?idmodem=") + modem + "&bdate=" + firstDay + "&edate=" + lastDay +
           "&order=0";
}

QByteArray bytesOf(const std::string& body) {
    return QByteArray(body.data(), qsizetype(body.size()));
}

QList<AnswerRow> rowsOf(const ReadingsAnswer& answer) {
    QList<AnswerRow> rows;
    for (const AnswerElement& element : answer.elements) {
        EXPECT_TRUE(std::holds_alternative<AnswerRow>(element));
        if (const auto* row = std::get_if<AnswerRow>(&element))
            rows.append(*row);
    }
    return rows;
}

// A request on a raw socket, so that a reset shows as the socket error itself rather than as a client's summary.
int errnoOfRawRequest(int port, const std::string& path) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    char buffer[4096];
    ssize_t received = ::send(socket, request.data(), request.size(), MSG_NOSIGNAL);
    int error = 0;
    while ((received = ::recv(socket, buffer, sizeof buffer, 0)) > 0) {
    }
    if (received < 0)
        error = errno;
    ::close(socket);
    return error;
}

} // namespace

TEST(ReadingsServer, AnswersTheRowsOfTheRequestedDaysOldestFirst) {
    ReadingsServer server(smallDataSet());
    const int port = server.start();
    EXPECT_EQ(server.baseAddress(), QStringLiteral("http://127.0.0.1:%1/").arg(port));
    httplib::Client client("127.0.0.1", port);

    // The client's own URL, minus the base address, is what the server answers.
    const QString url =
        FormatReadingsUrl(server.baseAddress(), QStringLiteral("860002"), QDate(2018, 3, 9), QDate(2018, 3, 10));
    const auto result = client.Get(url.mid(server.baseAddress().size() - 1).toStdString());
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);
    const ReadingsAnswer answer = ParseReadingsAnswer(bytesOf(result->body));
    const QList<AnswerRow> rows = rowsOf(answer);
    EXPECT_EQ(answer.childNodeCount, 8);

    QList<ReadingsServer::Reading> expected;
    for (const ReadingsServer::Reading& reading : server.readings(860002))
        if (reading.date >= QStringLiteral("20180309"))
            expected.append(reading);
    ASSERT_EQ(rows.size(), expected.size());
    ASSERT_EQ(rows.size(), 8);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const AnswerRow& row = rows[i];
        const ReadingsServer::Reading& reading = expected[i];
        EXPECT_EQ(row.id, reading.id);
        EXPECT_EQ(row.img, QStringLiteral("photos/860002/%1.jpg").arg(reading.id));
        EXPECT_EQ(row.date, reading.date);
        EXPECT_EQ(row.pok, reading.servedEmpty ? QString() : reading.pok);
        EXPECT_EQ(row.bat, QString::number(reading.bat));
        EXPECT_EQ(row.csq, QString::number(reading.csq));
        EXPECT_EQ(row.nsmod, QString::number(reading.nsmod));
        EXPECT_EQ(row.er, reading.er);
        EXPECT_TRUE(ReadingTimeText(row.date).valid) << row.date.toStdString();
        if (i > 0) {
            EXPECT_LT(rows[i - 1].date, row.date);
        }
    }
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(ReadingsServer, DataSetIsFixedBySeedWithGrowingValuesAndIdsThatArePrefixesOfOthers) {
    const ReadingsServer::Options options = smallDataSet();
    ReadingsServer server(options);
    QSet<QString> ids;
    bool someIdIsAPrefixOfAnother = false;
    for (int scanner = 860001; scanner <= 860003; ++scanner) {
        const QList<ReadingsServer::Reading> readings = server.readings(scanner);
        ASSERT_EQ(readings.size(), 12);
        for (qsizetype i = 0; i < readings.size(); ++i) {
            const ReadingsServer::Reading& reading = readings[i];
            EXPECT_EQ(reading.pok.size(), 5);
            EXPECT_TRUE(reading.bat >= 0 && reading.bat <= 100 && reading.csq >= 0 && reading.csq <= 100);
            EXPECT_TRUE(reading.nsmod >= 1 && reading.nsmod <= 5);
            if (i > 0) {
                EXPECT_GT(reading.pok, readings[i - 1].pok);
            }
            for (const QString& id : std::as_const(ids))
                someIdIsAPrefixOfAnother = someIdIsAPrefixOfAnother || reading.id.startsWith(id);
            EXPECT_FALSE(ids.contains(reading.id)) << reading.id.toStdString();
            ids.insert(reading.id);
        }
    }
    EXPECT_TRUE(someIdIsAPrefixOfAnother);
    EXPECT_TRUE(server.readings(860004).isEmpty());

    ReadingsServer same(options);
    EXPECT_EQ(same.readings(860002).last().pok, server.readings(860002).last().pok);
    EXPECT_EQ(same.readings(860002).last().date, server.readings(860002).last().date);
    ReadingsServer::Options reseeded = options;
    reseeded.seed = 2;
    EXPECT_NE(ReadingsServer(reseeded).readings(860002).last().pok, server.readings(860002).last().pok);
}

TEST(ReadingsServer, UnknownAndErrorScannersGetTheNoDataErrorInTheChosenEncoding) {
    const QString noData = QStringLiteral("Нет данных по контроллеру");
    for (const QString& encoding : {QStringLiteral("utf-8"), QStringLiteral("windows-1251")}) {
        ReadingsServer::Options options = smallDataSet();
        options.encoding = encoding;
        ReadingsServer server(options);
        httplib::Client client("127.0.0.1", server.start());
        for (const char* modem : {"860003", "999", ""}) {
            const auto result = client.Get(readingsPath(modem));
            ASSERT_TRUE(result);
            const QByteArray body = bytesOf(result->body);
            EXPECT_TRUE(body.startsWith("<?xml version=\"1.0\" encoding=\"" + encoding.toLatin1() + "\"?>"));
            const QByteArray expectedBytes =
                encoding == u"utf-8" ? noData.toUtf8() : windows1251::encode(noData).value();
            EXPECT_TRUE(body.contains(expectedBytes)) << encoding.toStdString() << ' ' << modem;
            const ReadingsAnswer answer = ParseReadingsAnswer(body);
            ASSERT_EQ(answer.elements.size(), 1);
            EXPECT_EQ(std::get<AnswerError>(answer.elements.first()).text, noData);
        }
        // rows of a known scanner come in the chosen encoding too
        EXPECT_EQ(rowsOf(ParseReadingsAnswer(bytesOf(client.Get(readingsPath("860001"))->body))).size(), 12);
    }
}

TEST(ReadingsServer, PicturesAreJpegDialsOfTheirReading) {
    ReadingsServer::Options options = smallDataSet();
    options.pictureBytes = 70000;
    ReadingsServer padded(options);
    options.pictureBytes = 0;
    ReadingsServer natural(options);
    httplib::Client naturalClient("127.0.0.1", natural.start());
    httplib::Client paddedClient("127.0.0.1", padded.start());

    const QList<ReadingsServer::Reading> readings = natural.readings(860001);
    QByteArray previous;
    for (const ReadingsServer::Reading& reading : {readings.first(), readings.last()}) {
        const std::string path = '/' + reading.img.toStdString();
        const auto result = naturalClient.Get(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "image/jpeg");
        const QByteArray jpeg = bytesOf(result->body);
        EXPECT_TRUE(jpeg.startsWith("\xFF\xD8") && jpeg.endsWith("\xFF\xD9"));
        EXPECT_EQ(QImage::fromData(jpeg, "JPEG").size(), QSize(320, 240));
        EXPECT_NE(jpeg, previous) << "two readings, one picture";
        previous = jpeg;
        // served again from the cache, byte for byte
        EXPECT_EQ(bytesOf(naturalClient.Get(path)->body), jpeg);

        const QByteArray large = bytesOf(paddedClient.Get(path)->body);
        EXPECT_GE(large.size(), 70000 - 3);
        EXPECT_LE(large.size(), 70000);
        EXPECT_EQ(QImage::fromData(large, "JPEG"), QImage::fromData(jpeg, "JPEG"));
    }

    for (const char* missing : {"/photos/860001/999999.jpg", "/photos/860002/1.jpg", "/photos/860001/1.png"})
        EXPECT_EQ(naturalClient.Get(missing)->status, 404) << missing;
}

TEST(ReadingsServer, InjectedFaultsHitTheMatchingRequestsOnly) {
    ReadingsServer server(smallDataSet());
    const int port = server.start();
    httplib::Client client("127.0.0.1", port);

    const struct {
        Fault fault;
        int status;
        std::string body;
    } answered[] = {
        {Fault::HttpStatus404, 404, "Not Found"},
        {Fault::HttpStatus500, 500, "Internal Server Error"},
        {Fault::NotXml, 200, "<html>not xml"},
    };
    for (const auto& c : answered) {
        server.injectFault(c.fault, 2, QStringLiteral("idmodem=860002"));
        EXPECT_EQ(client.Get(readingsPath("860001"))->status, 200);
        for (int time = 0; time < 2; ++time) {
            const auto result = client.Get(readingsPath("860002"));
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, c.status);
            EXPECT_EQ(result->body, c.body);
        }
        const auto healed = client.Get(readingsPath("860002"));
        EXPECT_EQ(healed->status, 200);
        EXPECT_EQ(rowsOf(ParseReadingsAnswer(bytesOf(healed->body))).size(), 12);
    }

    server.injectFault(Fault::ResetConnection, 1, QStringLiteral("photos/"));
    EXPECT_EQ(errnoOfRawRequest(port, readingsPath("860001")), 0);
    EXPECT_EQ(errnoOfRawRequest(port, "/photos/860001/1.jpg"), ECONNRESET);
    server.injectFault(Fault::ResetConnection);
    const auto reset = client.Get("/photos/860001/1.jpg");
    EXPECT_FALSE(reset);
    EXPECT_EQ(reset.error(), httplib::Error::Read);
    EXPECT_EQ(client.Get("/photos/860001/1.jpg")->status, 200) << "the server goes on after a reset";

    server.injectFault(Fault::SlowAnswer);
    QElapsedTimer clock;
    clock.start();
    const auto slow = client.Get(readingsPath("860001"));
    EXPECT_GE(clock.elapsed(), 1400);
    ASSERT_TRUE(slow);
    EXPECT_EQ(rowsOf(ParseReadingsAnswer(bytesOf(slow->body))).size(), 12);

    EXPECT_EQ(server.requestCount(), 3 * 4 + 2 + 2 + 1);
}

TEST(ReadingsServer, EmptyReadingsAreServedWithTheirValueOnceCompleted) {
    ReadingsServer server(smallDataSet());
    httplib::Client client("127.0.0.1", server.start());
    const auto rowsNow = [&] { return rowsOf(ParseReadingsAnswer(bytesOf(client.Get(readingsPath("860001"))->body))); };

    const QList<ReadingsServer::Reading> readings = server.readings(860001);
    const QList<AnswerRow> before = rowsNow();
    ASSERT_EQ(before.size(), readings.size());
    int empty = 0;
    for (qsizetype i = 0; i < before.size(); ++i)
        empty += before[i].pok.isEmpty() ? 1 : 0;
    ASSERT_GT(empty, 0) << "the data set should hold empty readings";
    ASSERT_LT(empty, before.size());

    server.completeEmptyReadings();
    const QList<AnswerRow> after = rowsNow();
    ASSERT_EQ(after.size(), readings.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].id, before[i].id);
        EXPECT_EQ(after[i].pok, readings[i].pok);
    }
}

TEST(ReadingsServer, UpdateFilesComeFromTheUpdateFolderOnly) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath(QStringLiteral("Update_inf.XML")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<update/>");
    file.close();

    ReadingsServer::Options options = smallDataSet();
    options.updateFolder = folder.path();
    ReadingsServer withFolder(options);
    ReadingsServer withoutFolder(smallDataSet());
    httplib::Client client("127.0.0.1", withFolder.start());
    httplib::Client other("127.0.0.1", withoutFolder.start());

    const auto found = client.Get("/Software_Update/Update_inf.XML");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->status, 200);
    EXPECT_EQ(found->body, "<update/>");
    EXPECT_EQ(client.Get("/Software_Update/missing.exe")->status, 404);
    EXPECT_EQ(client.Get("/Software_Update/..%2FUpdate_inf.XML")->status, 404);
    EXPECT_EQ(other.Get("/Software_Update/Update_inf.XML")->status, 404);
}

// The demo's set: 12 scanners, 10 days on the server, of which a download of depth 7 brings the last 7.
TEST(ReadingsServer, AWeekOrMoreHoldsTheCasesAnOperatorHasToNoticeAndOtherwiseThePlainSet) {
    ReadingsServer::Options options;
    options.scanners = 12;
    options.days = 10;
    options.today = QDate(2018, 3, 10);
    const ReadingsServer server(options);
    options.withCases = false;
    const ReadingsServer plain(options);
    const QString firstDay = options.today.addDays(-6).toString(QStringLiteral("yyyyMMdd"));
    const QList<int> changedValues = {860006, 860007, 860008, 860011};

    QMap<int, QString> verdicts;
    QStringList outOfLine;
    for (int scanner = 860001; scanner <= 860012; ++scanner) {
        QList<ReadingsServer::Reading> downloaded;
        QList<MaintenanceReading> history;
        for (const ReadingsServer::Reading& reading : server.readings(scanner))
            if (reading.date >= firstDay) {
                downloaded.append(reading);
                history.append(
                    {QDateTime::fromString(reading.date, QStringLiteral("yyyyMMddHHmmss")), reading.bat, reading.csq});
            }
        const MaintenanceRow row = maintenanceRow({scanner, {}, {}, {}, false}, history, options.today, {});
        if (!row.verdictText.isEmpty())
            verdicts.insert(scanner, row.verdictText);
        if (scanner == 860002) {
            ASSERT_TRUE(row.batterySpent);
            EXPECT_TRUE(options.today.daysTo(*row.batterySpent) >= 7 && options.today.daysTo(*row.batterySpent) <= 21);
        }

        for (qsizetype i = 1; i < downloaded.size(); ++i) {
            const int step = downloaded[i].pok.toInt() - downloaded[i - 1].pok.toInt();
            const bool afterAJump = i > 1 && downloaded[i - 1].pok.toInt() - downloaded[i - 2].pok.toInt() > 1000;
            if (step > 1000 || (step < 0 && !afterAJump)) {
                // A misreading sits about 5000 above the reading before it.
                outOfLine.append(
                    QStringLiteral("%1: %2").arg(scanner).arg(step > 1000 ? qRound(step / 1000.0) * 1000 : step));
                EXPECT_EQ(downloaded[i].er, 0) << "recognised with confidence";
                EXPECT_FALSE(downloaded[i].servedEmpty);
            }
        }

        // The cases change values only: the other readings are those of the plain set.
        const QList<ReadingsServer::Reading> expected = plain.readings(scanner);
        const QList<ReadingsServer::Reading> held = server.readings(scanner);
        ASSERT_EQ(held.size(), expected.size() - (scanner == 860003 ? 16 : 0));
        for (qsizetype i = 0; i < held.size(); ++i) {
            EXPECT_EQ(held[i].id, expected[i].id);
            EXPECT_EQ(held[i].date, expected[i].date);
            if (!changedValues.contains(scanner)) {
                EXPECT_EQ(held[i].pok, expected[i].pok);
            }
        }
    }
    ASSERT_EQ(verdicts.keys(), (QList<int>{860002, 860003, 860008}));
    EXPECT_TRUE(verdicts[860002].startsWith(QStringLiteral("Заменить батарею до ")));
    EXPECT_EQ(verdicts[860003], QStringLiteral("Нет связи 4 дня"));
    EXPECT_EQ(verdicts[860008], QStringLiteral("Слабый сигнал"));
    EXPECT_EQ(outOfLine, (QStringList{QStringLiteral("860006: -90"), QStringLiteral("860007: 5000"),
                                      QStringLiteral("860007: 5000"), QStringLiteral("860011: 5000")}));
}
