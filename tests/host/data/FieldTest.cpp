#include "host/data/ClientDataSet.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>
#include <vector>

using namespace orv;

namespace orv {
[[maybe_unused]] static void PrintTo(const Variant& V, std::ostream* Os) {
    *Os << (V.IsNull() ? std::string("<null>") : V.AsString());
}
} // namespace orv

namespace {

// A form owning one client data set and its persistent fields.
struct TFieldForm {
    TComponent Form{nullptr};
    TOrvClientDataSet* Cds = new TOrvClientDataSet(&Form);

    template <class T> T* Add(const std::string& Name, const std::string& Label = {}) {
        auto* F = new T(&Form);
        F->SetFieldName(Name);
        if (!Label.empty()) F->SetDisplayLabel(Label);
        F->SetDataSet(Cds);
        return F;
    }
};

template <class E, class F> std::string MessageOf(F Body) {
    try {
        Body();
    } catch (const E& Ex) {
        return Ex.Message();
    } catch (const std::exception& Ex) {
        ADD_FAILURE() << "other exception: " << Ex.what();
        return {};
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

bool Contains(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

} // namespace

TEST(FieldTest, StringSizeCountsCharactersAndRefusesBadText) {
    TFieldForm T;
    auto* Name = T.Add<TStringField>("SHOP_NAME", "门店名称");
    Name->SetSize(5);
    T.Cds->CreateDataSet();
    T.Cds->Append();
    Name->SetAsString("南京东路店"); // 5 characters, 15 bytes
    EXPECT_EQ(Name->AsString(), "南京东路店");

    std::string Msg = MessageOf<EConvertError>([&] { Name->SetAsString("南京东路店二"); });
    EXPECT_TRUE(Contains(Msg, "门店名称")) << Msg;
    EXPECT_TRUE(Contains(Msg, "南京东路店二")) << Msg;
    EXPECT_EQ(Name->AsString(), "南京东路店");
    EXPECT_THROW(Name->SetAsString("abcdef"), EConvertError);
    Name->SetAsString("abcde");

    // Invalid UTF-8: a lone GBK pair, a truncated sequence, an encoded surrogate, an overlong slash.
    for (const char* Bad : {"\xC4\xCF", "ab\xE4\xB8", "\xED\xA0\x80", "\xC0\xAF"}) {
        std::string BadMsg = MessageOf<EConvertError>([&] { Name->SetAsString(Bad); });
        EXPECT_TRUE(Contains(BadMsg, "门店名称")) << BadMsg;
    }
    EXPECT_EQ(Name->AsString(), "abcde");
    // U+0000 is valid UTF-8 but no packet can carry it; it is refused rather than cut off later.
    EXPECT_THROW(Name->SetAsString(std::string("a\0b", 3)), EConvertError);
    EXPECT_EQ(Name->AsString(), "abcde");
    T.Cds->Post();
    EXPECT_EQ(Name->AsString(), "abcde");
    EXPECT_EQ(Name->DisplayWidth(), 5);

    // A memo has no size limit; the empty string is a value, not null.
    TFieldForm M;
    auto* Memo = M.Add<TMemoField>("REMARK");
    M.Cds->CreateDataSet();
    M.Cds->Append();
    std::string Long(10000, 'x');
    Memo->SetAsString(Long);
    EXPECT_EQ(Memo->AsString(), Long);
    Memo->SetValue(Variant(""));
    EXPECT_FALSE(Memo->IsNull());
    EXPECT_EQ(Memo->DataType(), TFieldType::ftMemo);
}

TEST(FieldTest, BcdPrecisionSizeAndRounding) {
    TFieldForm T;
    auto* Amount = T.Add<TBCDField>("CMS_VAL", "提成金额");
    Amount->SetPrecision(12);
    Amount->SetSize(2);
    auto* Rate = T.Add<TBCDField>("CMS_RATE");
    EXPECT_EQ(Rate->Size(), 4); // decimals when none are given
    T.Cds->CreateDataSet();
    T.Cds->Append();

    Amount->SetAsString("9999999999.99");
    EXPECT_EQ(Amount->AsString(), "9999999999.99");
    Amount->SetAsString("-9999999999.99");
    EXPECT_EQ(Amount->AsString(), "-9999999999.99");
    // A number too big names the bound in the clerk's words, not the column's digits.
    EXPECT_EQ(MessageOf<EConvertError>([&] { Amount->SetAsString("12345678901"); }),
              "提成金额不能大于 9999999999.99。");
    EXPECT_EQ(MessageOf<EConvertError>([&] { Amount->SetAsString("-12345678901"); }),
              "提成金额不能小于 -9999999999.99。");
    EXPECT_THROW(Amount->SetAsLargeInt(12345678901LL), EConvertError);
    EXPECT_THROW(Amount->SetAsFloat(12345678901.0), EConvertError);
    // Rounding that carries into an eleventh integer digit is too big as well.
    EXPECT_THROW(Amount->SetAsString("9999999999.995"), EConvertError);
    EXPECT_EQ(Amount->AsString(), "-9999999999.99");

    Amount->SetAsString("1.005");
    EXPECT_EQ(Amount->AsString(), "1.01");
    Amount->SetAsString("-1.005");
    EXPECT_EQ(Amount->AsString(), "-1.01");
    Amount->SetAsFloat(1.005);
    EXPECT_EQ(Amount->AsString(), "1.01");
    Amount->SetAsFloat(-2.675);
    EXPECT_EQ(Amount->AsString(), "-2.68");
    Amount->SetAsString("1.004");
    EXPECT_EQ(Amount->AsString(), "1.00");
    Amount->SetAsInteger(7);
    EXPECT_EQ(Amount->AsString(), "7.00");
    EXPECT_EQ(Amount->AsInteger(), 7);
    EXPECT_THROW(Amount->SetAsString("七"), EConvertError);
    EXPECT_THROW(Amount->SetAsString("1.2.3"), EConvertError);
    EXPECT_EQ(Amount->AsString(), "7.00");

    Rate->SetAsString("0.123456");
    EXPECT_EQ(Rate->AsString(), "0.1235");
    Rate->SetAsFloat(0.1);
    EXPECT_EQ(Rate->AsString(), "0.1000");
    EXPECT_DOUBLE_EQ(Rate->AsFloat(), 0.1);
    T.Cds->Post();
    EXPECT_EQ(Amount->Value(), Variant(TBcd::Parse("7", 2)));
    EXPECT_EQ(Rate->DisplayText(), "0.1000");
    EXPECT_EQ(Amount->PacketTypeName(), "fixed(12,2)");
    EXPECT_THROW(Amount->SetSize(19), EDatabaseError);
}

TEST(FieldTest, IntegerRanges) {
    TFieldForm T;
    auto* Qty = T.Add<TIntegerField>("QTY", "数量");
    auto* Small = T.Add<TIntegerField>("SMALL");
    Small->SetRange(-32768, 32767);
    auto* Big = T.Add<TIntegerField>("BIG");
    Big->SetRange(INT64_MIN, INT64_MAX);
    EXPECT_EQ(Qty->DataType(), TFieldType::ftInteger);
    EXPECT_EQ(Small->DataType(), TFieldType::ftSmallint);
    EXPECT_EQ(Big->DataType(), TFieldType::ftLargeint);
    T.Cds->CreateDataSet();
    T.Cds->Append();

    Qty->SetAsLargeInt(2147483647);
    Qty->SetAsLargeInt(-2147483648LL);
    EXPECT_EQ(MessageOf<EConvertError>([&] { Qty->SetAsLargeInt(2147483648LL); }),
              "数量不能大于 2147483647。");
    EXPECT_EQ(MessageOf<EConvertError>([&] { Qty->SetAsString("-2147483649"); }),
              "数量不能小于 -2147483648。");
    EXPECT_EQ(Qty->AsLargeInt(), -2147483648LL);
    Small->SetAsInteger(32767);
    EXPECT_THROW(Small->SetAsInteger(32768), EConvertError);
    EXPECT_THROW(Small->SetAsInteger(-32769), EConvertError);
    EXPECT_EQ(Small->AsInteger(), 32767);
    Big->SetAsLargeInt(9000000000LL);
    EXPECT_THROW(Big->AsInteger(), EConvertError);
    EXPECT_EQ(Big->AsLargeInt(), 9000000000LL);

    Qty->SetAsString(" 12 ");
    EXPECT_EQ(Qty->AsInteger(), 12);
    Qty->SetAsFloat(13.0);
    EXPECT_EQ(Qty->AsInteger(), 13);
    Qty->SetValue(Variant(TBcd::Parse("14.00", 2)));
    EXPECT_EQ(Qty->AsInteger(), 14);
    for (const Variant& Bad :
         {Variant("12.5"), Variant(12.5), Variant(TBcd::Parse("1.5", 1)), Variant("abc"), Variant("")})
        EXPECT_THROW(Qty->SetValue(Bad), EConvertError) << Bad.AsString();
    EXPECT_EQ(Qty->AsInteger(), 14);
    Qty->SetText("");
    EXPECT_TRUE(Qty->IsNull());
    Qty->SetText("15");
    EXPECT_EQ(Qty->Value(), Variant(15));
}

// What a Chinese input method in full-width mode gives is read as the ASCII it stands for,
// by every number field and through both SetAsString and typed text; anything else in the
// text is refused as before, and the message quotes the text as it was typed.
TEST(FieldTest, NumberFieldsReadFullWidthDigitsMinusAndPoint) {
    TFieldForm T;
    auto* Rate = T.Add<TBCDField>("CMS_RATE", "提成比例");
    Rate->SetPrecision(5);
    auto* Qty = T.Add<TIntegerField>("QTY", "数量");
    auto* Ratio = T.Add<TFloatField>("RATIO", "系数");
    T.Cds->CreateDataSet();
    T.Cds->Append();

    Rate->SetAsString("０．１２５");
    EXPECT_EQ(Rate->AsString(), "0.1250");
    Rate->SetText("－９．９９９９");
    EXPECT_EQ(Rate->AsString(), "-9.9999");
    Rate->SetText(" １.2５ "); // a clerk switching modes mid-number still typed a number
    EXPECT_EQ(Rate->AsString(), "1.2500");
    Qty->SetAsString("－１２０");
    EXPECT_EQ(Qty->AsInteger(), -120);
    Qty->SetText("３５");
    EXPECT_EQ(Qty->AsInteger(), 35);
    Ratio->SetText("－０．５");
    EXPECT_DOUBLE_EQ(Ratio->AsFloat(), -0.5);

    // The bound of a full-width number that does not fit, as for any other.
    EXPECT_EQ(MessageOf<EConvertError>([&] { Rate->SetText("１２"); }), "提成比例不能大于 9.9999。");
    EXPECT_EQ(MessageOf<EConvertError>([&] { Qty->SetText("９９９９９９９９９９９９９９９９９９９９９"); }),
              "数量不能大于 2147483647。");

    // Only those characters: the ideographic full stop, full-width plus, comma and space,
    // a unit after the number and a second point stay refused.
    for (const char* Bad : {"１２。５", "＋５", "１，２００", "１　２", "１２元", "１．２．３", "－", "．"}) {
        for (TField* F : std::initializer_list<TField*>{Rate, Qty, Ratio}) {
            const std::string Msg = MessageOf<EConvertError>([&] { F->SetText(Bad); });
            EXPECT_TRUE(Contains(Msg, "“" + F->DisplayLabel() + "”的值“" + std::string(Bad) + "”")) << Msg;
        }
    }
    EXPECT_EQ(Rate->AsString(), "1.2500");
    EXPECT_EQ(Qty->AsInteger(), 35);
    EXPECT_DOUBLE_EQ(Ratio->AsFloat(), -0.5);
}

TEST(FieldTest, DatesMustExist) {
    TFieldForm T;
    auto* From = T.Add<TDateField>("FROM_DATE", "开始日期");
    auto* Stamp = T.Add<TDateTimeField>("STAMP");
    T.Cds->CreateDataSet();
    T.Cds->Append();

    From->SetAsString("2024-02-29");
    EXPECT_EQ(From->AsString(), "2024-02-29");
    EXPECT_DOUBLE_EQ(From->AsDateTime(), EncodeDate(2024, 2, 29));
    std::string Msg = MessageOf<EConvertError>([&] { From->SetAsString("2023-02-29"); });
    EXPECT_TRUE(Contains(Msg, "开始日期") && Contains(Msg, "2023-02-29")) << Msg;
    EXPECT_THROW(From->SetText("2023-02-29"), EConvertError);
    EXPECT_THROW(From->SetText("2024-13-01"), EConvertError);
    EXPECT_THROW(From->SetAsString("明天"), EConvertError);
    EXPECT_EQ(From->AsString(), "2024-02-29");
    From->SetText("2024/3/1");
    EXPECT_EQ(From->AsString(), "2024-03-01");

    // A time of day is dropped; a day number outside years 1..9999 does not exist.
    From->SetAsDateTime(EncodeDate(2024, 5, 6) + 0.75);
    EXPECT_EQ(From->AsString(), "2024-05-06");
    EXPECT_EQ(From->Value(), Variant::Date(DayNumber(2024, 5, 6)));
    EXPECT_THROW(From->SetValue(Variant::Date(5000000)), EConvertError);
    EXPECT_THROW(From->SetValue(Variant::Date(-1000000)), EConvertError);
    for (double Bad : {1e10, -1e10, 1e300, 3000000.0})
        EXPECT_THROW(From->SetAsDateTime(Bad), EConvertError) << Bad;
    EXPECT_EQ(From->AsString(), "2024-05-06");
    From->SetText(" ");
    EXPECT_TRUE(From->IsNull());

    Stamp->SetAsDateTime(EncodeDate(2017, 2, 14) + 0.5);
    EXPECT_EQ(Stamp->AsString(), "2017-02-14 12:00:00");
    EXPECT_THROW(Stamp->SetAsString("2023-02-29"), EConvertError);
    EXPECT_THROW(Stamp->SetAsDateTime(1e300), EConvertError);
    EXPECT_EQ(Stamp->AsString(), "2017-02-14 12:00:00");
}

TEST(FieldTest, BooleansAndFloats) {
    TFieldForm T;
    auto* Flag = T.Add<TBooleanField>("IS_VALID");
    auto* Ratio = T.Add<TFloatField>("RATIO");
    T.Cds->CreateDataSet();
    T.Cds->Append();
    for (const Variant& Yes :
         {Variant(true), Variant("true"), Variant("TRUE"), Variant("是"), Variant(1), Variant("1")}) {
        Flag->SetValue(false);
        Flag->SetValue(Yes);
        EXPECT_TRUE(Flag->AsBoolean()) << Yes.AsString();
    }
    Flag->SetValue("否");
    EXPECT_FALSE(Flag->AsBoolean());
    EXPECT_EQ(Flag->AsString(), "False");
    EXPECT_THROW(Flag->SetAsString("maybe"), EConvertError);
    EXPECT_THROW(Flag->SetAsFloat(0.5), EConvertError);
    EXPECT_FALSE(Flag->AsBoolean());

    Ratio->SetAsString("0.1");
    EXPECT_DOUBLE_EQ(Ratio->AsFloat(), 0.1);
    Ratio->SetValue(Variant(TBcd::Parse("2.50", 2)));
    EXPECT_EQ(Ratio->AsString(), "2.5");
    EXPECT_THROW(Ratio->SetAsFloat(std::numeric_limits<double>::infinity()), EConvertError);
    EXPECT_THROW(Ratio->SetAsFloat(std::numeric_limits<double>::quiet_NaN()), EConvertError);
    EXPECT_THROW(Ratio->SetAsString("abc"), EConvertError);
    EXPECT_DOUBLE_EQ(Ratio->AsFloat(), 2.5);
}

TEST(FieldTest, AggregateCountsRowsAndRefusesOtherExpressions) {
    TFieldForm T;
    auto* Id = T.Add<TIntegerField>("ID");
    auto* Count = T.Add<TAggregateField>("ROW_COUNT", "行数");
    Count->SetExpression("sum( 1 )");
    Count->SetActive(true);
    T.Cds->CreateDataSet();
    EXPECT_EQ(T.Cds->DataFieldCount(), 1);
    EXPECT_EQ(Count->Value(), Variant(0));
    for (int I = 1; I <= 3; ++I) {
        T.Cds->Append();
        Id->SetAsInteger(I);
        EXPECT_EQ(Count->AsInteger(), I - 1); // the row being inserted is not counted yet
        T.Cds->Post();
        EXPECT_EQ(Count->AsInteger(), T.Cds->RecordCount());
    }
    T.Cds->Delete();
    EXPECT_EQ(Count->AsInteger(), 2);
    T.Cds->Edit();
    EXPECT_THROW(Count->SetAsInteger(5), EDatabaseError);

    std::string Msg = MessageOf<EDatabaseError>([&] { Count->SetExpression("COUNT(*)"); });
    EXPECT_TRUE(Contains(Msg, "COUNT(*)") && Contains(Msg, "SUM(1)")) << Msg;
    EXPECT_EQ(Count->Expression(), "sum( 1 )");
    EXPECT_EQ(Count->AsInteger(), 2);

    auto* Total = new TAggregateField(&T.Form);
    Total->SetFieldName("TOTAL");
    EXPECT_THROW(Total->SetDataSet(T.Cds), EDatabaseError); // no fields added to an open set
    EXPECT_EQ(T.Cds->FieldCount(), 2);
    TFieldForm U;
    auto* Sum = U.Add<TAggregateField>("TOTAL");
    Sum->SetExpression("SUM(CMS_VAL)");
    EXPECT_THROW(Sum->SetActive(true), EDatabaseError);
    EXPECT_FALSE(Sum->Active());
    EXPECT_TRUE(Sum->IsNull()); // an inactive aggregate has no value
}

TEST(FieldTest, ValueAccessorsNullAndLabels) {
    TFieldForm T;
    auto* Name = T.Add<TStringField>("SHOP_NAME");
    auto* Amount = T.Add<TBCDField>("AMOUNT", "金额");
    Amount->SetSize(2);
    auto* Day = T.Add<TDateField>("DAY");
    EXPECT_EQ(Name->DisplayLabel(), "SHOP_NAME");
    EXPECT_EQ(Amount->DisplayLabel(), "金额");
    EXPECT_EQ(Amount->DisplayName(), "金额");
    EXPECT_EQ(Name->Index(), 0);
    EXPECT_EQ(Day->Index(), 2);
    EXPECT_THROW(Name->AsString(), EDatabaseError); // the set is not open
    T.Cds->CreateDataSet();
    EXPECT_EQ(Name->FieldNo(), 0);
    EXPECT_EQ(Day->FieldNo(), 2);
    EXPECT_EQ(T.Cds->FieldByName("amount"), Amount);
    EXPECT_EQ(T.Cds->FindField("NOPE"), nullptr);
    EXPECT_THROW(T.Cds->FieldByName("NOPE"), EDatabaseError);

    // An empty set has no current values.
    EXPECT_TRUE(Name->IsNull());
    EXPECT_EQ(Name->AsString(), "");
    EXPECT_EQ(Amount->AsInteger(), 0);

    T.Cds->Append();
    Name->SetAsString("淮海中路店");
    Amount->SetAsFloat(12.5);
    Day->SetAsDateTime(EncodeDate(2024, 1, 31));
    EXPECT_EQ(Amount->AsString(), "12.50");
    EXPECT_DOUBLE_EQ(Amount->AsFloat(), 12.5);
    EXPECT_EQ(Amount->AsInteger(), 13);
    EXPECT_DOUBLE_EQ(Day->AsFloat(), EncodeDate(2024, 1, 31));
    EXPECT_THROW(Name->AsInteger(), EConvertError);
    EXPECT_THROW(Name->AsDateTime(), EConvertError);
    Amount->Clear();
    EXPECT_TRUE(Amount->IsNull());
    EXPECT_EQ(Amount->AsString(), "");
    Name->SetText("");
    EXPECT_TRUE(Name->IsNull());
    T.Cds->Post();
    EXPECT_TRUE(Name->IsNull());
    EXPECT_TRUE(Amount->IsNull());
    EXPECT_EQ(Day->AsString(), "2024-01-31");

    TStringField Loose(nullptr);
    EXPECT_THROW(Loose.AsString(), EDatabaseError);
    EXPECT_THROW(Loose.SetAsString("x"), EDatabaseError);
}

TEST(FieldTest, RefusedInputLeavesTheRecordAsItWas) {
    TFieldForm T;
    auto* Id = T.Add<TIntegerField>("ID");
    Id->SetReadOnly(true);
    auto* Name = T.Add<TStringField>("NAME", "名称");
    Name->SetSize(4);
    auto* Amount = T.Add<TBCDField>("AMOUNT");
    Amount->SetPrecision(6);
    Amount->SetSize(2);
    T.Cds->SetXMLData(
        R"(<DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="ID" fieldtype="i4"/>)"
        R"(<FIELD attrname="NAME" fieldtype="string" WIDTH="4"/><FIELD attrname="AMOUNT" fieldtype="fixed" )"
        R"(WIDTH="6" DECIMALS="2"/></FIELDS><PARAMS/></METADATA><ROWDATA>)"
        R"(<ROW ID="1" NAME="早班" AMOUNT="1.50"/></ROWDATA></DATAPACKET>)");
    const std::string Before = T.Cds->GetXMLData();

    // Browse state: no value can be set.
    EXPECT_THROW(Name->SetAsString("晚班"), EDatabaseError);
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsBrowse);

    T.Cds->Edit();
    Name->SetAsString("中班");
    EXPECT_THROW(Amount->SetAsString("10000.00"), EConvertError);
    EXPECT_THROW(Name->SetAsString("超过四个字了"), EConvertError);
    EXPECT_THROW(Id->SetAsInteger(2), EDatabaseError); // read-only
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsEdit);
    EXPECT_TRUE(T.Cds->Modified());
    EXPECT_EQ(Name->AsString(), "中班");
    EXPECT_EQ(Amount->AsString(), "1.50");
    EXPECT_EQ(Id->AsInteger(), 1);
    T.Cds->Cancel();
    EXPECT_EQ(T.Cds->GetXMLData(), Before);
    EXPECT_EQ(T.Cds->ChangeCount(), 0);
}

TEST(FieldTest, TextHandlersReplaceTheConversion) {
    TFieldForm T;
    auto* Amount = T.Add<TBCDField>("AMOUNT");
    Amount->SetSize(2);
    auto* Name = T.Add<TStringField>("NAME");
    T.Cds->CreateDataSet();
    T.Cds->Append();

    // The handler gets the raw text and assigns the value itself: "12,5" is not a number
    // the field would parse.
    std::vector<std::string> Seen;
    Amount->OnSetText = [&](TField* Sender, const std::string& Text) {
        Seen.push_back(Text);
        std::string Fixed = Text;
        for (char& C : Fixed)
            if (C == ',') C = '.';
        Sender->SetAsString(Fixed);
    };
    Amount->SetText("12,5");
    EXPECT_EQ(Seen, std::vector<std::string>{"12,5"});
    EXPECT_EQ(Amount->AsString(), "12.50");
    Amount->OnSetText = [](TField*, const std::string&) {}; // ignores what was typed
    Amount->SetText("99");
    EXPECT_EQ(Amount->AsString(), "12.50");

    Name->OnGetText = [](TField*, std::string& Text, bool Display) {
        Text = (Display ? "[" : "(") + Text + (Display ? "]" : ")");
    };
    Name->SetAsString("早班");
    EXPECT_EQ(Name->DisplayText(), "[早班]");
    EXPECT_EQ(Name->Text(), "(早班)");
    EXPECT_EQ(Name->AsString(), "早班");
    EXPECT_EQ(T.Cds->DisplayRowText(0, Name), "[早班]");
}
