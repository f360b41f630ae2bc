#include "db/SqlTypeCheck.h"

#include <QList>
#include <QSet>
#include <QString>

#include <algorithm>
#include <optional>
#include <utility>

namespace vornic {
namespace {

constexpr qsizetype kMaxIdentifierLength = 31;
constexpr int kMaxCharLength = 32767;
constexpr int kMaxVarcharLength = 32765;
constexpr int kMaxPrecision = 18;
constexpr int kMaxBlobSubType = 32767;
constexpr int kMaxSegmentSize = 65535;

// Every word the server reserves (its version 3 list), separated by blanks: unquoted, none of them can name a
// column.
constexpr QStringView kReservedWords =
    u"ADD ADMIN ALL ALTER AND ANY AS AT AVG BEGIN BETWEEN BIGINT BIT_LENGTH BLOB BOOLEAN BOTH BY CASE "
    u"CAST CHAR CHARACTER CHARACTER_LENGTH CHAR_LENGTH CHECK CLOSE COLLATE COLUMN COMMIT CONNECT "
    u"CONSTRAINT CORR COUNT COVAR_POP COVAR_SAMP CREATE CROSS CURRENT CURRENT_CONNECTION CURRENT_DATE "
    u"CURRENT_ROLE CURRENT_TIME CURRENT_TIMESTAMP CURRENT_TRANSACTION CURRENT_USER CURSOR DATE DAY DEC "
    u"DECIMAL DECLARE DEFAULT DELETE DELETING DETERMINISTIC DISCONNECT DISTINCT DOUBLE DROP ELSE END "
    u"ESCAPE EXECUTE EXISTS EXTERNAL EXTRACT FALSE FETCH FILTER FLOAT FOR FOREIGN FROM FULL FUNCTION "
    u"GDSCODE GLOBAL GRANT GROUP HAVING HOUR IN INDEX INNER INSENSITIVE INSERT INSERTING INT INTEGER INTO "
    u"IS JOIN LEADING LEFT LIKE LONG LOWER MAX MERGE MIN MINUTE MONTH NATIONAL NATURAL NCHAR NO NOT NULL "
    u"NUMERIC OCTET_LENGTH OF OFFSET ON ONLY OPEN OR ORDER OUTER OVER PARAMETER PLAN POSITION POST_EVENT "
    u"PRECISION PRIMARY PROCEDURE RDB$DB_KEY RDB$RECORD_VERSION REAL RECORD_VERSION RECREATE RECURSIVE "
    u"REFERENCES REGR_AVGX REGR_AVGY REGR_COUNT REGR_INTERCEPT REGR_R2 REGR_SLOPE REGR_SXX REGR_SXY "
    u"REGR_SYY RELEASE RETURN RETURNING_VALUES RETURNS REVOKE RIGHT ROLLBACK ROW ROWS ROW_COUNT SAVEPOINT "
    u"SCROLL SECOND SELECT SENSITIVE SET SIMILAR SMALLINT SOME SQLCODE SQLSTATE START STDDEV_POP "
    u"STDDEV_SAMP SUM TABLE THEN TIME TIMESTAMP TO TRAILING TRIGGER TRIM TRUE UNION UNIQUE UNKNOWN UPDATE "
    u"UPDATING UPPER USER USING VALUE VALUES VARCHAR VARIABLE VARYING VAR_POP VAR_SAMP VIEW WHEN WHERE "
    u"WHILE WITH YEAR";

// Name prefixes of the server's own objects and columns.
constexpr QStringView kSystemPrefixes[] = {u"RDB$", u"MON$", u"SEC$"};

// The types of one word, with no length, precision or character set.
constexpr QStringView kSimpleTypes[] = {u"SMALLINT", u"INTEGER", u"INT",  u"BIGINT",    u"FLOAT",
                                        u"REAL",     u"DATE",    u"TIME", u"TIMESTAMP", u"BOOLEAN"};

// Only ASCII counts: QChar's own tests accept letters and digits of every alphabet.
bool isLatinLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isIdentifierPart(QChar c) {
    return isLatinLetter(c) || isDigit(c) || c == u'_' || c == u'$';
}
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

struct Token {
    enum Kind { Word, Number, Mark };
    Kind kind;
    QString text; // a word upper-cased; a number's digits; a mark's one character
};

// The type text as words, numbers and the marks "(", ")" and ","; none when it holds any other character.
std::optional<QList<Token>> tokenize(QStringView text) {
    QList<Token> tokens;
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text[at];
        const qsizetype start = at;
        if (isBlank(c)) {
            ++at;
        } else if (isLatinLetter(c)) {
            while (at < text.size() && isIdentifierPart(text[at]))
                ++at;
            tokens.append({Token::Word, text.sliced(start, at - start).toString().toUpper()});
        } else if (isDigit(c)) {
            while (at < text.size() && isDigit(text[at]))
                ++at;
            tokens.append({Token::Number, text.sliced(start, at - start).toString()});
        } else if (c == u'(' || c == u')' || c == u',') {
            tokens.append({Token::Mark, QString(c)});
            ++at;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

// Reads the tokens front to back; each method takes its token only when it matches.
class TypeReader {
public:
    explicit TypeReader(QList<Token> tokens) : tokens_(std::move(tokens)) {}

    bool atEnd() const { return next_ == tokens_.size(); }

    bool word(QStringView expected) { return take(Token::Word, expected); }
    bool mark(QStringView expected) { return take(Token::Mark, expected); }

    // A number within low..high; none for one out of range, which then refuses the type.
    std::optional<int> number(int low, int high) {
        if (atEnd() || tokens_[next_].kind != Token::Number)
            return std::nullopt;
        bool ok = false;
        const int value = tokens_[next_++].text.toInt(&ok);
        if (!ok || value < low || value > high)
            return std::nullopt;
        return value;
    }

    bool identifier() {
        if (atEnd() || tokens_[next_].kind != Token::Word || tokens_[next_].text.size() > kMaxIdentifierLength)
            return false;
        ++next_;
        return true;
    }

    // "(n)" with n within 1..high.
    bool length(int high) { return mark(u"(") && number(1, high) && mark(u")"); }

    // The optional "CHARACTER SET name" ending a character type.
    bool characterSet() { return !word(u"CHARACTER") || (word(u"SET") && identifier()); }

private:
    bool take(Token::Kind kind, QStringView expected) {
        if (atEnd() || tokens_[next_].kind != kind || tokens_[next_].text != expected)
            return false;
        ++next_;
        return true;
    }

    QList<Token> tokens_;
    qsizetype next_ = 0;
};

bool readBlob(TypeReader& reader) {
    bool text = false;
    if (reader.word(u"SUB_TYPE")) {
        if (reader.word(u"TEXT")) {
            text = true;
        } else if (!reader.word(u"BINARY")) {
            const std::optional<int> subType = reader.number(0, kMaxBlobSubType);
            if (!subType)
                return false;
            text = *subType == 1;
        }
    }
    if (reader.word(u"SEGMENT") && !(reader.word(u"SIZE") && reader.number(1, kMaxSegmentSize)))
        return false;
    return !text || reader.characterSet();
}

bool readNumeric(TypeReader& reader) {
    if (!reader.mark(u"("))
        return false;
    const std::optional<int> precision = reader.number(1, kMaxPrecision);
    if (!precision)
        return false;
    if (reader.mark(u",") && !reader.number(0, *precision))
        return false;
    return reader.mark(u")");
}

bool readColumnType(TypeReader& reader) {
    for (QStringView simple : kSimpleTypes)
        if (reader.word(simple))
            return true;
    if (reader.word(u"DOUBLE"))
        return reader.word(u"PRECISION");
    if (reader.word(u"NCHAR"))
        return reader.length(kMaxCharLength);
    if (reader.word(u"VARCHAR"))
        return reader.length(kMaxVarcharLength) && reader.characterSet();
    if (reader.word(u"CHAR") || reader.word(u"CHARACTER")) {
        const bool varying = reader.word(u"VARYING");
        return reader.length(varying ? kMaxVarcharLength : kMaxCharLength) && reader.characterSet();
    }
    if (reader.word(u"NUMERIC") || reader.word(u"DECIMAL"))
        return readNumeric(reader);
    if (reader.word(u"BLOB"))
        return readBlob(reader);
    return false;
}

} // namespace

bool isPlainIdentifier(QStringView name) {
    return !name.isEmpty() && name.size() <= kMaxIdentifierLength && isLatinLetter(name.front()) &&
           std::all_of(name.begin(), name.end(), isIdentifierPart);
}

bool isReservedWord(QStringView name) {
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (QStringView word : kReservedWords.split(u' ', Qt::SkipEmptyParts))
            set.insert(word.toString());
        return set;
    }();
    return words.contains(name.toString().toUpper());
}

bool isSystemName(QStringView name) {
    return std::any_of(std::begin(kSystemPrefixes), std::end(kSystemPrefixes),
                       [name](QStringView prefix) { return name.startsWith(prefix, Qt::CaseInsensitive); });
}

bool isColumnType(QStringView type) {
    std::optional<QList<Token>> tokens = tokenize(type);
    if (!tokens)
        return false;
    TypeReader reader(std::move(*tokens));
    return readColumnType(reader) && reader.atEnd();
}

} // namespace vornic
