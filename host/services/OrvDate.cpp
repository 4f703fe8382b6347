#include "host/services/OrvDate.h"

#include "host/core/SysUtils.h"

#include <cstdio>

namespace orv {

namespace {

// The offending text goes into a message box, so keep it readable: control characters
// and bytes that are not UTF-8 are shown as escapes, and a long text is cut short.
std::string Shown(std::string_view Text) {
    constexpr std::size_t MaxBytes = 40;
    const bool Utf8 = IsValidUtf8(Text);
    std::string Out;
    std::size_t I = 0;
    for (; I < Text.size() && Out.size() < MaxBytes; ++I) {
        unsigned char C = static_cast<unsigned char>(Text[I]);
        if (C < 0x20 || C == 0x7F || (C >= 0x80 && !Utf8)) {
            char Buf[5];
            std::snprintf(Buf, sizeof Buf, "\\x%02X", C);
            Out += Buf;
        } else {
            Out += static_cast<char>(C);
        }
    }
    // Never stop inside a UTF-8 sequence.
    while (I < Text.size() && Utf8 && (static_cast<unsigned char>(Text[I]) & 0xC0) == 0x80)
        Out += Text[I++];
    if (I < Text.size()) Out += "…";
    return Out;
}

[[noreturn]] void NotADate(std::string_view Text) {
    throw EConvertError(Format("“%s”不是有效的日期，应为 8 位数字 YYYYMMDD。", {Shown(Text)}));
}

} // namespace

std::string OrvDateToStr8(TDateTime Value) {
    return FormatDate8(DateOf(Value)); // refuses a value outside 0001-01-01..9999-12-31
}

TDateTime OrvStr8ToDate(std::string_view Text) {
    std::int32_t Days;
    if (!TryParseDate8(Text, Days)) NotADate(Text);
    return Days;
}

} // namespace orv
