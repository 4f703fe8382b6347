#include "host/services/Interfaces.h"

#include "host/core/SysUtils.h"

#include <cstdio>
#include <cstring>

namespace orv {

namespace {
int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}
} // namespace

TGUID TGUID::FromString(std::string_view Text) {
    // {8-4-4-4-12}
    static const char Shape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (Text.size() != sizeof Shape - 1) throw EConvertError(Format("“%s”不是有效的 GUID。", {Text}));
    std::uint8_t Bytes[16];
    int N = 0;
    for (std::size_t I = 0; I < Text.size(); ++I) {
        if (Shape[I] != 'X') {
            if (Text[I] != Shape[I]) throw EConvertError(Format("“%s”不是有效的 GUID。", {Text}));
            continue;
        }
        int Hi = HexValue(Text[I]), Lo = HexValue(Text[I + 1]);
        if (Hi < 0 || Lo < 0) throw EConvertError(Format("“%s”不是有效的 GUID。", {Text}));
        Bytes[N++] = static_cast<std::uint8_t>(Hi * 16 + Lo);
        ++I;
    }
    TGUID G;
    G.D1 = (std::uint32_t(Bytes[0]) << 24) | (std::uint32_t(Bytes[1]) << 16) | (std::uint32_t(Bytes[2]) << 8) | Bytes[3];
    G.D2 = static_cast<std::uint16_t>((Bytes[4] << 8) | Bytes[5]);
    G.D3 = static_cast<std::uint16_t>((Bytes[6] << 8) | Bytes[7]);
    std::memcpy(G.D4, Bytes + 8, 8);
    return G;
}

std::string TGUID::ToString() const {
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2, D3, D4[0], D4[1], D4[2],
                  D4[3], D4[4], D4[5], D4[6], D4[7]);
    return Buf;
}

bool TGUID::operator==(const TGUID& O) const {
    return D1 == O.D1 && D2 == O.D2 && D3 == O.D3 && std::memcmp(D4, O.D4, 8) == 0;
}

} // namespace orv
