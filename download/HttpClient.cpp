#include "download/HttpClient.h"

#include <QList>

#include <curl/curl.h>

#include <memory>

namespace vornic {
namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// The easy handle is taken out of the multi handle before either is cleaned up.
class Attached final {
public:
    Attached(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy), ok_(curl_multi_add_handle(multi, easy) == 0) {}
    ~Attached() {
        if (ok_)
            curl_multi_remove_handle(multi_, easy_);
    }
    Q_DISABLE_COPY_MOVE(Attached)
    bool ok() const { return ok_; }

private:
    CURLM* multi_;
    CURL* easy_;
    bool ok_;
};

void initialiseOnce() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    Q_UNUSED(initialised);
}

// How often a waiting transfer looks at the interrupt flag.
constexpr int kPollMilliseconds = 100;

struct Transfer {
    QByteArray* buffer = nullptr;
    qsizetype startSize = 0;
    qint64 maxBytes = 0;
    int requestSeconds = 0; // the limit on the whole request, 0 for none
    const HttpClient::Progress* progress = nullptr;
    const std::atomic_bool* interrupt = nullptr;
    QByteArray statusLine;
    bool begun = false;
    bool tooLarge = false;

    bool interrupted() const { return interrupt && interrupt->load(); }
};

size_t receiveBody(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const auto bytes = static_cast<qint64>(size * count);
    // A server that announces no size, or announces a false one, is cut off at the limit all the same.
    if (transfer->maxBytes > 0 && transfer->buffer->size() - transfer->startSize + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (transfer->interrupted())
        return 0;
    transfer->buffer->append(data, static_cast<qsizetype>(bytes));
    return size * count;
}

size_t receiveHeader(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const QByteArray line(data, static_cast<qsizetype>(size * count));
    if (line.startsWith("HTTP/"))
        transfer->statusLine = line.trimmed(); // the last status line wins (after a 100 Continue, say)
    return size * count;
}

int onProgress(void* context, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(context);
    if (transfer->interrupted())
        return 1;
    if (transfer->progress && *transfer->progress) {
        if (!transfer->begun && (expected > 0 || received > 0)) {
            transfer->begun = true;
            (*transfer->progress)(expected > 0 ? expected : -1, 0);
        }
        if (received > 0)
            (*transfer->progress)(expected > 0 ? expected : -1, received);
    }
    return 0;
}

// "HTTP/1.1 404 Not Found" -> "Not Found"
QString reasonPhrase(const QByteArray& statusLine) {
    const QList<QByteArray> parts = statusLine.split(' ');
    return parts.size() > 2 ? QString::fromLatin1(statusLine.mid(parts[0].size() + parts[1].size() + 2)) : QString();
}

QString socketErrorText(int number, CURLcode result) {
    switch (number) {
    case 11001:
        return QStringLiteral("сервер не найден");
    case 10054:
        return QStringLiteral("соединение разорвано");
    case 10060:
        return result == CURLE_OPERATION_TIMEDOUT ? QStringLiteral("сервер не отвечает")
                                                  : QStringLiteral("время ожидания истекло");
    default:
        return QString::fromUtf8(curl_easy_strerror(result));
    }
}

// Runs the transfer on the multi interface, so that the wait for the server looks at the interrupt flag every
// tenth of a second instead of only when data moves.
CURLcode perform(CURL* easy, const Transfer& transfer) {
    const MultiHandle multi(curl_multi_init());
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    const Attached attached(multi.get(), easy);
    if (!attached.ok())
        return CURLE_FAILED_INIT;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            return CURLE_FAILED_INIT;
        if (running == 0)
            break;
        if (transfer.interrupted())
            return CURLE_ABORTED_BY_CALLBACK;
        if (curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK)
            return CURLE_FAILED_INIT;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            return message->data.result;
    return CURLE_FAILED_INIT;
}

HttpFailure noResources() {
    return HttpFailure{HttpFailure::Kind::Socket, 10055, QStringLiteral("нет ресурсов для соединения")};
}

HttpFailure interrupted() {
    return HttpFailure{HttpFailure::Kind::Interrupted, 0, QStringLiteral("передача прервана")};
}

// Every request, alone or one of a set, is made the same way: a connection of its own, no proxy, bounded.
void prepare(CURL* curl, Transfer& transfer, const QByteArray& address, const HttpTimeouts& timeouts,
             const QList<QByteArray>& headerLines, HeaderList& headers) {
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    // The base address comes from the settings: a "file://" or any other scheme the library knows would read what
    // no readings server offers.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeouts.connectSeconds));
    // A server that accepts and then sends nothing, or stops sending, is given up after the stall time.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.stallSeconds));
    // A server that trickles never stalls long enough: the whole request has its limit too.
    transfer.requestSeconds = timeouts.requestSeconds;
    if (timeouts.requestSeconds > 0)
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(timeouts.requestSeconds));
    if (transfer.maxBytes > 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.maxBytes));
    for (const QByteArray& header : headerLines)
        if (curl_slist* longer = curl_slist_append(headers.get(), header.constData())) {
            (void)headers.release();
            headers.reset(longer);
        }
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
}

// What became of a finished transfer: nothing (the body is the thing asked for) or why not.
std::optional<HttpFailure> failureOf(CURL* curl, const Transfer& transfer, CURLcode result) {
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        transfer.buffer->truncate(transfer.startSize); // nothing of a refused answer is kept
        return HttpFailure{HttpFailure::Kind::TooLarge, static_cast<int>(transfer.maxBytes), {}};
    }
    if (result == CURLE_ABORTED_BY_CALLBACK || (result == CURLE_WRITE_ERROR && transfer.interrupted()))
        return interrupted();
    if (result == CURLE_OPERATION_TIMEDOUT && transfer.requestSeconds > 0) {
        curl_off_t elapsed = 0;
        curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &elapsed);
        if (elapsed >= static_cast<curl_off_t>(transfer.requestSeconds) * 1000000 - 100000)
            return HttpFailure{HttpFailure::Kind::Socket, 10060,
                               QStringLiteral("ответ не получен целиком за %1 с").arg(transfer.requestSeconds)};
    }
    if (result != CURLE_OK) {
        const int number = socketErrorNumber(result);
        return HttpFailure{HttpFailure::Kind::Socket, number, socketErrorText(number, result)};
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    // Only a success status carries the thing asked for: an error page or a redirect is no answer or picture.
    if (status < 200 || status > 299)
        return HttpFailure{HttpFailure::Kind::Protocol, static_cast<int>(status), reasonPhrase(transfer.statusLine)};
    return std::nullopt;
}

} // namespace

QString HttpFailure::describe() const {
    switch (kind) {
    case Kind::Protocol:
        return message.isEmpty() ? QStringLiteral("HTTP %1").arg(code)
                                 : QStringLiteral("HTTP %1 %2").arg(code).arg(message);
    case Kind::Socket:
        return QStringLiteral("ошибка сокета %1 (%2)").arg(code).arg(message);
    case Kind::TooLarge:
        return QStringLiteral("больше ") + sizeText(code);
    case Kind::Interrupted:
        return QStringLiteral("передача прервана");
    }
    return message;
}

QString sizeText(qint64 bytes) {
    constexpr qint64 kKilobyte = 1024;
    constexpr qint64 kMegabyte = 1024 * kKilobyte;
    if (bytes >= kMegabyte && bytes % kMegabyte == 0)
        return QStringLiteral("%1 МБ").arg(bytes / kMegabyte);
    if (bytes >= kKilobyte && bytes % kKilobyte == 0)
        return QStringLiteral("%1 КБ").arg(bytes / kKilobyte);
    return QStringLiteral("%1 байт").arg(bytes);
}

int socketErrorNumber(int transferError) {
    switch (transferError) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_URL_MALFORMAT:
        return 11001;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return 10054;
    case CURLE_OPERATION_TIMEDOUT:
        return 10060;
    case CURLE_COULDNT_CONNECT:
    default:
        return 10061;
    }
}

HttpClient::HttpClient(const std::atomic_bool* interrupt, HttpTimeouts timeouts, QList<QByteArray> headers)
    : interrupt_(interrupt), timeouts_(timeouts), headers_(std::move(headers)) {
    initialiseOnce();
}

std::optional<HttpFailure> HttpClient::get(const QString& url, QByteArray& buffer, qint64 maxBytes,
                                           const Progress& progress) const {
    const EasyHandle handle(curl_easy_init());
    if (!handle)
        return noResources();
    Transfer transfer{&buffer, buffer.size(), maxBytes, 0, &progress, interrupt_, {}, false, false};
    const QByteArray address = url.toUtf8();
    HeaderList headers;
    prepare(handle.get(), transfer, address, timeouts_, headers_, headers);
    return failureOf(handle.get(), transfer, perform(handle.get(), transfer));
}

// One request of the set: its handle, its buffer and the state its callbacks see. Kept at one address for the
// callbacks' sake.
struct HttpRequestSet::Request {
    EasyHandle handle;
    QByteArray body;
    QByteArray address;
    Transfer transfer;
    bool attached = false;
    bool done = false;
    CURLcode result = CURLE_OK;
};

HttpRequestSet::HttpRequestSet(const std::atomic_bool* interrupt, HttpTimeouts timeouts)
    : interrupt_(interrupt), timeouts_(timeouts), multi_(curl_multi_init()) {
    initialiseOnce();
}

HttpRequestSet::~HttpRequestSet() {
    for (auto& [id, request] : requests_)
        detach(*request);
    requests_.clear();
    if (multi_)
        curl_multi_cleanup(multi_);
}

void HttpRequestSet::detach(Request& request) {
    if (request.attached)
        curl_multi_remove_handle(multi_, request.handle.get());
    request.attached = false;
}

HttpRequestSet::Id HttpRequestSet::start(const QString& url, qint64 maxBytes) {
    const Id id = nextId_++;
    auto request = std::make_unique<Request>();
    request->handle.reset(curl_easy_init());
    request->address = url.toUtf8();
    request->transfer = Transfer{&request->body, 0, maxBytes, 0, nullptr, interrupt_, {}, false, false};
    if (!request->handle || !multi_) {
        request->done = true;
        request->result = CURLE_OUT_OF_MEMORY;
    } else {
        HeaderList none;
        prepare(request->handle.get(), request->transfer, request->address, timeouts_, {}, none);
        request->attached = curl_multi_add_handle(multi_, request->handle.get()) == CURLM_OK;
        if (!request->attached) {
            request->done = true;
            request->result = CURLE_FAILED_INIT;
        }
    }
    requests_.emplace(id, std::move(request));
    advance();
    return id;
}

void HttpRequestSet::advance() {
    // Once interrupted, nothing more goes out: a request that has connected is not sent.
    if (!multi_ || requests_.empty() || (interrupt_ && interrupt_->load()))
        return;
    int running = 0;
    const bool moved = curl_multi_perform(multi_, &running) == CURLM_OK;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        for (auto& [id, request] : requests_)
            if (request->handle.get() == message->easy_handle) {
                request->done = true;
                request->result = message->data.result;
                detach(*request); // its connection closes now, not when the owner takes it
                break;
            }
    }
    if (!moved) // the set cannot go on: every request still going ends as a failed one
        for (auto& [id, request] : requests_)
            if (!request->done) {
                request->done = true;
                request->result = CURLE_FAILED_INIT;
                detach(*request);
            }
}

HttpRequestSet::Result HttpRequestSet::take(Id id) {
    const auto found = requests_.find(id);
    if (found == requests_.end())
        return {{}, HttpFailure{HttpFailure::Kind::Socket, 10055, QStringLiteral("нет такого запроса")}};
    Request& request = *found->second;
    if (!request.done)
        advance();
    while (!request.done) {
        if (interrupt_ && interrupt_->load()) {
            drop(id);
            return {{}, interrupted()};
        }
        if (curl_multi_poll(static_cast<CURLM*>(multi_), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) {
            drop(id);
            return {{}, noResources()};
        }
        advance();
    }
    Result result;
    result.failure = failureOf(request.handle.get(), request.transfer, request.result);
    result.body = std::move(request.body);
    requests_.erase(found);
    return result;
}

void HttpRequestSet::drop(Id id) {
    const auto found = requests_.find(id);
    if (found == requests_.end())
        return;
    detach(*found->second);
    requests_.erase(found);
}

int HttpRequestSet::size() const {
    return static_cast<int>(requests_.size());
}

} // namespace vornic
