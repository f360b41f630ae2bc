#include "base/Failure.h"
#include "base/Windows1251.h"
#include "download/ReadingsProtocol.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <variant>

using namespace vornic;

namespace {

// One line per answer element, so that a whole parse result compares as a list of texts.
QString describe(const AnswerElement& element) {
    if (const auto* row = std::get_if<AnswerRow>(&element))
        return QStringLiteral("row ") + row->id;
    if (const auto* error = std::get_if<AnswerError>(&element))
        return QStringLiteral("error ") + error->text;
    const auto& bad = std::get<AnswerBadRow>(element);
    return QStringLiteral("bad ") + bad.id + QStringLiteral(": ") + bad.problem;
}

QStringList describe(const ReadingsAnswer& answer) {
    QStringList lines;
    for (const AnswerElement& element : answer.elements)
        lines.append(describe(element));
    return lines;
}

QString row(const char* id) {
    return QStringLiteral(R"(<row id="%1" img="" date="20180302141505" pok="1" bat="1" csq="1" nsmod="1" er="0"/>)")
        .arg(QString::fromLatin1(id));
}

} // namespace

TEST(ReadingsProtocol, ReadingsUrlIsPlainConcatenationWithTrimmedModemId) {
    const QDate march2(2018, 3, 2);
    const QDate march8(2018, 3, 8);
    const struct {
        QString base, modem;
        QDate first, last;
        QString url;
    } cases[] = {
        {QStringLiteral("http://srv/sc/"), QStringLiteral("860001"), march2, march8,
         QStringLiteral("http://srv/sc/range_photo_xml.php?idmodem=860001&bdate=02.03.2018&edate=08.03.2018&order=0")},
        // blanks and control characters go from both ends, also those QString::trimmed() would keep
        {QStringLiteral("http://srv/"), QStringLiteral(" \t\u0001860001\r\n\u001F "), march2, march8,
         QStringLiteral("http://srv/range_photo_xml.php?idmodem=860001&bdate=02.03.2018&edate=08.03.2018&order=0")},
        // inside the id nothing is trimmed or escaped; a no-break space is not a blank
        {QStringLiteral("http://srv/"), QStringLiteral("86 00&1\u00A0"), march2, march2,
         QStringLiteral(
             "http://srv/range_photo_xml.php?idmodem=86 00&1\u00A0&bdate=02.03.2018&edate=02.03.2018&order=0")},
        // the default base address is a prefix like any other
        {QStringLiteral("0"), QStringLiteral("5"), QDate(2009, 12, 31), QDate(2010, 1, 1),
         QStringLiteral("0range_photo_xml.php?idmodem=5&bdate=31.12.2009&edate=01.01.2010&order=0")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatReadingsUrl(c.base, c.modem, c.first, c.last), c.url) << c.url.toStdString();

    EXPECT_EQ(FormatPictureUrl(QStringLiteral("http://srv/sc/"), QStringLiteral("photos/1/12.jpg")),
              QStringLiteral("http://srv/sc/photos/1/12.jpg"));
    EXPECT_EQ(FormatPictureUrl(QStringLiteral("http://srv"), QStringLiteral("a b.jpg")),
              QStringLiteral("http://srva b.jpg"));
}

TEST(ReadingsProtocol, AnswerElementsInDocumentOrderUpToTheFirstError) {
    const struct {
        const char* name;
        QString xml;
        int childNodeCount;
        QStringList elements;
    } cases[] = {
        {"empty body", {}, 0, {}},
        {"empty root", QStringLiteral("<answer/>"), 0, {}},
        {"rows, error, row",
         QStringLiteral("<answer>") + row("1") + row("2") + QStringLiteral(R"(<error text="Нет данных"/>)") + row("3") +
             QStringLiteral("</answer>"),
         4, QStringList{QStringLiteral("row 1"), QStringLiteral("row 2"), QStringLiteral("error Нет данных")}},
        {"error first", QStringLiteral(R"(<answer><error text="x"/>)") + row("1") + QStringLiteral("</answer>"), 2,
         QStringList{QStringLiteral("error x")}},
        // other letter case, comments, text, CDATA and a processing instruction named "row" are skipped but
        // counted; whitespace between elements is no node at all
        {"other nodes",
         QStringLiteral("<?xml version=\"1.0\"?>\n<answer>\n  <Row/>\n  <ROW/><!-- c -->\n  ") + row("7") +
             QStringLiteral(R"(<Error text="no"/>text<![CDATA[x]]><?row a?>)") + row("8") +
             QStringLiteral("\n</answer>"),
         9, QStringList{QStringLiteral("row 7"), QStringLiteral("row 8")}},
        {"any root name", QStringLiteral("<Whatever>") + row("1") + QStringLiteral("</Whatever>"), 1,
         QStringList{QStringLiteral("row 1")}},
        {"bad rows are kept in their place",
         QStringLiteral(R"(<a><row id="5" img="" date="" bat="" csq="" nsmod="" er="0"/>)"
                        R"(<row img="" date="" pok="" csq="" nsmod="" er="0"/>)"
                        R"(<row id="6" img="" date="" pok="" bat="" csq="" nsmod="" er="x"/>)"
                        R"(<row id="9" img="" date="" pok="" bat="" csq="" nsmod="" er=""/>)") +
             row("10") + QStringLiteral("</a>"),
         5,
         QStringList{QStringLiteral("bad 5: нет атрибута «pok»"), QStringLiteral("bad : нет атрибутов «id», «bat»"),
                     QStringLiteral("bad 6: «er» не целое число: «x»"),
                     QStringLiteral("bad 9: «er» не целое число: «»"), QStringLiteral("row 10")}},
    };
    for (const auto& c : cases) {
        const ReadingsAnswer answer = ParseReadingsAnswer(c.xml.toUtf8());
        EXPECT_EQ(answer.childNodeCount, c.childNodeCount) << c.name;
        EXPECT_EQ(describe(answer), c.elements) << c.name;
    }
}

TEST(ReadingsProtocol, RowAttributesAreTextAndErIsANumber) {
    const ReadingsAnswer answer = ParseReadingsAnswer(
        QByteArrayLiteral(R"(<answer><row nsmod="3" er=" 1" csq="017" bat="95" pok="" date="20180302141505" )"
                          R"(img="photos/860001/12.jpg" id="012" extra="ignored"/></answer>)"));
    ASSERT_EQ(answer.elements.size(), 1);
    const auto& row = std::get<AnswerRow>(answer.elements.first());
    EXPECT_EQ(row.id, QStringLiteral("012"));
    EXPECT_EQ(row.img, QStringLiteral("photos/860001/12.jpg"));
    EXPECT_EQ(row.date, QStringLiteral("20180302141505"));
    EXPECT_TRUE(row.pok.isEmpty());
    EXPECT_EQ(row.bat, QStringLiteral("95"));
    EXPECT_EQ(row.csq, QStringLiteral("017"));
    EXPECT_EQ(row.nsmod, QStringLiteral("3"));
    EXPECT_EQ(row.er, 1);
}

TEST(ReadingsProtocol, AnswerIsReadInTheEncodingItDeclares) {
    const QString text = QStringLiteral("Нет данных по контроллеру №5 «ё»");
    const QString pok = QStringLiteral("12З45"); // a recognition slip: Cyrillic Ze for the three
    const QString body = QStringLiteral(R"(<answer><row id="1" img="" date="" pok="%1" bat="" csq="" nsmod="" )"
                                        R"(er="0"/><error text="%2"/></answer>)")
                             .arg(pok, text);
    const QByteArray cp1251 =
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n") + windows1251::encode(body).value();
    const QByteArray utf8 = QByteArrayLiteral("<?xml version='1.0' encoding='UTF-8'?>") + body.toUtf8();
    for (const QByteArray& bytes : {cp1251, utf8, body.toUtf8()}) {
        const ReadingsAnswer answer = ParseReadingsAnswer(bytes);
        ASSERT_EQ(answer.elements.size(), 2);
        EXPECT_EQ(std::get<AnswerRow>(answer.elements[0]).pok, pok);
        EXPECT_EQ(std::get<AnswerError>(answer.elements[1]).text, text);
    }
}

TEST(ReadingsProtocol, BodyThatIsNotWellFormedXmlIsAFailureNamingTheLine) {
    const struct {
        QByteArray body;
        const char* line;
    } cases[] = {
        {QByteArrayLiteral("<html>not xml"), "строка 1"},
        {QByteArrayLiteral("<answer>\n<row id=\"1\">\n</answer>"), "строка 3"},
        {QByteArrayLiteral(" "), "строка 1"},
        {QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"no-such-code\"?><answer/>"), "строка 1"},
        // cp1251 bytes declared as UTF-8
        {QByteArrayLiteral("<answer><error text=\"\xCD\xE5\xF2\"/></answer>"), "строка 1"},
    };
    for (const auto& c : cases) {
        try {
            ParseReadingsAnswer(c.body);
            ADD_FAILURE() << "no failure for " << c.body.toStdString();
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().contains(QString::fromUtf8(c.line))) << failure.text().toStdString();
        }
    }
}

TEST(ReadingsProtocol, ReadingTimeIsCutAtFixedPositions) {
    const struct {
        QString date;
        QString text;
        QDateTime value; // invalid: the row gives no time
    } cases[] = {
        {QStringLiteral("20180302141505"), QStringLiteral("02.03.2018 14:15:05"),
         QDateTime(QDate(2018, 3, 2), QTime(14, 15, 5))},
        {QStringLiteral("20180302141505999"), QStringLiteral("02.03.2018 14:15:05"),
         QDateTime(QDate(2018, 3, 2), QTime(14, 15, 5))},
        {QStringLiteral("20181231235959"), QStringLiteral("31.12.2018 23:59:59"),
         QDateTime(QDate(2018, 12, 31), QTime(23, 59, 59))},
        {QStringLiteral("20200229000000"), QStringLiteral("29.02.2020 00:00:00"), QDateTime(QDate(2020, 2, 29), {})},
        {QStringLiteral("201803021415"), QStringLiteral("02.03.2018 14:15:"), {}},
        {QStringLiteral("2018030"), QStringLiteral("0.03.2018 ::"), {}},
        {QString(), QStringLiteral(".. ::"), {}},
        {QStringLiteral("20181302141505"), QStringLiteral("02.13.2018 14:15:05"), {}},
        {QStringLiteral("20190229000000"), QStringLiteral("29.02.2019 00:00:00"), {}},
        {QStringLiteral("20180302240000"), QStringLiteral("02.03.2018 24:00:00"), {}},
        {QStringLiteral("2018030214150x"), QStringLiteral("02.03.2018 14:15:0x"), {}},
        {QStringLiteral("-0180302141505"), QStringLiteral("02.03.-018 14:15:05"), {}},
        {QStringLiteral("00000302141505"), QStringLiteral("02.03.0000 14:15:05"), {}},
    };
    for (const auto& c : cases) {
        const ReadingTime time = ReadingTimeText(c.date);
        EXPECT_EQ(time.text, c.text) << c.date.toStdString();
        EXPECT_EQ(time.valid, c.value.isValid()) << c.date.toStdString();
        if (c.value.isValid()) {
            EXPECT_EQ(time.value, c.value) << c.date.toStdString();
        }
    }
}

// An interrupt is looked at as the answer is read, not once it has been read through: the answer here ends in a
// nesting that would be refused, so a reading that went on to the end would fail for that instead.
TEST(ReadingsProtocol, AnInterruptGivesUpALongParseAtOnce) {
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><answer>";
    const QByteArray oneRow = row("1").toUtf8();
    while (body.size() < 8 * 1024 * 1024)
        body += oneRow;
    body += QByteArray("<a>").repeated(40) + QByteArray("</a>").repeated(40) + "</answer>";

    std::atomic_bool interrupt = true;
    try {
        ReadingsAnswerReader reader(body, &interrupt);
        ADD_FAILURE() << "the interrupted reading went on";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.text(), QStringLiteral("Чтение ответа сервера прервано."));
    }

    // Interrupted between rows, the rows end at the next one.
    interrupt = false;
    const QByteArray rows = "<answer>" + oneRow.repeated(1000) + "</answer>";
    ReadingsAnswerReader reader(rows, &interrupt);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(reader.next().has_value());
    interrupt = true;
    EXPECT_FALSE(reader.next().has_value());
}

TEST(ReadingsProtocol, AnAnswerNestedDeeperThanRowsAreIsRefusedAtOnce) {
    const struct {
        const char* name;
        QByteArray body;
    } cases[] = {
        {"200,000 levels inside the root", QByteArrayLiteral("<answer>") + QByteArray("<a>").repeated(200000) +
                                               QByteArray("</a>").repeated(200000) + QByteArrayLiteral("</answer>")},
        {"1,000,000 levels never closed", QByteArray("<a>").repeated(1000000)},
        {"inside a row", QByteArrayLiteral("<answer><row>") + QByteArray("<b>").repeated(40) +
                             QByteArray("</b>").repeated(40) + QByteArrayLiteral("</row></answer>")},
    };
    for (const auto& c : cases) {
        QElapsedTimer timer;
        timer.start();
        try {
            ParseReadingsAnswer(c.body);
            ADD_FAILURE() << c.name << ": no failure";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.text().startsWith(QStringLiteral("Ответ сервера показаний вложен глубже 32 уровней")))
                << c.name << ": " << failure.text().toStdString();
        }
        EXPECT_LT(timer.elapsed(), 2000) << c.name;
    }
    // Nesting within the limit is no fault: what is inside a row is not read.
    const ReadingsAnswer answer = ParseReadingsAnswer(QByteArrayLiteral("<answer>") + row("1").toUtf8().chopped(2) +
                                                      QByteArrayLiteral("><b><c/></b></row></answer>"));
    ASSERT_EQ(answer.elements.size(), 1);
    EXPECT_EQ(std::get<AnswerRow>(answer.elements[0]).id, QStringLiteral("1"));
}
