// Packing of XML data packets and deltas for the trip between the windows and the
// business objects.
//
// Packed text is printable ASCII, so it survives any text channel. Layout:
//
//     ORVPK<version><options>:<length>:<crc>:<payload>
//
//   version  one digit, currently 1;
//   options  one digit 0..3, bit 0 = compressed, bit 1 = checksum;
//   length   decimal byte length of the original text, no leading zeros;
//   crc      CRC-32 of the original text as 8 upper-case hex digits, present exactly
//            when the checksum option was used, otherwise empty;
//   payload  Base64 of the original bytes, or of their zlib stream when compressed.
//
// The header records everything OrvUnpack needs, so unpacking takes no options. Empty text
// still packs to a header ("ORVPK10:0::"), so "no data" and "no packet at all" differ.
// The length is always present so that a cut-off packet is refused even without the
// checksum option.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

enum class TOrvPackOption { poCompress, poChecksum };

// A set of TOrvPackOption, as the session hands it out and OrvPack takes it.
class TOrvPackOptions {
public:
    constexpr TOrvPackOptions() = default;
    constexpr TOrvPackOptions(std::initializer_list<TOrvPackOption> Options) {
        for (TOrvPackOption O : Options)
            Include(O);
    }

    constexpr TOrvPackOptions& Include(TOrvPackOption O) {
        FBits |= Bit(O);
        return *this;
    }
    constexpr TOrvPackOptions& Exclude(TOrvPackOption O) {
        FBits &= static_cast<std::uint8_t>(~Bit(O));
        return *this;
    }
    constexpr bool Contains(TOrvPackOption O) const { return (FBits & Bit(O)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }

    friend constexpr bool operator==(TOrvPackOptions, TOrvPackOptions) = default;

private:
    static constexpr std::uint8_t Bit(TOrvPackOption O) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(O));
    }
    std::uint8_t FBits = 0;
};

// Packs Text (any bytes) with the given options.
std::string OrvPack(std::string_view Text, TOrvPackOptions Options);

// Gives back the exact bytes that were packed. A damaged, cut-off or foreign text raises
// EConvertError; nothing is returned that differs from what was packed as far as the
// recorded length (and, when present, the checksum and zlib's own check) can tell.
std::string OrvUnpack(std::string_view Packed);

} // namespace orv
