#include "reports/ReportFiles.h"

#include "base/Failure.h"
#include "base/Services.h"
#include "base/Windows1251.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

QString codePoint(char32_t code) {
    return u"U+%1"_s.arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
}

// The characters XML 1.0 can carry, control characters other than tab and line ends excluded. The stream writer
// would drop any other one silently.
bool isXmlCharacter(char32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

std::optional<char32_t> firstNonXmlCharacter(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // a whole pair is a character beyond the basic plane, which XML carries
            continue;
        }
        if (c.isSurrogate() || !isXmlCharacter(c.unicode()))
            return c.unicode();
    }
    return std::nullopt;
}

// The first character of the line that Windows-1251 cannot hold, a pair of surrogates taken whole.
QString firstUnencodableCharacter(QStringView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        const qsizetype length =
            line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView character = line.sliced(i, length);
        if (!windows1251::encode(character))
            return character.toString();
        i += length - 1;
    }
    return {};
}

} // namespace

void TextReportBytes::append(const QStringList& lines) {
    for (const QString& text : lines) {
        ++lines_;
        const std::optional<QByteArray> line = windows1251::encode(text);
        if (!line) {
            const QString bad = firstUnencodableCharacter(text);
            throw Failure(
                u"Строка %1 отчета содержит символ «%2» (%3), которого нет в кодировке Windows-1251; "
                u"текстовый файл не записан."_s.arg(QString::number(lines_), bad, codePoint(bad.toUcs4().value(0))));
        }
        bytes_ += *line;
        bytes_ += "\r\n";
    }
}

QByteArray textReportBytes(const QStringList& lines) {
    TextReportBytes bytes;
    bytes.append(lines);
    return bytes.bytes();
}

XmlReportBytes::XmlReportBytes() : writer_(std::make_unique<QXmlStreamWriter>(&bytes_)) {
    writer_->writeStartDocument();
    writer_->writeStartElement(u"UR_1"_s);
}

XmlReportBytes::~XmlReportBytes() = default;

void XmlReportBytes::append(const QList<XmlElement>& elements) {
    // The slice is checked whole before any of it is written.
    for (qsizetype i = 0; i < elements.size(); ++i) {
        for (const XmlAttribute& attribute : elements.at(i).attributes) {
            if (const std::optional<char32_t> bad = firstNonXmlCharacter(attribute.value))
                throw Failure(
                    u"Значение «%1» элемента %2 отчета содержит символ %3, недопустимый в XML; "
                    u"файл XML не записан."_s.arg(attribute.name, QString::number(elements_ + i + 1), codePoint(*bad)));
        }
    }
    for (const XmlElement& element : elements) {
        writer_->writeEmptyElement(element.name);
        for (const XmlAttribute& attribute : element.attributes)
            writer_->writeAttribute(attribute.name, attribute.value);
    }
    elements_ += elements.size();
}

QByteArray XmlReportBytes::finish() {
    writer_->writeEndElement();
    writer_->writeEndDocument();
    if (writer_->hasError())
        throw Failure(u"Не удалось составить файл XML отчета."_s);
    return std::exchange(bytes_, {});
}

QByteArray xmlReportBytes(const QList<XmlElement>& elements) {
    XmlReportBytes bytes;
    bytes.append(elements);
    return bytes.finish();
}

void writeReportFile(const QString& path, const QByteArray& bytes) {
    // Written aside and put in place at the end, so that a failed write leaves an earlier report whole. Where no
    // file can be made beside it (a file the operator may write in a folder he may not), it is written in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(u"Не удалось создать файл %1: %2"_s.arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(u"Не удалось записать файл %1: %2"_s.arg(path, file.errorString()));
}

bool saveTextReport(FileDialogs& files, const QStringList& lines) {
    return saveTextReportBytes(files, textReportBytes(lines));
}

bool saveXmlReport(FileDialogs& files, const QList<XmlElement>& elements) {
    return saveXmlReportBytes(files, xmlReportBytes(elements));
}

bool saveTextReportBytes(FileDialogs& files, const QByteArray& bytes) {
    const QString path = files.saveFileName(u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s);
    if (path.isEmpty())
        return false;
    writeReportFile(path, bytes);
    return true;
}

bool saveXmlReportBytes(FileDialogs& files, const QByteArray& bytes) {
    const QString path = files.saveFileName(u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s);
    if (path.isEmpty())
        return false;
    writeReportFile(path, bytes);
    return true;
}

} // namespace vornic
