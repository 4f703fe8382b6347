#include "host/data/Variant.h"

#include "host/core/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

using namespace orv;

namespace {

struct TBcdCase {
    const char* Text;
    int Scale;
    const char* Expected; // nullptr: refused
};

// Without it gtest prints the struct's raw bytes, the padding after Scale included.
void PrintTo(const TBcdCase& C, std::ostream* Os) {
    *Os << '"' << C.Text << "\" scale " << C.Scale;
}

class BcdParseTest : public ::testing::TestWithParam<TBcdCase> {};

} // namespace

TEST_P(BcdParseTest, ParsesRoundsAndWritesExactly) {
    const TBcdCase& C = GetParam();
    if (!C.Expected) {
        EXPECT_THROW(TBcd::Parse(C.Text, C.Scale), EConvertError) << C.Text;
        return;
    }
    TBcd B = TBcd::Parse(C.Text, C.Scale);
    EXPECT_EQ(B.Scale, C.Scale);
    EXPECT_EQ(B.ToString(), C.Expected) << C.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Decimals, BcdParseTest,
    ::testing::Values(TBcdCase{"1.005", 2, "1.01"}, TBcdCase{"-1.005", 2, "-1.01"},
                      TBcdCase{"1.004999", 2, "1.00"}, TBcdCase{"-1.004999", 2, "-1.00"},
                      TBcdCase{"9.995", 2, "10.00"}, TBcdCase{"+.5", 0, "1"}, TBcdCase{"-.5", 0, "-1"},
                      TBcdCase{"-0.5", 2, "-0.50"}, TBcdCase{"8.", 0, "8"}, TBcdCase{"1000", 4, "1000.0000"},
                      TBcdCase{"0.00001", 4, "0.0000"}, TBcdCase{"007.10", 1, "7.1"},
                      TBcdCase{"999999999999999999", 0, "999999999999999999"},
                      TBcdCase{"-99999999.9999999999", 10, "-99999999.9999999999"},
                      // too many digits for 18, also when rounding carries into a new digit
                      TBcdCase{"1000000000000000000", 0, nullptr},
                      TBcdCase{"999999999999999999.5", 0, nullptr},
                      TBcdCase{"12345678901234567.89", 2, nullptr}, TBcdCase{"", 2, nullptr},
                      TBcdCase{"-", 2, nullptr}, TBcdCase{".", 2, nullptr}, TBcdCase{"1.2.3", 2, nullptr},
                      TBcdCase{"1,5", 2, nullptr}, TBcdCase{"1e3", 2, nullptr}, TBcdCase{"12a", 0, nullptr},
                      TBcdCase{"+-5", 0, nullptr}, TBcdCase{"nan", 2, nullptr}, TBcdCase{"--1", 2, nullptr}));

TEST(BcdTest, ConvertsFromNumbersWithoutBinaryError) {
    // A double goes through its shortest text, so 2.675 rounds up like the text does.
    EXPECT_EQ(TBcd::FromDouble(2.675, 2).ToString(), "2.68");
    EXPECT_EQ(TBcd::FromDouble(1.005, 2).ToString(), "1.01");
    EXPECT_EQ(TBcd::FromDouble(-1.005, 2).ToString(), "-1.01");
    EXPECT_EQ(TBcd::FromDouble(0.1, 4).ToString(), "0.1000");
    EXPECT_THROW(TBcd::FromDouble(1e20, 2), EConvertError);
    EXPECT_THROW(TBcd::FromDouble(std::numeric_limits<double>::infinity(), 2), EConvertError);
    EXPECT_EQ(TBcd::FromInt(-42, 3).ToString(), "-42.000");
    EXPECT_THROW(TBcd::FromInt(1000000000000000, 4), EConvertError);
    EXPECT_DOUBLE_EQ(TBcd::Parse("0.1", 1).ToDouble(), 0.1);
}

TEST(BcdTest, RescalesComparesAndCountsIntegerDigits) {
    TBcd A = TBcd::Parse("1.25", 2);
    EXPECT_EQ(A.Rescaled(1).ToString(), "1.3");
    EXPECT_EQ(TBcd::Parse("-1.25", 2).Rescaled(1).ToString(), "-1.3");
    EXPECT_EQ(TBcd::Parse("1.24", 2).Rescaled(1).ToString(), "1.2");
    EXPECT_EQ(A.Rescaled(4).ToString(), "1.2500");
    EXPECT_THROW(TBcd::Parse("12345678901234567", 0).Rescaled(2), EConvertError);

    EXPECT_EQ(TBcd::Parse("1.5", 1).Compare(TBcd::Parse("1.50", 2)), 0);
    EXPECT_LT(TBcd::Parse("-1.5", 1).Compare(TBcd::Parse("1.49", 2)), 0);
    EXPECT_GT(TBcd::Parse("999999999999999999", 0).Compare(TBcd::Parse("0.000000000000000001", 18)), 0);
    EXPECT_TRUE(Variant(TBcd::Parse("1.5", 1)) == Variant(TBcd::Parse("1.500", 3)));
    EXPECT_FALSE(Variant(TBcd::Parse("1.5", 1)) == Variant(1.5));

    EXPECT_EQ(TBcd::Parse("0.99", 2).IntegerDigits(), 0);
    EXPECT_EQ(TBcd::Parse("12.34", 2).IntegerDigits(), 2);
    EXPECT_EQ(TBcd::Parse("-999.9", 1).IntegerDigits(), 3);
    EXPECT_EQ(TBcd::Parse("9999999999.99", 2).IntegerDigits(), 10);
}

TEST(VariantTest, ConvertsBetweenKindsLocaleFree) {
    Variant Null;
    EXPECT_TRUE(Null.IsNull());
    EXPECT_EQ(Null.AsString(), "");
    EXPECT_EQ(Variant(12).AsString(), "12");
    EXPECT_EQ(Variant(2.5).AsString(), "2.5");
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(Variant::Date(DayNumber(2024, 2, 29)).AsString(), "2024-02-29");
    EXPECT_EQ(Variant::DateTime(DayNumber(2017, 2, 14) + (15 * 3600 + 28 * 60 + 29) / 86400.0).AsString(),
              "2017-02-14 15:28:29");

    EXPECT_EQ(Variant(" 42 ").AsInt64(), 42);
    EXPECT_THROW(Variant("12.5").AsInt64(), EConvertError);
    EXPECT_THROW(Variant("十二").AsInt64(), EConvertError);
    EXPECT_EQ(Variant(2.5).AsInt64(), 3);
    EXPECT_DOUBLE_EQ(Variant("8.").AsDouble(), 8.0);
    EXPECT_DOUBLE_EQ(Variant(TBcd::Parse("646.00", 2)).AsDouble(), 646.0);
    EXPECT_EQ(Variant("12.345").AsBcd(2).ToString(), "12.35");
    EXPECT_EQ(Variant(3).AsBcd(2).ToString(), "3.00");
    EXPECT_THROW(Variant::Date(1).AsBcd(2), EConvertError);

    EXPECT_TRUE(Variant("是").AsBoolean());
    EXPECT_FALSE(Variant(" FALSE ").AsBoolean());
    EXPECT_TRUE(Variant(7).AsBoolean());
    EXPECT_THROW(Variant("maybe").AsBoolean(), EConvertError);
    EXPECT_THROW(Variant(1.0).AsBoolean(), EConvertError);

    EXPECT_DOUBLE_EQ(Variant("2024-02-29").AsDateTime(), DayNumber(2024, 2, 29));
    EXPECT_THROW(Variant("2023-02-29").AsDateTime(), EConvertError);

    // Equality needs the same kind.
    EXPECT_FALSE(Variant(1) == Variant(1.0));
    EXPECT_FALSE(Variant("1") == Variant(1));
    EXPECT_TRUE(Variant() == Variant::Null());
    EXPECT_TRUE(Variant("中文") == Variant(std::string("中文")));
}

TEST(VariantTest, NumberTextIsStrict) {
    EXPECT_EQ(ParseInt64("+17"), 17);
    EXPECT_EQ(ParseInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_THROW(ParseInt64("9223372036854775808"), EConvertError);
    for (const char* Bad : {"", "+", "+-5", "1 ", " 1", "1.0", "0x10", "1e2"})
        EXPECT_THROW(ParseInt64(Bad), EConvertError) << Bad;

    EXPECT_DOUBLE_EQ(ParseDouble("8."), 8.0);
    EXPECT_DOUBLE_EQ(ParseDouble("0."), 0.0);
    EXPECT_DOUBLE_EQ(ParseDouble("-12.75"), -12.75);
    EXPECT_DOUBLE_EQ(ParseDouble("1.5e3"), 1500.0);
    EXPECT_THROW(ParseDouble("1e999"), EConvertError);
    // Not numbers an amount or a packet may hold.
    for (const char* Bad : {"", ".", "8..", "1,5", "+-5", "abc", "nan", "NaN", "inf", "-inf", "infinity"})
        EXPECT_THROW(ParseDouble(Bad), EConvertError) << Bad;

    EXPECT_EQ(FormatDouble(0.1), "0.1");
    EXPECT_EQ(FormatDouble(-12.75), "-12.75");
    EXPECT_DOUBLE_EQ(ParseDouble(FormatDouble(1.0 / 3.0)), 1.0 / 3.0);
}

TEST(VariantTest, PacketDatesAndTimes) {
    std::int32_t Days = 0;
    ASSERT_TRUE(TryParseDate8("20240229", Days));
    EXPECT_EQ(Days, DayNumber(2024, 2, 29));
    EXPECT_EQ(FormatDate8(Days), "20240229");
    ASSERT_TRUE(TryParseDate8("00010101", Days));
    EXPECT_EQ(FormatDate8(Days), "00010101");
    for (const char* Bad :
         {"20230229", "20241301", "20240100", "00000101", "2024022", "202402290", "2024-02-"})
        EXPECT_FALSE(TryParseDate8(Bad, Days)) << Bad;

    TDateTime V = 0;
    ASSERT_TRUE(TryParsePacketDateTime("20170214T15:28:29000", V));
    EXPECT_NEAR(V, DayNumber(2017, 2, 14) + (15 * 3600 + 28 * 60 + 29) / 86400.0, 1e-9);
    EXPECT_EQ(FormatPacketDateTime(V), "20170214T15:28:29000");
    ASSERT_TRUE(TryParsePacketDateTime("20170214T15:28:29123", V));
    EXPECT_EQ(FormatPacketDateTime(V), "20170214T15:28:29123");
    ASSERT_TRUE(TryParsePacketDateTime("19950202", V));
    EXPECT_DOUBLE_EQ(V, DayNumber(1995, 2, 2));
    EXPECT_EQ(FormatPacketDateTime(V), "19950202");
    // Before 1899-12-30 the time still counts forward from the day's midnight.
    ASSERT_TRUE(TryParsePacketDateTime("18991229T06:00:00", V));
    EXPECT_DOUBLE_EQ(V, -1.25);
    EXPECT_EQ(FormatPacketDateTime(V), "18991229T06:00:00000");
    EXPECT_EQ(DateOf(V), DayNumber(1899, 12, 29));
    EXPECT_EQ(Variant::DateTime(V).AsString(), "1899-12-29 06:00:00");
    EXPECT_EQ(Variant::DateTime(V).AsInt64(), DayNumber(1899, 12, 29));
    for (const char* Bad : {"20170214T24:00:00", "20170214T15:60:00", "20170214T15:28", "20170214 15:28:29",
                            "20170214T15:28:291234", "20230229T00:00:00", "20170214T1a:28:29"})
        EXPECT_FALSE(TryParsePacketDateTime(Bad, V)) << Bad;

    ASSERT_TRUE(TryParseDisplayDate(" 2024-2-9 ", Days));
    EXPECT_EQ(FormatDisplayDate(Days), "2024-02-09");
    ASSERT_TRUE(TryParseDisplayDate("2024/02/29", Days));
    EXPECT_EQ(Days, DayNumber(2024, 2, 29));
    ASSERT_TRUE(TryParseDisplayDate("20240229", Days));
    for (const char* Bad :
         {"2023-02-29", "2024-13-01", "2024-02", "2024--02-01", "24-02-29x", "", "12345-01-01"})
        EXPECT_FALSE(TryParseDisplayDate(Bad, Days)) << Bad;
}
