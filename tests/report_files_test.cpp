#include "base/Failure.h"
#include "base/Trimmed.h"
#include "reports/ReportFiles.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

class ReportFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path(const QString& name) const { return dir_.filePath(name); }

    static QByteArray bytesOf(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QStringList filesInFolder() const { return QDir(dir_.path()).entryList(QDir::Files); }

    QTemporaryDir dir_;
    PresetFileDialogs dialogs_;
};

TEST_F(ReportFilesTest, TextFileIsWindows1251WithCrLfAfterEveryLineAndNoByteOrderMark) {
    const struct {
        const char* name;
        QStringList lines;
        QByteArray bytes;
    } cases[] = {
        {"no lines", {}, QByteArray()},
        {"one empty line", {QString()}, "\r\n"},
        {"Cyrillic, scattered letters and trailing blanks",
         {u"Ёж №5  "_s, u"Абонент: Иванов,  ул. Мира"_s},
         "\xA8\xE6 \xB9"
         "5  \r\n\xC0\xE1\xEE\xED\xE5\xED\xF2: \xC8\xE2\xE0\xED\xEE\xE2,  \xF3\xEB. \xCC\xE8\xF0\xE0\r\n"},
        {"an empty line between", {u"a"_s, QString(), u"b"_s}, "a\r\n\r\nb\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(u"Отчет.txt"_s);
        // A longer earlier report under the same name is replaced whole, without a question.
        QFile earlier(file);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write(QByteArray(500, 'x'));
        earlier.close();
        dialogs_.names = {file};

        EXPECT_TRUE(saveTextReport(dialogs_, c.lines));

        EXPECT_EQ(bytesOf(file), c.bytes);
    }
    EXPECT_EQ(dialogs_.calls.last(), (SaveDialogCall{u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s}));
}

TEST_F(ReportFilesTest, CancelledDialogWritesNothing) {
    EXPECT_FALSE(saveTextReport(dialogs_, {u"строка"_s}));
    EXPECT_FALSE(saveXmlReport(dialogs_, {{u"row"_s, {{u"a"_s, u"1"_s}}}}));

    EXPECT_EQ(dialogs_.calls, (QList<SaveDialogCall>{{u"Файлы TXT|*.txt"_s, u"Отчет"_s, u".txt"_s},
                                                     {u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s}}));
    EXPECT_TRUE(filesInFolder().isEmpty());
}

TEST_F(ReportFilesTest, TextThatWindows1251CannotHoldIsRefusedBeforeAnythingIsWritten) {
    const struct {
        QString line;
        QString named;
    } cases[] = {
        {u"Статус: ✓ принят"_s, u"«✓» (U+2713)"_s},
        {u"Адрес: 😀"_s, u"«😀» (U+1F600)"_s}, // a character beyond the basic plane is named whole
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        dialogs_.names = {path(u"Отчет.txt"_s)};
        try {
            saveTextReport(dialogs_, {u"Показания: 12,5"_s, c.line});
            FAIL() << "the line was written";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().startsWith(u"Строка 2 "_s)) << failure.what();
            EXPECT_TRUE(failure.text().contains(c.named)) << failure.what();
        }
    }
    EXPECT_TRUE(dialogs_.calls.isEmpty());
    EXPECT_TRUE(filesInFolder().isEmpty());
}

struct ReadElement {
    QString name;
    QList<std::pair<QString, QString>> attributes;
    friend bool operator==(const ReadElement&, const ReadElement&) = default;
};

struct ReadDocument {
    QString version;
    QString encoding;
    QString root;
    QList<ReadElement> children;
    bool childrenAreEmpty = true;
};

ReadDocument readBack(const QByteArray& bytes) {
    ReadDocument document;
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartDocument()) {
            document.version = reader.documentVersion().toString();
            document.encoding = reader.documentEncoding().toString();
        } else if (reader.isStartElement()) {
            ++depth;
            if (depth == 1) {
                document.root = reader.name().toString();
                continue;
            }
            document.childrenAreEmpty = document.childrenAreEmpty && depth == 2;
            ReadElement element{reader.name().toString(), {}};
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                element.attributes.append({attribute.name().toString(), attribute.value().toString()});
            document.children.append(element);
        } else if (reader.isEndElement()) {
            --depth;
        } else if (reader.isCharacters() && depth > 1) {
            document.childrenAreEmpty = false;
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return document;
}

TEST_F(ReportFilesTest, XmlFileHoldsTheElementsUnderUr1WithTheirAttributesInOrder) {
    const QList<XmlElement> elements = {
        {u"inf_abo"_s, {{u"FIO"_s, u"Иванов & \"Сын\" <ООО> 'Ъ'"_s}}},
        // More attributes than a hash keeps in order by chance, their names out of alphabetical order.
        {u"row"_s,
         {{u"DAT"_s, u"11.11.2014 23:59:59"_s},
          {u"READINGS"_s, u"12,5"_s},
          {u"BAT"_s, u"95"_s},
          {u"CSQ"_s, QString()},
          {u"NSMOD"_s, u"  GSM\t2G\r\nLTE  "_s},
          {u"ADDRESS"_s, u"ул. Мира, 5 😀"_s}}},
        {u"rasxod"_s, {}},
        {u"row"_s, {{u"DAT"_s, u"01.01.2014"_s}}},
    };
    const QString file = path(u"Отчет.xml"_s);
    dialogs_.names = {file};

    EXPECT_TRUE(saveXmlReport(dialogs_, elements));

    const QByteArray bytes = bytesOf(file);
    EXPECT_TRUE(bytes.startsWith(R"(<?xml version="1.0" encoding="UTF-8"?>)")) << bytes.left(60).toStdString();
    EXPECT_TRUE(bytes.contains(u"Иванов"_s.toUtf8())); // the text itself in UTF-8, not character references
    const ReadDocument document = readBack(bytes);
    EXPECT_EQ(document.version, u"1.0"_s);
    EXPECT_EQ(document.encoding, u"UTF-8"_s);
    EXPECT_EQ(document.root, u"UR_1"_s);
    EXPECT_TRUE(document.childrenAreEmpty);
    QList<ReadElement> expected;
    for (const XmlElement& element : elements) {
        ReadElement e{element.name, {}};
        for (const XmlAttribute& attribute : element.attributes)
            e.attributes.append({attribute.name, attribute.value});
        expected.append(e);
    }
    EXPECT_EQ(document.children, expected);
    EXPECT_EQ(dialogs_.calls, (QList<SaveDialogCall>{{u"Файлы XML|*.xml"_s, u"Отчет"_s, u".xml"_s}}));
}

TEST_F(ReportFilesTest, XmlFileWithoutElementsIsTheBareRoot) {
    const QString file = path(u"Отчет.xml"_s);
    dialogs_.names = {file};

    EXPECT_TRUE(saveXmlReport(dialogs_, {}));

    const ReadDocument document = readBack(bytesOf(file));
    EXPECT_EQ(document.root, u"UR_1"_s);
    EXPECT_TRUE(document.children.isEmpty());
}

TEST_F(ReportFilesTest, XmlValueWithACharacterXmlCannotCarryIsRefused) {
    dialogs_.names = {path(u"Отчет.xml"_s)};
    try {
        saveXmlReport(dialogs_, {{u"row"_s, {{u"fio"_s, u"ok"_s}}}, {u"row"_s, {{u"fio"_s, u"a\u0001b"_s}}}});
        FAIL() << "the value was written";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.text().contains(u"«fio» элемента 2"_s)) << failure.what();
        EXPECT_TRUE(failure.text().contains(u"U+0001"_s)) << failure.what();
    }
    EXPECT_TRUE(dialogs_.calls.isEmpty());
    EXPECT_TRUE(filesInFolder().isEmpty());
}

TEST_F(ReportFilesTest, FileThatCannotBeWrittenFailsNamingTheFileAndTheReason) {
    // A folder that is a file cannot be written into, whoever runs the test.
    QFile blocker(path(u"занято"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString file = path(u"занято/Отчет.txt"_s);
    const struct {
        const char* name;
        std::function<bool()> save;
    } cases[] = {
        {"text", [this] { return saveTextReport(dialogs_, {u"строка"_s}); }},
        {"xml",
         [this] {
             return saveXmlReport(dialogs_, {XmlElement{u"row"_s, {}}});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.names = {file};
        try {
            c.save();
            FAIL() << "the file was written";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().contains(file)) << failure.what();
            // The file system's reason follows the name.
            EXPECT_GT(failure.text().size(), failure.text().indexOf(file) + file.size() + 2) << failure.what();
        }
    }
}

TEST(Trimmed, DropsBlanksAndControlCharactersAtBothEndsOnly) {
    const struct {
        QString text;
        QString trimmed;
    } cases[] = {
        {QString(), QString()},
        {u" \t\r\n "_s, QString()},
        {u"  Иванов  И.\tИ. \r\n"_s, u"Иванов  И.\tИ."_s},
        {u"\u0001\u001F12\u0000"_s, u"12"_s}, // the literal keeps its closing NUL
        // Only characters up to the blank go: a no-break space is text.
        {u"\u00A0x\u00A0"_s, u"\u00A0x\u00A0"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trimmed(c.text), c.trimmed) << c.text.toStdString();
}

} // namespace
} // namespace vornic
