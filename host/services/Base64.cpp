#include "host/services/Base64.h"

#include "host/core/SysUtils.h"

#include <array>
#include <cstdint>

namespace orv {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t Invalid = -1;

constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
    std::array<std::int8_t, 256> Table{};
    for (auto& V : Table)
        V = Invalid;
    for (int I = 0; I < 64; ++I)
        Table[static_cast<unsigned char>(Alphabet[I])] = static_cast<std::int8_t>(I);
    return Table;
}

constexpr auto DecodeTable = MakeDecodeTable();

[[noreturn]] void BadCharacter(std::string_view Text, std::size_t Pos) {
    unsigned char C = static_cast<unsigned char>(Text[Pos]);
    std::string Shown;
    if (C >= 0x21 && C < 0x7F) {
        Shown = std::string("“") + static_cast<char>(C) + "”";
    } else {
        static constexpr char Hex[] = "0123456789ABCDEF";
        Shown = std::string("0x") + Hex[C >> 4] + Hex[C & 0xF];
    }
    throw EConvertError(Format("Base64 文本第 %s 个字符 %s 不合法。", {std::to_string(Pos + 1), Shown}));
}

} // namespace

std::string Base64Encode(std::string_view Bytes) {
    const auto* P = reinterpret_cast<const unsigned char*>(Bytes.data());
    const std::size_t N = Bytes.size();
    std::string Out((N + 2) / 3 * 4, '\0');
    char* O = Out.data();
    std::size_t I = 0;
    for (; I + 3 <= N; I += 3, O += 4) {
        const std::uint32_t V = (std::uint32_t{P[I]} << 16) | (std::uint32_t{P[I + 1]} << 8) | P[I + 2];
        O[0] = Alphabet[V >> 18];
        O[1] = Alphabet[(V >> 12) & 63];
        O[2] = Alphabet[(V >> 6) & 63];
        O[3] = Alphabet[V & 63];
    }
    if (I < N) {
        const bool Two = N - I == 2;
        const std::uint32_t V = (std::uint32_t{P[I]} << 16) | (Two ? std::uint32_t{P[I + 1]} << 8 : 0);
        O[0] = Alphabet[V >> 18];
        O[1] = Alphabet[(V >> 12) & 63];
        O[2] = Two ? Alphabet[(V >> 6) & 63] : '=';
        O[3] = '=';
    }
    return Out;
}

std::string Base64Decode(std::string_view Text) {
    if (Text.size() % 4 != 0)
        throw EConvertError(
            Format("Base64 文本长度 %s 不是 4 的倍数，数据可能被截断。", {std::to_string(Text.size())}));

    std::size_t Padding = 0;
    if (!Text.empty() && Text.back() == '=') {
        ++Padding;
        if (Text[Text.size() - 2] == '=') ++Padding;
    }
    std::string Out(Text.size() / 4 * 3 - Padding, '\0');
    char* O = Out.data();
    const std::size_t Groups = Text.size() / 4;
    for (std::size_t G = 0; G < Groups; ++G) {
        const std::size_t I = G * 4;
        const std::size_t Pad = G + 1 == Groups ? Padding : 0;
        std::uint32_t V = 0;
        for (std::size_t K = 0; K < 4 - Pad; ++K) {
            const std::int8_t D = DecodeTable[static_cast<unsigned char>(Text[I + K])];
            if (D == Invalid) BadCharacter(Text, I + K);
            V |= static_cast<std::uint32_t>(D) << (18 - 6 * K);
        }
        // An encoder never sets the bits that padding cuts off; text that does was altered.
        if ((Pad == 1 && (V & 0xFF) != 0) || (Pad == 2 && (V & 0xFFFF) != 0)) BadCharacter(Text, I + 3 - Pad);
        *O++ = static_cast<char>((V >> 16) & 0xFF);
        if (Pad < 2) *O++ = static_cast<char>((V >> 8) & 0xFF);
        if (Pad < 1) *O++ = static_cast<char>(V & 0xFF);
    }
    return Out;
}

} // namespace orv
