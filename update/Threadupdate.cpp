#include "update/Threadupdate.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "update/UpdateSignature.h"

#include <QDir>
#include <QSaveFile>
#include <QTimer>
#include <QXmlStreamReader>

namespace vornic {

QList<UpdateRow> parseUpdateDescription(const QByteArray& bytes) {
    if (bytes.size() > kUpdateDescriptionLimit)
        throw Failure(QStringLiteral("Описание обновления больше %1 байт.").arg(kUpdateDescriptionLimit));
    // Read as a stream, not as a tree: the server decides how deep the document nests, and a tree that deep
    // takes the stack down as it is freed. The stream is read to its end, so that a document broken anywhere,
    // even after its rows, is refused as a whole.
    QXmlStreamReader reader(bytes);
    // Names are taken as written, prefix and all: "x:row" is no row, and an undeclared prefix is no error.
    reader.setNamespaceProcessing(false);
    QList<UpdateRow> rows;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > kUpdateDescriptionDepthLimit)
                throw Failure(QStringLiteral("Описание обновления вложено глубже %1 уровней (строка %2, "
                                             "позиция %3).")
                                  .arg(kUpdateDescriptionDepthLimit)
                                  .arg(reader.lineNumber())
                                  .arg(reader.columnNumber()));
            // Only elements are entries: a processing instruction named "row" carries no attributes.
            if (depth == 2 && reader.qualifiedName() == u"row") {
                const QXmlStreamAttributes attributes = reader.attributes();
                const auto attribute = [&](const char* name) {
                    return attributes.value(QLatin1StringView(name)).toString();
                };
                rows.append({attribute("Version"), attribute("Put"), attribute("Size"), attribute("SHA256"),
                             attribute("Key"), attribute("Signature")});
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw Failure(QStringLiteral("Описание обновления не является правильным XML-документом: %1 (строка %2, "
                                     "позиция %3).")
                          .arg(reader.errorString())
                          .arg(reader.lineNumber())
                          .arg(reader.columnNumber()));
    return rows;
}

std::optional<QString> updateRowRefusal(const UpdateRow& row, const QList<QByteArray>& trustedKeys) {
    if (row.size.isEmpty() || row.sha256.isEmpty() || row.key.isEmpty() || row.signature.isEmpty())
        return QStringLiteral("обновление не подписано издателем");
    const auto key = QByteArray::fromBase64Encoding(row.key.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!key || !trustedKeys.contains(*key))
        return QStringLiteral("обновление подписано ключом, которому эта программа не доверяет");
    const auto signature =
        QByteArray::fromBase64Encoding(row.signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray text = updateSignedText(row.version, row.put, row.size, row.sha256);
    if (!signature || text.isEmpty() || !isUpdateSignature(*key, text, *signature))
        return QStringLiteral("подпись не сходится с описанием обновления: версия, имя файла, размер или контрольная "
                              "сумма изменены после подписи");
    return std::nullopt;
}

std::optional<QString> updateFileRefusal(const UpdateRow& row, const QByteArray& file) {
    if (QString::number(file.size()) != row.size)
        return QStringLiteral("файл обновления занимает %1 байт, а подписано %2").arg(file.size()).arg(row.size);
    if (QString::fromLatin1(updateFileHash(file)) != row.sha256.toLower())
        return QStringLiteral("файл обновления не совпадает с подписанным: контрольная сумма другая");
    return std::nullopt;
}

std::optional<bool> isNewerVersion(const QString& offered, const QString& current) {
    bool offeredOk = false;
    bool currentOk = false;
    const qlonglong offeredNumber = offered.toLongLong(&offeredOk, 10);
    const qlonglong currentNumber = current.trimmed().toLongLong(&currentOk, 10);
    if (!offeredOk || !currentOk)
        return std::nullopt;
    return offeredNumber > currentNumber;
}

bool isPlainFileName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

QString updateFolder(const QString& dataFolder) {
    return dataFile(dataFolder, QStringLiteral("Updates\\"));
}

std::optional<QString> updateFailureCaption(const HttpFailure& failure) {
    switch (failure.kind) {
    case HttpFailure::Kind::Protocol:
        switch (failure.code) {
        case 400:
            // The "C" after "400 " is a Latin capital, as the message has always been written.
            return QStringLiteral("400 Cервер обнаружил в запросе клиента синтаксическую ошибку");
        case 401:
            return QStringLiteral("401 Запрос требует идентификации пользователя.");
        case 404:
            return QStringLiteral("404 Страница не найдена");
        default:
            return QString::number(failure.code) + QStringLiteral(" ") + failure.message;
        }
    case HttpFailure::Kind::Socket:
        if (failure.code == 11001 || failure.code == 10054)
            return QStringLiteral("Не удалось подключится к удалённому серверу");
        return std::nullopt;
    case HttpFailure::Kind::TooLarge:
    case HttpFailure::Kind::Interrupted:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace vornic

using vornic::HttpClient;

using vornic::HttpFailure;

namespace {

// Every request of the update check carries these; an update server may expect them.
const QList<QByteArray> kRequestHeaders = {
    QByteArrayLiteral("Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"),
    QByteArrayLiteral("User-Agent: Mozilla/3.0 (compatible; Indy Library)"),
};

// A failure the check reports and stops at; the others end the run without a word.
bool reportedFailure(const HttpFailure& failure) {
    return failure.kind == HttpFailure::Kind::Protocol || failure.kind == HttpFailure::Kind::Socket;
}

// Shows what the server named, with control characters made visible as replacement marks.
QString shownName(QString name) {
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    return name;
}

} // namespace

ThreadUpdate::ThreadUpdate(QString baseAddress, const QString& currentVersion, QString dataFolder, QTimer& mainTimer,
                           QList<QByteArray> trustedKeys)
    : baseAddress_(std::move(baseAddress)), currentVersion_(currentVersion.trimmed()),
      dataFolder_(std::move(dataFolder)), trustedKeys_(std::move(trustedKeys)) {
    mainTimer.stop();
    connect(
        this, &ThreadUpdate::mainTimerSwitched, &mainTimer,
        [&mainTimer](bool on) {
            if (on)
                mainTimer.start();
            else
                mainTimer.stop();
        },
        Qt::QueuedConnection);
}

ThreadUpdate::~ThreadUpdate() {
    abandon();
    wait();
}

bool ThreadUpdate::proceed() {
    const std::lock_guard lock(mutex_);
    if (!waiting_ || downloadChosen_ || stop_)
        return false;
    downloadChosen_ = true;
    decided_.notify_all();
    return true;
}

void ThreadUpdate::requestStop() {
    stop_ = true;
    const std::lock_guard lock(mutex_);
    decided_.notify_all();
}

void ThreadUpdate::abandon() {
    abandoned_ = true;
    requestStop();
}

bool ThreadUpdate::waitingForOperator() const {
    const std::lock_guard lock(mutex_);
    return waiting_;
}

ThreadUpdate::Choice ThreadUpdate::awaitOperator() {
    std::unique_lock lock(mutex_);
    waiting_ = true;
    // The condition variable lets the lock go while it sleeps; the thread takes no processor time until woken.
    decided_.wait(lock, [this] { return downloadChosen_ || stop_.load(); });
    waiting_ = false;
    // The first choice counts: "Выход" right after "Скачать" lets the download complete, unopened.
    return downloadChosen_ ? Choice::Download : Choice::Exit;
}

void ThreadUpdate::run() {
    const HttpClient http(&abandoned_, {}, kRequestHeaders);
    const auto progress = [this](qint64 expected, qint64 received) { Q_EMIT transferProgressed(expected, received); };
    QByteArray description;
    if (const std::optional<HttpFailure> failure =
            http.get(baseAddress_ + QStringLiteral("Software_Update/Update_inf.XML"), description, kDescriptionLimit,
                     progress)) {
        if (const std::optional<QString> caption = vornic::updateFailureCaption(*failure)) {
            Q_EMIT captionChanged(*caption);
            Q_EMIT hideRequested();
            stop_ = true;
        }
        return;
    }
    QList<vornic::UpdateRow> rows;
    try {
        rows = vornic::parseUpdateDescription(description);
    } catch (const vornic::Failure&) {
        return; // a broken description is no offer, and not the operator's concern
    }
    description.clear();
    for (const vornic::UpdateRow& row : rows) {
        const std::optional<bool> newer = vornic::isNewerVersion(row.version, currentVersion_);
        if (!newer)
            return;
        if (*newer) {
            Q_EMIT mainTimerSwitched(true);
            if (awaitOperator() == Choice::Download && !abandoned_)
                download(row);
            return;
        }
        Q_EMIT hideRequested();
        if (stop_)
            return;
    }
}

void ThreadUpdate::download(const vornic::UpdateRow& row) {
    const QString& put = row.put;
    if (!vornic::isPlainFileName(put)) {
        // The name comes from the server: one that leaves the data folder could write and run a file anywhere.
        Q_EMIT captionChanged(
            QStringLiteral("Сервер указал недопустимое имя файла обновления: \"%1\"").arg(shownName(put)));
        stop_ = true;
        return;
    }
    // Whoever answers for the server's address could offer any file: only one a trusted publisher signed, with
    // the version, name, length and hash the row gives, is fetched and written.
    if (const std::optional<QString> refusal = vornic::updateRowRefusal(row, trustedKeys_)) {
        Q_EMIT captionChanged(QStringLiteral("Обновление отклонено: ") + *refusal);
        stop_ = true;
        return;
    }
    const QString url = baseAddress_ + QStringLiteral("Software_Update/") + put;
    // Not the data folder itself: a name such as "options.ini" or "compare_bd.xml" would replace the client's
    // settings or change its database at the next start.
    const QString folder = vornic::updateFolder(dataFolder_);
    const QString target = folder + put;
    Q_EMIT captionChanged(QStringLiteral("Идет загрузка обновления"));
    // "Выход" during the transfer does not cut it short: only the program's end does (abandoned_).
    const HttpClient http(&abandoned_, {}, kRequestHeaders);
    QByteArray file;
    if (const std::optional<HttpFailure> failure =
            http.get(url, file, kFileLimit,
                     [this](qint64 expected, qint64 received) { Q_EMIT transferProgressed(expected, received); })) {
        // Operators install what waits in the data folder: a file cut short or an error page must never be there.
        if (reportedFailure(*failure)) {
            if (const std::optional<QString> caption = vornic::updateFailureCaption(*failure))
                Q_EMIT captionChanged(*caption);
            stop_ = true;
        }
        return;
    }
    if (const std::optional<QString> refusal = vornic::updateFileRefusal(row, file)) {
        Q_EMIT captionChanged(QStringLiteral("Обновление отклонено: ") + *refusal);
        stop_ = true;
        return;
    }
    // Written under a temporary name and renamed only when whole: a full disk or the program's end midway leaves
    // no file of the update's name.
    if (!QDir().mkpath(folder)) {
        Q_EMIT captionChanged(QStringLiteral("Не удалось создать папку обновлений: ") +
                              QDir::toNativeSeparators(folder));
        return;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size() || !out.commit()) {
        Q_EMIT captionChanged(QStringLiteral("Не удалось записать файл обновления: ") + out.errorString());
        return;
    }
    file.clear();
    if (stop_ || abandoned_)
        return;
    Q_EMIT updateReady(target);
}
