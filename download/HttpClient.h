#pragma once

#include "base/Settings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vornic {

// Why a request gave no answer:
// - Protocol: the server answered with anything but a success status (an error page, a redirect); code is the
//   status, message the server's reason phrase;
// - Socket: the connection failed, numbered as Windows Sockets numbers them (11001 host not found, 10054
//   connection reset, 10061 connection refused, 10060 no answer in time or not all of it within the request's
//   time);
// - TooLarge: the answer is larger than the caller's limit (code is the limit in bytes); nothing of it is kept;
// - Interrupted: the caller's interrupt flag was set during the transfer.
struct HttpFailure {
    enum class Kind { Protocol, Socket, TooLarge, Interrupted };
    Kind kind = Kind::Socket;
    int code = 0;
    QString message; // for the operator, in Russian where it is ours

    // "HTTP 404 Not Found", "ошибка сокета 10060 (сервер не отвечает)", "больше 32 МБ"
    QString describe() const;
};

// How long a request may take to connect, how long it may go without receiving a byte, and how long it may take
// in all (0: no limit), in seconds.
struct HttpTimeouts {
    int connectSeconds = settings::connectTimeout().defaultValue;
    int stallSeconds = settings::stallTimeout().defaultValue;
    int requestSeconds = 0;
};

// GET of an address into a byte buffer. Every request has a connection of its own, closed after it; no
// credentials or proxy are set. Every request is bounded: a size limit, a connect and a stall time-out, and an
// interrupt flag that gives up a transfer in flight within a tenth of a second.
class HttpClient final {
public:
    // Called when a transfer begins (the expected size, -1 when unknown) and as it progresses.
    using Progress = std::function<void(qint64 expected, qint64 received)>;

    // headers are whole header lines ("Accept: text/html") sent with every request.
    explicit HttpClient(const std::atomic_bool* interrupt = nullptr, HttpTimeouts timeouts = {},
                        QList<QByteArray> headers = {});
    Q_DISABLE_COPY_MOVE(HttpClient)

    // Appends the body to buffer. maxBytes 0 sets no size limit. On a failure the buffer keeps what had arrived,
    // except after TooLarge, which leaves it empty.
    std::optional<HttpFailure> get(const QString& url, QByteArray& buffer, qint64 maxBytes = 0,
                                   const Progress& progress = {}) const;

private:
    const std::atomic_bool* interrupt_;
    HttpTimeouts timeouts_;
    QList<QByteArray> headers_;
};

// GETs that go on together on the calling thread, each as HttpClient makes it: a connection of its own, closed
// after it, and the same bounds. Nothing moves while the owner does other work: it moves the requests along with
// advance() between its own steps, and take() waits for one while moving the others. Giving a request up, or
// destroying the set, closes its connection at once.
class HttpRequestSet final {
public:
    using Id = quint64;
    struct Result {
        QByteArray body; // empty after TooLarge; what had arrived after another failure
        std::optional<HttpFailure> failure;
    };

    explicit HttpRequestSet(const std::atomic_bool* interrupt = nullptr, HttpTimeouts timeouts = {});
    ~HttpRequestSet();
    Q_DISABLE_COPY_MOVE(HttpRequestSet)

    // Starts a request and returns without waiting for it. maxBytes 0 sets no size limit.
    Id start(const QString& url, qint64 maxBytes = 0);
    void advance();
    // Waits for the request and hands its result over. The interrupt flag set before it has finished gives it up:
    // an Interrupted failure, within a tenth of a second.
    Result take(Id id);
    void drop(Id id);
    // Requests started and neither taken nor dropped, finished ones included.
    int size() const;

private:
    struct Request;
    void detach(Request& request);

    const std::atomic_bool* interrupt_;
    HttpTimeouts timeouts_;
    void* multi_; // the transfer library's multi handle
    Id nextId_ = 1;
    std::map<Id, std::unique_ptr<Request>> requests_;
};

// The Windows Sockets number of a connection failure of the transfer library.
int socketErrorNumber(int transferError);

// "32 МБ", "512 КБ", "100 байт"
QString sizeText(qint64 bytes);

} // namespace vornic
