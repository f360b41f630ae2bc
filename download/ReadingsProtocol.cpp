#include "download/ReadingsProtocol.h"

#include "base/Failure.h"
#include "base/Trimmed.h"

#include <QIODevice>
#include <QStringList>
#include <QTime>
#include <QXmlStreamReader>

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

AnswerElement readRow(const QXmlStreamAttributes& attributes) {
    QStringList missing;
    for (const QString& name : rowAttributes)
        if (!attributes.hasAttribute(name))
            missing.append(quoted(name));
    const QString id = attributes.value(QStringLiteral("id")).toString();
    if (missing.size() == 1)
        return AnswerBadRow{id, QStringLiteral("нет атрибута ") + missing.constFirst()};
    if (!missing.isEmpty())
        return AnswerBadRow{id, QStringLiteral("нет атрибутов ") + missing.join(QStringLiteral(", "))};

    const QString er = attributes.value(QStringLiteral("er")).toString();
    bool isNumber = false;
    const int flag = er.toInt(&isNumber);
    if (!isNumber)
        return AnswerBadRow{id, QStringLiteral("«er» не целое число: ") + quoted(er)};

    return AnswerRow{id,
                     attributes.value(QStringLiteral("img")).toString(),
                     attributes.value(QStringLiteral("date")).toString(),
                     attributes.value(QStringLiteral("pok")).toString(),
                     attributes.value(QStringLiteral("bat")).toString(),
                     attributes.value(QStringLiteral("csq")).toString(),
                     attributes.value(QStringLiteral("nsmod")).toString(),
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

// The answer's bytes as a device that reads as broken once the interrupt flag is set, so that the reader gives up
// within a small piece of the body, and decodes the body a piece at a time rather than all at once.
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
    return baseAddress + QStringLiteral("range_photo_xml.php?idmodem=") + trimmed(modemId) + QStringLiteral("&bdate=") +
           dayText(firstDay) + QStringLiteral("&edate=") + dayText(lastDay) + QStringLiteral("&order=0");
}

QString FormatPictureUrl(const QString& baseAddress, const QString& img) {
    return baseAddress + img;
}

// One reading of the body from its beginning. Names are taken as written: a prefix is part of the name, as it
// always was, and an undeclared one is no fault.
class ReadingsAnswerReader::Pass final {
public:
    Pass(const QByteArray& body, const std::atomic_bool* interrupt) : device(body, interrupt), xml(&device) {
        xml.setNamespaceProcessing(false);
    }
    InterruptibleBytes device;
    QXmlStreamReader xml;
    bool insideRoot = false;
};

ReadingsAnswerReader::ReadingsAnswerReader(QByteArray body, const std::atomic_bool* interrupt)
    : body_(std::move(body)), interrupt_(interrupt) {
    // A request that failed leaves nothing in the buffer; that is an answer without rows, not a broken one.
    if (body_.isEmpty()) {
        ended_ = true;
        return;
    }
    if (body_.size() > kReadingsAnswerLimit)
        throw Failure(
            QStringLiteral("Ответ сервера показаний больше %1 МБ.").arg(kReadingsAnswerLimit / (1024 * 1024)));

    Pass pass(body_, interrupt_);
    QXmlStreamReader& xml = pass.xml;
    int depth = 0;
    // A device that reads as broken is not the end of the document to the reader: the interrupt is looked at here.
    while (!xml.atEnd() && !(interrupt_ && interrupt_->load())) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth == 1)
                ++childNodeCount_;
            if (++depth > kReadingsAnswerDepthLimit)
                throw Failure(QStringLiteral("Ответ сервера показаний вложен глубже %1 уровней (строка %2).")
                                  .arg(kReadingsAnswerDepthLimit)
                                  .arg(xml.lineNumber()));
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            // Whitespace between elements is no node; any other text and every CDATA section is one.
            if (depth == 1 && (xml.isCDATA() || !xml.isWhitespace()))
                ++childNodeCount_;
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            if (depth == 1)
                ++childNodeCount_;
            break;
        default:
            break;
        }
    }
    if (interrupt_ && interrupt_->load())
        throw Failure(QStringLiteral("Чтение ответа сервера прервано."));
    if (xml.hasError())
        throw Failure(QStringLiteral("Ответ сервера показаний не является правильным XML-документом: %1 (строка %2, "
                                     "позиция %3).")
                          .arg(xml.errorString())
                          .arg(xml.lineNumber())
                          .arg(xml.columnNumber()));
}

ReadingsAnswerReader::~ReadingsAnswerReader() = default;

std::optional<AnswerElement> ReadingsAnswerReader::next() {
    if (ended_)
        return std::nullopt;
    if (!rows_)
        rows_ = std::make_unique<Pass>(body_, interrupt_);
    QXmlStreamReader& xml = rows_->xml;
    // The body was read through once already: the only failure left is an interrupt, which ends the rows.
    while (!xml.atEnd() && !(interrupt_ && interrupt_->load())) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (!rows_->insideRoot) {
            rows_->insideRoot = true;
            continue;
        }
        const QStringView name = xml.qualifiedName();
        if (name == u"error") {
            AnswerError error{xml.attributes().value(QStringLiteral("text")).toString()};
            ended_ = true;
            rows_.reset();
            return error;
        }
        std::optional<AnswerElement> element;
        if (name == u"row")
            element = readRow(xml.attributes());
        // Past the element's inside, which was found no deeper than the limit.
        for (int depth = 1; depth > 0 && !xml.atEnd() && !(interrupt_ && interrupt_->load());) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                ++depth;
            else if (token == QXmlStreamReader::EndElement)
                --depth;
        }
        if (element)
            return element;
    }
    ended_ = true;
    rows_.reset();
    return std::nullopt;
}

ReadingsAnswer ParseReadingsAnswer(const QByteArray& body, const std::atomic_bool* interrupt) {
    ReadingsAnswerReader reader(body, interrupt);
    ReadingsAnswer answer;
    answer.childNodeCount = reader.childNodeCount();
    while (std::optional<AnswerElement> element = reader.next())
        answer.elements.append(std::move(*element));
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
