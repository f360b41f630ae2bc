#include "base/ReadingText.h"

#include <gtest/gtest.h>

using namespace vornic;

TEST(ReadingNumber, DigitsWithAtMostOneCommaOrPointAndNothingElse) {
    const struct {
        const char* text;
        bool number;
    } cases[] = {
        {"0", true},
        {"00123", true},
        {"12,5", true},
        {"12.5", true},
        {",5", true},
        {"5.", true},
        {" 00123 \t\n", true}, // blanks and control characters around a value
                               // are no part of it
        {"12abc!", false},
        {"12,5,3", false},
        {"12.5,3", false},
        {"1 2", false},
        {"-5", false}, // a meter counts up from zero
        {"+5", false},
        {"1e5", false},
        {",", false},
        {"", false},
        {"   ", false},
        {"١٢", false},         // digits of another script
        {"１２", false},       // full-width digits
        {"12\xc2\xa0", false}, // a no-break space is a character of the text, not a blank around it
    };
    for (const auto& c : cases)
        EXPECT_EQ(isReadingNumber(QString::fromUtf8(c.text)), c.number) << '"' << c.text << '"';
}
