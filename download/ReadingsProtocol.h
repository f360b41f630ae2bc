#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <variant>

namespace vornic {

// The readings request for one scanner and a range of days. The base address is a literal prefix and nothing is
// escaped: the server expects the address exactly as the client has always written it.
QString FormatReadingsUrl(const QString& baseAddress, const QString& modemId, QDate firstDay, QDate lastDay);

// The picture request: the base address followed directly by a row's "img" value.
QString FormatPictureUrl(const QString& baseAddress, const QString& img);

// One "row" of a readings answer, its attributes as text; only "er" is read as a number.
struct AnswerRow {
    QString id, img, date, pok, bat, csq, nsmod;
    int er = 0;
};

// The server has no data for the request; "text" is its message for the operator.
struct AnswerError {
    QString text;
};

// A "row" that cannot be stored: an attribute is missing or "er" is not a whole number. The download logs it and
// goes on with the next row instead of storing half a reading.
struct AnswerBadRow {
    QString id;      // the row's "id", empty when it has none
    QString problem; // what is wrong, in Russian, for the log
};

using AnswerElement = std::variant<AnswerRow, AnswerError, AnswerBadRow>;

// The largest readings answer read, and the deepest nesting in it: rows are children of the root, and nothing
// inside a row is read, so a deeper document is no answer of this server.
inline constexpr qint64 kReadingsAnswerLimit = 32 * 1024 * 1024;
inline constexpr int kReadingsAnswerDepthLimit = 32;

// A readings answer read row by row, in the encoding its XML declaration names, so that only the rows in hand take
// memory. The whole body is read once when the reader is made: a body that is not well-formed XML, larger than the
// limit or nested deeper than the limit is refused as a whole before any row is handed out.
class ReadingsAnswerReader final {
public:
    // An empty body is an answer without child nodes (a failed request leaves the body empty). Throws Failure when
    // the body is refused, and when interrupt is set while the body is read: a long answer then gives up at once.
    explicit ReadingsAnswerReader(QByteArray body, const std::atomic_bool* interrupt = nullptr);
    ~ReadingsAnswerReader();
    Q_DISABLE_COPY_MOVE(ReadingsAnswerReader)

    // Every child node of the root, whatever its kind: it sizes the answer's progress bar.
    int childNodeCount() const { return childNodeCount_; }

    // The next "row" or "error" child of the root in document order; nothing once the answer is read through. An
    // error element is the last one handed out: the answer ends there.
    std::optional<AnswerElement> next();

private:
    class Pass;
    QByteArray body_;
    const std::atomic_bool* interrupt_;
    int childNodeCount_ = 0;
    std::unique_ptr<Pass> rows_;
    bool ended_ = false;
};

struct ReadingsAnswer {
    int childNodeCount = 0; // every child node of the root, whatever its kind: it sizes the answer's progress bar
    QList<AnswerElement> elements;
};

// The whole answer at once, as ReadingsAnswerReader reads it.
ReadingsAnswer ParseReadingsAnswer(const QByteArray& body, const std::atomic_bool* interrupt = nullptr);

// The time of a reading from a row's "date" (YYYYMMDDhhmmss): the text shown in the download log and the value
// stored. valid is false when the pieces do not make a date and time.
struct ReadingTime {
    QString text; // "dd.MM.yyyy hh:mm:ss", pieces beyond the end of a short "date" left empty
    QDateTime value;
    bool valid = false;
};

ReadingTime ReadingTimeText(const QString& date);

} // namespace vornic
