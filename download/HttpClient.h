#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace vornic {

// Why a request gave no answer: the server answered with an error status (a protocol error, with the status
// code and the server's message), or the connection failed (a socket error, numbered as Windows Sockets
// numbers them: 11001 host not found, 10054 connection reset, 10061 connection refused, 10060 timed out).
struct HttpFailure {
    enum class Kind { Protocol, Socket, Aborted };
    Kind kind = Kind::Socket;
    int code = 0;
    QString message;
};

// GET of an address into a byte buffer. Every request has a connection of its own, closed after it; no
// time-out, credentials or proxy are set.
class HttpClient final {
public:
    // Called when a transfer begins (the expected size, -1 when unknown) and as it progresses.
    using Progress = std::function<void(qint64 expected, qint64 received)>;

    explicit HttpClient(const std::atomic_bool* abandon = nullptr);
    Q_DISABLE_COPY_MOVE(HttpClient)

    // Appends the body to buffer. On a failure the buffer keeps what had arrived.
    std::optional<HttpFailure> get(const QString& url, QByteArray& buffer, const Progress& progress = {}) const;

private:
    const std::atomic_bool* abandon_; // set: a transfer in progress is given up
};

// The Windows Sockets number of a connection failure of the transfer library.
int socketErrorNumber(int transferError);

} // namespace vornic
