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
    std::string Out;
    Out.reserve((Bytes.size() + 2) / 3 * 4);
    const auto* P = reinterpret_cast<const unsigned char*>(Bytes.data());
    std::size_t N = Bytes.size();
    std::size_t I = 0;
    for (; I + 3 <= N; I += 3) {
        std::uint32_t V = (std::uint32_t{P[I]} << 16) | (std::uint32_t{P[I + 1]} << 8) | P[I + 2];
        Out += Alphabet[(V >> 18) & 63];
        Out += Alphabet[(V >> 12) & 63];
        Out += Alphabet[(V >> 6) & 63];
        Out += Alphabet[V & 63];
    }
    if (N - I == 1) {
        std::uint32_t V = std::uint32_t{P[I]} << 16;
        Out += Alphabet[(V >> 18) & 63];
        Out += Alphabet[(V >> 12) & 63];
        Out += "==";
    } else if (N - I == 2) {
        std::uint32_t V = (std::uint32_t{P[I]} << 16) | (std::uint32_t{P[I + 1]} << 8);
        Out += Alphabet[(V >> 18) & 63];
        Out += Alphabet[(V >> 12) & 63];
        Out += Alphabet[(V >> 6) & 63];
        Out += '=';
    }
    return Out;
}

std::string Base64Decode(std::string_view Text) {
    if (Text.size() % 4 != 0)
        throw EConvertError(
            Format("Base64 文本长度 %s 不是 4 的倍数，数据可能被截断。", {std::to_string(Text.size())}));

    std::string Out;
    Out.reserve(Text.size() / 4 * 3);
    for (std::size_t I = 0; I < Text.size(); I += 4) {
        const bool LastGroup = I + 4 == Text.size();
        std::size_t Padding = 0;
        if (LastGroup) {
            if (Text[I + 3] == '=') ++Padding;
            if (Padding == 1 && Text[I + 2] == '=') ++Padding;
        }
        std::uint32_t V = 0;
        for (std::size_t K = 0; K < 4 - Padding; ++K) {
            std::int8_t D = DecodeTable[static_cast<unsigned char>(Text[I + K])];
            if (D == Invalid) BadCharacter(Text, I + K);
            V |= static_cast<std::uint32_t>(D) << (18 - 6 * K);
        }
        // An encoder never sets the bits that padding cuts off; text that does was altered.
        if ((Padding == 1 && (V & 0xFF) != 0) || (Padding == 2 && (V & 0xFFFF) != 0))
            BadCharacter(Text, I + 3 - Padding);
        Out += static_cast<char>((V >> 16) & 0xFF);
        if (Padding < 2) Out += static_cast<char>((V >> 8) & 0xFF);
        if (Padding < 1) Out += static_cast<char>(V & 0xFF);
    }
    return Out;
}

} // namespace orv
