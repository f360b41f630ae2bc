#include "base/ReadingText.h"

#include "base/Trimmed.h"

#include <charconv>
#include <string>
#include <system_error>

namespace vornic {

bool isReadingNumber(QStringView text) {
    const QString reading = trimmed(text);
    bool separatorSeen = false;
    bool digitSeen = false;
    for (const QChar c : reading) {
        // Only the ASCII digits: other scripts' digits are digits to Unicode, but no reader of readings takes them.
        if (c >= u'0' && c <= u'9') {
            digitSeen = true;
        } else if ((c == u',' || c == u'.') && !separatorSeen) {
            separatorSeen = true;
        } else {
            return false;
        }
    }
    return digitSeen;
}

QString readingNumberRule() {
    return QStringLiteral(
        "Показание должно быть числом: цифры и не более одного десятичного разделителя (запятая или точка).");
}

std::optional<double> numericReading(QStringView text) {
    // The recognition writes the decimal point either way round, so a full stop counts as the decimal comma.
    const QString reading = trimmed(text);
    std::string number;
    number.reserve(static_cast<size_t>(reading.size()));
    for (const QChar c : reading) {
        const char16_t code = c.unicode();
        if (code == u',' || code == u'.')
            number.push_back('.');
        else if (code < 0x80)
            number.push_back(static_cast<char>(code));
        else
            return std::nullopt;
    }
    // A sign, digits with at most one decimal separator and at least one digit, and an exponent: nothing else, so
    // that "inf", "0x10" or "12,5,3" are no readings.
    size_t at = 0;
    const auto digits = [&] {
        const size_t from = at;
        while (at < number.size() && number[at] >= '0' && number[at] <= '9')
            ++at;
        return at - from;
    };
    const bool negative = at < number.size() && number[at] == '-';
    if (at < number.size() && (number[at] == '-' || number[at] == '+'))
        ++at;
    const size_t mantissaFrom = at;
    size_t mantissaDigits = digits();
    if (at < number.size() && number[at] == '.') {
        ++at;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (at < number.size() && (number[at] == 'e' || number[at] == 'E')) {
        ++at;
        if (at < number.size() && (number[at] == '-' || number[at] == '+'))
            ++at;
        if (digits() == 0)
            return std::nullopt;
    }
    if (at != number.size())
        return std::nullopt;

    std::string unsignedNumber = number.substr(mantissaFrom);
    if (unsignedNumber.front() == '.')
        unsignedNumber.insert(unsignedNumber.begin(), '0');
    double value = 0;
    const auto parsed = std::from_chars(unsignedNumber.data(), unsignedNumber.data() + unsignedNumber.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != unsignedNumber.data() + unsignedNumber.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace vornic
