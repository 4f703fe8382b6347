#include "host/services/OrvDate.h"

#include "host/core/DateUtils.h"
#include "host/core/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orv;

TEST(OrvDateTest, FormatsTheCalendarDay) {
    EXPECT_EQ(OrvDateToStr8(EncodeDate(2023, 2, 28)), "20230228");
    EXPECT_EQ(OrvDateToStr8(0.0), "18991230");
    EXPECT_EQ(OrvDateToStr8(EncodeDate(1, 1, 1)), "00010101");
    EXPECT_EQ(OrvDateToStr8(EncodeDate(9999, 12, 31)), "99991231");
    EXPECT_EQ(OrvDateToStr8(EncodeDate(2024, 2, 29)), "20240229");
}

TEST(OrvDateTest, DropsTheTimeOfDay) {
    const TDateTime Day = EncodeDate(2023, 12, 31);
    EXPECT_EQ(OrvDateToStr8(Day + 0.999999), "20231231");
    EXPECT_EQ(OrvDateToStr8(Day + 0.5), "20231231");
    EXPECT_EQ(OrvStr8ToDate(OrvDateToStr8(Day + 0.75)), Day);
    // Before 1899-12-30 the time of day counts forward from the day's midnight, as in
    // packets: -29.25 is 1899-12-01 06:00 and -0.5 is 1899-12-30 12:00.
    const TDateTime Early = EncodeDate(1899, 12, 1);
    EXPECT_EQ(OrvDateToStr8(Early - 0.25), "18991201");
    EXPECT_EQ(OrvDateToStr8(-0.5), "18991230");
    EXPECT_EQ(OrvDateToStr8(EncodeDate(1, 1, 1) - 0.5), "00010101");
}

TEST(OrvDateTest, RefusesValuesOutsideTheCalendar) {
    const double Inf = std::numeric_limits<double>::infinity();
    for (double Bad : {EncodeDate(1, 1, 1) - 1, EncodeDate(9999, 12, 31) + 1, 1e300, -1e300, Inf, -Inf,
                       std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(OrvDateToStr8(Bad), EConvertError) << Bad;
}

TEST(OrvDateTest, ParsesEightDigits) {
    EXPECT_EQ(OrvStr8ToDate("18991230"), 0.0);
    EXPECT_EQ(OrvStr8ToDate("20230101"), EncodeDate(2023, 1, 1));
    EXPECT_EQ(OrvStr8ToDate("20000229"), EncodeDate(2000, 2, 29));
    EXPECT_EQ(OrvStr8ToDate("00010101"), EncodeDate(1, 1, 1));
    EXPECT_EQ(OrvStr8ToDate("99991231"), EncodeDate(9999, 12, 31));
}

TEST(OrvDateTest, RoundTripsEveryDayOfALeapYearAndTheExtremes) {
    for (TDateTime D = EncodeDate(2024, 1, 1); D <= EncodeDate(2024, 12, 31); D += 1)
        ASSERT_EQ(OrvStr8ToDate(OrvDateToStr8(D)), D) << OrvDateToStr8(D);
    for (TDateTime D : {EncodeDate(1, 1, 1), EncodeDate(1600, 2, 29), EncodeDate(9999, 12, 31)})
        EXPECT_EQ(OrvStr8ToDate(OrvDateToStr8(D)), D);
}

TEST(OrvDateTest, RefusesAnythingButARealDay) {
    for (const char* Bad : {"", "2023010", "202301011", "20230230", "20230229", "19000229", "00000000",
                            "20231301", "20230001", "20230100", "20230132", "2023-1-1", " 20230101",
                            "20230101 ", "+2023010", "-2023010", "2023O101", "２０２３０１０１"})
        EXPECT_THROW(OrvStr8ToDate(Bad), EConvertError) << Bad;
    EXPECT_THROW(OrvStr8ToDate(std::string_view("2023\0"
                                                "101",
                                                8)),
                 EConvertError);
}

TEST(OrvDateTest, ErrorNamesTheText) {
    try {
        OrvStr8ToDate("20230230");
        FAIL() << "no exception";
    } catch (const EConvertError& E) {
        EXPECT_NE(E.Message().find("20230230"), std::string::npos) << E.Message();
    }
    // Control bytes are shown escaped rather than dropped into a message box raw.
    try {
        OrvStr8ToDate(std::string_view("2023\n101", 8));
        FAIL() << "no exception";
    } catch (const EConvertError& E) {
        EXPECT_NE(E.Message().find("2023\\x0A101"), std::string::npos) << E.Message();
    }
}

// The date helpers under these functions take any input without undefined behaviour:
// what names no day of the years 1..9999 is refused, the edges are not.
TEST(OrvDateTest, DateHelpersRefuseWhatNamesNoDay) {
    const double Nan = std::numeric_limits<double>::quiet_NaN();
    for (double Bad :
         {1e300, -1e300, 2147483648.0, -2147483649.0, 2e9, Nan, MinDayNumber - 1.0, MaxDayNumber + 1.0})
        EXPECT_THROW(DateOf(Bad), EConvertError) << Bad;
    int Y = 0, M = 0, D = 0;
    for (std::int32_t Bad :
         {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
          MinDayNumber - 1, MaxDayNumber + 1, 2000000000})
        EXPECT_THROW(DayNumberToDate(Bad, Y, M, D), EConvertError) << Bad;
    struct TYmd {
        int Y, M, D;
    };
    for (TYmd Bad :
         {TYmd{0, 1, 1}, TYmd{10000, 1, 1}, TYmd{2023, 2, 29}, TYmd{2023, 13, 1}, TYmd{2023, 0, 1},
          TYmd{2023, 1, 0}, TYmd{2023, -1, 1}, TYmd{2023, 1, 256 + 1},
          TYmd{std::numeric_limits<int>::max(), 1, 1}, TYmd{std::numeric_limits<int>::min(), 1, 1}})
        EXPECT_THROW(DayNumber(Bad.Y, Bad.M, Bad.D), EConvertError) << Bad.Y << "-" << Bad.M << "-" << Bad.D;

    EXPECT_EQ(DayNumber(1, 1, 1), MinDayNumber);
    EXPECT_EQ(DayNumber(9999, 12, 31), MaxDayNumber);
    EXPECT_EQ(DateOf(MaxDayNumber + 0.99), MaxDayNumber);
    EXPECT_EQ(DateOf(MinDayNumber - 0.5), MinDayNumber); // 0001-01-01 12:00
    DayNumberToDate(MaxDayNumber, Y, M, D);
    EXPECT_EQ(Y * 10000 + M * 100 + D, 99991231);
    DayNumberToDate(MinDayNumber, Y, M, D);
    EXPECT_EQ(Y * 10000 + M * 100 + D, 10101);
    try {
        DateOf(1e300);
    } catch (const EConvertError& E) {
        EXPECT_NE(E.Message().find("超出 0001-01-01 至 9999-12-31 的范围"), std::string::npos) << E.Message();
    }
}
