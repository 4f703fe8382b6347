// Values that travel between fields, data sets and packets.
#pragma once

#include "host/core/DateUtils.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace orv {

// Exact fixed-point decimal: Unscaled / 10^Scale. Stored amounts and rates never go
// through binary floating point. Up to 18 significant digits.
struct TBcd {
    std::int64_t Unscaled = 0;
    int Scale = 0;

    // Parses plain decimal text ("-12.345", "+.5", "8."), rounding half away from zero
    // to ToScale digits after the point. Raises EConvertError on anything else or on overflow.
    static TBcd Parse(std::string_view Text, int ToScale);
    // Rounds half away from zero; raises EConvertError when the value cannot be held.
    static TBcd FromDouble(double Value, int ToScale);
    static TBcd FromInt(std::int64_t Value, int ToScale);

    TBcd Rescaled(int ToScale) const;
    // Digits before the point (0 for |value| < 1).
    int IntegerDigits() const;
    double ToDouble() const;
    // Always writes exactly Scale decimals ("1000.0000", "-0.50", "7").
    std::string ToString() const;
    // Appends the text of ToString to Out without building a string of its own.
    void AppendTo(std::string& Out) const;
    int Compare(const TBcd& Other) const;
    bool operator==(const TBcd& Other) const { return Compare(Other) == 0; }
};

// A calendar day as the number of days since 1899-12-30.
struct TDateValue {
    std::int32_t Days = 0;
    bool operator==(const TDateValue&) const = default;
};

// A point in time as a TDateTime.
struct TDateTimeValue {
    TDateTime Value = 0;
    bool operator==(const TDateTimeValue&) const = default;
};

enum class TVarType { varNull, varInteger, varFloat, varBcd, varDate, varDateTime, varString, varBoolean };

// A dynamically typed value; default-constructed it is null. Text is UTF-8.
class Variant {
public:
    Variant() = default;
    Variant(int V) : FData(static_cast<std::int64_t>(V)) {}
    Variant(long V) : FData(static_cast<std::int64_t>(V)) {}
    Variant(long long V) : FData(static_cast<std::int64_t>(V)) {}
    Variant(double V) : FData(V) {}
    Variant(TBcd V) : FData(V) {}
    Variant(TDateValue V) : FData(V) {}
    Variant(TDateTimeValue V) : FData(V) {}
    Variant(bool V) : FData(V) {}
    Variant(const char* V) : FData(std::string(V)) {}
    Variant(std::string V) : FData(std::move(V)) {}
    Variant(std::string_view V) : FData(std::string(V)) {}

    static Variant Null() { return Variant(); }
    static Variant Date(std::int32_t Days) { return Variant(TDateValue{Days}); }
    static Variant DateTime(TDateTime V) { return Variant(TDateTimeValue{V}); }

    TVarType VarType() const { return static_cast<TVarType>(FData.index()); }
    bool IsNull() const { return FData.index() == 0; }

    // Conversions; each raises EConvertError when the value does not convert.
    std::string AsString() const; // locale-free: dates YYYY-MM-DD, decimals with '.'
    std::int64_t AsInt64() const;
    double AsDouble() const;
    bool AsBoolean() const;
    TBcd AsBcd(int Scale) const;
    TDateTime AsDateTime() const;

    const std::int64_t* IfInteger() const { return std::get_if<std::int64_t>(&FData); }
    const double* IfFloat() const { return std::get_if<double>(&FData); }
    const TBcd* IfBcd() const { return std::get_if<TBcd>(&FData); }
    const TDateValue* IfDate() const { return std::get_if<TDateValue>(&FData); }
    const TDateTimeValue* IfDateTime() const { return std::get_if<TDateTimeValue>(&FData); }
    const std::string* IfString() const { return std::get_if<std::string>(&FData); }
    const bool* IfBoolean() const { return std::get_if<bool>(&FData); }

    // Same type and same value (decimals compare by value whatever their scale).
    bool operator==(const Variant& Other) const;

private:
    std::variant<std::monostate, std::int64_t, double, TBcd, TDateValue, TDateTimeValue, std::string, bool> FData;
};

// Locale-free number parsing shared by fields and packets; raise EConvertError.
std::int64_t ParseInt64(std::string_view Text);
double ParseDouble(std::string_view Text);
std::string FormatDouble(double Value);
// "YYYYMMDDTHH:MM:SSmmm" (time part optional) <-> TDateTime; the day alone is
// TryParseDate8 / FormatDate8 of host/core/DateUtils.h.
bool TryParsePacketDateTime(std::string_view Text, TDateTime& Value);
std::string FormatPacketDateTime(TDateTime Value);
// "YYYY-MM-DD" display form and its reverse (also accepts YYYYMMDD and YYYY/MM/DD).
std::string FormatDisplayDate(std::int32_t Days);
bool TryParseDisplayDate(std::string_view Text, std::int32_t& Days);

} // namespace orv
