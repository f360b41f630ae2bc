#include "base/IniFile.h"

#include "base/Failure.h"
#include "base/Windows1251.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <optional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// Dates follow the Russian regional settings of the workstations the files come from; like the Windows date
// conversion, reading also takes a day or month without its leading zero.
constexpr auto kDateWriteFormat = u"dd.MM.yyyy";
constexpr auto kDateReadFormat = u"d.M.yyyy";

// One line of the file as it lies on disk, so that the lines a write does not touch go back unchanged.
struct Line {
    QByteArray text; // without its line end
    QByteArray end;  // "\r\n", "\n", or empty for a last line without one
};

QList<Line> splitLines(const QByteArray& bytes) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        if (newline < 0) {
            lines.append({bytes.mid(start), {}});
            break;
        }
        const bool crlf = newline > start && bytes.at(newline - 1) == '\r';
        const qsizetype textEnd = crlf ? newline - 1 : newline;
        lines.append({bytes.mid(start, textEnd - start), crlf ? QByteArray("\r\n") : QByteArray("\n")});
        start = newline + 1;
    }
    return lines;
}

// The section name of a "[name]" line, or nothing for any other line. A line whose bracket is never closed is
// not a section, as with the Windows functions.
std::optional<QString> sectionOf(const QByteArray& line) {
    const QString text = windows1251::decode(line).trimmed();
    if (!text.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = text.lastIndexOf(u']');
    if (close < 0)
        return std::nullopt;
    return text.mid(1, close - 1).trimmed();
}

struct Entry {
    QString key;
    QString value;
};

std::optional<Entry> entryOf(const QByteArray& line) {
    const QString text = windows1251::decode(line);
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return Entry{text.left(equals).trimmed(), text.mid(equals + 1).trimmed()};
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isBlank(const QByteArray& line) {
    return line.trimmed().isEmpty();
}

// Where a section and a key lie in the file: the lines [begin, end) of the first section of that name (the
// header included), and the line of the key's first entry in it.
struct Location {
    qsizetype sectionBegin = -1;
    qsizetype sectionEnd = -1;
    qsizetype keyLine = -1;
};

Location locate(const QList<Line>& lines, const QString& section, const QString& key) {
    Location found;
    found.sectionEnd = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = sectionOf(lines.at(i).text);
        if (!name)
            continue;
        if (found.sectionBegin >= 0) {
            found.sectionEnd = i;
            break;
        }
        if (sameName(*name, section))
            found.sectionBegin = i;
    }
    if (found.sectionBegin < 0)
        return found;
    for (qsizetype i = found.sectionBegin + 1; i < found.sectionEnd; ++i) {
        const std::optional<Entry> entry = entryOf(lines.at(i).text);
        if (entry && sameName(entry->key, key)) {
            found.keyLine = i;
            break;
        }
    }
    return found;
}

// The Windows functions drop one pair of matching quotes around a value; files edited by hand rely on it.
QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

std::optional<QString> readValue(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<Line> lines = splitLines(file.readAll());
    const Location location = locate(lines, section.trimmed(), key.trimmed());
    if (location.keyLine < 0)
        return std::nullopt;
    return unquoted(entryOf(lines.at(location.keyLine).text)->value);
}

QByteArray encodeForFile(const QString& text, const QString& path) {
    if (text.contains(u'\n') || text.contains(u'\r'))
        throw Failure(u"Текст с переводом строки нельзя записать в файл настроек %1"_s.arg(path));
    std::optional<QByteArray> bytes = windows1251::encode(text);
    if (!bytes)
        throw Failure(
            u"Текст «%1» нельзя записать в файл настроек %2: символ «%3» не входит в кодировку Windows-1251"_s.arg(
                text, path, windows1251::firstUnencodable(text)));
    return *bytes;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
    return readValue(path_, section, key).value_or(defaultValue);
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> text = readValue(path_, section, key);
    if (!text)
        return defaultValue;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

QDate IniFile::readDate(const QString& section, const QString& key, QDate defaultValue) const {
    const std::optional<QString> text = readValue(path_, section, key);
    if (!text)
        return defaultValue;
    const QDate date = QDate::fromString(text->trimmed(), kDateReadFormat);
    return date.isValid() ? date : defaultValue;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    const QByteArray sectionBytes = encodeForFile(section.trimmed(), path_);
    const QByteArray keyBytes = encodeForFile(key.trimmed(), path_);
    const QByteArray valueBytes = encodeForFile(value, path_);
    const QByteArray entry = keyBytes + '=' + valueBytes;
    const QByteArray crlf("\r\n");

    QList<Line> lines;
    QFile existing(path_);
    if (existing.exists()) {
        // Writing without having read it would throw away every other setting.
        if (!existing.open(QIODevice::ReadOnly))
            throw Failure(u"Не удалось прочитать файл настроек %1"_s.arg(path_));
        lines = splitLines(existing.readAll());
        existing.close();
    }

    const Location location = locate(lines, section.trimmed(), key.trimmed());
    if (location.keyLine >= 0) {
        // The entry keeps its place and the spelling of its key.
        Line& line = lines[location.keyLine];
        const qsizetype equals = line.text.indexOf('=');
        line.text = line.text.left(equals).trimmed() + '=' + valueBytes;
        line.end = crlf;
    } else if (location.sectionBegin >= 0) {
        // After the section's last non-blank line, so that blank lines keep separating it from the next one.
        qsizetype after = location.sectionBegin;
        for (qsizetype i = location.sectionBegin + 1; i < location.sectionEnd; ++i)
            if (!isBlank(lines.at(i).text))
                after = i;
        if (lines.at(after).end.isEmpty())
            lines[after].end = crlf;
        lines.insert(after + 1, {entry, crlf});
    } else {
        if (!lines.isEmpty() && lines.back().end.isEmpty())
            lines.back().end = crlf;
        lines.append({'[' + sectionBytes + ']', crlf});
        lines.append({entry, crlf});
    }

    QByteArray bytes;
    for (const Line& line : std::as_const(lines))
        bytes += line.text + line.end;

    // The new text goes to a temporary file that replaces the old one only when complete.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(u"Не удалось записать файл настроек %1"_s.arg(path_));
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeDate(const QString& section, const QString& key, QDate value) {
    writeString(section, key, value.isValid() ? value.toString(kDateWriteFormat) : QString());
}

} // namespace vornic
