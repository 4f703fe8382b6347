#include "host/data/TextEncoding.h"

#include "host/core/SysUtils.h"

#include "tests/MessageOf.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>

using namespace orv;

namespace {

// "南京东路店" and "中文" in GBK (also valid GB18030).
const std::string GbkShop = "\xC4\xCF\xBE\xA9\xB6\xAB\xC2\xB7\xB5\xEA";
const std::string GbkChinese = "\xD6\xD0\xCE\xC4";
const std::string Utf8Shop = "南京东路店";

std::string Packet(const std::string& Declaration, const std::string& Name) {
    return Declaration + R"(<DATAPACKET Version="2.0"><ROWDATA><ROW SHOP_NAME=")" + Name +
           R"("/></ROWDATA></DATAPACKET>)";
}

// What the XML parser makes of the decoded text, with its own encoding detection left on,
// as the data set uses it.
std::string ParsedShopName(const std::string& Decoded) {
    pugi::xml_document Doc;
    pugi::xml_parse_result R = Doc.load_buffer(Decoded.data(), Decoded.size());
    EXPECT_TRUE(R) << R.description();
    return Doc.child("DATAPACKET").child("ROWDATA").child("ROW").attribute("SHOP_NAME").value();
}

} // namespace

TEST(TextEncodingTest, DecodesDeclaredChineseCodePages) {
    for (const char* Name : {"gbk", "GBK", "gb2312", "GB2312", "gb18030", "GB18030", "Gbk", "cp936"}) {
        for (const char* Quote : {"\"", "'"}) {
            std::string Decl = std::string("<?xml version=\"1.0\" encoding=") + Quote + Name + Quote +
                               " standalone=\"yes\"?>  ";
            std::string Decoded = DecodePacketBytes(Packet(Decl, GbkShop));
            EXPECT_EQ(Decoded, Packet(std::string("<?xml version=\"1.0\" encoding=") + Quote + "UTF-8" +
                                          Quote + " standalone=\"yes\"?>  ",
                                      Utf8Shop))
                << Name;
            EXPECT_EQ(ParsedShopName(Decoded), Utf8Shop) << Name;
        }
    }
}

TEST(TextEncodingTest, DeclarationIsReadTolerantly) {
    // Attribute order, blanks around '=', upper-case names: the encoding is still found.
    for (const std::string Decl :
         {"<?xml encoding = 'GBK' version=\"1.0\"?>", "<?xml\tversion=\"1.0\"\nENCODING=\"gbk\"?>",
          "<?XML version=\"1.0\" encoding=\"gbk\"?>", "\r\n<?xml version=\"1.0\" encoding=\"gbk\" ?>"})
        EXPECT_EQ(ParsedShopName(DecodePacketBytes(Packet(Decl, GbkShop))), Utf8Shop) << Decl;
}

TEST(TextEncodingTest, OnlyTheDeclarationIsRewritten) {
    std::string Raw = "<?xml version=\"1.0\" encoding=\"gbk\"?><DATAPACKET Version=\"2.0\"><ROWDATA><ROW "
                      "NOTE=\"encoding=&quot;gbk&quot;\" SHOP_NAME=\"" +
                      GbkChinese + "\"/></ROWDATA></DATAPACKET>";
    EXPECT_EQ(DecodePacketBytes(Raw),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DATAPACKET Version=\"2.0\"><ROWDATA>"
              "<ROW NOTE=\"encoding=&quot;gbk&quot;\" SHOP_NAME=\"中文\"/></ROWDATA></DATAPACKET>");
}

TEST(TextEncodingTest, DecodesFourByteGb18030) {
    // U+20000 is outside GBK; GB18030 writes it in four bytes.
    std::string Raw = Packet("<?xml version=\"1.0\" encoding=\"gb2312\"?>", "\x95\x32\x82\x36" + GbkChinese);
    EXPECT_EQ(ParsedShopName(DecodePacketBytes(Raw)), "\xF0\xA0\x80\x80中文");
}

TEST(TextEncodingTest, UndeclaredTextIsUtf8WhenValidElseGb18030) {
    const std::string Utf8 = Packet("<?xml version=\"1.0\" standalone=\"yes\"?>  ", Utf8Shop);
    EXPECT_EQ(DecodePacketBytes(Utf8), Utf8);
    const std::string Ascii = Packet("", "S001");
    EXPECT_EQ(DecodePacketBytes(Ascii), Ascii);

    EXPECT_EQ(DecodePacketBytes(Packet("<?xml version=\"1.0\" standalone=\"yes\"?>  ", GbkShop)), Utf8);
    EXPECT_EQ(DecodePacketBytes(Packet("", GbkChinese)), Packet("", "中文"));
}

TEST(TextEncodingTest, Utf8MustBeValidWhenDeclared) {
    const std::string Good = Packet("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", Utf8Shop);
    EXPECT_EQ(DecodePacketBytes(Good), Good);
    EXPECT_EQ(DecodePacketBytes(Packet("<?xml version=\"1.0\" encoding=\"utf8\"?>", "x")),
              Packet("<?xml version=\"1.0\" encoding=\"utf8\"?>", "x"));

    // GBK bytes under a UTF-8 declaration are not silently re-guessed.
    const std::string Decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    const std::string Raw = Packet(Decl, GbkChinese);
    const std::string Offset = std::to_string(Raw.find(GbkChinese));
    std::string Message = MessageOf<EConvertError>([&] { DecodePacketBytes(Raw); });
    EXPECT_NE(Message.find("UTF-8"), std::string::npos) << Message;
    EXPECT_NE(Message.find(Offset), std::string::npos) << Message;

    // Overlong forms, surrogates, code points past U+10FFFF and a cut-off sequence.
    for (const std::string Bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8"})
        EXPECT_THROW(DecodePacketBytes(Packet(Decl, Bad)), EConvertError);
}

TEST(TextEncodingTest, ByteOrderMark) {
    const std::string Bom = "\xEF\xBB\xBF";
    const std::string Plain = Packet("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", Utf8Shop);
    EXPECT_EQ(DecodePacketBytes(Bom + Plain), Plain);
    EXPECT_EQ(DecodePacketBytes(Bom + Packet("", Utf8Shop)), Packet("", Utf8Shop));
    EXPECT_EQ(DecodePacketBytes(Bom), "");

    // With a mark, the text is UTF-8 whatever else it claims; a contradiction is refused.
    EXPECT_THROW(DecodePacketBytes(Bom + Packet("<?xml version=\"1.0\" encoding=\"gbk\"?>", GbkShop)),
                 EConvertError);
    // The offset counts the mark, so it points into the bytes the caller has.
    const std::string Raw = Bom + Packet("", GbkChinese);
    std::string Message = MessageOf<EConvertError>([&] { DecodePacketBytes(Raw); });
    EXPECT_NE(Message.find(std::to_string(Raw.find(GbkChinese))), std::string::npos) << Message;

    EXPECT_THROW(DecodePacketBytes("\xFF\xFE<\0?\0x\0m\0l\0"), EConvertError);
    EXPECT_THROW(DecodePacketBytes("\xFE\xFF\0<\0?\0x\0m\0l"), EConvertError);
}

TEST(TextEncodingTest, OtherEncodingsKnownToIconv) {
    // "café €" in windows-1252; ISO-8859-1 has no euro sign, so 0x80 there is a control character.
    const std::string Cp1252 = "caf\xE9 \x80";
    std::string Decoded =
        DecodePacketBytes(Packet("<?xml version=\"1.0\" encoding=\"windows-1252\"?>", Cp1252));
    EXPECT_EQ(Decoded, Packet("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "café €"));
    // Left as ISO-8859-1, the parser would decode these bytes a second time.
    Decoded = DecodePacketBytes(Packet("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "Muria\xE9"));
    EXPECT_EQ(ParsedShopName(Decoded), "Muriaé");

    std::string Message = MessageOf<EConvertError>(
        [] { DecodePacketBytes(Packet("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>", "\xE9")); });
    EXPECT_NE(Message.find("US-ASCII"), std::string::npos) << Message;
}

TEST(TextEncodingTest, RefusesUnknownAndUnusableEncodings) {
    std::string Message = MessageOf<EConvertError>(
        [] { DecodePacketBytes(Packet("<?xml version=\"1.0\" encoding=\"x-quillon-8\"?>", "a")); });
    EXPECT_NE(Message.find("x-quillon-8"), std::string::npos) << Message;

    // Not an encoding name at all; in particular no iconv modifiers slip through.
    for (const char* Name : {"UTF-8//IGNORE", "GBK//TRANSLIT", "", "8bit", "gb k"})
        EXPECT_THROW(
            DecodePacketBytes(Packet(std::string("<?xml version=\"1.0\" encoding=\"") + Name + "\"?>", "a")),
            EConvertError)
            << Name;

    // A declaration readable as ASCII cannot be UTF-16 or UTF-32.
    for (const char* Name : {"UTF-16", "UTF-16LE", "UTF-32", "UCS-2"})
        EXPECT_NE(MessageOf<EConvertError>([&] {
                      DecodePacketBytes(
                          Packet(std::string("<?xml version=\"1.0\" encoding=\"") + Name + "\"?>", "a"));
                  }).find(Name),
                  std::string::npos)
            << Name;
}

TEST(TextEncodingTest, InvalidGb18030ReportsTheOffset) {
    const std::string Decl = "<?xml version=\"1.0\" encoding=\"GBK\"?>";
    // 0xFF never starts a GB18030 character; 0xD6 0x20 is a lead byte with a bad trail byte.
    for (const std::string Bad : {"\xFF", "\x80", "\xD6\x20", "\x95\x32\x82"}) {
        const std::string Raw = Packet(Decl, GbkChinese + Bad);
        const std::size_t Offset = Raw.find(GbkChinese) + GbkChinese.size();
        std::string Message = MessageOf<EConvertError>([&] { DecodePacketBytes(Raw); });
        EXPECT_NE(Message.find("GBK"), std::string::npos) << Message;
        EXPECT_NE(Message.find("字节偏移 " + std::to_string(Offset) + " "), std::string::npos) << Message;
    }
    // A lead byte cut off at the very end.
    const std::string Cut = "<?xml version=\"1.0\" encoding=\"gbk\"?><A>" + GbkChinese + "\xD6";
    std::string Message = MessageOf<EConvertError>([&] { DecodePacketBytes(Cut); });
    EXPECT_NE(Message.find("字节偏移 " + std::to_string(Cut.size() - 1) + " "), std::string::npos) << Message;

    // Without a declaration, bytes that are neither UTF-8 nor GB18030 are refused too.
    EXPECT_THROW(DecodePacketBytes(Packet("", "\xFF\xFF")), EConvertError);
}

TEST(TextEncodingTest, LargeGbkPacketConvertsCompletely) {
    // Output grows past any first guess at its size; nothing may be lost at the seams.
    std::string Raw = "<?xml version=\"1.0\" encoding=\"GBK\"?><R>";
    std::string Expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><R>";
    for (int I = 0; I < 20000; ++I) {
        Raw += GbkShop;
        Expected += Utf8Shop;
    }
    Raw += "</R>";
    Expected += "</R>";
    EXPECT_EQ(DecodePacketBytes(Raw), Expected);
}

TEST(TextEncodingTest, Utf8WellFormednessRules) {
    const std::size_t None = std::string_view::npos;
    for (const char* Good : {"", "ascii", "南京东路店", "\xC2\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80",
                             "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(IsValidUtf8(Good)) << Good;
        EXPECT_EQ(FirstInvalidUtf8(Good), None) << Good;
    }
    // Overlong forms, surrogates, beyond U+10FFFF, stray continuation bytes, cut sequences.
    for (const char* Bad : {"\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF0\x8F\xBF\xBF",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xE4\xB8", "\xE4\x41\x80"}) {
        const std::string Text = std::string("ab") + Bad;
        EXPECT_FALSE(IsValidUtf8(Text)) << Text;
        EXPECT_EQ(FirstInvalidUtf8(Text), 2u) << Text;
    }
}
