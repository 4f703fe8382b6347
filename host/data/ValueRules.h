// What a field can hold and a data packet can carry, whoever hands the value over: code
// setting a field, the packet reader, the server storing a delta. Each check answers why a
// value does not fit (nothing when it does), so each caller words the message for its own
// context while none of them can keep a rule of its own.
#pragma once

#include "host/core/DateUtils.h"
#include "host/data/Variant.h"

#include <string>
#include <string_view>

namespace orv {

// Most decimals a BCD field keeps: its values have at most 18 significant digits.
constexpr int MaxDecimalScale = 18;

// Why a value does not fit; empty when it does.
struct TValueFault {
    std::string Why; // completes "字段“X”的值“…”", e.g. "超过 20 个字符的长度限制"
    bool ShowValue = true; // false: the value itself cannot be shown (not UTF-8, forbidden characters)
    bool Bound = false;    // a value of the type past a bound: Why reads after the field's label alone
    explicit operator bool() const { return !Why.empty(); }
};

// A character XML 1.0 can carry: not U+0000, no control character other than tab, line
// feed and carriage return, no surrogate, not U+FFFE or U+FFFF, nothing above U+10FFFF.
bool IsXmlChar(char32_t C);
// Why a character XML 1.0 forbids cannot be held ("含有空字符（U+0000）"); empty for any other.
TValueFault CheckChar(char32_t C);

// Well-formed UTF-8 of XML characters, at most MaxChars code points (0: any length).
TValueFault CheckText(std::string_view Text, int MaxChars);

// A decimal already at its field's scale: at most Precision - Scale digits before the
// point (Precision 0: as many as the value holds). The fault names the bound the value
// passed ("不能大于 9.9999", "不能小于 -9.9999"), so a clerk learns what to type instead
// of how many digits the column has; it reads both after "字段“X”的值“…”" and after a
// field's label.
TValueFault CheckDecimal(const TBcd& Value, int Precision);

// A whole number between Min and Max; the fault names the bound it passed, as CheckDecimal's.
TValueFault CheckInteger(std::int64_t Value, std::int64_t Min, std::int64_t Max);

// The bound a decimal of this precision and scale passes on its side of zero: "不能大于
// 9.9999" for precision 5 and scale 4, "不能小于 -9.9999" when Negative. Empty when the
// precision bounds nothing (0) or leaves no value at all (below the scale).
TValueFault DecimalBound(int Precision, int Scale, bool Negative);

// Number text as a person typed it, in the form the number parsers read: a Chinese input
// method in full-width mode gives full-width digits (０-９), minus (－) and full stop (．),
// which become their ASCII forms. Nothing else is touched, so whatever else the text holds
// is still refused by the parser. For text typed into a field only: packets are written
// by programs and are read strictly.
std::string NumberTextFromInput(std::string_view Text);

// A moment whose calendar day lies between 0001-01-01 and 9999-12-31.
TValueFault CheckDateTime(TDateTime Value);

// The one reading of a value into each type that every holder of one (a field, the packet
// reader, the server storing a delta) goes through; each words the fault for its context.

// A decimal at Scale, extra decimals rounded half away from zero, within Precision. Text is
// read as a program writes it (the Variant form trims blanks around it); a number with too
// many digits to be held at all is past the bound on its side rather than no number.
TValueFault DecimalOfText(std::string_view Text, int Precision, int Scale, TBcd& Out);
TValueFault DecimalValue(const Variant& Value, int Precision, int Scale, TBcd& Out);

// A whole number between Min and Max, 2.5 refused rather than rounded; as with decimals,
// text with too many digits to be held is past the bound on its side.
TValueFault IntegerOfText(std::string_view Text, std::int64_t Min, std::int64_t Max, std::int64_t& Out);
TValueFault IntegerValue(const Variant& Value, std::int64_t Min, std::int64_t Max, std::int64_t& Out);

// The calendar day of a date, a moment or text as a person or a packet writes a date.
TValueFault DateValue(const Variant& Value, std::int32_t& Days);

// The text a person reads and edits for a decimal of a field with Scale decimals ("12.50").
// Dates read as FormatDisplayDate writes them.
std::string DecimalText(const TBcd& Value, int Scale);

// A field name that packets can carry as an attribute of every row: an XML name without a
// colon (readers that know namespaces take what precedes one for a prefix), neither
// "xmlns" nor the row state's own attribute.
TValueFault CheckPacketFieldName(std::string_view Name);

// The first character reference in XML text ("&#0;", "&#xFFFE;") that names a character
// XML 1.0 forbids: the parser would turn it into that character, or cut the text at it.
// Returns its offset, or npos; Code is the character it names.
std::size_t FindForbiddenCharRef(std::string_view Xml, char32_t& Code);

} // namespace orv
