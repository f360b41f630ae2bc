#include "db/SqlTypeCheck.h"

#include <QList>
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

// Kept short on purpose: the words an author is likely to try as a column name, not the server's whole list.
constexpr QStringView kReservedWords[] = {
    u"ADD",     u"ALTER",  u"AND",      u"AS",        u"BY",    u"CHECK",  u"COLUMN", u"CREATE",   u"DATE",
    u"DEFAULT", u"DELETE", u"DISTINCT", u"DROP",      u"FROM",  u"GROUP",  u"IN",     u"INSERT",   u"INTO",
    u"IS",      u"JOIN",   u"NOT",      u"NULL",      u"ON",    u"OR",     u"ORDER",  u"POSITION", u"SELECT",
    u"SET",     u"TABLE",  u"TIME",     u"TIMESTAMP", u"UNION", u"UPDATE", u"USER",   u"VALUES",   u"WHERE",
};

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
    return std::any_of(std::begin(kReservedWords), std::end(kReservedWords),
                       [name](QStringView word) { return name.compare(word, Qt::CaseInsensitive) == 0; });
}

bool isColumnType(QStringView type) {
    std::optional<QList<Token>> tokens = tokenize(type);
    if (!tokens)
        return false;
    TypeReader reader(std::move(*tokens));
    return readColumnType(reader) && reader.atEnd();
}

} // namespace vornic
