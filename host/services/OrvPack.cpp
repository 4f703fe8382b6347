#include "host/services/OrvPack.h"

#include "host/core/SysUtils.h"
#include "host/services/Base64.h"

#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <limits>

namespace orv {

namespace {

constexpr std::string_view Magic = "ORVPK";
constexpr char FormatVersion = '1';
constexpr unsigned CompressBit = 1;
constexpr unsigned ChecksumBit = 2;

// Deflate cannot expand data by more than about 1032:1, so a recorded length beyond that
// ratio is damage; refusing it early also keeps a forged header from demanding a huge buffer.
constexpr std::uint64_t MaxDeflateRatio = 1032;

[[noreturn]] void Damaged(std::string_view Why) {
    throw EConvertError(Format("打包数据已损坏：%s", {Why}));
}

std::uint32_t Crc32Of(std::string_view Text) {
    uLong Crc = crc32_z(0L, Z_NULL, 0);
    Crc = crc32_z(Crc, reinterpret_cast<const Bytef*>(Text.data()), Text.size());
    return static_cast<std::uint32_t>(Crc);
}

std::string Hex8(std::uint32_t Value) {
    char Buf[9];
    std::snprintf(Buf, sizeof Buf, "%08X", static_cast<unsigned>(Value));
    return Buf;
}

// The fastest level: a large list is packed on every load, and at this level compressing
// it costs about what the Base64 of its plain text would; the default level takes three
// times as long for a stream a fifth smaller.
std::string Compress(std::string_view Text) {
    uLongf Size = compressBound(static_cast<uLong>(Text.size()));
    std::string Out(Size, '\0');
    int Rc =
        compress2(reinterpret_cast<Bytef*>(Out.data()), &Size, reinterpret_cast<const Bytef*>(Text.data()),
                  static_cast<uLong>(Text.size()), Z_BEST_SPEED);
    if (Rc != Z_OK) throw EConvertError(Format("数据压缩失败：%s。", {zError(Rc)}));
    Out.resize(Size);
    return Out;
}

std::string Decompress(std::string_view Stream, std::uint64_t Length) {
    if (Length > (Stream.size() + 1) * MaxDeflateRatio) Damaged("记录的长度与压缩数据不符。");
    std::string Out(static_cast<std::size_t>(Length), '\0');
    uLongf OutSize = static_cast<uLongf>(Length);
    uLong InSize = static_cast<uLong>(Stream.size());
    int Rc = uncompress2(reinterpret_cast<Bytef*>(Out.data()), &OutSize,
                         reinterpret_cast<const Bytef*>(Stream.data()), &InSize);
    if (Rc == Z_BUF_ERROR) Damaged(Format("解压后的数据长于记录的 %s 字节。", {std::to_string(Length)}));
    if (Rc != Z_OK) Damaged(Format("压缩数据无法解压（%s）。", {zError(Rc)}));
    if (InSize != Stream.size()) Damaged("压缩数据之后有多余内容。");
    if (OutSize != Length)
        Damaged(Format("长度不符（应为 %s 字节，实为 %s 字节）。",
                       {std::to_string(Length), std::to_string(OutSize)}));
    return Out;
}

// Splits "a:b:c:d" into exactly four parts; any other count is not our header.
bool SplitFour(std::string_view Text, std::string_view (&Parts)[4]) {
    std::size_t Start = 0;
    for (int I = 0; I < 3; ++I) {
        std::size_t Colon = Text.find(':', Start);
        if (Colon == std::string_view::npos) return false;
        Parts[I] = Text.substr(Start, Colon - Start);
        Start = Colon + 1;
    }
    Parts[3] = Text.substr(Start);
    return Parts[3].find(':') == std::string_view::npos;
}

bool IsDigits(std::string_view S) {
    if (S.empty()) return false;
    for (char C : S)
        if (C < '0' || C > '9') return false;
    return true;
}

bool IsUpperHex8(std::string_view S) {
    if (S.size() != 8) return false;
    for (char C : S)
        if (!((C >= '0' && C <= '9') || (C >= 'A' && C <= 'F'))) return false;
    return true;
}

} // namespace

std::string OrvPack(std::string_view Text, TOrvPackOptions Options) {
    unsigned Bits = 0;
    if (Options.Contains(TOrvPackOption::poCompress)) Bits |= CompressBit;
    if (Options.Contains(TOrvPackOption::poChecksum)) Bits |= ChecksumBit;

    std::string Out(Magic);
    Out += FormatVersion;
    Out += static_cast<char>('0' + Bits);
    Out += ':';
    Out += std::to_string(Text.size());
    Out += ':';
    if (Bits & ChecksumBit) Out += Hex8(Crc32Of(Text));
    Out += ':';
    if (Bits & CompressBit)
        Out += Base64Encode(Compress(Text));
    else
        Out += Base64Encode(Text);
    return Out;
}

std::string OrvUnpack(std::string_view Packed) {
    if (Packed.substr(0, Magic.size()) != Magic) throw EConvertError("无法识别的打包数据：缺少打包数据头。");
    if (Packed.size() < Magic.size() + 2) Damaged("打包数据头不完整。");
    char Version = Packed[Magic.size()];
    if (Version != FormatVersion)
        throw EConvertError(Format("打包数据的格式版本 %s 不受支持。", {std::string_view(&Version, 1)}));
    char OptionDigit = Packed[Magic.size() + 1];
    if (OptionDigit < '0' || OptionDigit > '3') Damaged("打包数据头中的选项无效。");
    const unsigned Bits = static_cast<unsigned>(OptionDigit - '0');

    std::string_view Parts[4];
    if (!SplitFour(Packed.substr(Magic.size() + 2), Parts) || !Parts[0].empty())
        Damaged("打包数据头格式不正确。");
    const std::string_view LengthText = Parts[1], CrcText = Parts[2], Payload = Parts[3];

    std::uint64_t Length = 0;
    if (!IsDigits(LengthText) || (LengthText.size() > 1 && LengthText[0] == '0') ||
        std::from_chars(LengthText.data(), LengthText.data() + LengthText.size(), Length).ec != std::errc() ||
        Length > std::numeric_limits<std::size_t>::max() / 2)
        Damaged("打包数据头中的长度无效。");

    const bool HasChecksum = (Bits & ChecksumBit) != 0;
    if (HasChecksum ? !IsUpperHex8(CrcText) : !CrcText.empty()) Damaged("打包数据头中的校验和字段无效。");

    std::string Bytes;
    try {
        Bytes = Base64Decode(Payload);
    } catch (const EConvertError& E) {
        Damaged(E.Message());
    }

    std::string Text;
    if (Bits & CompressBit) {
        Text = Decompress(Bytes, Length);
    } else {
        if (Bytes.size() != Length)
            Damaged(Format("长度不符（应为 %s 字节，实为 %s 字节）。",
                           {std::to_string(Length), std::to_string(Bytes.size())}));
        Text = std::move(Bytes);
    }

    if (HasChecksum && Hex8(Crc32Of(Text)) != CrcText) Damaged("校验和不符。");
    return Text;
}

} // namespace orv
