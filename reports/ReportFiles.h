#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QXmlStreamWriter;

namespace vornic {

class FileDialogs;

// The text and XML forms in which the report windows save their results.

struct XmlAttribute {
    QString name;
    QString value;
};

// An element of an XML report: empty, with its attributes in the order the report gives them.
struct XmlElement {
    QString name;
    QList<XmlAttribute> attributes;
};

// The text file's bytes made a slice of lines at a time; textReportBytes below in pieces. A line that Windows-1251
// cannot hold is named by its number in the whole report.
class TextReportBytes final {
public:
    void append(const QStringList& lines);
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    qsizetype lines_ = 0;
};

// The XML file's bytes made a slice of elements at a time; xmlReportBytes below in pieces. An element is named by
// its number in the whole report.
class XmlReportBytes final {
public:
    XmlReportBytes();
    ~XmlReportBytes();
    Q_DISABLE_COPY_MOVE(XmlReportBytes)

    void append(const QList<XmlElement>& elements);
    // The document closed; nothing more can be appended.
    QByteArray finish();

private:
    QByteArray bytes_;
    std::unique_ptr<QXmlStreamWriter> writer_;
    qsizetype elements_ = 0;
};

// The text file of the report's lines: Windows-1251, every line (the last one too) ended by CR LF, no byte-order
// mark; no lines give no bytes. Throws Failure for a line holding a character that Windows-1251 cannot hold: a
// report with a character silently replaced would not be what the database holds.
QByteArray textReportBytes(const QStringList& lines);

// The XML file: UTF-8 with its declaration, the root "UR_1" holding the elements in order. Throws Failure for a
// value holding a character that XML cannot carry.
QByteArray xmlReportBytes(const QList<XmlElement>& elements);

// Writes the bytes to the file, replacing a file of that name without asking. Throws Failure naming the file and
// the file system's reason when it cannot be created or written; a file that was there is then left as it was.
void writeReportFile(const QString& path, const QByteArray& bytes);

// The text and XML writers of the Save action, given the file's bytes: the content is made first, so that a report
// that cannot be written asks for no file name; then the save dialog is offered and the file written when it is
// confirmed. Return false when the operator cancelled the dialog, which writes nothing.
bool saveTextReport(FileDialogs& files, const QStringList& lines);
bool saveXmlReport(FileDialogs& files, const QList<XmlElement>& elements);
// The same, the file's bytes made already (by TextReportBytes, XmlReportBytes).
bool saveTextReportBytes(FileDialogs& files, const QByteArray& bytes);
bool saveXmlReportBytes(FileDialogs& files, const QByteArray& bytes);

} // namespace vornic
