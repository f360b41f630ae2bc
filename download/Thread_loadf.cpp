#include "download/Thread_loadf.h"

#include "base/DateText.h"
#include "base/Failure.h"
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

// Trimmed of leading and trailing blanks and control characters.
QString trimmed(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] <= u' ')
        ++first;
    while (last > first && text[last - 1] <= u' ')
        --last;
    return text.mid(first, last - first);
}

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

// The log line of an answer row that is passed over.
QString skippedRow(const QString& id, const QString& modemId, const QString& problem) {
    return QStringLiteral("Строка «") + id + QStringLiteral("» ответа по №") + modemId +
           QStringLiteral(" пропущена: ") + problem;
}

} // namespace

struct Thread_loadF::Statements {
    explicit Statements(Database& database)
        : lookup(database, kLookup), insert(database, kInsert), complete(database, kComplete) {}
    Statement lookup;
    NamedStatement insert;
    NamedStatement complete;
};

Thread_loadF::Thread_loadF(Database& database, const IniFile& settings, int depth, QDate today, QList<Object> objects)
    : database_(database),
      baseAddress_(settings.readString(QStringLiteral("Edit_link"), QStringLiteral("link"), QStringLiteral("0"))),
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
    HttpClient http(&abandoned_);
    try {
        auto unit = database_.lock();
        statements_ = std::make_unique<Statements>(database_);
    } catch (const Failure& failure) {
        Q_EMIT logLine(QStringLiteral("Ошибка базы данных: ") + failure.text());
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
    Q_EMIT logLine(QStringLiteral("Обновление завершено"));
    Q_EMIT runFinished();
}

Thread_loadF::Outcome Thread_loadF::loadObject(HttpClient& http, const Object& object) {
    const QString modemId = trimmed(object.scanner);
    const QString done = QStringLiteral("Данные по №") + modemId + QStringLiteral(" обновлены и актуальны ");
    QByteArray body;
    if (modemId != QStringLiteral("0")) {
        const auto failure = http.get(FormatReadingsUrl(baseAddress_, modemId, firstDay_, lastDay_), body);
        if (failure && failure->kind == HttpFailure::Kind::Aborted)
            return Outcome::Stop;
        if (failure) {
            // The request is not repeated: the object stays without new rows this run.
            Q_EMIT logLine(QStringLiteral("Нет ответа сервера по №") + modemId + QStringLiteral(": ") +
                           (failure->kind == HttpFailure::Kind::Protocol
                                ? QStringLiteral("HTTP %1 %2").arg(failure->code).arg(failure->message)
                                : QStringLiteral("ошибка сокета %1 (%2)").arg(failure->code).arg(failure->message)));
            body.clear();
        }
    }
    ReadingsAnswer answer;
    try {
        answer = ParseReadingsAnswer(body);
    } catch (const Failure& failure) {
        Q_EMIT logLine(QStringLiteral("Ответ сервера по №") + modemId + QStringLiteral(" не прочитан: ") +
                       failure.text());
        Q_EMIT logLine(done);
        return Outcome::Continue;
    }
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
        bool found = false;
        QVariant storedReadings;
        QDateTime storedAt;
        QVariant storedImage;
        {
            auto unit = database_.lock();
            Statement& lookup = statements_->lookup;
            lookup.bind(0, row.id);
            lookup.open();
            if (lookup.fetch()) {
                found = true;
                storedReadings = lookup.value(0);
                storedAt = lookup.value(1).toDateTime();
                storedImage = lookup.value(2);
            }
            lookup.close();
        }
        if (found && !storedReadings.isNull())
            return Outcome::Continue; // a reading stored with a value is never changed
        if (found && row.pok.isEmpty())
            return Outcome::Continue; // still without a value: there is nothing to complete yet
        if (stopSeen())               // checkpoint B
            return Outcome::Stop;
        bool abandoned = false;
        const QByteArray picture = row.img.isEmpty() ? QByteArray() : fetchPicture(http, row.img, &abandoned);
        if (abandoned || abandoned_) // the program is closing: nothing more is written
            return Outcome::Stop;
        auto unit = database_.lock();
        if (found) {
            const QVariant image = row.img.isEmpty() ? storedImage : orNull(picture);
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
            Q_EMIT logLine(QStringLiteral(" Показания на дату  ") + dateTimeText(storedAt) +
                           QStringLiteral(" Обновлены"));
        } else {
            const QHash<QString, QVariant> values = {
                {QStringLiteral("ID_OBJECT"), trimmed(object.id)},
                {QStringLiteral("DAT"), time.value},
                {QStringLiteral("ID_IMAG"), row.id},
                {QStringLiteral("IMAGE"), orNull(picture)},
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
                       failure.text());
        return Outcome::DatabaseFailed;
    }
}

QByteArray Thread_loadF::fetchPicture(HttpClient& http, const QString& img, bool* abandoned) {
    QByteArray picture;
    const auto failure = http.get(FormatPictureUrl(baseAddress_, img), picture);
    // A failed picture request leaves what had arrived; the reading is stored with it.
    *abandoned = failure && failure->kind == HttpFailure::Kind::Aborted;
    return picture;
}
