// Text parsing and formatting of the dialogs' data exchange.

#include "data_exchange.h"
#include "integer_text.h"

#include <gtest/gtest.h>

namespace tallowin::ui {
namespace {

TEST(DataExchangeText, IntegersAcceptSignAndBlanksOnly) {
    EXPECT_EQ(ParseExchangeInteger(" 42 "), 42);
    EXPECT_EQ(ParseExchangeInteger("-7"), -7);
    EXPECT_EQ(ParseExchangeInteger("+2147483647"), 2147483647);
    EXPECT_EQ(ParseExchangeInteger("-2147483648"), -2147483647 - 1);
    for (const char* refused : {"", " ", "-", "12a", "1.5", "0x10", "2147483648", "1 2"})
        EXPECT_FALSE(ParseExchangeInteger(refused).has_value()) << refused;
}

TEST(DataExchangeText, NumbersAreFiniteCNotation) {
    EXPECT_EQ(ParseExchangeNumber("0.5"), 0.5);
    EXPECT_EQ(ParseExchangeNumber(" 1e-06 "), 1e-06);
    EXPECT_EQ(ParseExchangeNumber("-3"), -3.0);
    EXPECT_EQ(ParseExchangeNumber("+1.5"), 1.5);
    EXPECT_EQ(ParseExchangeNumber(".5"), 0.5);
    for (const char* refused : {"", "abc", "1,5", "nan", "inf", "1e999", "2x", "+-1", "++1", "+", "0x10", "1 5"})
        EXPECT_FALSE(ParseExchangeNumber(refused).has_value()) << refused;
}

TEST(DataExchangeText, NumbersShowInShortestGeneralForm) {
    EXPECT_EQ(FormatExchangeNumber(1.0), "1");
    EXPECT_EQ(FormatExchangeNumber(0.25), "0.25");
    EXPECT_EQ(FormatExchangeNumber(0.000001), "1e-06");
    EXPECT_EQ(FormatExchangeNumber(1000000.0), "1000000");
    EXPECT_EQ(FormatExchangeNumber(0.1), "0.1");
}

}  // namespace
}  // namespace tallowin::ui
