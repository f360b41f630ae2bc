#include "download/Thread_loadf.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/Trimmed.h"
#include "base/IniFile.h"
#include "db/Database.h"
#include "db/SqlParameters.h"
#include "db/Statement.h"
#include "download/ReadingsProtocol.h"

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

Thread_loadF::Thread_loadF(Database& database, const IniFile& settings, int depth, QDate today, QList<Object> objects)
    : database_(database),
      baseAddress_(settings.readString(QStringLiteral("Edit_link"), QStringLiteral("link"), QStringLiteral("0"))),
      timeouts_{settingSeconds(settings, QStringLiteral("connect_timeout"), HttpTimeouts{}.connectSeconds),
                settingSeconds(settings, QStringLiteral("stall_timeout"), HttpTimeouts{}.stallSeconds)},
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
    // A stop request gives up the transfer in flight: the run then ends at the checkpoint it was heading for.
    HttpClient http(&stopRequested_, timeouts_);
    try {
        auto unit = database_.lock();
        statements_ = std::make_unique<Statements>(database_);
    } catch (const Failure& failure) {
        Q_EMIT logLine(QStringLiteral("Ошибка базы данных: ") + oneLine(failure.text()));
        Q_EMIT logLine(QStringLiteral("Обновление завершено"));
        Q_EMIT runFinished();
        return;
    }
    for (const Object& object : objects_) {
        Q_EMIT objectDone();
        if (stopSeen()) // checkpoint A
            break;
        const Outcome outcome = loadObject(http, object);
        if (outcome != Outcome::Continue)
            break;
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

Thread_loadF::Outcome Thread_loadF::loadObject(HttpClient& http, const Object& object) {
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
        const auto failure =
            http.get(FormatReadingsUrl(baseAddress_, modemId, firstDay_, lastDay_), body, kAnswerLimit);
        if (failure && failure->kind == HttpFailure::Kind::Interrupted)
            return stopped();
        if (failure) {
            // The request is not repeated: the object stays without new rows this run.
            Q_EMIT logLine(failure->kind == HttpFailure::Kind::TooLarge
                               ? QStringLiteral("Ответ сервера по №") + modemId +
                                     QStringLiteral(" отклонён: ") + failure->describe()
                               : QStringLiteral("Нет ответа сервера по №") + modemId + QStringLiteral(": ") +
                                     failure->describe());
            body.clear();
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
    int position = 0;
    Outcome outcome = Outcome::Continue;
    for (const AnswerElement& element : answer.elements) {
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
        outcome = storeRow(http, object, modemId, std::get<AnswerRow>(element));
        if (outcome != Outcome::Continue)
            break;
    }
    if (outcome != Outcome::DatabaseFailed && !abandoned_)
        Q_EMIT logLine(done);
    return outcome;
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

Thread_loadF::Outcome Thread_loadF::storeRow(HttpClient& http, const Object& object, const QString& modemId,
                                             const AnswerRow& row) {
    const ReadingTime time = ReadingTimeText(row.date);
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("bat"), &row.bat}, std::pair{QStringLiteral("csq"), &row.csq},
          std::pair{QStringLiteral("nsmod"), &row.nsmod}})
        if (!isWholeOrEmpty(*value)) {
            Q_EMIT logLine(
                skippedRow(row.id, modemId, u'«' + name + QStringLiteral("» не целое число: «") + *value + u'»'));
            return Outcome::Continue;
        }
    if (!time.valid) {
        Q_EMIT logLine(skippedRow(row.id, modemId, QStringLiteral("неверное время «") + row.date + u'»'));
        return Outcome::Continue;
    }
    try {
        const std::optional<StoredReading> stored = lookUp(row.id);
        const bool completes = stored && stored->readings.isNull() && !row.pok.isEmpty();
        // A reading stored without its picture (the server failed to give it) gets it once the server does.
        const bool fillsPicture = stored && !completes && stored->image.isNull() && !row.img.isEmpty();
        if (stored && !completes && !fillsPicture)
            return Outcome::Continue; // a reading stored with a value is never changed
        if (stopSeen()) // checkpoint B
            return Outcome::Stop;
        const Picture picture = row.img.isEmpty() ? Picture{} : fetchPicture(http, modemId, row, time.text);
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

Thread_loadF::Picture Thread_loadF::fetchPicture(HttpClient& http, const QString& modemId, const AnswerRow& row,
                                                 const QString& timeText) {
    QByteArray bytes;
    const auto failure = http.get(FormatPictureUrl(baseAddress_, row.img), bytes, kPictureLimit);
    if (!failure)
        return Picture{orNull(bytes), false};
    if (failure->kind == HttpFailure::Kind::Interrupted)
        return Picture{{}, true};
    // An error page, a redirect or half a picture is not the picture: the reading is stored without one and
    // gets it on a later run.
    if (!abandoned_)
        Q_EMIT logLine(QStringLiteral(" Снимок ") + row.id + QStringLiteral(" по №") + modemId +
                       QStringLiteral(" на время: ") + timeText + QStringLiteral(" не получен: ") +
                       failure->describe());
    return Picture{};
}
