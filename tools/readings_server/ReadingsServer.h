#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

namespace vornic {

// A readings server on 127.0.0.1 for the tests, the demo and the benchmarks: it answers the readings request with
// made-up readings of a set of scanners, serves their dial pictures and the update folder, and can be told to
// misbehave. The data set depends only on the options, so runs with the same seed see the same readings.
class ReadingsServer final {
public:
    struct Options {
        int scanners = 10;
        int days = 7; // readings of this many days up to today
        int firstScanner = 860001;
        int readingsPerDay = 4;
        int doubtfulPercent = 15; // rows with er="1"
        int emptyPokPercent = 10; // rows served with an empty "pok" until completeEmptyReadings()
        QList<int> errorScanners; // known scanners that are answered with an "error" element all the same
        // Sets of a week or more hold, on fixed scanners, what an operator has to notice beyond doubtful rows: the
        // second scanner's battery runs down, the third has been silent for its last 4 days, the fourth had its
        // battery changed 4 days ago, the sixth meter goes back by 90 once, the seventh and the eleventh are misread
        // high with confidence, the eighth has a weak signal. Shorter sets, as tests and benchmarks use, stay plain.
        bool withCases = true;
        QString encoding = QStringLiteral("utf-8"); // of the readings answer, e.g. "windows-1251"
        int pictureBytes = 0; // 0: pictures as they come; else each padded to about this many bytes
        quint32 seed = 1;
        QDate today = QDate::currentDate();
        QString updateFolder; // served under "Software_Update/"; empty: nothing is
        // > 0: the update folder's files go out in 64 KB pieces this many milliseconds apart, their size announced,
        // so that a client's progress can be watched and a transfer can be caught in flight.
        int updatePieceDelayMs = 0;
        int slowAnswerMs = 1500;                 // how late a slow answer comes
        qint64 hugeBodyBytes = 64 * 1024 * 1024; // the size of a huge answer
        int stallMs = 60000;                     // how long a stalled request waits before it is closed unanswered
        // > 0: every answer, readings, pictures and faults alike, waits this long before its first byte, as a
        // distant server's answers do.
        int latencyMs = 0;
    };

    // One reading as the server holds it; "pok" is its value even while it is served empty.
    struct Reading {
        int scanner = 0;
        QString id, img, date, pok;
        int bat = 0, csq = 0, nsmod = 0, er = 0;
        bool servedEmpty = false; // "pok" goes out empty until completeEmptyReadings()
    };

    enum class Fault {
        None,
        HttpStatus404,
        HttpStatus500,
        ResetConnection, // the connection is aborted with a TCP reset, no answer at all
        SlowAnswer,      // the normal answer, Options::slowAnswerMs late
        NotXml,          // status 200 with an HTML fragment
        Redirect302,     // status 302 to another address, with a small HTML page
        HugeBody,        // status 200 with Options::hugeBodyBytes of rows, its length announced
        HugeChunkedBody, // the same, sent in chunks without announcing its length
        Stall,           // the connection is accepted and nothing is sent for Options::stallMs
        HalfPicture,     // status 200 with the first half of the dial picture, its length announced as that half
        Trickle,         // status 200 with the start of an answer, then 20 bytes a second until the server stops
    };

    // Throws std::invalid_argument for an encoding that cannot be written.
    explicit ReadingsServer(Options options);
    ~ReadingsServer();
    Q_DISABLE_COPY_MOVE(ReadingsServer)

    // Listens on 127.0.0.1 on its own threads and returns the port; 0 takes a free one. Throws
    // std::runtime_error when the port cannot be bound. Starting a running server returns its port.
    int start(int port = 0);
    void stop();

    // "http://127.0.0.1:PORT/", the client's base address for this server.
    QString baseAddress() const;
    int port() const;

    // Requests received since construction, the ones given a fault included.
    int requestCount() const;

    // The next `times` requests whose address (path and query, as sent) contains `pathContains` get the fault.
    // Faults wait in the order injected; a request takes the first that matches it.
    void injectFault(Fault fault, int times = 1, QString pathContains = {});

    // From now on the readings request of this modem id is answered with these bytes, as they stand: for answers
    // that the made-up data set never gives (an id twice, a row that lacks an attribute).
    void scriptAnswer(const QString& modem, const QByteArray& body);

    // From now on every reading is served with its "pok", as when the server has recognised the rest.
    void completeEmptyReadings();

    // The readings of a scanner, oldest first; empty for an unknown one.
    QList<Reading> readings(int scanner) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vornic
