#include "download/ReadingsProtocol.h"

#include "base/Failure.h"
#include "base/Trimmed.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QDomNodeList>
#include <QIODevice>
#include <QXmlStreamReader>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <cstring>

namespace vornic {

namespace {


QString dayText(QDate day) {
    return day.toString(QStringLiteral("dd.MM.yyyy"));
}

const QString rowAttributes[] = {
    QStringLiteral("id"),  QStringLiteral("img"), QStringLiteral("date"),  QStringLiteral("pok"),
    QStringLiteral("bat"), QStringLiteral("csq"), QStringLiteral("nsmod"), QStringLiteral("er"),
};

QString quoted(const QString& text) {
    return u'«' + text + u'»';
}

AnswerElement readRow(const QDomElement& row) {
    QStringList missing;
    for (const QString& name : rowAttributes)
        if (!row.hasAttribute(name))
            missing.append(quoted(name));
    const QString id = row.attribute(QStringLiteral("id"));
    if (missing.size() == 1)
        return AnswerBadRow{id, QStringLiteral("нет атрибута ") + missing.constFirst()};
    if (!missing.isEmpty())
        return AnswerBadRow{id, QStringLiteral("нет атрибутов ") + missing.join(QStringLiteral(", "))};

    const QString er = row.attribute(QStringLiteral("er"));
    bool isNumber = false;
    const int flag = er.toInt(&isNumber);
    if (!isNumber)
        return AnswerBadRow{id, QStringLiteral("«er» не целое число: ") + quoted(er)};

    return AnswerRow{id,
                     row.attribute(QStringLiteral("img")),
                     row.attribute(QStringLiteral("date")),
                     row.attribute(QStringLiteral("pok")),
                     row.attribute(QStringLiteral("bat")),
                     row.attribute(QStringLiteral("csq")),
                     row.attribute(QStringLiteral("nsmod")),
                     flag};
}

// A piece of the "date" text as a number, or -1 unless it is exactly `width` decimal digits: a short or garbled
// "date" must not turn into some other moment.
int datePiece(const QString& piece, qsizetype width) {
    if (piece.size() != width)
        return -1;
    int value = 0;
    for (const QChar c : piece) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// The answer's bytes as a device that reads as broken once the interrupt flag is set, so that the document
// model, which cannot be stopped otherwise, gives up within a small piece of the body.
class InterruptibleBytes final : public QIODevice {
public:
    InterruptibleBytes(const QByteArray& bytes, const std::atomic_bool* interrupt)
        : bytes_(bytes), interrupt_(interrupt) {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return bytes_.size() - position_ + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (interrupt_ && interrupt_->load())
            return -1;
        constexpr qint64 kPiece = 64 * 1024;
        const qint64 count = std::min({maxSize, kPiece, bytes_.size() - position_});
        std::memcpy(data, bytes_.constData() + position_, static_cast<size_t>(count));
        position_ += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray& bytes_;
    const std::atomic_bool* interrupt_;
    qint64 position_ = 0;
};

} // namespace

QString FormatReadingsUrl(const QString& baseAddress, const QString& modemId, QDate firstDay, QDate lastDay) {
    return baseAddress + QStringLiteral("range_photo_xml.php?idmodem=") + trimmed(modemId) +
           QStringLiteral("&bdate=") + dayText(firstDay) + QStringLiteral("&edate=") + dayText(lastDay) +
           QStringLiteral("&order=0");
}

QString FormatPictureUrl(const QString& baseAddress, const QString& img) {
    return baseAddress + img;
}

ReadingsAnswer ParseReadingsAnswer(const QByteArray& body, const std::atomic_bool* interrupt) {
    ReadingsAnswer answer;
    // A request that failed leaves nothing in the buffer; that is an answer without rows, not a broken one.
    if (body.isEmpty())
        return answer;

    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    InterruptibleBytes device(body, interrupt);
    QXmlStreamReader reader(&device);
    const bool parsed = document.setContent(&reader, false, &message, &line, &column);
    if (interrupt && interrupt->load())
        throw Failure(QStringLiteral("Чтение ответа сервера прервано."));
    if (!parsed)
        throw Failure(QStringLiteral("Ответ сервера показаний не является правильным XML-документом: %1 (строка %2, "
                                     "позиция %3).")
                          .arg(message)
                          .arg(line)
                          .arg(column));

    const QDomNodeList children = document.documentElement().childNodes();
    answer.childNodeCount = children.count();
    for (int i = 0; i < answer.childNodeCount; ++i) {
        const QDomNode node = children.item(i);
        // A processing instruction carries its target as node name; only elements are rows or errors.
        if (!node.isElement())
            continue;
        const QDomElement element = node.toElement();
        if (element.tagName() == u"error") {
            answer.elements.append(AnswerError{element.attribute(QStringLiteral("text"))});
            break;
        }
        if (element.tagName() == u"row")
            answer.elements.append(readRow(element));
    }
    return answer;
}

ReadingTime ReadingTimeText(const QString& date) {
    const QString year = date.mid(0, 4);
    const QString month = date.mid(4, 2);
    const QString day = date.mid(6, 2);
    const QString hour = date.mid(8, 2);
    const QString minute = date.mid(10, 2);
    const QString second = date.mid(12, 2);

    ReadingTime time;
    time.text = day + u'.' + month + u'.' + year + u' ' + hour + u':' + minute + u':' + second;

    // QDate takes a negative year as a year before Christ, so a bad year piece is refused before it gets there.
    const int yearNumber = datePiece(year, 4);
    const QDate calendarDay(yearNumber, datePiece(month, 2), datePiece(day, 2));
    const QTime clock(datePiece(hour, 2), datePiece(minute, 2), datePiece(second, 2));
    if (yearNumber > 0 && calendarDay.isValid() && clock.isValid()) {
        time.value = QDateTime(calendarDay, clock);
        time.valid = time.value.isValid();
    }
    return time;
}

} // namespace vornic
