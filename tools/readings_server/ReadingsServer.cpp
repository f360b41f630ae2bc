#include "tools/readings_server/ReadingsServer.h"

#include "tools/readings_server/DialPicture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vornic {

namespace {

using namespace std::chrono_literals;

const QString noDataText = QStringLiteral("Нет данных по контроллеру");
const QString badPeriodText = QStringLiteral("Неверно задан период");

QString dateText(QDate day, int secondOfDay) {
    return day.toString(QStringLiteral("yyyyMMdd")) +
           QTime(0, 0).addSecs(secondOfDay).toString(QStringLiteral("HHmmss"));
}

QDate dayOf(const ReadingsServer::Reading& reading) {
    return QDate::fromString(reading.date.left(8), QStringLiteral("yyyyMMdd"));
}

QString attribute(const char* name, const QString& value) {
    return u' ' + QString::fromLatin1(name) + QStringLiteral("=\"") + value.toHtmlEscaped() + u'"';
}

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

// The socket of the connection that carries a request. cpp-httplib does not hand it to the handlers, so it is
// found among the process's descriptors by its two ports; a client in the same process has them the other way
// round and does not match.
int connectionSocket(const httplib::Request& request) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int descriptor = -1;
        try {
            descriptor = std::stoi(entry.path().filename().string());
        } catch (const std::exception&) {
            continue;
        }
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            continue;
        if (portOf(local) == request.local_port && portOf(peer) == request.remote_port)
            return descriptor;
    }
    return -1;
}

// Aborts the connection with a TCP reset, as a server that crashes mid-request does. A zero linger time makes the
// close send RST instead of FIN; dup2 does the close and, in the same step, leaves /dev/null under the descriptor
// number, so that cpp-httplib's later write and close hit a harmless file and never a socket that another
// connection has been given meanwhile.
bool resetConnection(const httplib::Request& request) {
    const int socket = connectionSocket(request);
    if (socket < 0)
        return false;
    const linger abort{1, 0};
    if (setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort) != 0)
        return false;
    const int placeholder = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (placeholder < 0)
        return false;
    const bool replaced = ::dup2(placeholder, socket) == socket;
    ::close(placeholder);
    return replaced;
}

// cpp-httplib listens with a backlog of 5: a client that opens more connections at once, as a download fetching
// ahead does, would find some of them dropped and retried by the system a second later. The listening socket (found
// as resetConnection finds a connection's) is given the system's largest backlog instead.
void widenBacklog(int port) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int descriptor = -1;
        try {
            descriptor = std::stoi(entry.path().filename().string());
        } catch (const std::exception&) {
            continue;
        }
        sockaddr_storage local{};
        socklen_t localSize = sizeof local;
        int listening = 0;
        socklen_t listeningSize = sizeof listening;
        if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 && portOf(local) == port &&
            getsockopt(descriptor, SOL_SOCKET, SO_ACCEPTCONN, &listening, &listeningSize) == 0 && listening)
            ::listen(descriptor, SOMAXCONN);
    }
}

} // namespace

struct ReadingsServer::State {
    struct PendingFault {
        Fault fault;
        int times;
        std::string pathContains;
    };

    Options options;
    QHash<QString, QList<Reading>> byModem; // the modem id as the request carries it
    QHash<QString, Reading> byId;
    std::atomic<bool> completed = false;
    std::atomic<int> requests = 0;

    QMutex faultsMutex;
    QList<PendingFault> faults;

    QMutex picturesMutex;
    QHash<QString, QByteArray> pictures;

    mutable QMutex answersMutex;
    QHash<QString, QByteArray> scriptedAnswers; // by modem id: answered as they stand

    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::atomic<bool> listenerDone = false;
    std::atomic<bool> stopping = false;
    int port = 0;

    explicit State(Options chosen) : options(std::move(chosen)) {}

    void generate();
    void configure(httplib::Server& http);
    Fault takeFault(const httplib::Request& request);
    httplib::Server::HandlerResponse applyFault(Fault fault, const httplib::Request& request,
                                                httplib::Response& response);
    void answerReadings(const httplib::Request& request, httplib::Response& response) const;
    void answerPicture(const httplib::Request& request, httplib::Response& response);
    // The dial picture of a reading of the scanner; empty when the scanner has no such reading.
    QByteArray picture(const QString& scanner, const QString& id);
    void answerUpdateFile(const httplib::Request& request, httplib::Response& response) const;
    QByteArray encoded(const QString& text) const;
};

void ReadingsServer::State::generate() {
    QRandomGenerator random(options.seed);
    // Ids are one running number over all scanners, so that both "12" and "123" exist and a lookup that takes
    // a prefix for a match finds the wrong reading.
    int nextId = 1;
    const int perDay = qMax(0, options.readingsPerDay);
    const bool cases = options.withCases && options.days >= 7;
    // The cases take no draws of their own: every scanner's readings stay as they are in a plain set, but for
    // the values a case changes.
    const auto isCase = [&](int s, int scannerIndex) { return cases && s == scannerIndex; };
    const int middle = perDay / 2;
    for (int s = 0; s < options.scanners; ++s) {
        const int scanner = options.firstScanner + s;
        const QString modem = QString::number(scanner);
        QList<Reading>& readings = byModem[modem];
        int meter = int(random.bounded(60000));
        const int firstBattery = 70 + int(random.bounded(31));
        for (int back = options.days - 1; back >= 0; --back) {
            const QDate day = options.today.addDays(-back);
            for (int k = 0; k < perDay; ++k) {
                // Each reading falls somewhere in its own share of the day, so the day's readings stay in order.
                const int share = 86400 / perDay;
                const int second = k * share + int(random.bounded(share));
                const double daysBack = back - double(second) / 86400.0;
                const bool backwards = isCase(s, 5) && back == 3 && k == middle;
                const bool misread = (isCase(s, 6) && ((back == 2 && k == middle) || (back == 5 && k == 0))) ||
                                     (isCase(s, 10) && back == 3 && k == middle);
                const int rise = 1 + int(random.bounded(40));
                meter += backwards ? -90 : rise;
                // A battery lasts the better part of a year: a quarter of a percent a day, read a point or two low
                // at times.
                double level = firstBattery - 0.25 * (options.days - 1 - daysBack);
                if (isCase(s, 1))
                    level = 30 + 1.5 * daysBack; // down to 10 % in about two weeks
                else if (isCase(s, 3))
                    level = daysBack > 4 ? 15 + 2 * (daysBack - 4) : 100 - 0.25 * (4 - daysBack);
                const int jitter = int(random.bounded(3));
                Reading reading;
                reading.scanner = scanner;
                reading.id = QString::number(nextId++);
                reading.img = QStringLiteral("photos/%1/%2.jpg").arg(modem, reading.id);
                reading.date = dateText(day, second);
                // A dial read 5000 too high, as when a turning wheel is taken for the next digit.
                const int shown = meter + (misread ? 5000 : 0);
                reading.pok = QStringLiteral("%1").arg(shown % 100000, 5, 10, QLatin1Char('0'));
                reading.bat = qBound(0, int(level) - jitter, 100);
                reading.csq = int(random.bounded(32)) / (isCase(s, 7) ? 4 : 1);
                reading.nsmod = 1 + int(random.bounded(5));
                reading.er = int(random.bounded(100)) < options.doubtfulPercent ? 1 : 0;
                reading.servedEmpty = int(random.bounded(100)) < options.emptyPokPercent;
                if (backwards || misread) {
                    // Recognised with confidence: nothing marks them for the review of doubtful readings.
                    reading.er = 0;
                    reading.servedEmpty = false;
                }
                if (isCase(s, 2) && back < 4)
                    continue; // the scanner has fallen silent
                readings.append(reading);
                byId.insert(reading.id, reading);
            }
        }
    }
}

QByteArray ReadingsServer::State::encoded(const QString& text) const {
    QStringEncoder encoder(options.encoding.toLatin1().constData());
    return encoder.encode(text);
}

void ReadingsServer::State::answerReadings(const httplib::Request& request, httplib::Response& response) const {
    const QString modem = QString::fromStdString(request.get_param_value("idmodem"));
    {
        const QMutexLocker lock(&answersMutex);
        if (const auto scripted = scriptedAnswers.constFind(modem); scripted != scriptedAnswers.constEnd()) {
            response.set_content(scripted->toStdString(), "text/xml");
            return;
        }
    }
    const QString dayFormat = QStringLiteral("dd.MM.yyyy");
    const QDate first = QDate::fromString(QString::fromStdString(request.get_param_value("bdate")), dayFormat);
    const QDate last = QDate::fromString(QString::fromStdString(request.get_param_value("edate")), dayFormat);

    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n<answer>").arg(options.encoding);
    const auto readings = byModem.constFind(modem);
    if (readings == byModem.constEnd() || options.errorScanners.contains(modem.toInt())) {
        xml += QStringLiteral("<error") + attribute("text", noDataText) + QStringLiteral("/>");
    } else if (!first.isValid() || !last.isValid()) {
        xml += QStringLiteral("<error") + attribute("text", badPeriodText) + QStringLiteral("/>");
    } else {
        const bool complete = completed.load();
        for (const Reading& reading : *readings) {
            const QDate day = dayOf(reading);
            if (day < first || day > last)
                continue;
            xml += QStringLiteral("<row") + attribute("id", reading.id) + attribute("img", reading.img) +
                   attribute("date", reading.date) +
                   attribute("pok", reading.servedEmpty && !complete ? QString() : reading.pok) +
                   attribute("bat", QString::number(reading.bat)) + attribute("csq", QString::number(reading.csq)) +
                   attribute("nsmod", QString::number(reading.nsmod)) + attribute("er", QString::number(reading.er)) +
                   QStringLiteral("/>");
        }
    }
    xml += QStringLiteral("</answer>");
    response.set_content(encoded(xml).toStdString(), "text/xml; charset=" + options.encoding.toStdString());
}

void ReadingsServer::State::answerPicture(const httplib::Request& request, httplib::Response& response) {
    const QByteArray jpeg =
        picture(QString::fromStdString(request.matches[1].str()), QString::fromStdString(request.matches[2].str()));
    if (jpeg.isEmpty()) {
        response.status = 404;
        return;
    }
    response.set_content(jpeg.toStdString(), "image/jpeg");
}

QByteArray ReadingsServer::State::picture(const QString& scanner, const QString& id) {
    const auto reading = byId.constFind(id);
    if (reading == byId.constEnd() || QString::number(reading->scanner) != scanner)
        return {};
    QByteArray jpeg;
    {
        const QMutexLocker lock(&picturesMutex);
        jpeg = pictures.value(id);
    }
    if (jpeg.isEmpty()) {
        // Drawn outside the lock: two requests for the same new picture draw it twice, which costs less than
        // making every other picture wait.
        jpeg = encodeJpeg(drawDialPicture(reading->pok, reading->scanner));
        if (options.pictureBytes > 0)
            jpeg = padJpeg(jpeg, options.pictureBytes);
        const QMutexLocker lock(&picturesMutex);
        pictures.insert(id, jpeg);
    }
    return jpeg;
}

void ReadingsServer::State::answerUpdateFile(const httplib::Request& request, httplib::Response& response) const {
    const QString name = QString::fromStdString(request.matches[1].str());
    if (options.updateFolder.isEmpty() || name == u"." || name == u"..") {
        response.status = 404;
        return;
    }
    QFile file(QDir(options.updateFolder).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        response.status = 404;
        return;
    }
    if (options.updatePieceDelayMs <= 0) {
        response.set_content(file.readAll().toStdString(), "application/octet-stream");
        return;
    }
    const auto bytes = std::make_shared<std::string>(file.readAll().toStdString());
    const int delayMs = options.updatePieceDelayMs;
    response.set_content_provider(bytes->size(), "application/octet-stream",
                                  [this, bytes, delayMs](size_t offset, size_t length, httplib::DataSink& sink) {
                                      const auto until =
                                          std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
                                      while (!stopping && std::chrono::steady_clock::now() < until)
                                          std::this_thread::sleep_for(5ms);
                                      return sink.write(bytes->data() + offset, std::min<size_t>(length, 64 * 1024));
                                  });
}

ReadingsServer::Fault ReadingsServer::State::takeFault(const httplib::Request& request) {
    const std::string& address = request.target.empty() ? request.path : request.target;
    const QMutexLocker lock(&faultsMutex);
    for (qsizetype i = 0; i < faults.size(); ++i) {
        PendingFault& pending = faults[i];
        if (address.find(pending.pathContains) == std::string::npos)
            continue;
        const Fault fault = pending.fault;
        if (--pending.times <= 0)
            faults.removeAt(i);
        return fault;
    }
    return Fault::None;
}

httplib::Server::HandlerResponse ReadingsServer::State::applyFault(Fault fault, const httplib::Request& request,
                                                                   httplib::Response& response) {
    using Handled = httplib::Server::HandlerResponse;
    switch (fault) {
    case Fault::None:
        return Handled::Unhandled;
    case Fault::HttpStatus404:
        response.status = 404;
        response.set_content("Not Found", "text/plain");
        return Handled::Handled;
    case Fault::HttpStatus500:
        response.status = 500;
        response.set_content("Internal Server Error", "text/plain");
        return Handled::Handled;
    case Fault::SlowAnswer:
        std::this_thread::sleep_for(std::chrono::milliseconds(options.slowAnswerMs));
        return Handled::Unhandled;
    case Fault::NotXml:
        response.status = 200;
        response.set_content("<html>not xml", "text/html");
        return Handled::Handled;
    case Fault::Redirect302:
        response.status = 302;
        response.set_header("Location", "/moved.html");
        response.set_content("<html><body>Moved</body></html>", "text/html");
        return Handled::Handled;
    case Fault::HugeBody:
    case Fault::HugeChunkedBody: {
        // Made as it goes out, so that the server's own memory stays small.
        const auto total = static_cast<size_t>(options.hugeBodyBytes);
        const auto piece = std::make_shared<std::string>();
        while (piece->size() < 64 * 1024)
            piece->append(R"(<row id="1" img="" date="20140101000000" pok="1" bat="1" csq="1" nsmod="1" er="0"/>)");
        const auto provide = [piece, total](size_t offset, httplib::DataSink& sink) {
            const size_t count = std::min(piece->size(), total - std::min(total, offset));
            if (count == 0) {
                sink.done();
                return true;
            }
            return sink.write(piece->data(), count);
        };
        if (fault == Fault::HugeBody)
            response.set_content_provider(total, "text/xml", [provide](size_t offset, size_t, httplib::DataSink& sink) {
                return provide(offset, sink);
            });
        else
            response.set_chunked_content_provider(
                "text/xml", [provide](size_t offset, httplib::DataSink& sink) { return provide(offset, sink); });
        return Handled::Handled;
    }
    case Fault::Stall: {
        // Accepted, then silence: the client's stall time-out has to end the request. A stopping server ends the
        // wait, so that stop() does not hang on this request.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.stallMs);
        while (!stopping && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        response.status = 503;
        response.set_content("stalled", "text/plain");
        return Handled::Handled;
    }
    case Fault::HalfPicture: {
        static const QRegularExpression picturePath(QStringLiteral("^/photos/(\\d+)/([^/]+)\\.jpg$"));
        const QRegularExpressionMatch match = picturePath.match(QString::fromStdString(request.path));
        const QByteArray jpeg = match.hasMatch() ? picture(match.captured(1), match.captured(2)) : QByteArray();
        if (jpeg.isEmpty()) {
            response.status = 404;
            return Handled::Handled;
        }
        response.set_content(jpeg.left(jpeg.size() / 2).toStdString(), "image/jpeg");
        return Handled::Handled;
    }
    case Fault::Trickle:
        // Never silent long enough for a stall time-out, never done: only a limit on the whole request ends it.
        response.set_chunked_content_provider("text/xml", [this](size_t offset, httplib::DataSink& sink) {
            if (stopping)
                return false;
            if (offset > 0)
                std::this_thread::sleep_for(1s);
            const std::string piece =
                offset == 0 ? std::string("<?xml version=\"1.0\"?><answer>") : std::string(20, ' ');
            return sink.write(piece.data(), piece.size());
        });
        return Handled::Handled;
    case Fault::ResetConnection:
        if (!resetConnection(request)) {
            // Better a loud wrong answer than a normal one that a test would take for the fault's absence.
            response.status = 500;
            response.set_content("the connection could not be reset", "text/plain");
        }
        return Handled::Handled;
    }
    return Handled::Unhandled;
}

void ReadingsServer::State::configure(httplib::Server& http) {
    // The client opens a fresh connection for every request; one request per connection also lets stop() return
    // without waiting for idle connections to time out.
    http.set_keep_alive_max_count(1);
    // A distant server's answers wait on the network, not on each other: a request held back by the latency does not
    // hold a thread that the next one needs.
    if (options.latencyMs > 0)
        http.new_task_queue = [] { return new httplib::ThreadPool(64); };
    http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        ++requests;
        if (options.latencyMs > 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.latencyMs);
            while (!stopping && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(
                    std::min<std::chrono::steady_clock::duration>(until - std::chrono::steady_clock::now(), 10ms));
        }
        return applyFault(takeFault(request), request, response);
    });
    http.Get("/range_photo_xml.php", [this](const httplib::Request& request, httplib::Response& response) {
        answerReadings(request, response);
    });
    http.Get(R"(/photos/(\d+)/([^/]+)\.jpg)", [this](const httplib::Request& request, httplib::Response& response) {
        answerPicture(request, response);
    });
    http.Get(R"(/Software_Update/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        answerUpdateFile(request, response);
    });
}

ReadingsServer::ReadingsServer(Options options) : state_(std::make_unique<State>(std::move(options))) {
    if (!QStringEncoder(state_->options.encoding.toLatin1().constData()).isValid())
        throw std::invalid_argument("unknown encoding: " + state_->options.encoding.toStdString());
    state_->generate();
}

ReadingsServer::~ReadingsServer() {
    stop();
}

int ReadingsServer::start(int port) {
    if (state_->server)
        return state_->port;
    auto server = std::make_unique<httplib::Server>();
    state_->configure(*server);
    int bound = -1;
    if (port == 0)
        bound = server->bind_to_any_port("127.0.0.1");
    else if (server->bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    widenBacklog(bound);

    httplib::Server* http = server.get();
    state_->listenerDone = false;
    state_->stopping = false;
    state_->listener = std::thread([this, http] {
        http->listen_after_bind();
        state_->listenerDone = true;
    });
    // A stop() that comes before the listening loop has begun is ignored by cpp-httplib and would leave the
    // thread running for ever, so the start waits for the loop.
    while (!http->is_running() && !state_->listenerDone)
        std::this_thread::sleep_for(1ms);
    state_->server = std::move(server);
    state_->port = bound;
    return bound;
}

void ReadingsServer::stop() {
    if (!state_->server)
        return;
    state_->stopping = true;
    state_->server->stop();
    state_->listener.join();
    state_->server.reset();
}

QString ReadingsServer::baseAddress() const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(state_->port);
}

int ReadingsServer::port() const {
    return state_->port;
}

int ReadingsServer::requestCount() const {
    return state_->requests.load();
}

void ReadingsServer::injectFault(Fault fault, int times, QString pathContains) {
    if (fault == Fault::None || times <= 0)
        return;
    const QMutexLocker lock(&state_->faultsMutex);
    state_->faults.append({fault, times, pathContains.toStdString()});
}

void ReadingsServer::scriptAnswer(const QString& modem, const QByteArray& body) {
    const QMutexLocker lock(&state_->answersMutex);
    state_->scriptedAnswers.insert(modem, body);
}

void ReadingsServer::completeEmptyReadings() {
    state_->completed = true;
}

QList<ReadingsServer::Reading> ReadingsServer::readings(int scanner) const {
    return state_->byModem.value(QString::number(scanner));
}

} // namespace vornic
