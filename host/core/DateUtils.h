// Calendar dates as the host counts them: a TDateTime is a number of days since
// 1899-12-30, its fraction the time of day. The host's dates cover the years 1..9999;
// every helper refuses, with EConvertError, a value outside them rather than guess.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

using TDateTime = double;

// Day numbers of 0001-01-01 and 9999-12-31.
constexpr std::int32_t MinDayNumber = -693593;
constexpr std::int32_t MaxDayNumber = 2958465;

bool IsValidDate(int Year, int Month, int Day);
// True when Value falls on a day of the years 1..9999 (false for NaN and infinities).
bool IsCalendarDateTime(TDateTime Value);
// Raises EConvertError for a day that does not exist (years 1..9999).
TDateTime EncodeDate(int Year, int Month, int Day);
void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
// Whole day number (days since 1899-12-30) of a calendar day; a day that does not exist
// raises EConvertError.
std::int32_t DayNumber(int Year, int Month, int Day);
// Calendar day of a day number; one outside MinDayNumber..MaxDayNumber raises EConvertError.
void DayNumberToDate(std::int32_t Days, int& Year, int& Month, int& Day);
// Calendar day of a TDateTime, the time of day dropped (also for dates before 1899-12-30).
// A value that falls on no day of the years 1..9999 raises EConvertError.
std::int32_t DateOf(TDateTime Value);
// "YYYYMMDD", the locale-free form packets and stored texts use, and its reverse. Parsing
// takes exactly eight digits naming a day that exists; formatting raises EConvertError
// for a day number outside the years 1..9999.
bool TryParseDate8(std::string_view Text, std::int32_t& Days);
std::string FormatDate8(std::int32_t Days);
void AppendDate8(std::string& Out, std::int32_t Days);
// Today's date on this machine's clock, local time, without a time of day.
TDateTime Date();

} // namespace orv
