#include "host/core/DateUtils.h"

#include "host/core/SysUtils.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orv {

namespace {

constexpr std::int32_t EpochOffset = 25569; // days from 1899-12-30 to 1970-01-01

[[noreturn]] void OutOfCalendar(double Value) {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.15g", Value);
    throw EConvertError(Format("日期值 %s 超出 0001-01-01 至 9999-12-31 的范围。", {Buf}));
}

} // namespace

bool IsValidDate(int Year, int Month, int Day) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > 31) return false;
    std::chrono::year_month_day Ymd{std::chrono::year{Year}, std::chrono::month{static_cast<unsigned>(Month)},
                                    std::chrono::day{static_cast<unsigned>(Day)}};
    return Ymd.ok();
}

bool IsCalendarDateTime(TDateTime Value) {
    // The day is the whole part (see DateOf); NaN fails both comparisons.
    const double Day = std::trunc(Value);
    return Day >= MinDayNumber && Day <= MaxDayNumber;
}

std::int32_t DayNumber(int Year, int Month, int Day) {
    if (!IsValidDate(Year, Month, Day))
        throw EConvertError(Format("日期 %s-%s-%s 不存在。",
                                   {std::to_string(Year), std::to_string(Month), std::to_string(Day)}));
    std::chrono::year_month_day Ymd{std::chrono::year{Year}, std::chrono::month{static_cast<unsigned>(Month)},
                                    std::chrono::day{static_cast<unsigned>(Day)}};
    return static_cast<std::int32_t>(std::chrono::sys_days{Ymd}.time_since_epoch().count()) + EpochOffset;
}

void DayNumberToDate(std::int32_t Days, int& Year, int& Month, int& Day) {
    // Beyond these days the epoch shift would overflow and std::chrono's year cannot hold the year.
    if (Days < MinDayNumber || Days > MaxDayNumber) OutOfCalendar(Days);
    std::chrono::sys_days D{std::chrono::days{Days - EpochOffset}};
    std::chrono::year_month_day Ymd{D};
    Year = static_cast<int>(Ymd.year());
    Month = static_cast<int>(static_cast<unsigned>(Ymd.month()));
    Day = static_cast<int>(static_cast<unsigned>(Ymd.day()));
}

TDateTime EncodeDate(int Year, int Month, int Day) { return DayNumber(Year, Month, Day); }

// Before 1899-12-30 the whole part counts days back and the fraction the time forward from
// that day's midnight (-1.25 is 1899-12-29 06:00), so the day is the whole part, not the floor.
std::int32_t DateOf(TDateTime Value) {
    // Checked first: converting a whole part that no int32 holds is undefined.
    if (!IsCalendarDateTime(Value)) OutOfCalendar(Value);
    return static_cast<std::int32_t>(std::trunc(Value));
}

void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day) {
    DayNumberToDate(DateOf(Value), Year, Month, Day);
}

TDateTime Date() {
    std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    return DayNumber(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday);
}

bool TryParseDate8(std::string_view Text, std::int32_t& Days) {
    if (Text.size() != 8) return false;
    int Part[8];
    for (std::size_t I = 0; I < 8; ++I) {
        if (Text[I] < '0' || Text[I] > '9') return false;
        Part[I] = Text[I] - '0';
    }
    const int Y = Part[0] * 1000 + Part[1] * 100 + Part[2] * 10 + Part[3], M = Part[4] * 10 + Part[5],
              D = Part[6] * 10 + Part[7];
    if (!IsValidDate(Y, M, D)) return false;
    Days = DayNumber(Y, M, D);
    return true;
}

std::string FormatDate8(std::int32_t Days) {
    std::string Out;
    AppendDate8(Out, Days);
    return Out;
}

void AppendDate8(std::string& Out, std::int32_t Days) {
    int Y, M, D;
    DayNumberToDate(Days, Y, M, D); // a day beyond the years 1..9999 raises
    const char Text[8] = {static_cast<char>('0' + Y / 1000 % 10), static_cast<char>('0' + Y / 100 % 10),
                          static_cast<char>('0' + Y / 10 % 10),   static_cast<char>('0' + Y % 10),
                          static_cast<char>('0' + M / 10),        static_cast<char>('0' + M % 10),
                          static_cast<char>('0' + D / 10),        static_cast<char>('0' + D % 10)};
    Out.append(Text, sizeof Text);
}

} // namespace orv
