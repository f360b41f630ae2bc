#include "download/HttpClient.h"

#include <QList>

#include <curl/curl.h>

#include <memory>

namespace vornic {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

void initialiseOnce() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    Q_UNUSED(initialised);
}

struct Transfer {
    QByteArray* buffer = nullptr;
    const HttpClient::Progress* progress = nullptr;
    const std::atomic_bool* abandon = nullptr;
    QByteArray statusLine;
    bool begun = false;
};

size_t receiveBody(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    transfer->buffer->append(data, static_cast<qsizetype>(size * count));
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
    if (transfer->abandon && transfer->abandon->load())
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

} // namespace

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

HttpClient::HttpClient(const std::atomic_bool* abandon) : abandon_(abandon) {
    initialiseOnce();
}

std::optional<HttpFailure> HttpClient::get(const QString& url, QByteArray& buffer, const Progress& progress) const {
    CurlHandle handle(curl_easy_init());
    if (!handle)
        return HttpFailure{HttpFailure::Kind::Socket, 10055, QStringLiteral("Нет ресурсов для соединения")};
    Transfer transfer{&buffer, &progress, abandon_, {}, false};
    const QByteArray address = url.toUtf8();
    CURL* curl = handle.get();
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

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_ABORTED_BY_CALLBACK)
        return HttpFailure{HttpFailure::Kind::Aborted, 0, QStringLiteral("Передача прервана")};
    if (result != CURLE_OK)
        return HttpFailure{HttpFailure::Kind::Socket, socketErrorNumber(result),
                           QString::fromUtf8(curl_easy_strerror(result))};
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        return HttpFailure{HttpFailure::Kind::Protocol, static_cast<int>(status), reasonPhrase(transfer.statusLine)};
    return std::nullopt;
}

} // namespace vornic
