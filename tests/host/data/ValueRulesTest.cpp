// The value and name rules a field and the packet reader share: whatever one refuses the
// other refuses too, and nothing either accepts makes a packet a strict reader refuses.
#include "host/data/ValueRules.h"
#include "host/data/ClientDataSet.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cctype>
#include <ostream>
#include <string>

using namespace orv;

namespace {

const std::string Head =
    R"(<?xml version="1.0" encoding="UTF-8"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="NAME" fieldtype="string" WIDTH="4"/><FIELD attrname="AMOUNT" fieldtype="fixed" WIDTH="6" DECIMALS="2"/>)"
    R"(<FIELD attrname="DAY" fieldtype="date"/><FIELD attrname="QTY" fieldtype="i2"/></FIELDS><PARAMS/></METADATA><ROWDATA>)";

std::string Packet(const std::string& Row) {
    return Head + "<ROW NAME=\"ok\"/><ROW " + Row + "/></ROWDATA></DATAPACKET>";
}

// Loads Xml; the error's message, or empty when it loaded.
std::string LoadError(TOrvClientDataSet& Cds, const std::string& Xml) {
    try {
        Cds.SetXMLData(Xml);
    } catch (const Exception& E) {
        return E.Message().empty() ? "(empty message)" : E.Message();
    }
    return {};
}

// Sets Value through the field of the last row; the error's message, or empty.
std::string SetError(TOrvClientDataSet& Cds, const char* Field, const std::string& Value) {
    Cds.Last();
    Cds.Edit();
    try {
        Cds.FieldByName(Field)->SetAsString(Value);
    } catch (const Exception& E) {
        Cds.Cancel();
        return E.Message().empty() ? "(empty message)" : E.Message();
    }
    Cds.Post();
    return {};
}

// Strict XML 1.0: pugixml does not check characters, so look for the ones XML forbids.
bool StrictXmlChars(const std::string& Xml) {
    for (std::size_t I = 0; I < Xml.size(); ++I) {
        const unsigned char C = static_cast<unsigned char>(Xml[I]);
        if (C < 0x20 && C != '\t' && C != '\n' && C != '\r') return false;
        if (C == 0xEF && I + 2 < Xml.size() && static_cast<unsigned char>(Xml[I + 1]) == 0xBF &&
            static_cast<unsigned char>(Xml[I + 2]) >= 0xBE)
            return false;
    }
    for (std::size_t At = Xml.find("&#"); At != std::string::npos; At = Xml.find("&#", At + 2)) {
        const bool Hex = Xml[At + 2] == 'x';
        const unsigned long V = std::stoul(Xml.substr(At + (Hex ? 3 : 2)), nullptr, Hex ? 16 : 10);
        if (V < 0x20 && V != 9 && V != 10 && V != 13) return false;
        if (V == 0xFFFE || V == 0xFFFF) return false;
    }
    return true;
}

struct TValueCase {
    const char* What;
    const char* Field;
    std::string Value;     // as a field is given it
    std::string Attribute; // the same value as the packet writes it
    bool Fits;
    const char* Why; // part of the message when it does not fit
    // The field's whole message, when it speaks of the field by its label (a number out of
    // bounds) rather than quoting the value.
    const char* SetMessage = nullptr;
};

void PrintTo(const TValueCase& C, std::ostream* Os) {
    *Os << C.What;
}

class ValueRulesTest : public ::testing::TestWithParam<TValueCase> {};

} // namespace

TEST_P(ValueRulesTest, FieldAndPacketReaderGiveTheSameVerdict) {
    const TValueCase& C = GetParam();
    TOrvClientDataSet Packet1(nullptr);
    const std::string Read = LoadError(Packet1, Packet(std::string(C.Field) + "=\"" + C.Attribute + "\""));

    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Packet(""));
    const std::string Before = Cds.GetXMLData();
    const std::string Set = SetError(Cds, C.Field, C.Value);

    if (C.Fits) {
        ASSERT_EQ(Read, "");
        ASSERT_EQ(Set, "");
        // What went in comes out, in a packet a strict reader takes.
        TOrvClientDataSet Again(nullptr);
        Again.SetXMLData(Cds.GetXMLData());
        EXPECT_TRUE(StrictXmlChars(Cds.GetXMLData())) << Cds.GetXMLData();
        for (TOrvClientDataSet* Set : {&Packet1, &Cds, &Again}) {
            Set->Last();
            EXPECT_EQ(Set->FieldByName(C.Field)->AsString(), C.Value);
        }
        return;
    }
    EXPECT_NE(Read.find("第 2 行字段“" + std::string(C.Field) + "”"), std::string::npos) << Read;
    EXPECT_NE(Read.find(C.Why), std::string::npos) << Read;
    if (C.SetMessage) {
        EXPECT_EQ(Set, C.SetMessage);
    } else {
        EXPECT_NE(Set.find("字段“" + std::string(C.Field) + "”"), std::string::npos) << Set;
        EXPECT_NE(Set.find(C.Why), std::string::npos) << Set;
    }
    EXPECT_EQ(Cds.GetXMLData(), Before);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueRulesTest,
    ::testing::Values(
        TValueCase{"text at its size", "NAME", "早班晚班", "早班晚班", true, ""},
        TValueCase{"tab, line feed, carriage return", "NAME", "\tb\r\n", "&#9;b&#13;&#10;", true, ""},
        TValueCase{"character beyond the basic plane", "NAME", "\U0001F600", "&#x1F600;", true, ""},
        TValueCase{"text too long", "NAME", "一二三四五", "一二三四五", false, "超过 4 个字符的长度限制"},
        TValueCase{"NUL", "NAME", std::string("a\0b", 3), "a&#0;b", false, "含有空字符（U+0000）"},
        TValueCase{"NUL in hexadecimal", "NAME", std::string("\0", 1), "&#x00;", false, "U+0000"},
        TValueCase{"control character", "NAME", "a\x01", "a&#1;", false, "含有 XML 不允许的字符（U+0001）"},
        TValueCase{"unit separator", "NAME", "\x1F", "&#x1f;", false, "U+001F"},
        TValueCase{"raw control character", "NAME", "a\x0B", "a\x0B", false, "U+000B"},
        TValueCase{"U+FFFE", "NAME", "\uFFFE", "&#xFFFE;", false, "U+FFFE"},
        TValueCase{"raw U+FFFF", "NAME", "x\xEF\xBF\xBF", "x\xEF\xBF\xBF", false, "U+FFFF"},
        TValueCase{"decimal at its precision", "AMOUNT", "9999.99", "9999.99", true, ""},
        TValueCase{"decimal too big", "AMOUNT", "10000", "10000", false, "不能大于 9999.99",
                   "AMOUNT不能大于 9999.99。"},
        TValueCase{"decimal too small", "AMOUNT", "-9999.995", "-9999.995", false, "不能小于 -9999.99",
                   "AMOUNT不能小于 -9999.99。"},
        TValueCase{"integer at its bounds", "QTY", "-32768", "-32768", true, ""},
        TValueCase{"integer too big", "QTY", "32768", "32768", false, "不能大于 32767",
                   "QTY不能大于 32767。"},
        TValueCase{"integer too small", "QTY", "-32769", "-32769", false, "不能小于 -32768",
                   "QTY不能小于 -32768。"},
        TValueCase{"first day", "DAY", "0001-01-01", "00010101", true, ""},
        TValueCase{"last day", "DAY", "9999-12-31", "99991231", true, ""}),
    [](const ::testing::TestParamInfo<TValueCase>& Info) {
        std::string Name;
        for (const char* P = Info.param.What; *P; ++P)
            Name += std::isalnum(static_cast<unsigned char>(*P)) ? *P : '_';
        return Name;
    });

// Full-width digits are what a person types through an input method; a packet is written
// by a program, so the reader refuses them where a field takes them.
TEST(ValueRulesTest, FullWidthDigitsAreTypedInputNotPacketText) {
    for (const char* Field : {"AMOUNT", "QTY"}) {
        TOrvClientDataSet Cds(nullptr);
        const std::string Read = LoadError(Cds, Packet(std::string(Field) + "=\"－１２\""));
        EXPECT_NE(Read.find("第 2 行字段“" + std::string(Field) + "”的值“－１２”"), std::string::npos)
            << Read;
        Cds.SetXMLData(Packet(""));
        EXPECT_EQ(SetError(Cds, Field, "－１２"), "") << Field;
        EXPECT_EQ(Cds.FieldByName(Field)->AsInteger(), -12) << Field;
    }
    EXPECT_EQ(NumberTextFromInput("－０１２３４５６７８９．"), "-0123456789.");
    // Neighbours of the taken characters stay as they are.
    EXPECT_EQ(NumberTextFromInput("＋，／：ａ。"), "＋，／：ａ。");
}

// A reference that a comment or CDATA section merely contains is text, not a character.
TEST(ValueRulesTest, ReferencesOutsideValuesAreNotCharacters) {
    TOrvClientDataSet Cds(nullptr);
    const std::string Xml = Head + R"(<!-- &#0; --><ROW NAME="&amp;#0;"/></ROWDATA></DATAPACKET>)";
    ASSERT_EQ(LoadError(Cds, Xml), "");
    EXPECT_EQ(Cds.FieldByName("NAME")->AsString(), "&#0;");
    // Elsewhere in the packet one is refused as well: it would be written back.
    const std::string InParams =
        std::string(Head).replace(Head.find("<PARAMS/>"), 9, R"(<PARAMS NOTE="&#2;"/>)") +
        "</ROWDATA></DATAPACKET>";
    EXPECT_NE(LoadError(Cds, InParams).find("U+0002"), std::string::npos);
    EXPECT_EQ(Cds.FieldByName("NAME")->AsString(), "&#0;");
}

// A name the packet cannot carry as a row attribute is refused where it comes in: in a
// packet's FIELD and when a field is named.
TEST(ValueRulesTest, FieldNamesMustBeRowAttributeNames) {
    auto PacketWith = [](const std::string& AttrName) {
        return R"(<DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname=")" + AttrName +
               R"(" fieldtype="i4"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW/></ROWDATA></DATAPACKET>)";
    };
    struct TName {
        std::string Name, Escaped;
        bool Ok;
    };
    for (const TName& N :
         {TName{"A B", "A B", false}, TName{"1X", "1X", false}, TName{"a&b", "a&amp;b", false},
          TName{"RowState", "RowState", false}, TName{"ROWSTATE", "ROWSTATE", false},
          TName{"x:y", "x:y", false}, TName{"-a", "-a", false}, TName{"xmlns", "xmlns", false},
          TName{"_a.b-1", "_a.b-1", true}, TName{"Ｎｏ", "Ｎｏ", true}, TName{"名称", "名称", true}}) {
        TOrvClientDataSet Cds(nullptr);
        const std::string Read = LoadError(Cds, PacketWith(N.Escaped));
        TComponent Owner(nullptr);
        auto* F = new TIntegerField(&Owner);
        std::string Named;
        try {
            F->SetFieldName(N.Name);
        } catch (const EDatabaseError& E) {
            Named = E.Message();
        }
        if (N.Ok) {
            EXPECT_EQ(Read, "") << N.Name;
            EXPECT_EQ(Named, "") << N.Name;
            Cds.Edit();
            Cds.Fields(0)->SetAsInteger(1);
            Cds.Post();
            TOrvClientDataSet Again(nullptr);
            EXPECT_EQ(LoadError(Again, Cds.GetXMLDelta()), "") << N.Name;
            EXPECT_EQ(Again.Fields(0)->AsInteger(), 1) << N.Name;
            continue;
        }
        EXPECT_NE(Read.find("字段名“" + N.Name + "”"), std::string::npos) << Read;
        EXPECT_NE(Named.find("字段名“" + N.Name + "”"), std::string::npos) << Named;
        EXPECT_EQ(F->FieldName(), "");
    }
}
