#include "download/Thread_loadf.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/Trimmed.h"
#include "base/IniFile.h"
#include "db/Database.h"
#include "db/SqlParameters.h"
#include "db/Statement.h"
#include "download/ReadingsProtocol.h"

#include <QHash>

#include <algorithm>
#include <utility>

using namespace vornic;

namespace {

const QString kInsert = QStringLiteral(
    "INSERT INTO Image_object_date (ID_OBJECT,DAT,ID_IMAG,IMAGE,RECOGNITION,READINGS,BAT,CSQ,NSMOD,ERROR) VALUES "
    "(:ID_OBJECT,:DAT,:ID_IMAG,:IMAGE,:RECOGNITION,:READINGS,:BAT,:CSQ,:NSMOD,:ERROR)");
const QString kComplete = QStringLiteral(
    "UPDATE  IMAGE_OBJECT_DATE SET  IMAGE=:IMAGE, RECOGNITION=:RECOGNITION, READINGS=:READINGS WHERE ID_IMAG= "
    "?old_ID_IMAG");
// The stored reading with the received id, exactly that id: an indexed look-up.
const QString kLookup = QStringLiteral("SELECT READINGS, DAT, IMAGE FROM IMAGE_OBJECT_DATE WHERE ID_IMAG = ?");


// An attribute's value or a picture as stored: an empty one is NULL.
QVariant orNull(const QString& value) {
    return value.isEmpty() ? QVariant() : QVariant(value);
}
QVariant orNull(const QByteArray& value) {
    return value.isEmpty() ? QVariant() : QVariant(value);
}

// A numeric attribute that holds something other than a whole number, or an empty text.
bool isWholeOrEmpty(const QString& value) {
    if (value.isEmpty())
        return true;
    bool ok = false;
    value.trimmed().toInt(&ok);
    return ok;
}

// A failure's text as one line of the log.
QString oneLine(const QString& text) {
    return QString(text).replace(u'\n', u' ');
}

// The log line of an answer row that is passed over.
QString skippedRow(const QString& id, const QString& modemId, const QString& problem) {
    return QStringLiteral("Строка «") + id + QStringLiteral("» ответа по №") + modemId +
           QStringLiteral(" пропущена: ") + problem;
}

// A reading stored without its picture gets it on a later run; nothing else of the row changes.
const QString kFillPicture = QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET IMAGE = ? WHERE ID_IMAG = ?");

int settingSeconds(const IniFile& settings, const QString& key, int defaultValue) {
    const int seconds = settings.readInteger(QStringLiteral("Download"), key, defaultValue);
    return seconds > 0 ? seconds : defaultValue;
}

int parallelSetting(const IniFile& settings) {
    const int parallel = settings.readInteger(QStringLiteral("Download"), QStringLiteral("parallel"),
                                              Thread_loadF::kDefaultParallel);
    if (parallel < 1)
        return Thread_loadF::kDefaultParallel;
    return std::min(parallel, Thread_loadF::kMaxParallel);
}

// How far ahead of the row being stored rows are looked up. Rows already stored need no request and cost only their
// look-up; the bound keeps a look-up close to its row's turn.
constexpr qsizetype kLookAheadRows = 64;

} // namespace

struct Thread_loadF::Statements {
    explicit Statements(Database& database)
        : lookup(database, kLookup), insert(database, kInsert), complete(database, kComplete),
          fillPicture(database, kFillPicture) {}
    Statement lookup;
    NamedStatement insert;
    NamedStatement complete;
    Statement fillPicture;
};

struct Thread_loadF::StoredReading {
    QVariant readings;
    QDateTime at;
    QVariant image; // the stored picture's reference, null when the row has none
};

struct Thread_loadF::Picture {
    QVariant bytes;           // null when there is none
    bool interrupted = false; // a stop came during the transfer: the row is not stored
};

// What is known of an answer row before its turn. Readings are added, and their pictures filled, only by the run (one
// at a time), and a row is looked up ahead only once every earlier row with its id has been stored: what the look-up
// found still holds at the row's turn.
struct Thread_loadF::RowAhead {
    bool examined = false;
    bool counted = false; // its id is among the ones waiting to be stored
    QString skipLine;     // not empty: the row cannot be stored and is passed over with this line
    std::optional<QString> lookupFailure;
    std::optional<StoredReading> stored;
    bool completes = false;
    bool fillsPicture = false;
    ReadingTime time;
    std::optional<HttpRequestSet::Id> picture; // its picture, asked for and not yet taken

    bool needsWork() const { return !stored || completes || fillsPicture; }
};

struct Thread_loadF::AnswerRows {
    qsizetype object; // the index of the object answered
    const QList<AnswerElement>& elements;
    QList<RowAhead> ahead;
    qsizetype front = 0; // the first element not yet looked at
    qsizetype end = 0;   // an error element ends the answer: nothing after it is reached
    bool lookupFailed = false;
    QHash<QString, int> waiting; // ids of rows looked at and not yet stored

    AnswerRows(qsizetype answered, const QList<AnswerElement>& answer)
        : object(answered), elements(answer), ahead(answer.size()), end(answer.size()) {
        for (qsizetype i = 0; i < answer.size(); ++i)
            if (std::holds_alternative<AnswerError>(answer[i])) {
                end = i;
                break;
            }
    }
};

Thread_loadF::Thread_loadF(Database& database, const IniFile& settings, int depth, QDate today, QList<Object> objects)
    : database_(database),
      baseAddress_(settings.readString(QStringLiteral("Edit_link"), QStringLiteral("link"), QStringLiteral("0"))),
      timeouts_{settingSeconds(settings, QStringLiteral("connect_timeout"), HttpTimeouts{}.connectSeconds),
                settingSeconds(settings, QStringLiteral("stall_timeout"), HttpTimeouts{}.stallSeconds)},
      parallel_(parallelSetting(settings)),
      firstDay_(today.addDays(-(depth - 1))), lastDay_(today), objects_(std::move(objects)) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

Thread_loadF::~Thread_loadF() {
    abandon();
    wait();
}

void Thread_loadF::abandon() {
    abandoned_ = true;
    stopRequested_ = true;
}

void Thread_loadF::run() {
    try {
        auto unit = database_.lock();
        statements_ = std::make_unique<Statements>(database_);
    } catch (const Failure& failure) {
        Q_EMIT logLine(QStringLiteral("Ошибка базы данных: ") + oneLine(failure.text()));
        Q_EMIT logLine(QStringLiteral("Обновление завершено"));
        Q_EMIT runFinished();
        return;
    }
    {
        // A stop request gives up the transfers in flight: the run then ends at the checkpoint it was heading for.
        // Whatever is still asked for when the run ends is given up with the set, before the run's last line.
        HttpRequestSet requests(&stopRequested_, timeouts_);
        requests_ = &requests;
        for (qsizetype index = 0; index < objects_.size(); ++index) {
            Q_EMIT objectDone();
            if (stopSeen()) // checkpoint A
                break;
            if (loadObject(index) != Outcome::Continue)
                break;
        }
        nextAnswer_.reset();
        requests_ = nullptr;
    }
    {
        auto unit = database_.lock();
        statements_.reset();
    }
    if (abandoned_)
        return; // the program is closing: nobody is left to read the last line
    Q_EMIT logLine(QStringLiteral("Обновление завершено"));
    Q_EMIT runFinished();
}

Thread_loadF::Outcome Thread_loadF::loadObject(qsizetype index) {
    const Object& object = objects_[index];
    const QString modemId = trimmed(object.scanner);
    const QString done = QStringLiteral("Данные по №") + modemId + QStringLiteral(" обновлены и актуальны ");
    // A stop during the request or the parse ends the run after this object's line, as a stop at a row would.
    const auto stopped = [&] {
        if (!abandoned_)
            Q_EMIT logLine(done);
        return Outcome::Stop;
    };
    QByteArray body;
    if (modemId != QStringLiteral("0")) {
        // The answer may have been asked for while the previous object's rows were stored.
        const HttpRequestSet::Id request =
            nextAnswer_ && nextAnswer_->index == index
                ? nextAnswer_->request
                : requests_->start(FormatReadingsUrl(baseAddress_, modemId, firstDay_, lastDay_), kAnswerLimit);
        nextAnswer_.reset();
        HttpRequestSet::Result answer = requests_->take(request);
        const auto& failure = answer.failure;
        if (failure && failure->kind == HttpFailure::Kind::Interrupted)
            return stopped();
        if (failure) {
            // The request is not repeated: the object stays without new rows this run.
            Q_EMIT logLine(failure->kind == HttpFailure::Kind::TooLarge
                               ? QStringLiteral("Ответ сервера по №") + modemId +
                                     QStringLiteral(" отклонён: ") + failure->describe()
                               : QStringLiteral("Нет ответа сервера по №") + modemId + QStringLiteral(": ") +
                                     failure->describe());
        } else {
            body = std::move(answer.body);
        }
    }
    ReadingsAnswer answer;
    try {
        answer = ParseReadingsAnswer(body, &stopRequested_);
    } catch (const Failure& failure) {
        if (stopSeen())
            return stopped();
        Q_EMIT logLine(QStringLiteral("Ответ сервера по №") + modemId + QStringLiteral(" не прочитан: ") +
                       failure.text());
        Q_EMIT logLine(done);
        return Outcome::Continue;
    }
    body.clear();
    Q_EMIT answerProgressMaximum(answer.childNodeCount);
    Q_EMIT answerProgressPosition(0);
    AnswerRows rows(index, answer.elements);
    lookAhead(rows, 0);
    int position = 0;
    Outcome outcome = Outcome::Continue;
    for (qsizetype i = 0; i < answer.elements.size(); ++i) {
        const AnswerElement& element = answer.elements[i];
        Q_EMIT answerProgressPosition(++position);
        if (const auto* error = std::get_if<AnswerError>(&element)) {
            Q_EMIT logLine(QStringLiteral("Данные по №") + modemId + QStringLiteral(" контроллера не найдены ") +
                           error->text);
            break;
        }
        if (const auto* bad = std::get_if<AnswerBadRow>(&element)) {
            Q_EMIT logLine(skippedRow(bad->id, modemId, bad->problem));
            continue;
        }
        requests_->advance();
        lookAhead(rows, i);
        if (!rows.ahead[i].examined) { // looking ahead has stopped: a stop request was seen
            examine(rows, i, false);
            rows.front = std::max(rows.front, i + 1);
        }
        const AnswerRow& row = std::get<AnswerRow>(element);
        outcome = storeRow(object, modemId, row, rows.ahead[i]);
        if (rows.ahead[i].counted && --rows.waiting[row.id] == 0)
            rows.waiting.remove(row.id);
        if (outcome != Outcome::Continue)
            break;
    }
    // Pictures asked for rows that are not reached are dropped: nothing past the checkpoint is stored.
    for (RowAhead& ahead : rows.ahead)
        if (ahead.picture)
            requests_->drop(*std::exchange(ahead.picture, std::nullopt));
    if (outcome != Outcome::DatabaseFailed && !abandoned_)
        Q_EMIT logLine(done);
    return outcome;
}

// Looks up the rows after the current one and asks for the pictures they need, while fewer than the allowed number
// of requests are going. The pictures are asked for in the order of the rows, so that the row whose turn comes
// first is the one served first.
void Thread_loadF::lookAhead(AnswerRows& rows, qsizetype current) {
    while (rows.front < rows.end && rows.front - current < kLookAheadRows && !rows.lookupFailed && !stopSeen()) {
        const auto* row = std::get_if<AnswerRow>(&rows.elements[rows.front]);
        if (!row) {
            ++rows.front;
            continue;
        }
        // An id met again before its first row is stored: what the second finds depends on what the first stores.
        if (rows.waiting.contains(row->id))
            break;
        if (requests_->size() >= parallel_)
            break;
        examine(rows, rows.front, true);
        ++rows.front;
    }
    if (rows.front >= rows.end && !rows.lookupFailed)
        askForNextAnswer(rows.object + 1);
}

void Thread_loadF::examine(AnswerRows& rows, qsizetype index, bool mayRequest) {
    RowAhead& ahead = rows.ahead[index];
    const AnswerRow& row = std::get<AnswerRow>(rows.elements[index]);
    ahead.examined = true;
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("bat"), &row.bat}, std::pair{QStringLiteral("csq"), &row.csq},
          std::pair{QStringLiteral("nsmod"), &row.nsmod}})
        if (!isWholeOrEmpty(*value)) {
            ahead.skipLine = u'«' + name + QStringLiteral("» не целое число: «") + *value + u'»';
            return;
        }
    ahead.time = ReadingTimeText(row.date);
    if (!ahead.time.valid) {
        ahead.skipLine = QStringLiteral("неверное время «") + row.date + u'»';
        return;
    }
    try {
        ahead.stored = lookUp(row.id);
    } catch (const Failure& failure) {
        ahead.lookupFailure = oneLine(failure.text());
        rows.lookupFailed = true;
        return;
    }
    ++rows.waiting[row.id];
    ahead.counted = true;
    ahead.completes = ahead.stored && ahead.stored->readings.isNull() && !row.pok.isEmpty();
    // A reading stored without its picture (the server failed to give it) gets it once the server does.
    ahead.fillsPicture =
        ahead.stored && !ahead.completes && ahead.stored->image.isNull() && !row.img.isEmpty();
    if (mayRequest && ahead.needsWork() && !row.img.isEmpty() && !stopSeen())
        ahead.picture = requests_->start(FormatPictureUrl(baseAddress_, row.img), kPictureLimit);
}

// One at a time, the next object's readings are asked for only at its turn, as they always were.
void Thread_loadF::askForNextAnswer(qsizetype next) {
    if (parallel_ <= 1 || nextAnswer_ || requests_->size() >= parallel_ || stopSeen())
        return;
    if (next >= objects_.size())
        return;
    const QString modemId = trimmed(objects_[next].scanner);
    if (modemId == QStringLiteral("0"))
        return;
    nextAnswer_ = NextAnswer{
        next, requests_->start(FormatReadingsUrl(baseAddress_, modemId, firstDay_, lastDay_), kAnswerLimit)};
}

std::optional<Thread_loadF::StoredReading> Thread_loadF::lookUp(const QString& id) {
    auto unit = database_.lock();
    Statement& lookup = statements_->lookup;
    lookup.bind(0, id);
    lookup.open();
    std::optional<StoredReading> stored;
    if (lookup.fetch())
        stored = StoredReading{lookup.value(0), lookup.value(1).toDateTime(), lookup.value(2)};
    lookup.close();
    return stored;
}

Thread_loadF::Outcome Thread_loadF::storeRow(const Object& object, const QString& modemId, const AnswerRow& row,
                                             RowAhead& ahead) {
    if (!ahead.skipLine.isEmpty()) {
        Q_EMIT logLine(skippedRow(row.id, modemId, ahead.skipLine));
        return Outcome::Continue;
    }
    const ReadingTime& time = ahead.time;
    try {
        if (ahead.lookupFailure)
            throw Failure(*ahead.lookupFailure);
        const std::optional<StoredReading>& stored = ahead.stored;
        const bool completes = ahead.completes;
        const bool fillsPicture = ahead.fillsPicture;
        if (!ahead.needsWork())
            return Outcome::Continue; // a reading stored with a value is never changed
        if (stopSeen()) // checkpoint B
            return Outcome::Stop;
        const Picture picture = row.img.isEmpty() ? Picture{} : fetchPicture(ahead, modemId, row);
        if (picture.interrupted || abandoned_) // nothing past the checkpoint is stored
            return Outcome::Stop;
        auto unit = database_.lock();
        if (fillsPicture) {
            if (picture.bytes.isNull())
                return Outcome::Continue;
            Statement& fill = statements_->fillPicture;
            fill.bind(0, picture.bytes);
            fill.bind(1, row.id);
            fill.execute();
            database_.commitRetaining();
            unit.unlock();
            Q_EMIT logLine(QStringLiteral(" Снимок на дату  ") + dateTimeText(stored->at) +
                           QStringLiteral(" получен"));
        } else if (completes) {
            const QVariant image = row.img.isEmpty() ? stored->image : picture.bytes;
            statements_->complete.execute([&](const NamedParameter& parameter) -> QVariant {
                const QString field = parameter.field.toUpper();
                if (field == QStringLiteral("IMAGE"))
                    return image;
                if (field == QStringLiteral("ID_IMAG"))
                    return row.id;
                return orNull(row.pok); // RECOGNITION and READINGS
            });
            database_.commitRetaining();
            unit.unlock();
            Q_EMIT logLine(QStringLiteral(" Показания на дату  ") + dateTimeText(stored->at) +
                           QStringLiteral(" Обновлены"));
        } else {
            const QHash<QString, QVariant> values = {
                {QStringLiteral("ID_OBJECT"), trimmed(object.id)},
                {QStringLiteral("DAT"), time.value},
                {QStringLiteral("ID_IMAG"), row.id},
                {QStringLiteral("IMAGE"), picture.bytes},
                {QStringLiteral("RECOGNITION"), orNull(row.pok)},
                {QStringLiteral("READINGS"), orNull(row.pok)},
                {QStringLiteral("BAT"), orNull(row.bat.trimmed())},
                {QStringLiteral("CSQ"), orNull(row.csq.trimmed())},
                {QStringLiteral("NSMOD"), orNull(row.nsmod.trimmed())},
                {QStringLiteral("ERROR"), row.er},
            };
            statements_->insert.execute(
                [&](const NamedParameter& parameter) { return values.value(parameter.field.toUpper()); });
            database_.commitRetaining();
            unit.unlock();
            Q_EMIT logLine(QStringLiteral(" Данные ") + modemId + QStringLiteral(" на время: ") + time.text +
                           QStringLiteral("  получены"));
        }
        return Outcome::Continue;
    } catch (const Failure& failure) {
        // The statement failed before its commit: nothing of this row is stored. The run ends here.
        Q_EMIT logLine(QStringLiteral("Ошибка базы данных при записи показаний №") + modemId + QStringLiteral(": ") +
                       oneLine(failure.text()));
        return Outcome::DatabaseFailed;
    }
}

Thread_loadF::Picture Thread_loadF::fetchPicture(RowAhead& ahead, const QString& modemId, const AnswerRow& row) {
    const HttpRequestSet::Id request = ahead.picture ? *std::exchange(ahead.picture, std::nullopt)
                                                     : requests_->start(FormatPictureUrl(baseAddress_, row.img),
                                                                        kPictureLimit);
    HttpRequestSet::Result result = requests_->take(request);
    const auto& failure = result.failure;
    if (!failure)
        return Picture{orNull(result.body), false};
    if (failure->kind == HttpFailure::Kind::Interrupted)
        return Picture{{}, true};
    // An error page, a redirect or half a picture is not the picture: the reading is stored without one and
    // gets it on a later run.
    if (!abandoned_)
        Q_EMIT logLine(QStringLiteral(" Снимок ") + row.id + QStringLiteral(" по №") + modemId +
                       QStringLiteral(" на время: ") + ahead.time.text + QStringLiteral(" не получен: ") +
                       failure->describe());
    return Picture{};
}
