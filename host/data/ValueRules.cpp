#include "host/data/ValueRules.h"

#include "host/core/SysUtils.h"

#include <cmath>
#include <cstdio>

namespace orv {

namespace {

// Code point starting at P, of text already known to be well-formed UTF-8.
char32_t DecodeAt(const unsigned char*& P) {
    const unsigned char C = *P++;
    if (C < 0x80) return C;
    int Extra = C >= 0xF0 ? 3 : C >= 0xE0 ? 2 : 1;
    char32_t V = C & (0x3F >> Extra);
    while (Extra-- > 0)
        V = (V << 6) | (*P++ & 0x3F);
    return V;
}

bool InRanges(char32_t C, std::initializer_list<std::pair<char32_t, char32_t>> Ranges) {
    for (const auto& [Lo, Hi] : Ranges)
        if (C >= Lo && C <= Hi) return true;
    return false;
}

// XML 1.0 (fifth edition) NameStartChar without ':'.
bool IsNameStart(char32_t C) {
    return InRanges(C, {{'A', 'Z'},
                        {'_', '_'},
                        {'a', 'z'},
                        {0xC0, 0xD6},
                        {0xD8, 0xF6},
                        {0xF8, 0x2FF},
                        {0x370, 0x37D},
                        {0x37F, 0x1FFF},
                        {0x200C, 0x200D},
                        {0x2070, 0x218F},
                        {0x2C00, 0x2FEF},
                        {0x3001, 0xD7FF},
                        {0xF900, 0xFDCF},
                        {0xFDF0, 0xFFFD},
                        {0x10000, 0xEFFFF}});
}

// Text of a number too long for the parsers to hold, such as twenty typed digits: that
// number does not fit rather than being no number at all. Sign, digits and, when Point,
// one decimal point; surrounding blanks as the parsers allow them. 0 when the text is no
// such number, otherwise -1 or 1 for its sign.
int SignOfPlainNumber(std::string_view Text, bool Point) {
    const std::string Trimmed = Trim(Text);
    std::string_view T = Trimmed;
    int Sign = 1;
    if (!T.empty() && (T.front() == '-' || T.front() == '+')) {
        Sign = T.front() == '-' ? -1 : 1;
        T.remove_prefix(1);
    }
    bool Digit = false, SeenPoint = false;
    for (char C : T) {
        if (C >= '0' && C <= '9')
            Digit = true;
        else if (C == '.' && Point && !SeenPoint)
            SeenPoint = true;
        else
            return 0;
    }
    return Digit ? Sign : 0;
}

bool IsNameChar(char32_t C) {
    return IsNameStart(C) ||
           InRanges(C, {{'-', '-'}, {'.', '.'}, {'0', '9'}, {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}});
}

// "U+0000" for messages.
std::string CodePointText(char32_t C) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "U+%04X", static_cast<unsigned>(C));
    return Buf;
}

} // namespace

bool IsXmlChar(char32_t C) {
    if (C < 0x20) return C == '\t' || C == '\n' || C == '\r';
    return C <= 0xD7FF || (C >= 0xE000 && C <= 0xFFFD) || (C >= 0x10000 && C <= 0x10FFFF);
}

TValueFault CheckChar(char32_t C) {
    if (IsXmlChar(C)) return {};
    if (C == 0) return {"含有空字符（U+0000）", false};
    return {"含有 XML 不允许的字符（" + CodePointText(C) + "）", false};
}

TValueFault CheckText(std::string_view Text, int MaxChars) {
    if (!IsValidUtf8(Text)) return {"不是有效的 UTF-8 文本", false};
    // Well-formed UTF-8 holds no surrogate and nothing above U+10FFFF; what is left to
    // refuse are the control characters and U+FFFE, U+FFFF (EF BF BE, EF BF BF).
    std::size_t Chars = 0;
    const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
    const auto* End = P + Text.size();
    for (; P < End; ++P) {
        const unsigned char C = *P;
        if (C < 0x20 && C != '\t' && C != '\n' && C != '\r') return CheckChar(C);
        if ((C & 0xC0) != 0x80) ++Chars;
        if (C == 0xEF && P[1] == 0xBF && P[2] >= 0xBE) return CheckChar(0xFFFE + (P[2] - 0xBE));
    }
    if (MaxChars > 0 && Chars > static_cast<std::size_t>(MaxChars))
        return {"超过 " + std::to_string(MaxChars) + " 个字符的长度限制"};
    return {};
}

TValueFault DecimalBound(int Precision, int Scale, bool Negative) {
    if (Precision <= 0 || Scale < 0 || Precision < Scale) return {};
    const int Whole = Precision - Scale;
    std::string Largest = Whole > 0 ? std::string(static_cast<std::size_t>(Whole), '9') : "0";
    if (Scale > 0) Largest += "." + std::string(static_cast<std::size_t>(Scale), '9');
    return {Negative ? "不能小于 -" + Largest : "不能大于 " + Largest, true, true};
}

TValueFault CheckDecimal(const TBcd& Value, int Precision) {
    if (Precision <= 0 || Value.IntegerDigits() <= Precision - Value.Scale) return {};
    if (TValueFault Bound = DecimalBound(Precision, Value.Scale, Value.Unscaled < 0)) return Bound;
    // A precision below the scale leaves no value at all; say so in the field's own terms.
    return {"超出字段精度（" + std::to_string(Precision) + " 位数字，其中 " + std::to_string(Value.Scale) +
                " 位小数）",
            true, true};
}

TValueFault CheckInteger(std::int64_t Value, std::int64_t Min, std::int64_t Max) {
    if (Value > Max) return {"不能大于 " + std::to_string(Max), true, true};
    if (Value < Min) return {"不能小于 " + std::to_string(Min), true, true};
    return {};
}

std::string NumberTextFromInput(std::string_view Text) {
    // U+FF0D..U+FF19 are EF BC 8D..EF BC 99; of those only －, ． and ０-９ are taken
    // (U+FF0F, the full-width solidus, has no place in a number).
    std::string Out;
    Out.reserve(Text.size());
    for (std::size_t I = 0; I < Text.size(); ++I) {
        if (I + 2 < Text.size() && static_cast<unsigned char>(Text[I]) == 0xEF &&
            static_cast<unsigned char>(Text[I + 1]) == 0xBC) {
            const unsigned char Low = static_cast<unsigned char>(Text[I + 2]);
            if (Low == 0x8D || Low == 0x8E || (Low >= 0x90 && Low <= 0x99)) {
                Out += static_cast<char>(Low - 0x8D + '-'); // ASCII has - . / 0-9 in the same order
                I += 2;
                continue;
            }
        }
        Out += Text[I];
    }
    return Out;
}

TValueFault CheckDateTime(TDateTime Value) {
    if (!IsCalendarDateTime(Value)) return {"超出日期范围（0001-01-01 至 9999-12-31）"};
    return {};
}

TValueFault DecimalOfText(std::string_view Text, int Precision, int Scale, TBcd& Out) {
    try {
        Out = TBcd::Parse(Text, Scale);
    } catch (const EConvertError&) {
        if (const int Sign = SignOfPlainNumber(Text, true))
            if (TValueFault Bound = DecimalBound(Precision, Scale, Sign < 0)) return Bound;
        return {"不是有效的数值"};
    }
    return CheckDecimal(Out, Precision);
}

TValueFault DecimalValue(const Variant& Value, int Precision, int Scale, TBcd& Out) {
    if (const std::string* S = Value.IfString()) return DecimalOfText(Trim(*S), Precision, Scale, Out);
    try {
        Out = Value.AsBcd(Scale);
    } catch (const EConvertError&) {
        return {"不是有效的数值"};
    }
    return CheckDecimal(Out, Precision);
}

TValueFault IntegerOfText(std::string_view Text, std::int64_t Min, std::int64_t Max, std::int64_t& Out) {
    try {
        Out = ParseInt64(Text);
    } catch (const EConvertError&) {
        if (const int Sign = SignOfPlainNumber(Text, false))
            if (TValueFault Bound = CheckInteger(Sign < 0 ? INT64_MIN : INT64_MAX, Min, Max)) return Bound;
        return {"不是有效的整数"};
    }
    return CheckInteger(Out, Min, Max);
}

TValueFault IntegerValue(const Variant& Value, std::int64_t Min, std::int64_t Max, std::int64_t& Out) {
    if (const std::string* S = Value.IfString()) return IntegerOfText(Trim(*S), Min, Max, Out);
    // A whole number only: 2.5 is no count of anything, it is not rounded to 3.
    const double* D = Value.IfFloat();
    const TBcd* B = Value.IfBcd();
    if ((D && *D != std::trunc(*D)) || (B && B->Rescaled(0).Compare(*B) != 0)) return {"不是有效的整数"};
    try {
        Out = Value.AsInt64();
    } catch (const EConvertError&) {
        return {"不是有效的整数"};
    }
    return CheckInteger(Out, Min, Max);
}

TValueFault DateValue(const Variant& Value, std::int32_t& Days) {
    TDateTime Moment = 0;
    try {
        Moment = Value.AsDateTime();
    } catch (const EConvertError&) {
        return {"不是有效的日期"};
    }
    if (TValueFault Fault = CheckDateTime(Moment)) return Fault;
    Days = DateOf(Moment);
    return {};
}

std::string DecimalText(const TBcd& Value, int Scale) {
    return Value.Rescaled(Scale).ToString();
}

TValueFault CheckPacketFieldName(std::string_view Name) {
    if (Name.empty()) return {"为空"};
    if (SameTextAscii(Name, "RowState")) return {"与行状态属性 RowState 同名"};
    if (SameTextAscii(Name, "xmlns")) return {"是 XML 保留的名称"};
    const char* Rule = "不是有效的 XML 名称（应以字母或下划线开头，只含字母、数字、下划线、连字符和点）";
    if (!IsValidUtf8(Name)) return {Rule, false};
    const auto* P = reinterpret_cast<const unsigned char*>(Name.data());
    const auto* End = P + Name.size();
    if (!IsNameStart(DecodeAt(P))) return {Rule};
    while (P < End)
        if (!IsNameChar(DecodeAt(P))) return {Rule};
    return {};
}

std::size_t FindForbiddenCharRef(std::string_view Xml, char32_t& Code) {
    for (std::size_t At = Xml.find("&#"); At != std::string_view::npos; At = Xml.find("&#", At + 2)) {
        std::size_t I = At + 2;
        const bool Hex = I < Xml.size() && (Xml[I] == 'x' || Xml[I] == 'X');
        if (Hex) ++I;
        const std::size_t Digits = I;
        std::uint64_t V = 0;
        for (; I < Xml.size(); ++I) {
            const char C = Xml[I];
            unsigned D;
            if (C >= '0' && C <= '9')
                D = static_cast<unsigned>(C - '0');
            else if (Hex && C >= 'a' && C <= 'f')
                D = static_cast<unsigned>(C - 'a' + 10);
            else if (Hex && C >= 'A' && C <= 'F')
                D = static_cast<unsigned>(C - 'A' + 10);
            else
                break;
            // Stop growing once past every code point; the reference is forbidden either way.
            if (V <= 0x10FFFF) V = V * (Hex ? 16 : 10) + D;
        }
        if (I == Digits || I == Xml.size() || Xml[I] != ';') continue; // not a reference
        if (V > 0x10FFFF || !IsXmlChar(static_cast<char32_t>(V))) {
            Code = V > 0x10FFFF ? 0x110000 : static_cast<char32_t>(V);
            return At;
        }
    }
    return std::string_view::npos;
}

} // namespace orv
