// Turns the bytes of an XML data packet into UTF-8 text for the XML parser.
//
// Packets come from old clients in the system code page (GBK, usually without any
// declaration) as well as from newer ones in UTF-8, so the encoding is taken from the XML
// declaration, or guessed when there is none:
//   - gb2312, gbk, gb18030 (and their aliases) are decoded as GB18030, its superset;
//   - UTF-8 must be valid UTF-8;
//   - no declared encoding: valid UTF-8 stays as it is, anything else is decoded as GB18030;
//   - any other encoding the C library's iconv knows is converted from; an unknown one,
//     or one in which ASCII text is not plain ASCII bytes (UTF-16, UTF-32...), is refused.
// A UTF-8 byte order mark is dropped. After a conversion the declaration names UTF-8, so
// the parser does not decode the text a second time. Undecodable bytes raise EConvertError
// with their byte offset in Raw.
#pragma once

#include <string>
#include <string_view>

namespace orv {

std::string DecodePacketBytes(std::string_view Raw);

} // namespace orv
