#include "host/services/OrvPack.h"
#include "host/services/Base64.h"

#include "host/core/SysUtils.h"

#include "tests/MessageOf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orv;

namespace {

const std::vector<TOrvPackOptions> AllOptionSets = {
    {},
    {TOrvPackOption::poCompress},
    {TOrvPackOption::poChecksum},
    {TOrvPackOption::poCompress, TOrvPackOption::poChecksum},
};

std::string AllBytes() {
    std::string S;
    for (int I = 0; I < 256; ++I)
        S += static_cast<char>(I);
    return S;
}

const std::string Delta =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0">)"
    R"(<METADATA><FIELDS><FIELD attrname="SHOP_NAME" fieldtype="string" WIDTH="50"/></FIELDS>)"
    R"(<PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA><ROW RowState="4" SHOP_NAME="南京东路店"/>)"
    R"(</ROWDATA></DATAPACKET>)";

} // namespace

TEST(OrvPackOptionsTest, SetOperations) {
    TOrvPackOptions None;
    EXPECT_TRUE(None.Empty());
    EXPECT_FALSE(None.Contains(TOrvPackOption::poCompress));

    TOrvPackOptions Both{TOrvPackOption::poCompress, TOrvPackOption::poChecksum};
    EXPECT_TRUE(Both.Contains(TOrvPackOption::poCompress));
    EXPECT_TRUE(Both.Contains(TOrvPackOption::poChecksum));

    TOrvPackOptions Built;
    Built.Include(TOrvPackOption::poChecksum).Include(TOrvPackOption::poCompress);
    EXPECT_EQ(Built, Both);
    Built.Exclude(TOrvPackOption::poCompress);
    EXPECT_EQ(Built, TOrvPackOptions{TOrvPackOption::poChecksum});
    EXPECT_NE(Built, Both);
    EXPECT_FALSE(Built.Contains(TOrvPackOption::poCompress));
    // Including twice is still one member.
    EXPECT_EQ((TOrvPackOptions{TOrvPackOption::poChecksum, TOrvPackOption::poChecksum}), Built);
}

TEST(Base64Test, KnownVectorsAndStrictness) {
    // RFC 4648 test vectors.
    const std::pair<const char*, const char*> Vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (auto [Plain, Encoded] : Vectors) {
        EXPECT_EQ(Base64Encode(Plain), Encoded);
        EXPECT_EQ(Base64Decode(Encoded), Plain);
    }
    EXPECT_EQ(Base64Decode(Base64Encode(AllBytes())), AllBytes());

    for (const char* Bad : {"Zg=", "Zm9", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v", "Z===", "====", "Zg==Zm9v",
                            "Zm=v", "Zh==", "Zm9=", "Zm\xC3\xA9"})
        EXPECT_THROW(Base64Decode(Bad), EConvertError) << Bad;
}

TEST(OrvPackTest, RoundTripsEveryOptionSet) {
    const std::vector<std::string> Texts = {
        "", "x", Delta, AllBytes(), std::string("a\0b\0", 4), std::string(100000, 'A'), "中文：提成比例"};
    for (const auto& Options : AllOptionSets)
        for (const auto& Text : Texts) {
            std::string Packed = OrvPack(Text, Options);
            EXPECT_EQ(OrvUnpack(Packed), Text);
            for (char C : Packed)
                EXPECT_TRUE(C >= 0x21 && C < 0x7F) << "not printable ASCII: " << int(C);
        }
}

TEST(OrvPackTest, HeaderRecordsOptionsLengthAndChecksum) {
    EXPECT_EQ(OrvPack("", {}), "ORVPK10:0::");
    EXPECT_EQ(OrvPack("foo", {}), "ORVPK10:3::Zm9v");
    // CRC-32 of "123456789" is the standard check value CBF43926.
    EXPECT_EQ(OrvPack("123456789", {TOrvPackOption::poChecksum}), "ORVPK12:9:CBF43926:MTIzNDU2Nzg5");
    EXPECT_TRUE(OrvPack(Delta, {TOrvPackOption::poCompress})
                    .starts_with("ORVPK11:" + std::to_string(Delta.size()) + "::"));
    EXPECT_TRUE(
        OrvPack(Delta, {TOrvPackOption::poCompress, TOrvPackOption::poChecksum}).starts_with("ORVPK13:"));
}

TEST(OrvPackTest, CompressionShrinksRepetitiveText) {
    std::string Rows;
    for (int I = 0; I < 200; ++I)
        Rows += R"(<ROW SHOP_NUM="S001" SHOP_NAME="南京东路店" CMS_RATE="0.0500"/>)";
    EXPECT_LT(OrvPack(Rows, {TOrvPackOption::poCompress}).size(), OrvPack(Rows, {}).size() / 10);
}

TEST(OrvPackTest, RefusesForeignText) {
    for (const char* Foreign : {"", "<?xml version=\"1.0\"?>", "orvpk10:0::", "ORVP", "Zm9v"})
        EXPECT_NE(MessageOf<EConvertError>([&] { OrvUnpack(Foreign); }).find("无法识别"), std::string::npos) << Foreign;
    EXPECT_NE(MessageOf<EConvertError>([] { OrvUnpack("ORVPK20:0::"); }).find("版本 2"), std::string::npos);
}

TEST(OrvPackTest, RefusesDamagedHeader) {
    for (const char* Bad : {
             "ORVPK1",                            // cut inside the header
             "ORVPK14:3::Zm9v",                   // unknown option bits
             "ORVPK10:3:Zm9v",                    // a field missing
             "ORVPK10:3:::Zm9v",                  // a field too many
             "ORVPK10x:3::Zm9v",                  // junk before the first colon
             "ORVPK10::Zm9v",                     // no length
             "ORVPK10:03::Zm9v",                  // leading zero
             "ORVPK10:-3::Zm9v",                  // sign
             "ORVPK10: 3::Zm9v",                  // blank
             "ORVPK10:99999999999999999999999::", // overflows
             "ORVPK10:3:CBF43926:Zm9v",           // checksum present without the option
             "ORVPK12:3::Zm9v",                   // checksum option without a checksum
             "ORVPK12:3:cbf43926:Zm9v",           // lower-case hex is not what we write
             "ORVPK12:3:CBF4392:Zm9v",            // short checksum
         }) {
        std::string Message = MessageOf<EConvertError>([&] { OrvUnpack(Bad); });
        EXPECT_TRUE(Message.starts_with("打包数据已损坏：")) << Bad << " -> " << Message;
    }
}

TEST(OrvPackTest, DetectsTruncationWithoutChecksum) {
    for (const auto& Options : AllOptionSets) {
        std::string Packed = OrvPack(Delta, Options);
        // Every cut inside the payload is refused, whether or not it leaves valid Base64.
        std::size_t PayloadStart = Packed.rfind(':') + 1;
        for (std::size_t Cut = PayloadStart; Cut < Packed.size(); ++Cut)
            EXPECT_THROW(OrvUnpack(Packed.substr(0, Cut)), EConvertError) << Cut;
    }
    EXPECT_NE(MessageOf<EConvertError>([] { OrvUnpack("ORVPK10:4::Zm9v"); }).find("长度不符"), std::string::npos);
    EXPECT_NE(MessageOf<EConvertError>([] { OrvUnpack("ORVPK10:2::Zm9v"); }).find("长度不符"), std::string::npos);
}

TEST(OrvPackTest, DetectsChangedBytes) {
    std::string Packed = OrvPack(Delta, {TOrvPackOption::poChecksum});
    // Swap one payload character for another valid Base64 character: only the checksum can tell.
    std::size_t At = Packed.rfind(':') + 10;
    Packed[At] = Packed[At] == 'A' ? 'B' : 'A';
    EXPECT_EQ(MessageOf<EConvertError>([&] { OrvUnpack(Packed); }), "打包数据已损坏：校验和不符。");

    std::string Forged = OrvPack("foo", {TOrvPackOption::poChecksum});
    Forged.replace(Forged.find("8C736521"), 8, "00000000");
    EXPECT_EQ(MessageOf<EConvertError>([&] { OrvUnpack(Forged); }), "打包数据已损坏：校验和不符。");
}

TEST(OrvPackTest, RefusesDamagedCompressedStream) {
    const std::string Header = "ORVPK11:" + std::to_string(Delta.size()) + "::";
    std::string Stream = Base64Decode(OrvPack(Delta, {TOrvPackOption::poCompress}).substr(Header.size()));

    std::string Flipped = Stream;
    Flipped[Flipped.size() / 2] ^= 0x55;
    EXPECT_THROW(OrvUnpack(Header + Base64Encode(Flipped)), EConvertError);

    std::string Trailing = Stream + "junk";
    EXPECT_NE(MessageOf<EConvertError>([&] { OrvUnpack(Header + Base64Encode(Trailing)); }).find("多余内容"),
              std::string::npos);

    // The stream is intact but the recorded length is wrong either way.
    const std::string Payload = Base64Encode(Stream);
    EXPECT_THROW(OrvUnpack("ORVPK11:" + std::to_string(Delta.size() - 1) + "::" + Payload), EConvertError);
    EXPECT_THROW(OrvUnpack("ORVPK11:" + std::to_string(Delta.size() + 1) + "::" + Payload), EConvertError);
    // A forged huge length is refused before any buffer is made for it.
    EXPECT_THROW(OrvUnpack("ORVPK11:900000000000::" + Payload), EConvertError);
    // Empty text compressed still carries a zlib stream; no stream at all is damage.
    EXPECT_THROW(OrvUnpack("ORVPK11:0::"), EConvertError);
}

TEST(OrvPackTest, RefusesBadBase64Payload) {
    for (const char* Bad : {"ORVPK10:3::Zm9v\n", "ORVPK10:3::Zm9v=", "ORVPK10:3:: Zm9v", "ORVPK10:2::Zm9="})
        EXPECT_TRUE(MessageOf<EConvertError>([&] { OrvUnpack(Bad); }).starts_with("打包数据已损坏：")) << Bad;
}
