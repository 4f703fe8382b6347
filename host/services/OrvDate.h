// Dates as eight-digit text ("YYYYMMDD"), the form business objects and packets exchange.
// The two functions are inverses on calendar days: OrvStr8ToDate(OrvDateToStr8(D)) is D
// with its time of day dropped.
#pragma once

#include "host/core/DateUtils.h"

#include <string>
#include <string_view>

namespace orv {

// Calendar day of Value as "YYYYMMDD"; the time of day is dropped. A value outside
// 0001-01-01..9999-12-31 (or not a number) raises EConvertError.
std::string OrvDateToStr8(TDateTime Value);

// Exactly eight ASCII digits naming a day that exists, years 0001..9999. Anything else
// (blanks, signs, wrong length, 20230230, 00000000) raises EConvertError naming the text.
TDateTime OrvStr8ToDate(std::string_view Text);

} // namespace orv
