#include "host/data/ClientDataSet.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace orv;

namespace orv {
[[maybe_unused]] static void PrintTo(const Variant& V, std::ostream* Os) {
    *Os << (V.IsNull() ? std::string("<null>") : V.AsString());
}
} // namespace orv

namespace {

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    EXPECT_TRUE(In.good()) << Path;
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

std::string Interop(const std::string& Name) {
    return ReadFile(std::string(QUILLON_INTEROP_DIR) + "/" + Name);
}

// Packets written by other producers live beside the repository, not in it; a checkout
// without them skips these tests and says why.
class InteropFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(QUILLON_INTEROP_DIR))
            GTEST_SKIP() << "no interop packets at " << QUILLON_INTEROP_DIR;
    }
};

std::string Describe(const TChangeEntry& E) {
    std::string S = E.Kind == TUpdateKind::ukInsert   ? "insert"
                    : E.Kind == TUpdateKind::ukModify ? "modify"
                                                      : "delete";
    for (const auto* Values : {&E.OldValues, &E.NewValues}) {
        S += " [";
        for (const Variant& V : *Values)
            S += (V.IsNull() ? std::string("null") : V.AsString()) + "|";
        S += "]";
    }
    return S;
}

std::vector<std::string> Changes(const TOrvClientDataSet& Cds) {
    std::vector<std::string> Out;
    for (const TChangeEntry& E : Cds.GetChanges())
        Out.push_back(Describe(E));
    return Out;
}

std::string TypesOf(const TDataSet& D) {
    std::string S;
    for (TField* F : D.FieldList())
        S += (S.empty() ? "" : ", ") + F->FieldName() + " " + F->PacketTypeName();
    return S;
}

// Every value of every row, nulls marked, in display order.
std::vector<std::vector<Variant>> AllValues(const TDataSet& D) {
    std::vector<std::vector<Variant>> Out;
    for (int R = 0; R < D.DisplayRowCount(); ++R) {
        Out.emplace_back();
        for (TField* F : D.FieldList())
            Out.back().push_back(D.DisplayRowValue(R, F));
    }
    return Out;
}

// Writing, reading back and writing again gives the same text, rows and changes.
// The packet text is well-formed and exactly what a general XML serialiser writes for the
// same document, so that any reader takes it as we mean it.
void ExpectCanonicalXml(const std::string& Packet) {
    const std::string Prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";
    ASSERT_EQ(Packet.substr(0, Prolog.size()), Prolog);
    pugi::xml_document Doc;
    pugi::xml_parse_result Parsed = Doc.load_buffer(Packet.data(), Packet.size());
    ASSERT_TRUE(Parsed) << Parsed.description() << " at " << Parsed.offset;
    std::ostringstream Again;
    Doc.save(Again, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    EXPECT_EQ(Again.str(), Packet.substr(Prolog.size()));
}

void ExpectStableRoundTrip(const TOrvClientDataSet& A) {
    const std::string First = A.GetXMLData();
    TOrvClientDataSet B(nullptr);
    B.SetXMLData(First);
    EXPECT_EQ(B.GetXMLData(), First);
    EXPECT_EQ(TypesOf(B), TypesOf(A));
    EXPECT_EQ(AllValues(B), AllValues(A));
    EXPECT_EQ(Changes(B), Changes(A));
    EXPECT_EQ(B.ChangeCount(), A.ChangeCount());
    EXPECT_EQ(B.PacketParams(), A.PacketParams());
    TOrvClientDataSet C(nullptr);
    C.SetXMLData(B.GetXMLData());
    EXPECT_EQ(C.GetXMLData(), First);
}

const char* EveryType =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="ID" fieldtype="i4" readonly="true" required="true" SUBTYPE="Autoinc"/>)"
    R"(<FIELD attrname="CODE" fieldtype="string" WIDTH="8"/>)"
    R"(<FIELD attrname="TITLE" fieldtype="string.uni" WIDTH="40"/>)"
    R"(<FIELD attrname="NOTE" fieldtype="bin.hex" SUBTYPE="Text"/>)"
    R"(<FIELD attrname="QTY" fieldtype="i2"/><FIELD attrname="BIG" fieldtype="i8"/><FIELD attrname="TINY" fieldtype="ui1"/>)"
    R"(<FIELD attrname="RATIO" fieldtype="r8"/><FIELD attrname="PRICE" fieldtype="r8" SUBTYPE="Money"/>)"
    R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/>)"
    R"(<FIELD attrname="RATE" fieldtype="fixed" DECIMALS="4" WIDTH="19"/>)"
    R"(<FIELD attrname="DAY" fieldtype="date"/><FIELD attrname="STAMP" fieldtype="dateTime"/>)"
    R"(<FIELD attrname="OK" fieldtype="boolean"/></FIELDS><PARAMS LCID="2052" PRIMARY_KEY="1"/></METADATA><ROWDATA>)"
    R"(<ROW ID="1" CODE="S001" TITLE="南京东路店" NOTE="第一行&#013;&#010;第二行" QTY="-32768" BIG="-9223372036854775808" TINY="255")"
    R"( RATIO="0.1" PRICE="12.5" AMOUNT="9999999999.99" RATE="0.0650" DAY="20240229" STAMP="20170214T15:28:29123" OK="TRUE"/>)"
    R"(<ROW ID="2" CODE="" TITLE="" NOTE="" QTY="0" BIG="0" TINY="0" RATIO="-1.5e-7" PRICE="0" AMOUNT="-0.01")"
    R"( RATE="-1.0000" DAY="00010101" STAMP="18991229T06:00:00000" OK="FALSE"/>)"
    R"(<ROW ID="3"/>)"
    R"(<ROW ID="4" CODE="S004" TITLE="&amp;&lt;&gt;&quot;&apos;" DAY="99991231" STAMP="99991231T23:59:59999"/>)"
    R"(</ROWDATA></DATAPACKET>)";

} // namespace

// ---- round trips -------------------------------------------------------------------------

TEST(DataPacketTest, EveryTypeRoundTripsWithPendingChanges) {
    TOrvClientDataSet A(nullptr);
    A.SetXMLData(EveryType);
    EXPECT_EQ(TypesOf(A),
              "ID i4 Autoinc, CODE string(8), TITLE string.uni(40), NOTE bin.hex Text, QTY i2, BIG i8, "
              "TINY ui1, RATIO r8, PRICE r8 Money, AMOUNT fixed(12,2), RATE fixed(19,4), DAY date, "
              "STAMP dateTime, OK boolean");
    EXPECT_EQ(A.FieldByName("TITLE")->Size(), 20);
    EXPECT_TRUE(A.FieldByName("ID")->ReadOnly());
    EXPECT_TRUE(A.FieldByName("ID")->Required());
    EXPECT_EQ(A.RecordCount(), 4);
    ExpectStableRoundTrip(A);

    // Values as read: null is an absent attribute, "" a present one.
    TField* Code = A.FieldByName("CODE");
    TField* Title = A.FieldByName("TITLE");
    TField* Note = A.FieldByName("NOTE");
    EXPECT_EQ(Note->AsString(), "第一行\r\n第二行");
    EXPECT_EQ(A.FieldByName("BIG")->AsLargeInt(), INT64_MIN);
    EXPECT_EQ(A.FieldByName("AMOUNT")->AsString(), "9999999999.99");
    EXPECT_NEAR(A.FieldByName("STAMP")->AsDateTime(), EncodeDate(2017, 2, 14) + 55709.123 / 86400.0, 1e-9);
    EXPECT_TRUE(A.FieldByName("OK")->AsBoolean());
    A.Next();
    EXPECT_FALSE(Code->IsNull());
    EXPECT_EQ(Code->AsString(), "");
    EXPECT_FALSE(Title->IsNull());
    EXPECT_DOUBLE_EQ(A.FieldByName("STAMP")->AsDateTime(), -1.25);
    A.Next();
    EXPECT_TRUE(Code->IsNull());
    EXPECT_TRUE(Note->IsNull());
    A.Next();
    EXPECT_EQ(Title->AsString(), "&<>\"'");

    // Text with the control characters XML allows, markup characters, Chinese; edits,
    // inserts, deletions.
    A.First();
    A.Edit();
    Title->SetAsString("制表\t回车\r换行\n结束");
    Note->SetAsString("<a href=\"x\">&amp;</a> 'q' \t\r\n\x7F\u0085");
    A.FieldByName("RATIO")->SetAsFloat(1.0 / 3.0);
    A.Post();
    A.Next();
    A.Edit();
    Code->Clear();
    Title->SetAsString("  前后空格  ");
    A.Post();
    A.Insert();
    Code->SetAsString("NEW");
    Title->SetAsString("新行");
    A.FieldByName("DAY")->SetAsString("2024-03-01");
    A.FieldByName("AMOUNT")->SetAsString("-1.005");
    A.Post();
    A.Last();
    A.Delete();
    ASSERT_EQ(A.ChangeCount(), 4);
    ExpectStableRoundTrip(A);
    ExpectCanonicalXml(A.GetXMLData());
    ExpectCanonicalXml(A.GetXMLDelta());

    TOrvClientDataSet B(nullptr);
    B.SetXMLData(A.GetXMLData());
    EXPECT_EQ(B.FieldByName("TITLE")->AsString(), "制表\t回车\r换行\n结束");
    EXPECT_EQ(B.FieldByName("NOTE")->AsString(), "<a href=\"x\">&amp;</a> 'q' \t\r\n\x7F\u0085");
    EXPECT_DOUBLE_EQ(B.FieldByName("RATIO")->AsFloat(), 1.0 / 3.0);
    B.Next(); // the new row went in before the second one
    EXPECT_EQ(B.UpdateStatus(), TUpdateStatus::usInserted);
    EXPECT_EQ(B.FieldByName("AMOUNT")->AsString(), "-1.01");
    EXPECT_EQ(B.FieldByName("DAY")->AsString(), "2024-03-01");
    B.Next();
    EXPECT_EQ(B.UpdateStatus(), TUpdateStatus::usModified);
    EXPECT_TRUE(B.FieldByName("CODE")->IsNull());
    EXPECT_EQ(B.FieldByName("TITLE")->AsString(), "  前后空格  ");
    EXPECT_EQ(B.PacketParams(),
              (std::vector<std::pair<std::string, std::string>>{{"LCID", "2052"}, {"PRIMARY_KEY", "1"}}));
    B.CancelUpdates();
    EXPECT_EQ(B.RecordCount(), 4);
    TOrvClientDataSet Loaded(nullptr);
    Loaded.SetXMLData(EveryType);
    EXPECT_EQ(AllValues(B), AllValues(Loaded));
}

TEST(DataPacketTest, WritesTheCommonFormat) {
    TComponent Form(nullptr);
    TOrvClientDataSet Cds(&Form);
    auto Add = [&](TField* F, const char* Name) {
        F->SetFieldName(Name);
        F->SetDataSet(&Cds);
        return F;
    };
    Add(new TIntegerField(&Form), "ID");
    Add(new TStringField(&Form), "NAME")->SetSize(4);
    auto* Amount = static_cast<TBCDField*>(Add(new TBCDField(&Form), "AMOUNT"));
    Amount->SetPrecision(12);
    Amount->SetSize(2);
    Add(new TDateField(&Form), "DAY");
    Cds.CreateDataSet();
    Cds.Append();
    Cds.FieldByName("ID")->SetAsInteger(7);
    Cds.FieldByName("NAME")->SetAsString("早班");
    Cds.FieldByName("AMOUNT")->SetAsString("1000");
    Cds.FieldByName("DAY")->SetAsString("2024-02-29");
    Cds.Post();
    EXPECT_EQ(
        Cds.GetXMLData(),
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
        R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="4"/>)"
        R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/><FIELD attrname="DAY" fieldtype="date"/>)"
        R"(</FIELDS><PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA>)"
        R"(<ROW RowState="4" ID="7" NAME="早班" AMOUNT="1000.00" DAY="20240229"/></ROWDATA></DATAPACKET>)");
}

// ---- packets written by other programs ---------------------------------------------------

namespace {

struct TInteropCase {
    const char* File;
    int Rows;
    int Changes;
    const char* Types;
};

void PrintTo(const TInteropCase& C, std::ostream* Os) {
    *Os << C.File;
}

class InteropValuesTest : public InteropFixture {};
class InteropPacketTest : public InteropFixture, public ::testing::WithParamInterface<TInteropCase> {};

} // namespace

TEST_P(InteropPacketTest, LoadsWithItsTypesRowsAndChanges) {
    const TInteropCase& C = GetParam();
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Interop(C.File));
    EXPECT_EQ(Cds.RecordCount(), C.Rows);
    EXPECT_EQ(Cds.ChangeCount(), C.Changes);
    EXPECT_EQ(TypesOf(Cds), C.Types);
    ExpectStableRoundTrip(Cds);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InteropPacketTest,
    ::testing::Values(
        TInteropCase{"r8-string-lcid-pk-country.xml", 18, 0,
                     "Name string(24), Capital string(24), Continent string(24), Area r8, Population r8"},
        TInteropCase{"i2-string-amp-industry.xml", 7, 0,
                     "IND_CODE i2, IND_NAME string(5), LONG_NAME string(20)"},
        TInteropCase{"date-r8-holdings.xml", 36, 0,
                     "ACCT_NBR r8, SYMBOL string(7), SHARES r8, PUR_PRICE r8, PUR_DATE date"},
        TInteropCase{
            "memo-binhex-text-autoinc-apos-custoly.xml", 30, 0,
            "CustNo i4 Autoinc, Last_Name string(30), First_Name string(30), VIP_Status string(10), "
            "Address1 string(40), Address2 string(40), City string(20), State_Prov string(10), Post_Code "
            "string(10), Country string(10), Phone string(18), Fax string(18), EMail string(40), Remarks "
            "bin.hex Text"},
        TInteropCase{"fixed-changelog-inserts-01.xml", 2, 2, "id i4, nome string(100), valor fixed(32,2)"},
        TInteropCase{
            "utf8-japanese-fieldname-changelog-01.xml", 3, 3,
            "Ｎｏ i4, Field1 string(20), Field2 string(20), Field3 string(20), Field4 string(20), Field5 "
            "string(20), Field6 string(20), Field7 string(20), Field8 string(20), Field9 string(20)"},
        TInteropCase{
            "utf8-latin-accents-changelog-01.xml", 1, 1,
            "Nome string(50), Identidade string(20), CPF string(11), Telefone string(11), Email string(50), "
            "CEP string(8), Logradouro string(90), Numero string(20), Complemento string(50), Bairro "
            "string(50), Cidade string(100), Estado string(2), Pais string(50)"},
        TInteropCase{"empty-rowdata-date-money-01.xml", 0, 0,
                     "Codigo i4, Descricao string(50), Unidade string(2), Fornecedor string(50), Data date, "
                     "Quantidade "
                     "r8, Unitario r8 Money"},
        TInteropCase{"changelog-rowstates-memo-autoincvalue-01.xml", 4, 4,
                     "Id i4 Autoinc, Descricao string(20), Programa bin.hex Text"},
        TInteropCase{
            "datetime-ms-longstring-changelog-orderlog.xml", 8, 8,
            "Timestamp dateTime, Type i4, Message string(20), Details string(50), Order string(6000), Error "
            "string(5000)"},
        TInteropCase{"r8-trailing-dot-emptystring-changelog-tef.xml", 3, 3,
                     "ValorPgto r8, Documento string(30), NSU string(30), TipoPgto i4"},
        TInteropCase{
            "boolean-i4-string-changelog-config.xml", 1, 1,
            "CNPJ string(20), Loja string(6), PDV string(6), ImpressaoComprovanteCliente i4, "
            "ImpressaoComprovanteLoja i4, ComprovanteLojaSimplificado boolean, SalvarLOG boolean, "
            "PINPADPorta "
            "string(10), PINPADBauRate i4, PINPADDataBits i4, PINPADParity i4, PINPADStopBits i4, "
            "PINPADHandshaking i4, PINPADHardFlow boolean, PINPADSoftFlow boolean, PINPADUsar boolean, "
            "IMPRESSORAPortaNome string(100), IMPRESSORAModelo i4, IMPRESSORAAvanco i4"},
        TInteropCase{"utf8-stringuni-ncr-multiscript-unicode.xml", 110, 0,
                     "Description string.uni(510), Value string.uni(510)"},
        TInteropCase{
            "stringuni-datetime-dateonly-customer-query.xml", 55, 0,
            "CustNo r8, Company string.uni(60), Addr1 string.uni(60), Addr2 string.uni(60), City "
            "string.uni(30), State string.uni(40), Zip string.uni(20), Country string.uni(40), Phone "
            "string.uni(30), FAX string.uni(30), TaxRate r8, Contact string.uni(40), LastInvoiceDate "
            "dateTime"},
        TInteropCase{"fixed-bcd19-4-i2-stringuni-crosstest.xml", 18, 0,
                     "Name string.uni(40), Year i2, Month i4, Days i4, Salary fixed(19,4)"},
        TInteropCase{
            "field-param-provflags-stringuni-datetime-employee.xml", 42, 0,
            "EmpNo i4, LastName string.uni(40), FirstName string.uni(30), PhoneExt string.uni(8), HireDate "
            "dateTime, Salary r8"}),
    [](const ::testing::TestParamInfo<TInteropCase>& Info) {
        std::string Name;
        for (const char* P = Info.param.File; *P && *P != '.'; ++P)
            Name += std::isalnum(static_cast<unsigned char>(*P)) ? *P : '_';
        return Name;
    });

TEST_F(InteropValuesTest, InsertsTrailingPointsBooleansAndTimes) {
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Interop("fixed-changelog-inserts-01.xml"));
    EXPECT_EQ(Changes(Cds), (std::vector<std::string>{"insert [] [null|nmnmcvmv|646.00|]",
                                                      "insert [] [null|xzvxzbvzx|54165.00|]"}));
    EXPECT_EQ(Cds.FieldByName("valor")->AsString(), "646.00");
    EXPECT_EQ(Cds.UpdateStatus(), TUpdateStatus::usInserted);
    EXPECT_TRUE(Cds.FieldByName("id")->IsNull());
    Cds.Next();
    EXPECT_EQ(Cds.FieldByName("valor")->AsString(), "54165.00");
    EXPECT_EQ(Cds.UpdateStatus(), TUpdateStatus::usInserted);

    Cds.SetXMLData(Interop("r8-trailing-dot-emptystring-changelog-tef.xml"));
    EXPECT_DOUBLE_EQ(Cds.FieldByName("ValorPgto")->AsFloat(), 8.0);
    EXPECT_EQ(Cds.FieldByName("Documento")->AsString(), "095758");
    Cds.Next();
    EXPECT_EQ(Cds.FieldByName("ValorPgto")->Value(), Variant(0.0));
    EXPECT_FALSE(Cds.FieldByName("Documento")->IsNull());
    EXPECT_EQ(Cds.FieldByName("Documento")->AsString(), "");
    EXPECT_NE(Cds.GetXMLData().find(R"(ValorPgto="8" Documento="095758")"), std::string::npos);

    Cds.SetXMLData(Interop("boolean-i4-string-changelog-config.xml"));
    EXPECT_EQ(Cds.FieldByName("ComprovanteLojaSimplificado")->Value(), Variant(true));
    EXPECT_EQ(Cds.FieldByName("PINPADHardFlow")->Value(), Variant(false));
    EXPECT_EQ(Cds.FieldByName("PDV")->AsString(), "001");
    EXPECT_EQ(Cds.FieldByName("PINPADBauRate")->AsInteger(), 7);

    Cds.SetXMLData(Interop("datetime-ms-longstring-changelog-orderlog.xml"));
    EXPECT_NEAR(Cds.FieldByName("Timestamp")->AsDateTime(),
                EncodeDate(2017, 2, 14) + (15 * 3600 + 28 * 60 + 29) / 86400.0, 1e-9);
    EXPECT_EQ(Cds.FieldByName("Timestamp")->AsString(), "2017-02-14 15:28:29");
    EXPECT_EQ(Cds.FieldByName("Order")->AsString().substr(0, 26), R"({"member":{"id":"99992"},")");
    EXPECT_TRUE(Cds.FieldByName("Error")->IsNull());
    Cds.Next();
    EXPECT_EQ(Cds.FieldByName("Error")->AsString(), "Order is in an incorrect format\r\n");
    EXPECT_NE(Cds.GetXMLData().find(R"(Timestamp="20170214T15:28:29000")"), std::string::npos);
    EXPECT_NE(Cds.GetXMLData().find(R"(Error="Order is in an incorrect format&#13;&#10;")"),
              std::string::npos);

    Cds.SetXMLData(Interop("stringuni-datetime-dateonly-customer-query.xml"));
    EXPECT_DOUBLE_EQ(Cds.FieldByName("LastInvoiceDate")->AsDateTime(), EncodeDate(1995, 2, 2));
    EXPECT_EQ(Cds.FieldByName("Company")->Size(), 30);
    EXPECT_DOUBLE_EQ(Cds.FieldByName("TaxRate")->AsFloat(), 8.5);

    Cds.SetXMLData(Interop("date-r8-holdings.xml"));
    ASSERT_TRUE(Cds.Locate("SYMBOL", "NMED"));
    EXPECT_DOUBLE_EQ(Cds.FieldByName("PUR_PRICE")->AsFloat(), 12.75);
    EXPECT_EQ(Cds.FieldByName("PUR_DATE")->AsString(), "1989-09-01");
}

TEST_F(InteropValuesTest, ChangeLogWithRowStatesAndMemos) {
    // Ids 1..4 were inserted and deleted again (directly or after edits): no trace. Ids 5..8
    // were inserted and, except 7, edited several times: four inserted rows with their last
    // values, in the order they were first inserted.
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Interop("changelog-rowstates-memo-autoincvalue-01.xml"));
    std::vector<std::string> Rows;
    for (Cds.First(); !Cds.Eof(); Cds.Next()) {
        EXPECT_EQ(Cds.UpdateStatus(), TUpdateStatus::usInserted);
        Rows.push_back(Cds.FieldByName("Id")->AsString() + " " + Cds.FieldByName("Descricao")->AsString());
    }
    EXPECT_EQ(Rows, (std::vector<std::string>{"5 Ex IF", "6 EX Else", "7 Ex Eva", "8 prova"}));
    std::vector<std::string> Log;
    for (const TChangeEntry& E : Cds.GetChanges()) {
        EXPECT_EQ(E.Kind, TUpdateKind::ukInsert);
        Log.push_back(E.NewValues[0].AsString());
    }
    EXPECT_EQ(Log, (std::vector<std::string>{"5", "6", "7", "8"}));
    for (int Gone = 1; Gone <= 4; ++Gone)
        EXPECT_FALSE(Cds.Locate("Id", Gone)) << Gone;
    EXPECT_TRUE(Cds.FieldByName("Id")->ReadOnly());
    EXPECT_EQ(Cds.PacketParams(), (std::vector<std::pair<std::string, std::string>>{{"AUTOINCVALUE", "9"}}));

    ASSERT_TRUE(Cds.Locate("Id", 7));
    std::string Program = Cds.FieldByName("Programa")->AsString();
    EXPECT_EQ(Program.substr(0, 19), "int main(){\r\n\tx = 8");
    EXPECT_NE(Program.find("printf(“última execução”);"), std::string::npos);
    ASSERT_TRUE(Cds.Locate("Id", 5));
    EXPECT_NE(Cds.FieldByName("Programa")->AsString().find("scanf (\"%f\", &aluno[i].CR);"),
              std::string::npos);
    EXPECT_THROW(Cds.FieldByName("Descricao")->SetAsString("x"), EDatabaseError); // browsing

    Cds.CancelUpdates();
    EXPECT_EQ(Cds.RecordCount(), 0);
}

TEST_F(InteropValuesTest, TextEscapesNamesAndFieldChildren) {
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Interop("memo-binhex-text-autoinc-apos-custoly.xml"));
    ASSERT_TRUE(Cds.Locate("CustNo", 2));
    EXPECT_EQ(Cds.FieldByName("Address1")->AsString(), "Via Dell'Anguillara 10");
    EXPECT_TRUE(Cds.FieldByName("Address2")->IsNull());
    ASSERT_TRUE(Cds.Locate("CustNo", 5));
    EXPECT_EQ(Cds.FieldByName("Country")->AsString(), "US Virgin "); // trailing blank kept
    EXPECT_TRUE(Cds.FieldByName("Remarks")->IsNull());
    EXPECT_TRUE(Cds.Locate("Last_Name", "O'Parr"));
    EXPECT_NE(Cds.GetXMLData().find(
                  R"(<FIELD attrname="Remarks" fieldtype="bin.hex" SUBTYPE="Text" WIDTH="200"/>)"),
              std::string::npos);

    Cds.SetXMLData(Interop("i2-string-amp-industry.xml"));
    ASSERT_TRUE(Cds.Locate("IND_CODE", 3710));
    EXPECT_EQ(Cds.FieldByName("LONG_NAME")->AsString(), "Auto & Truck");
    Cds.Edit();
    EXPECT_THROW(Cds.FieldByName("IND_CODE")->SetAsInteger(40000), EConvertError); // i2
    EXPECT_THROW(Cds.FieldByName("IND_NAME")->SetAsString("Toolong"), EConvertError);
    Cds.Cancel();

    Cds.SetXMLData(Interop("utf8-japanese-fieldname-changelog-01.xml"));
    EXPECT_EQ(Cds.FieldByName("Ｎｏ")->AsInteger(), 1);
    EXPECT_EQ(Cds.FieldByName("Field1")->AsString(), "テスト１");
    Cds.Last();
    EXPECT_EQ(Cds.FieldByName("Field9")->AsString(), "フィールド９");

    Cds.SetXMLData(Interop("utf8-latin-accents-changelog-01.xml"));
    EXPECT_EQ(Cds.FieldByName("Logradouro")->AsString(), "Avenida João de Souza Celestino");
    EXPECT_EQ(Cds.FieldByName("Cidade")->AsString(), "Muriaé");
    EXPECT_TRUE(Cds.FieldByName("Complemento")->IsNull());

    // string.uni WIDTH counts bytes of two-byte characters; references become characters.
    Cds.SetXMLData(Interop("utf8-stringuni-ncr-multiscript-unicode.xml"));
    EXPECT_EQ(Cds.FieldByName("Value")->Size(), 255);
    EXPECT_EQ(Cds.FieldByName("Description")->AsString(), "Letters with acute");
    EXPECT_EQ(Cds.FieldByName("Value")->AsString().substr(0, 11), "AÁ aá CĆ");
    Cds.Last();
    EXPECT_EQ(Cds.FieldByName("Description")->AsString(), "\u0965");

    Cds.SetXMLData(Interop("fixed-bcd19-4-i2-stringuni-crosstest.xml"));
    EXPECT_EQ(Cds.FieldByName("Salary")->AsString(), "1000.0000");
    EXPECT_EQ(Cds.FieldByName("Name")->Size(), 20);
    EXPECT_TRUE(Cds.Locate("Salary", "3999"));
    EXPECT_EQ(Cds.RecNo(), 18);

    Cds.SetXMLData(Interop("field-param-provflags-stringuni-datetime-employee.xml"));
    EXPECT_EQ(Cds.FieldByName("HireDate")->AsString(), "1988-12-28");
    EXPECT_NE(
        Cds.GetXMLData().find(
            R"(<FIELD attrname="EmpNo" fieldtype="i4"><PARAM Name="PROVFLAGS" Value="7" Type="i4" Roundtrip="True"/></FIELD>)"),
        std::string::npos);
    EXPECT_EQ(Cds.PacketParams(), (std::vector<std::pair<std::string, std::string>>{{"DEFAULT_ORDER", "1"},
                                                                                    {"PRIMARY_KEY", "1"}}));

    Cds.SetXMLData(Interop("r8-string-lcid-pk-country.xml"));
    EXPECT_NE(Cds.GetXMLData().find(R"(<PARAMS DEFAULT_ORDER="1" PRIMARY_KEY="1" LCID="2057"/>)"),
              std::string::npos);
}

TEST_F(InteropValuesTest, NestedDataSetsAreRefused) {
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(Interop("fixed-changelog-inserts-01.xml"));
    const std::string Before = Cds.GetXMLData();
    try {
        Cds.SetXMLData(Interop("generated-php-nested-aspel-pedido-01.mod.xml"));
        ADD_FAILURE() << "nested packet loaded";
    } catch (const EDatabaseError& E) {
        EXPECT_NE(E.Message().find("dtfield"), std::string::npos) << E.Message();
        EXPECT_NE(E.Message().find("嵌套"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(Cds.GetXMLData(), Before);
}

// ---- Chinese code pages ------------------------------------------------------------------

TEST(DataPacketTest, GbkPacketsLoad) {
    // "南京东路店" and "淮海中路店" in GBK.
    const std::string Shop1 = "\xC4\xCF\xBE\xA9\xB6\xAB\xC2\xB7\xB5\xEA";
    const std::string Shop2 = "\xBB\xB4\xBA\xA3\xD6\xD0\xC2\xB7\xB5\xEA";
    const std::string Body =
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"SHOP_NAME\" fieldtype=\"string\" "
        "WIDTH=\"5\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW SHOP_NAME=\"" +
        Shop1 + "\"/><ROW SHOP_NAME=\"" + Shop2 + "\"/></ROWDATA></DATAPACKET>";
    for (const std::string& Declaration :
         {std::string("<?xml version=\"1.0\" encoding=\"gbk\" standalone=\"yes\"?>  "),
          std::string("<?xml version=\"1.0\" standalone=\"yes\"?>  "), std::string()}) {
        SCOPED_TRACE(Declaration);
        TOrvClientDataSet Cds(nullptr);
        Cds.SetXMLData(Declaration + Body);
        ASSERT_EQ(Cds.RecordCount(), 2);
        EXPECT_EQ(Cds.FieldByName("SHOP_NAME")->AsString(), "南京东路店");
        EXPECT_TRUE(Cds.Locate("SHOP_NAME", "淮海中路店"));
        // Written back as UTF-8.
        EXPECT_NE(Cds.GetXMLData().find("SHOP_NAME=\"淮海中路店\""), std::string::npos);
    }
}

// ---- refused packets ---------------------------------------------------------------------

namespace {

const std::string GoodHead =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="4"/>)"
    R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="6"/><FIELD attrname="DAY" fieldtype="date"/>)"
    R"(<FIELD attrname="AT" fieldtype="dateTime"/><FIELD attrname="OK" fieldtype="boolean"/>)"
    R"(<FIELD attrname="R" fieldtype="r8"/><FIELD attrname="Q" fieldtype="i2"/></FIELDS>)";

std::string WithRows(const std::string& Rows, const std::string& Params = "<PARAMS/>") {
    return GoodHead + Params + "</METADATA><ROWDATA>" + Rows + "</ROWDATA></DATAPACKET>";
}

std::string WithFields(const std::string& Fields) {
    return R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)" + Fields +
           R"(</FIELDS><PARAMS/></METADATA><ROWDATA/></DATAPACKET>)";
}

struct TBadPacket {
    const char* What;
    std::string Xml;
};

// Without it gtest prints the struct's raw bytes, the string's unused buffer included.
void PrintTo(const TBadPacket& P, std::ostream* Os) {
    *Os << P.What;
}

class BadPacketTest : public ::testing::TestWithParam<TBadPacket> {};

} // namespace

TEST_P(BadPacketTest, IsRefusedAndTheSetStaysAsItWas) {
    const TBadPacket& P = GetParam();
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(
        WithRows(R"(<ROW ID="1" NAME="早班" AMOUNT="1.50"/><ROW ID="2" NAME="晚班"/><ROW ID="3"/>)"));
    Cds.Next();
    Cds.Edit();
    Cds.FieldByName("NAME")->SetAsString("中班");
    Cds.Post();
    Cds.Append();
    Cds.FieldByName("ID")->SetAsInteger(4);
    Cds.Post();
    Cds.SetRecNo(2);
    const std::string Before = Cds.GetXMLData();
    const std::string Types = TypesOf(Cds);
    ASSERT_TRUE(Cds.Locate("ID", 2)); // an index exists
    bool Refused = false;
    try {
        Cds.SetXMLData(P.Xml);
    } catch (const EDatabaseError& E) {
        Refused = !E.Message().empty();
    } catch (const EConvertError& E) {
        Refused = !E.Message().empty();
    }
    EXPECT_TRUE(Refused) << P.What;
    EXPECT_EQ(Cds.GetXMLData(), Before);
    EXPECT_EQ(TypesOf(Cds), Types);
    EXPECT_EQ(Cds.RecNo(), 2);
    EXPECT_EQ(Cds.ChangeCount(), 2);
    EXPECT_EQ(Cds.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(Cds.Locate("ID", 4));
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, BadPacketTest,
    ::testing::Values(
        TBadPacket{"empty", ""}, TBadPacket{"not XML", "hello"},
        TBadPacket{"truncated", WithRows(R"(<ROW ID="1"/>)").substr(0, 180)},
        TBadPacket{"truncated in a row",
                   [] {
                       std::string Full = WithRows(R"(<ROW ID="1" NAME="早班"/>)");
                       return Full.substr(0, Full.size() - 30);
                   }()},
        TBadPacket{"other root", R"(<PACKET><METADATA/></PACKET>)"},
        TBadPacket{"no METADATA", R"(<DATAPACKET Version="2.0"><ROWDATA/></DATAPACKET>)"},
        TBadPacket{"no fields", WithFields("")},
        TBadPacket{"unknown field type", WithFields(R"(<FIELD attrname="A" fieldtype="decimal128"/>)")},
        TBadPacket{"no field type", WithFields(R"(<FIELD attrname="A"/>)")},
        TBadPacket{"no field name", WithFields(R"(<FIELD fieldtype="i4"/>)")},
        TBadPacket{"bad WIDTH", WithFields(R"(<FIELD attrname="A" fieldtype="string" WIDTH="ten"/>)")},
        TBadPacket{"bad DECIMALS",
                   WithFields(R"(<FIELD attrname="A" fieldtype="fixed" WIDTH="30" DECIMALS="19"/>)")},
        TBadPacket{
            "duplicate field names",
            WithFields(
                R"(<FIELD attrname="A" fieldtype="i4"/><FIELD attrname="A" fieldtype="string" WIDTH="2"/>)")},
        TBadPacket{
            "duplicate field names in other case",
            WithFields(R"(<FIELD attrname="Name" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="i4"/>)")},
        TBadPacket{"unknown element in FIELDS",
                   WithFields(R"(<FIELD attrname="A" fieldtype="i4"/><INDEX/>)")},
        TBadPacket{"control character in SUBTYPE",
                   WithFields("<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"2\" SUBTYPE=\"x\x01\"/>")},
        TBadPacket{"nested field", WithFields(R"(<FIELD attrname="A" fieldtype="nested"><FIELDS/></FIELD>)")},
        TBadPacket{"text too long", WithRows(R"(<ROW ID="1" NAME="abcde"/>)")},
        TBadPacket{"Chinese text too long", WithRows(R"(<ROW ID="1" NAME="一二三四五"/>)")},
        TBadPacket{"integer with letters", WithRows(R"(<ROW ID="12x"/>)")},
        TBadPacket{"integer out of range", WithRows(R"(<ROW ID="3000000000"/>)")},
        TBadPacket{"small integer out of range", WithRows(R"(<ROW ID="1" Q="40000"/>)")},
        TBadPacket{"integer with a point", WithRows(R"(<ROW ID="1.0"/>)")},
        TBadPacket{"decimal too big", WithRows(R"(<ROW ID="1" AMOUNT="10000.00"/>)")},
        TBadPacket{"decimal with two points", WithRows(R"(<ROW ID="1" AMOUNT="1.2.3"/>)")},
        TBadPacket{"float not a number", WithRows(R"(<ROW ID="1" R="abc"/>)")},
        TBadPacket{"float nan", WithRows(R"(<ROW ID="1" R="nan"/>)")},
        TBadPacket{"float infinite", WithRows(R"(<ROW ID="1" R="inf"/>)")},
        TBadPacket{"date that does not exist", WithRows(R"(<ROW ID="1" DAY="20230229"/>)")},
        TBadPacket{"date in display form", WithRows(R"(<ROW ID="1" DAY="2024-02-29"/>)")},
        TBadPacket{"time that does not exist", WithRows(R"(<ROW ID="1" AT="20170214T25:00:00000"/>)")},
        TBadPacket{"boolean", WithRows(R"(<ROW ID="1" OK="maybe"/>)")},
        TBadPacket{"invalid UTF-8", WithRows("<ROW ID=\"1\" NAME=\"\xC4\xCF\"/>")},
        TBadPacket{"unknown element in ROWDATA", WithRows(R"(<ROW ID="1"/><RECORD ID="2"/>)")},
        TBadPacket{"bad RowState",
                   WithRows(R"(<ROW RowState="new" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 0 4"/>)")},
        TBadPacket{"change log not in threes",
                   WithRows(R"(<ROW RowState="4" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 0"/>)")},
        TBadPacket{"change log with words",
                   WithRows(R"(<ROW RowState="4" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 0 x"/>)")},
        TBadPacket{"change log negative",
                   WithRows(R"(<ROW RowState="4" ID="1"/>)", R"(<PARAMS CHANGE_LOG="-1 0 4"/>)")},
        TBadPacket{"change log past the rows",
                   WithRows(R"(<ROW RowState="4" ID="1"/>)", R"(<PARAMS CHANGE_LOG="2 0 4"/>)")},
        TBadPacket{"change log before the rows",
                   WithRows(R"(<ROW RowState="8" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 3 8"/>)")},
        TBadPacket{"change log row replacing itself",
                   WithRows(R"(<ROW RowState="8" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 1 8"/>)")},
        TBadPacket{"change log insert replacing itself",
                   WithRows(R"(<ROW RowState="4" ID="1"/>)", R"(<PARAMS CHANGE_LOG="1 1 4"/>)")},
        TBadPacket{"change log cycle", WithRows(R"(<ROW RowState="8" ID="1"/><ROW RowState="8" ID="2"/>)",
                                                R"(<PARAMS CHANGE_LOG="1 2 8 2 1 8"/>)")},
        TBadPacket{"change log cycle beside a good row",
                   WithRows(R"(<ROW RowState="8" ID="1"/><ROW RowState="8" ID="2"/><ROW ID="3"/>)",
                            R"(<PARAMS CHANGE_LOG="1 2 8 2 1 8"/>)")},
        TBadPacket{
            "change log with two new versions of one row",
            WithRows(R"(<ROW RowState="1" ID="1"/><ROW RowState="8" ID="2"/><ROW RowState="8" ID="3"/>)",
                     R"(<PARAMS CHANGE_LOG="2 1 8 3 1 8"/>)")}),
    [](const ::testing::TestParamInfo<TBadPacket>& Info) {
        std::string Name;
        for (const char* P = Info.param.What; *P; ++P)
            Name += std::isalnum(static_cast<unsigned char>(*P)) ? *P : '_';
        return Name;
    });

// Another producer logs a deleted row with itself as its original ("6 6 2").
TEST(DataPacketTest, DeletedRowLoggedAsItsOwnOriginalIsADeletion) {
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(WithRows(
        R"(<ROW RowState="1" ID="1" NAME="早班"/><ROW RowState="8" ID="1" NAME="中班"/>)"
        R"(<ROW ID="3"/><ROW ID="4"/><ROW RowState="4" ID="5"/><ROW RowState="2" ID="6" NAME="晚班"/>)",
        R"(<PARAMS CHANGE_LOG="2 1 8 6 6 2 5 0 4"/>)"));
    EXPECT_EQ(Cds.RecordCount(), 4);
    EXPECT_FALSE(Cds.Locate("ID", 6));
    std::vector<std::string> Changes;
    for (const TChangeEntry& E : Cds.GetChanges())
        Changes.push_back(Describe(E));
    EXPECT_EQ(Changes,
              (std::vector<std::string>{
                  "modify [1|早班|null|null|null|null|null|null|] [1|中班|null|null|null|null|null|null|]",
                  "delete [6|晚班|null|null|null|null|null|null|] []",
                  "insert [] [5|null|null|null|null|null|null|null|]"}));
    Cds.CancelUpdates();
    EXPECT_EQ(Cds.RecordCount(), 4);
    EXPECT_TRUE(Cds.Locate("ID", 6));
}

// ---- declared fields ---------------------------------------------------------------------

TEST(DataPacketTest, DeclaredFieldsAreFilledByName) {
    TComponent Form(nullptr);
    TOrvClientDataSet Cds(&Form);
    auto* Amount = new TBCDField(&Form);
    Amount->SetFieldName("AMOUNT");
    Amount->SetDisplayLabel("金额");
    Amount->SetPrecision(12);
    Amount->SetSize(2);
    Amount->SetDataSet(&Cds);
    auto* Name = new TStringField(&Form);
    Name->SetFieldName("name");
    Name->SetSize(3);
    Name->SetDataSet(&Cds);
    auto* Label = new TStringField(&Form);
    Label->SetFieldName("LABEL");
    Label->SetFieldKind(TFieldKind::fkLookup);
    Label->SetDataSet(&Cds);

    // Other order, other case, an extra column, more decimals than the field keeps.
    Cds.SetXMLData(WithRows(
        R"(<ROW ID="1" NAME="早班" AMOUNT="1.50" R="2"/><ROW RowState="4" NAME="晚班" AMOUNT="2.255"/>)",
        R"(<PARAMS CHANGE_LOG="2 0 4"/>)"));
    EXPECT_EQ(Cds.FieldCount(), 3);
    EXPECT_EQ(Cds.Fields(0), Amount);
    EXPECT_EQ(Amount->DisplayLabel(), "金额");
    EXPECT_EQ(Name->AsString(), "早班");
    EXPECT_EQ(Amount->AsString(), "1.50");
    EXPECT_EQ(Cds.ChangeCount(), 1);
    Cds.Last();
    EXPECT_EQ(Cds.UpdateStatus(), TUpdateStatus::usInserted);
    EXPECT_EQ(Amount->AsString(), "2.26");
    const std::string Before = Cds.GetXMLData();
    EXPECT_NE(
        Before.find(
            R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/><FIELD attrname="name" fieldtype="string" WIDTH="3"/></FIELDS>)"),
        std::string::npos);

    // A packet without one of them, or with a value that does not fit them, is refused.
    for (const std::string& Bad :
         {WithFields(R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/>)"),
          WithRows(R"(<ROW ID="1" NAME="早班" AMOUNT="1.50"/><ROW NAME="晚班" AMOUNT="10000000000"/>)")}) {
        EXPECT_THROW(Cds.SetXMLData(Bad), Exception);
        EXPECT_EQ(Cds.GetXMLData(), Before);
        EXPECT_EQ(Cds.Fields(1), Name);
        EXPECT_EQ(Cds.RecNo(), 2);
    }

    // The set's own packet goes back in as it came out.
    Cds.SetXMLData(Before);
    EXPECT_EQ(Cds.GetXMLData(), Before);
    EXPECT_EQ(Cds.Fields(2), Label);
}

// A zero written as "-0" by another program is the zero a search looks for.
TEST(DataPacketTest, NegativeZeroIsZero) {
    TOrvClientDataSet Cds(nullptr);
    Cds.SetXMLData(WithRows(R"(<ROW ID="1" R="1"/><ROW ID="2" R="-0"/><ROW ID="3" R="0"/>)"));
    EXPECT_TRUE(Cds.Locate("R", 0.0));
    EXPECT_EQ(Cds.RecNo(), 2);
    EXPECT_EQ(Cds.Lookup("R", {Variant(0)}, "ID"), Variant(2));
}
