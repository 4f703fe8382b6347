#include "host/data/Variant.h"

#include "host/core/SysUtils.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orv {

namespace {

constexpr int MaxDigits = 18;

constexpr std::int64_t Pow10[] = {1LL,
                                  10LL,
                                  100LL,
                                  1000LL,
                                  10000LL,
                                  100000LL,
                                  1000000LL,
                                  10000000LL,
                                  100000000LL,
                                  1000000000LL,
                                  10000000000LL,
                                  100000000000LL,
                                  1000000000000LL,
                                  10000000000000LL,
                                  100000000000000LL,
                                  1000000000000000LL,
                                  10000000000000000LL,
                                  100000000000000000LL,
                                  1000000000000000000LL};

[[noreturn]] void BadNumber(std::string_view Text) {
    throw EConvertError(Format("“%s”不是有效的数值。", {Text}));
}

[[noreturn]] void Overflow(std::string_view Text) {
    throw EConvertError(Format("数值“%s”超出可表示的范围。", {Text}));
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int Digits2(std::string_view S, std::size_t At) { return (S[At] - '0') * 10 + (S[At + 1] - '0'); }

bool AllDigits(std::string_view S) {
    for (char C : S)
        if (!IsDigit(C)) return false;
    return !S.empty();
}

} // namespace

TBcd TBcd::Parse(std::string_view Text, int ToScale) {
    if (ToScale < 0 || ToScale > MaxDigits) throw EConvertError("小数位数超出范围。");
    std::size_t I = 0;
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '-' || Text[I] == '+')) {
        Negative = Text[I] == '-';
        ++I;
    }
    // Collect the digits with the point dropped, remembering how many came after it.
    std::int64_t Acc = 0;
    int Significant = 0;
    int FracDigits = 0;
    bool SeenPoint = false, SeenDigit = false;
    int RoundDigit = -1; // the first digit beyond ToScale decides the rounding
    for (; I < Text.size(); ++I) {
        char C = Text[I];
        if (C == '.') {
            if (SeenPoint) BadNumber(Text);
            SeenPoint = true;
            continue;
        }
        if (!IsDigit(C)) BadNumber(Text);
        SeenDigit = true;
        if (SeenPoint) {
            if (FracDigits == ToScale) {
                if (RoundDigit < 0) RoundDigit = C - '0';
                continue;
            }
            ++FracDigits;
        }
        if (Acc == 0 && C == '0' && !SeenPoint) continue; // leading zeros
        if (Acc != 0 || C != '0') ++Significant;
        if (Significant > MaxDigits) Overflow(Text);
        Acc = Acc * 10 + (C - '0');
    }
    if (!SeenDigit) BadNumber(Text);
    for (; FracDigits < ToScale; ++FracDigits) {
        if (Acc > std::numeric_limits<std::int64_t>::max() / 10) Overflow(Text);
        Acc *= 10;
    }
    if (RoundDigit >= 5) {
        if (Acc == std::numeric_limits<std::int64_t>::max()) Overflow(Text);
        ++Acc;
    }
    if (Acc >= Pow10[MaxDigits]) Overflow(Text);
    return TBcd{Negative ? -Acc : Acc, ToScale};
}

TBcd TBcd::FromDouble(double Value, int ToScale) {
    if (!std::isfinite(Value)) throw EConvertError("数值不是有限数。");
    // Go through the shortest decimal text of the double, so 0.1 stays 0.1 rather than
    // picking up the binary representation error before rounding.
    char Buf[64];
    auto Res = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::fixed);
    if (Res.ec != std::errc()) Overflow(FormatDouble(Value));
    return Parse(std::string_view(Buf, static_cast<std::size_t>(Res.ptr - Buf)), ToScale);
}

TBcd TBcd::FromInt(std::int64_t Value, int ToScale) {
    if (ToScale < 0 || ToScale > MaxDigits) throw EConvertError("小数位数超出范围。");
    std::int64_t Limit = Pow10[MaxDigits - ToScale];
    if (Value >= Limit || Value <= -Limit) Overflow(std::to_string(Value));
    return TBcd{Value * Pow10[ToScale], ToScale};
}

TBcd TBcd::Rescaled(int ToScale) const {
    if (ToScale == Scale) return *this;
    if (ToScale > Scale) {
        int Diff = ToScale - Scale;
        if (ToScale > MaxDigits) Overflow(ToString());
        std::int64_t Limit = Pow10[MaxDigits - Diff];
        if (Unscaled >= Limit || Unscaled <= -Limit) Overflow(ToString());
        return TBcd{Unscaled * Pow10[Diff], ToScale};
    }
    int Diff = Scale - ToScale;
    std::int64_t Div = Pow10[Diff];
    std::int64_t Q = Unscaled / Div, R = Unscaled % Div;
    if (R * 2 >= Div) ++Q;
    else if (R * 2 <= -Div) --Q;
    return TBcd{Q, ToScale};
}

int TBcd::IntegerDigits() const {
    std::int64_t Whole = Unscaled / Pow10[Scale];
    if (Whole < 0) Whole = -Whole;
    int N = 0;
    while (Whole > 0) {
        ++N;
        Whole /= 10;
    }
    return N;
}

double TBcd::ToDouble() const {
    // Through text so that 0.1 comes back as the nearest double to 0.1.
    return ParseDouble(ToString());
}

std::string TBcd::ToString() const {
    std::string Out;
    AppendTo(Out);
    return Out;
}

void TBcd::AppendTo(std::string& Out) const {
    std::uint64_t Mag = Unscaled < 0 ? static_cast<std::uint64_t>(-(Unscaled + 1)) + 1 : static_cast<std::uint64_t>(Unscaled);
    char Digits[24];
    auto Res = std::to_chars(Digits, Digits + sizeof Digits, Mag);
    const std::size_t Count = static_cast<std::size_t>(Res.ptr - Digits);
    const std::size_t Decimals = Scale > 0 ? static_cast<std::size_t>(Scale) : 0;
    if (Unscaled < 0) Out += '-';
    if (Decimals == 0) {
        Out.append(Digits, Count);
        return;
    }
    if (Count <= Decimals) {
        // "0.05": zeros between the point and the first digit.
        Out += "0.";
        Out.append(Decimals - Count, '0');
        Out.append(Digits, Count);
        return;
    }
    Out.append(Digits, Count - Decimals);
    Out += '.';
    Out.append(Digits + (Count - Decimals), Decimals);
}

int TBcd::Compare(const TBcd& Other) const {
    if (Scale == Other.Scale) return Unscaled < Other.Unscaled ? -1 : (Unscaled > Other.Unscaled ? 1 : 0);
    // Compare at the larger scale using 128-bit arithmetic to avoid overflow.
    __extension__ typedef __int128 Int128;
    int S = Scale > Other.Scale ? Scale : Other.Scale;
    Int128 A = static_cast<Int128>(Unscaled) * Pow10[S - Scale];
    Int128 B = static_cast<Int128>(Other.Unscaled) * Pow10[S - Other.Scale];
    return A < B ? -1 : (A > B ? 1 : 0);
}

std::int64_t ParseInt64(std::string_view Text) {
    std::string_view T = Text;
    if (!T.empty() && T.front() == '+') {
        T.remove_prefix(1);
        if (!T.empty() && T.front() == '-') BadNumber(Text); // "+-5" has two signs
    }
    std::int64_t V = 0;
    auto Res = std::from_chars(T.data(), T.data() + T.size(), V);
    if (T.empty() || Res.ec == std::errc::invalid_argument || Res.ptr != T.data() + T.size()) BadNumber(Text);
    if (Res.ec == std::errc::result_out_of_range) Overflow(Text);
    return V;
}

double ParseDouble(std::string_view Text) {
    std::string_view T = Text;
    if (!T.empty() && T.front() == '+') {
        T.remove_prefix(1);
        if (!T.empty() && T.front() == '-') BadNumber(Text); // "+-5" has two signs
    }
    double V = 0;
    auto Res = std::from_chars(T.data(), T.data() + T.size(), V);
    if (T.empty() || Res.ec == std::errc::invalid_argument) BadNumber(Text);
    if (Res.ec == std::errc::result_out_of_range) Overflow(Text);
    // Older producers write "8." for 8; from_chars may stop before such a trailing point.
    // Only a point right after the digits, and the only one: "8.." is not a number.
    if (Res.ptr != T.data() + T.size()) {
        bool TrailingPoint = Res.ptr + 1 == T.data() + T.size() && *Res.ptr == '.' &&
                             T.find_first_of(".eE") == static_cast<std::size_t>(Res.ptr - T.data());
        if (!TrailingPoint) BadNumber(Text);
    }
    // "nan", "inf" and "infinity" are no amounts: neither fields nor packets hold them.
    if (!std::isfinite(V)) BadNumber(Text);
    return V;
}

std::string FormatDouble(double Value) {
    char Buf[64];
    auto Res = std::to_chars(Buf, Buf + sizeof Buf, Value);
    return std::string(Buf, static_cast<std::size_t>(Res.ptr - Buf));
}

bool TryParsePacketDateTime(std::string_view Text, TDateTime& Value) {
    std::int32_t Days;
    if (!TryParseDate8(Text.substr(0, 8), Days)) return false;
    if (Text.size() == 8) {
        Value = Days;
        return true;
    }
    // "THH:MM:SS" optionally followed by milliseconds without a separator.
    std::string_view T = Text.substr(8);
    if (T.size() < 9 || T[0] != 'T' || T[3] != ':' || T[6] != ':') return false;
    if (!AllDigits(T.substr(1, 2)) || !AllDigits(T.substr(4, 2)) || !AllDigits(T.substr(7, 2))) return false;
    int H = Digits2(T, 1), Mi = Digits2(T, 4), S = Digits2(T, 7), Ms = 0;
    std::string_view Rest = T.substr(9);
    if (!Rest.empty()) {
        if (Rest.size() > 3 || !AllDigits(Rest)) return false;
        Ms = static_cast<int>(ParseInt64(Rest));
    }
    if (H > 23 || Mi > 59 || S > 59) return false;
    double Frac = (H * 3600000.0 + Mi * 60000.0 + S * 1000.0 + Ms) / 86400000.0;
    Value = Days >= 0 ? Days + Frac : Days - Frac;
    return true;
}

std::string FormatPacketDateTime(TDateTime Value) {
    std::int32_t Days = DateOf(Value);
    double Frac = std::fabs(Value - static_cast<double>(static_cast<std::int64_t>(Value)));
    auto Ms = static_cast<std::int64_t>(std::llround(Frac * 86400000.0));
    if (Ms >= 86400000) Ms = 86399999;
    std::string Out = FormatDate8(Days);
    if (Ms == 0) return Out; // date-only values are written without a time, as other producers do
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "T%02d:%02d:%02d%03d", static_cast<int>(Ms / 3600000),
                  static_cast<int>(Ms / 60000 % 60), static_cast<int>(Ms / 1000 % 60), static_cast<int>(Ms % 1000));
    return Out + Buf;
}

std::string FormatDisplayDate(std::int32_t Days) {
    int Y, M, D;
    DayNumberToDate(Days, Y, M, D);
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, M, D);
    return Buf;
}

bool TryParseDisplayDate(std::string_view Text, std::int32_t& Days) {
    std::string T = Trim(Text);
    if (TryParseDate8(T, Days)) return true;
    // YYYY-M-D or YYYY/M/D
    int Parts[3] = {0, 0, 0};
    int Part = 0, DigitsInPart = 0;
    for (char C : T) {
        if (IsDigit(C)) {
            if (++DigitsInPart > (Part == 0 ? 4 : 2)) return false;
            Parts[Part] = Parts[Part] * 10 + (C - '0');
        } else if ((C == '-' || C == '/' || C == '.') && DigitsInPart > 0 && Part < 2) {
            ++Part;
            DigitsInPart = 0;
        } else {
            return false;
        }
    }
    if (Part != 2 || DigitsInPart == 0 || !IsValidDate(Parts[0], Parts[1], Parts[2])) return false;
    Days = DayNumber(Parts[0], Parts[1], Parts[2]);
    return true;
}

std::string Variant::AsString() const {
    switch (VarType()) {
    case TVarType::varNull: return {};
    case TVarType::varInteger: return std::to_string(*IfInteger());
    case TVarType::varFloat: return FormatDouble(*IfFloat());
    case TVarType::varBcd: return IfBcd()->ToString();
    case TVarType::varDate: {
        // A day number beyond the calendar has no date to show: show the number.
        const std::int32_t Days = IfDate()->Days;
        if (Days < MinDayNumber || Days > MaxDayNumber) return std::to_string(Days);
        return FormatDisplayDate(Days);
    }
    case TVarType::varDateTime: {
        TDateTime V = IfDateTime()->Value;
        // No calendar day to show, and taking its day count would overflow: show the number.
        if (!IsCalendarDateTime(V)) return FormatDouble(V);
        std::string S = FormatDisplayDate(DateOf(V));
        std::string P = FormatPacketDateTime(V);
        if (P.size() > 8) S += " " + P.substr(9, 8);
        return S;
    }
    case TVarType::varString: return *IfString();
    case TVarType::varBoolean: return *IfBoolean() ? "True" : "False";
    }
    return {};
}

std::int64_t Variant::AsInt64() const {
    switch (VarType()) {
    case TVarType::varNull: return 0;
    case TVarType::varInteger: return *IfInteger();
    case TVarType::varFloat: {
        double D = std::round(*IfFloat());
        if (!(D > -9.2e18 && D < 9.2e18)) Overflow(AsString());
        return static_cast<std::int64_t>(D);
    }
    case TVarType::varBcd: return IfBcd()->Rescaled(0).Unscaled;
    case TVarType::varDate: return IfDate()->Days;
    case TVarType::varDateTime: return DateOf(IfDateTime()->Value);
    case TVarType::varString: return ParseInt64(Trim(*IfString()));
    case TVarType::varBoolean: return *IfBoolean() ? 1 : 0;
    }
    return 0;
}

double Variant::AsDouble() const {
    switch (VarType()) {
    case TVarType::varNull: return 0;
    case TVarType::varInteger: return static_cast<double>(*IfInteger());
    case TVarType::varFloat: return *IfFloat();
    case TVarType::varBcd: return IfBcd()->ToDouble();
    case TVarType::varDate: return IfDate()->Days;
    case TVarType::varDateTime: return IfDateTime()->Value;
    case TVarType::varString: return ParseDouble(Trim(*IfString()));
    case TVarType::varBoolean: return *IfBoolean() ? 1 : 0;
    }
    return 0;
}

bool Variant::AsBoolean() const {
    switch (VarType()) {
    case TVarType::varNull: return false;
    case TVarType::varBoolean: return *IfBoolean();
    case TVarType::varInteger: return *IfInteger() != 0;
    case TVarType::varString: {
        std::string S = LowerAscii(Trim(*IfString()));
        if (S == "true" || S == "1" || S == "yes" || S == "是") return true;
        if (S == "false" || S == "0" || S == "no" || S == "否") return false;
        throw EConvertError(Format("“%s”不是有效的逻辑值。", {*IfString()}));
    }
    default: throw EConvertError(Format("“%s”不是有效的逻辑值。", {AsString()}));
    }
}

TBcd Variant::AsBcd(int Scale) const {
    switch (VarType()) {
    case TVarType::varNull: return TBcd{0, Scale};
    case TVarType::varInteger: return TBcd::FromInt(*IfInteger(), Scale);
    case TVarType::varFloat: return TBcd::FromDouble(*IfFloat(), Scale);
    case TVarType::varBcd: return IfBcd()->Rescaled(Scale);
    case TVarType::varString: return TBcd::Parse(Trim(*IfString()), Scale);
    case TVarType::varBoolean: return TBcd::FromInt(*IfBoolean() ? 1 : 0, Scale);
    default: throw EConvertError(Format("“%s”不是有效的数值。", {AsString()}));
    }
}

TDateTime Variant::AsDateTime() const {
    switch (VarType()) {
    case TVarType::varNull: return 0;
    case TVarType::varDate: return IfDate()->Days;
    case TVarType::varDateTime: return IfDateTime()->Value;
    case TVarType::varInteger: return static_cast<double>(*IfInteger());
    case TVarType::varFloat: return *IfFloat();
    case TVarType::varString: {
        std::int32_t Days;
        if (TryParseDisplayDate(*IfString(), Days)) return Days;
        TDateTime V;
        if (TryParsePacketDateTime(Trim(*IfString()), V)) return V;
        throw EConvertError(Format("“%s”不是有效的日期。", {*IfString()}));
    }
    default: throw EConvertError(Format("“%s”不是有效的日期。", {AsString()}));
    }
}

bool Variant::operator==(const Variant& Other) const {
    if (VarType() != Other.VarType()) return false;
    if (const TBcd* B = IfBcd()) return B->Compare(*Other.IfBcd()) == 0;
    return FData == Other.FData;
}

} // namespace orv
