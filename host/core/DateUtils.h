// Calendar dates as the host counts them: a TDateTime is a number of days since
// 1899-12-30, its fraction the time of day.
#pragma once

#include <cstdint>

namespace orv {

using TDateTime = double;

bool IsValidDate(int Year, int Month, int Day);
// Raises EConvertError for a day that does not exist (years 1..9999).
TDateTime EncodeDate(int Year, int Month, int Day);
void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
// Whole day number (days since 1899-12-30) of a calendar day; the date must be valid.
std::int32_t DayNumber(int Year, int Month, int Day);
void DayNumberToDate(std::int32_t Days, int& Year, int& Month, int& Day);
// Calendar day of a TDateTime, the time of day dropped (also for dates before 1899-12-30).
std::int32_t DateOf(TDateTime Value);
// Today's date on this machine's clock, local time, without a time of day.
TDateTime Date();

} // namespace orv
