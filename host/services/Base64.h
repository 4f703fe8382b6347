// Base64 (RFC 4648 standard alphabet, with padding) for the packed-data text.
#pragma once

#include <string>
#include <string_view>

namespace orv {

std::string Base64Encode(std::string_view Bytes);

// Strict: the text must be exactly what Base64Encode produces for some input. Whitespace,
// characters outside the alphabet, a length that is not a multiple of four, misplaced or
// missing padding and non-zero unused bits all raise EConvertError naming the position.
// Accepting only the canonical form means any damage to the text is caught here or by the
// length check of the caller, never silently decoded into different bytes.
std::string Base64Decode(std::string_view Text);

} // namespace orv
