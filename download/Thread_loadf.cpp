#include "download/Thread_loadf.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/IniFile.h"
#include "base/JpegPicture.h"
#include "base/Settings.h"
#include "base/ShownText.h"
#include "base/Trimmed.h"
#include "base/Windows1251.h"
#include "db/ColumnLengths.h"
#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/SqlParameters.h"
#include "db/Statement.h"
#include "download/ReadingsProtocol.h"

#include <QHash>

#include <algorithm>
#include <deque>
#include <utility>

using namespace vornic;

namespace {

// An attribute's value as stored: an empty one is NULL.
QVariant orNull(const QString& value) {
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
    return QStringLiteral("Строка «") + shownText(id) + QStringLiteral("» ответа по №") + modemId +
           QStringLiteral(" пропущена: ") + problem;
}

// Why a text of a row cannot be stored in its column, or nothing. length is the column's, 0 when unknown.
QString textFault(const QString& attribute, const QString& value, int length) {
    const QChar unencodable = windows1251::firstUnencodable(value);
    if (!unencodable.isNull()) {
        // A character beyond the first plane comes as a pair of halves; the log shows it whole.
        const qsizetype at = value.indexOf(unencodable);
        const QString character =
            unencodable.isHighSurrogate() && at + 1 < value.size() ? value.mid(at, 2) : QString(unencodable);
        return u'«' + attribute + QStringLiteral("» содержит знак «") + character +
               QStringLiteral("», который нельзя сохранить в базе данных");
    }
    if (length > 0 && value.size() > length)
        return u'«' + attribute + QStringLiteral("» длиннее %1 знаков: «").arg(length) + shownText(value) + u'»';
    return {};
}

// How far ahead of the row being stored rows are looked up. Rows already stored need no request and cost only their
// look-up; the bound keeps a look-up close to its row's turn.
constexpr qsizetype kLookAheadRows = 64;

} // namespace

struct Thread_loadF::Statements {
    explicit Statements(Database& database)
        // The stored reading is looked up by exactly the received id, an indexed look-up; an error page or half a
        // picture stored by an older program is fetched again. A reading stored without its picture gets it on a
        // later run, and nothing else of the row changes.
        : lookup(database, ReadingsTable::kLookup), insert(database, ReadingsTable::kDownloadInsert),
          complete(database, ReadingsTable::kDownloadComplete), fillPicture(database, ReadingsTable::kFillPicture),
          lengths(textColumnLengths(database, ReadingsTable::kTable)) {}
    Statement lookup;
    NamedStatement insert;
    NamedStatement complete;
    Statement fillPicture;
    QHash<QString, int> lengths; // of the text columns a row's values go into
};

struct Thread_loadF::StoredReading {
    QVariant readings;
    QDateTime at;
    QVariant image;            // the stored picture's reference, null when the row has none
    bool wholePicture = false; // the stored picture is a whole JPEG stream
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

// The elements of one answer between the one being stored and the ones looked at ahead. They are read from the
// answer as they are needed and let go once stored, so that a long answer never lies in memory as rows.
struct Thread_loadF::AnswerRows {
    struct Entry {
        AnswerElement element;
        RowAhead ahead;
    };

    qsizetype object; // the index of the object answered
    ReadingsAnswerReader& reader;
    std::deque<Entry> entries; // a deque keeps references to its entries while it grows at the back
    qsizetype base = 0;        // the index of the first entry held
    bool readThrough = false;
    qsizetype front = 0; // the first element not yet looked at
    bool lookupFailed = false;
    QHash<QString, int> waiting; // ids of rows looked at and not yet stored

    AnswerRows(qsizetype answered, ReadingsAnswerReader& answer) : object(answered), reader(answer) {}

    // Whether the answer has an element with this index; reads on as far as that.
    bool has(qsizetype index) {
        while (!readThrough && base + static_cast<qsizetype>(entries.size()) <= index) {
            if (std::optional<AnswerElement> element = reader.next())
                entries.push_back({std::move(*element), {}});
            else
                readThrough = true;
        }
        return index >= base && index < base + static_cast<qsizetype>(entries.size());
    }
    Entry& at(qsizetype index) { return entries[static_cast<size_t>(index - base)]; }
    // The element is stored: nothing of it is needed any more.
    void release(qsizetype index) {
        while (!entries.empty() && base <= index) {
            entries.pop_front();
            ++base;
        }
    }
};

// What became of an object's answer, for its closing line.
struct Thread_loadF::ObjectTally {
    bool answerFailed = false; // refused, unanswered or unreadable: nothing of it was stored
    int skippedRows = 0;
    int missingPictures = 0;
    bool databaseFailed = false; // the run ends at a row the database could not store
};

Thread_loadF::Thread_loadF(Database& database, const IniFile& settings, int depth, QDate today, QList<Object> objects)
    : database_(database), baseAddress_(readSetting(settings, settings::serverAddress())),
      timeouts_{readSetting(settings, settings::connectTimeout()), readSetting(settings, settings::stallTimeout()),
                readSetting(settings, settings::requestTimeout())},
      parallel_(readSetting(settings, settings::parallelRequests())), firstDay_(today.addDays(-(depth - 1))),
      lastDay_(today), objects_(std::move(objects)) {
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

QString Thread_loadF::closingLine(const QString& modemId, const ObjectTally& tally) {
    const QString lead = QStringLiteral("Данные по №") + modemId;
    if (tally.answerFailed)
        return lead + QStringLiteral(" не обновлены");
    QStringList missing;
    if (tally.skippedRows > 0)
        missing.append(QStringLiteral("пропущено строк: %1").arg(tally.skippedRows));
    if (tally.missingPictures > 0)
        missing.append(QStringLiteral("не получено снимков: %1").arg(tally.missingPictures));
    if (tally.databaseFailed)
        missing.append(QStringLiteral("запись прервана ошибкой базы данных"));
    if (!missing.isEmpty())
        return lead + QStringLiteral(" обновлены не полностью: ") + missing.join(QStringLiteral(", "));
    return lead + QStringLiteral(" обновлены и актуальны ");
}

Thread_loadF::Outcome Thread_loadF::loadObject(qsizetype index) {
    const Object& object = objects_[index];
    const QString modemId = trimmed(object.scanner);
    ObjectTally tally;
    // A stop during the request or the parse ends the run after this object's line, as a stop at a row would.
    const auto stopped = [&] {
        if (!abandoned_)
            Q_EMIT logLine(closingLine(modemId, tally));
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
                               ? QStringLiteral("Ответ сервера по №") + modemId + QStringLiteral(" отклонён: ") +
                                     failure->describe()
                               : QStringLiteral("Нет ответа сервера по №") + modemId + QStringLiteral(": ") +
                                     failure->describe());
            tally.answerFailed = true;
        } else {
            body = std::move(answer.body);
        }
    }
    std::optional<ReadingsAnswerReader> reader;
    try {
        reader.emplace(std::move(body), &stopRequested_);
    } catch (const Failure& failure) {
        if (stopSeen())
            return stopped();
        Q_EMIT logLine(QStringLiteral("Ответ сервера по №") + modemId + QStringLiteral(" не прочитан: ") +
                       failure.text());
        tally.answerFailed = true;
        Q_EMIT logLine(closingLine(modemId, tally));
        return Outcome::Continue;
    }
    const int maximum = reader->childNodeCount();
    Q_EMIT answerProgressMaximum(maximum);
    Q_EMIT answerProgressPosition(0);
    // The bar moves by a thousandth at most: a long answer must not flood the window with positions it cannot show.
    const int step = std::max(1, maximum / 1000);
    AnswerRows rows(index, *reader);
    lookAhead(rows, 0);
    int position = 0;
    Outcome outcome = Outcome::Continue;
    for (qsizetype i = 0; outcome == Outcome::Continue && rows.has(i); rows.release(i), ++i) {
        const AnswerElement& element = rows.at(i).element;
        if (++position % step == 0)
            Q_EMIT answerProgressPosition(position);
        if (const auto* error = std::get_if<AnswerError>(&element)) {
            Q_EMIT logLine(QStringLiteral("Данные по №") + modemId + QStringLiteral(" контроллера не найдены ") +
                           error->text);
            break;
        }
        if (const auto* bad = std::get_if<AnswerBadRow>(&element)) {
            Q_EMIT logLine(skippedRow(bad->id, modemId, bad->problem));
            ++tally.skippedRows;
            continue;
        }
        requests_->advance();
        lookAhead(rows, i);
        RowAhead& ahead = rows.at(i).ahead;
        if (!ahead.examined) { // looking ahead has stopped: a stop request was seen
            examine(rows, i, false);
            rows.front = std::max(rows.front, i + 1);
        }
        const AnswerRow& row = std::get<AnswerRow>(element);
        outcome = storeRow(object, modemId, row, ahead, tally);
        if (ahead.counted && --rows.waiting[row.id] == 0)
            rows.waiting.remove(row.id);
    }
    if (position % step != 0)
        Q_EMIT answerProgressPosition(position);
    // Pictures asked for rows that are not reached are dropped: nothing past the checkpoint is stored.
    for (AnswerRows::Entry& entry : rows.entries)
        if (entry.ahead.picture)
            requests_->drop(*std::exchange(entry.ahead.picture, std::nullopt));
    tally.databaseFailed = outcome == Outcome::DatabaseFailed;
    if (!abandoned_)
        Q_EMIT logLine(closingLine(modemId, tally));
    return outcome;
}

// Looks up the rows after the current one and asks for the pictures they need, while fewer than the allowed number
// of requests are going. The pictures are asked for in the order of the rows, so that the row whose turn comes
// first is the one served first.
void Thread_loadF::lookAhead(AnswerRows& rows, qsizetype current) {
    bool answerEnds = false; // every element up to the answer's end or its error element has been looked at
    while (rows.front - current < kLookAheadRows && !rows.lookupFailed && !stopSeen()) {
        if (!rows.has(rows.front) || std::holds_alternative<AnswerError>(rows.at(rows.front).element)) {
            answerEnds = true;
            break;
        }
        const auto* row = std::get_if<AnswerRow>(&rows.at(rows.front).element);
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
    if (answerEnds && !rows.lookupFailed)
        askForNextAnswer(rows.object + 1);
}

void Thread_loadF::examine(AnswerRows& rows, qsizetype index, bool mayRequest) {
    RowAhead& ahead = rows.at(index).ahead;
    const AnswerRow& row = std::get<AnswerRow>(rows.at(index).element);
    ahead.examined = true;
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("bat"), &row.bat}, std::pair{QStringLiteral("csq"), &row.csq},
          std::pair{QStringLiteral("nsmod"), &row.nsmod}})
        if (!isWholeOrEmpty(*value)) {
            ahead.skipLine = u'«' + name + QStringLiteral("» не целое число: «") + shownText(*value) + u'»';
            return;
        }
    // The row's texts must fit their columns: one that does not is passed over, and the run goes on.
    for (const auto& [name, value, column] : {std::tuple{QStringLiteral("id"), &row.id, ReadingsTable::kPictureId},
                                              std::tuple{QStringLiteral("pok"), &row.pok, ReadingsTable::kReadings},
                                              std::tuple{QStringLiteral("pok"), &row.pok, ReadingsTable::kRecognition}})
        if (const QString fault = textFault(name, *value, statements_->lengths.value(column)); !fault.isEmpty()) {
            ahead.skipLine = fault;
            return;
        }
    ahead.time = ReadingTimeText(row.date);
    if (!ahead.time.valid) {
        ahead.skipLine = QStringLiteral("неверное время «") + shownText(row.date) + u'»';
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
    // A reading stored without its picture (the server failed to give it), or with something that is no picture,
    // gets it once the server does.
    ahead.fillsPicture = ahead.stored && !ahead.completes && !ahead.stored->wholePicture && !row.img.isEmpty();
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
    nextAnswer_ =
        NextAnswer{next, requests_->start(FormatReadingsUrl(baseAddress_, modemId, firstDay_, lastDay_), kAnswerLimit)};
}

std::optional<Thread_loadF::StoredReading> Thread_loadF::lookUp(const QString& id) {
    auto unit = database_.lock();
    Statement& lookup = statements_->lookup;
    lookup.bind(0, id);
    lookup.open();
    std::optional<StoredReading> stored;
    if (lookup.fetch())
        stored =
            StoredReading{lookup.value(0), lookup.value(1).toDateTime(), lookup.value(2), lookup.value(3).toInt() == 1};
    lookup.close();
    return stored;
}

Thread_loadF::Outcome Thread_loadF::storeRow(const Object& object, const QString& modemId, const AnswerRow& row,
                                             RowAhead& ahead, ObjectTally& tally) {
    if (!ahead.skipLine.isEmpty()) {
        Q_EMIT logLine(skippedRow(row.id, modemId, ahead.skipLine));
        ++tally.skippedRows;
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
        if (stopSeen())               // checkpoint B
            return Outcome::Stop;
        const Picture picture = row.img.isEmpty() ? Picture{} : fetchPicture(ahead, modemId, row);
        if (picture.interrupted || abandoned_) // nothing past the checkpoint is stored
            return Outcome::Stop;
        if (!row.img.isEmpty() && picture.bytes.isNull())
            ++tally.missingPictures;
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
            Q_EMIT logLine(QStringLiteral(" Снимок на дату  ") + dateTimeText(stored->at) + QStringLiteral(" получен"));
        } else if (completes) {
            const QVariant image = row.img.isEmpty() ? stored->image : picture.bytes;
            statements_->complete.execute([&](const NamedParameter& parameter) -> QVariant {
                const QString field = parameter.field.toUpper();
                if (field == ReadingsTable::kPicture)
                    return image;
                if (field == ReadingsTable::kPictureId)
                    return row.id;
                return orNull(row.pok); // RECOGNITION and READINGS
            });
            database_.commitRetaining();
            unit.unlock();
            Q_EMIT logLine(QStringLiteral(" Показания на дату  ") + dateTimeText(stored->at) +
                           QStringLiteral(" Обновлены"));
        } else {
            const QHash<QString, QVariant> values = {
                {ObjectsTable::kId, trimmed(object.id)},
                {ReadingsTable::kDate, time.value},
                {ReadingsTable::kPictureId, row.id},
                {ReadingsTable::kPicture, picture.bytes},
                {ReadingsTable::kRecognition, orNull(row.pok)},
                {ReadingsTable::kReadings, orNull(row.pok)},
                {ReadingsTable::kBattery, orNull(row.bat.trimmed())},
                {ReadingsTable::kSignal, orNull(row.csq.trimmed())},
                {ReadingsTable::kNetwork, orNull(row.nsmod.trimmed())},
                {ReadingsTable::kError, row.er},
            };
            statements_->insert.execute(
                [&](const NamedParameter& parameter) { return values.value(parameter.field.toUpper()); });
            database_.commitRetaining();
            unit.unlock();
            Q_EMIT logLine(QStringLiteral(" Данные ") + modemId + QStringLiteral(" на время: ") + time.text +
                           QStringLiteral("  получены"));
        }
        return Outcome::Continue;
    } catch (const DatabaseError& error) {
        // The database refused one of the row's values: the statement is undone, nothing of the row is stored, and
        // the run goes on with the next row.
        if (error.valueRefused()) {
            Q_EMIT logLine(skippedRow(row.id, modemId, error.reason()));
            ++tally.skippedRows;
            return Outcome::Continue;
        }
        return databaseFailed(modemId, error);
    } catch (const Failure& failure) {
        return databaseFailed(modemId, failure);
    }
}

// The statement failed before its commit: nothing of this row is stored. The run ends here.
Thread_loadF::Outcome Thread_loadF::databaseFailed(const QString& modemId, const Failure& failure) {
    Q_EMIT logLine(QStringLiteral("Ошибка базы данных при записи показаний №") + modemId + QStringLiteral(": ") +
                   oneLine(failure.text()));
    return Outcome::DatabaseFailed;
}

Thread_loadF::Picture Thread_loadF::fetchPicture(RowAhead& ahead, const QString& modemId, const AnswerRow& row) {
    const HttpRequestSet::Id request = ahead.picture
                                           ? *std::exchange(ahead.picture, std::nullopt)
                                           : requests_->start(FormatPictureUrl(baseAddress_, row.img), kPictureLimit);
    HttpRequestSet::Result result = requests_->take(request);
    const auto& failure = result.failure;
    if (failure && failure->kind == HttpFailure::Kind::Interrupted)
        return Picture{{}, true};
    // An error page, a redirect or half a picture is not the picture: the reading is stored without one and
    // gets it on a later run.
    QString why;
    if (failure)
        why = failure->describe();
    else if (!looksLikeJpeg(result.body))
        why = QStringLiteral("получено не изображение JPEG (%1 байт)").arg(result.body.size());
    else if (!isWholeJpeg(result.body))
        why = QStringLiteral("изображение JPEG получено не полностью (%1 байт)").arg(result.body.size());
    else
        return Picture{QVariant(result.body), false};
    if (!abandoned_)
        Q_EMIT logLine(QStringLiteral(" Снимок ") + shownText(row.id) + QStringLiteral(" по №") + modemId +
                       QStringLiteral(" на время: ") + ahead.time.text + QStringLiteral(" не получен: ") + why);
    return Picture{};
}
