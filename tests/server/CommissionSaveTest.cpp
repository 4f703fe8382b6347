// Loading and saving the commission windows' rows: round trips through the data layer,
// concurrent editors, the consignment rules and all-or-nothing saves.
#include "ServerTestSupport.h"

#include "host/core/DateUtils.h"

#include <algorithm>
#include <optional>
#include <random>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

const std::int32_t Jan1 = DayNumber(2030, 1, 1), Jan31 = DayNumber(2030, 1, 31);
const std::int32_t Feb1 = DayNumber(2030, 2, 1), Feb28 = DayNumber(2030, 2, 28);

class CommissionSaveTest : public ServerTest {
protected:
    std::int64_t RsCount() { return Count("SELECT count(*) FROM cms_rs"); }
};

TEST_P(CommissionSaveTest, LoadedPacketsDeclareTheWindowsFieldTypes) {
    struct TExpect {
        const char* Name;
        TFieldType Type;
        int Precision, Size;
    };
    auto Check = [](TOrvClientDataSet& Rows, std::initializer_list<TExpect> Fields) {
        ASSERT_EQ(Rows.FieldCount(), static_cast<int>(Fields.size()));
        int I = 0;
        for (const TExpect& E : Fields) {
            TField* F = Rows.Fields(I++);
            EXPECT_EQ(F->FieldName(), E.Name);
            EXPECT_EQ(F->DataType(), E.Type) << E.Name;
            EXPECT_EQ(F->Size(), E.Size) << E.Name;
            if (auto* B = dynamic_cast<TBCDField*>(F); B && E.Precision >= 0) {
                EXPECT_EQ(B->Precision(), E.Precision) << E.Name;
            }
        }
        EXPECT_GT(Rows.RecordCount(), 0);
    };
    TOrvClientDataSet ShfRows(nullptr), QtyRows(nullptr), ValRows(nullptr), RsRows(nullptr);
    ASSERT_TRUE(Shf(Admin).Load(ShfRows));
    Check(ShfRows, {{"SHF_ID", TFieldType::ftBCD, 4, 0}, {"CMS_VAL", TFieldType::ftBCD, 12, 2}});
    ASSERT_TRUE(Qty(Admin).Load(QtyRows));
    Check(QtyRows, {{"PROD_SORT_ID", TFieldType::ftBCD, 8, 0}, {"CMS_VAL", TFieldType::ftBCD, 12, 2}});
    ASSERT_TRUE(Val(Admin).Load(ValRows));
    Check(ValRows, {{"PROD_SORT_ID", TFieldType::ftBCD, 8, 0}, {"CMS_RATE", TFieldType::ftBCD, 5, 4}});
    ASSERT_TRUE(Rs(Admin).Load(RsRows));
    // SHOP_ID leaves its precision to the data layer's default; only its decimals are fixed.
    Check(RsRows, {{"SHOP_ID", TFieldType::ftBCD, -1, 4},
                   {"SHOP_NUM", TFieldType::ftString, 0, 20},
                   {"SHOP_NAME", TFieldType::ftString, 0, 50},
                   {"PROD_CLS_ID", TFieldType::ftBCD, 8, 0},
                   {"PROD_CLS_NUM", TFieldType::ftString, 0, 25},
                   {"PROD_NAME", TFieldType::ftString, 0, 50},
                   {"FROM_DATE", TFieldType::ftDate, 0, 0},
                   {"TO_DATE", TFieldType::ftDate, 0, 0},
                   {"CMS_RATE", TFieldType::ftBCD, 5, 4}});
    EXPECT_EQ(RsRows.RecordCount(), RsCount());
}

TEST_P(CommissionSaveTest, EditedAmountIsStoredExactlyAndReloaded) {
    auto Client = Shf(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    ASSERT_TRUE(Rows.Locate("SHF_ID", Variant(2)));
    Rows.Edit();
    Rows.FieldByName("CMS_VAL")->SetAsString("1234567890.12");
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_TRUE(R.Answer.empty());

    EXPECT_EQ(Count("SELECT cms_val FROM cms_shf WHERE unit_id = 0 AND shf_id = 2"), 123456789012);
    TOrvClientDataSet Again(nullptr);
    ASSERT_TRUE(Client.Load(Again));
    ASSERT_TRUE(Again.Locate("SHF_ID", Variant(2)));
    EXPECT_EQ(Again.FieldByName("CMS_VAL")->AsString(), "1234567890.12");
}

TEST_P(CommissionSaveTest, CategoryRowsInsertedAndDeletedInOneSave) {
    auto Client = Val(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    const int Before = Rows.RecordCount();
    ASSERT_TRUE(Rows.Locate("PROD_SORT_ID", Variant(1)));
    Rows.Delete();
    Rows.Append();
    Rows.FieldByName("PROD_SORT_ID")->SetAsInteger(2); // the seed fills odd categories only
    Rows.FieldByName("CMS_RATE")->SetAsString("1.5");  // this window sets no upper bound
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;

    TOrvClientDataSet Again(nullptr);
    ASSERT_TRUE(Client.Load(Again));
    EXPECT_EQ(Again.RecordCount(), Before);
    EXPECT_FALSE(Again.Locate("PROD_SORT_ID", Variant(1)));
    ASSERT_TRUE(Again.Locate("PROD_SORT_ID", Variant(2)));
    EXPECT_EQ(Again.FieldByName("CMS_RATE")->AsString(), "1.5000");
}

TEST_P(CommissionSaveTest, ConsignmentAnswerBackfillsCanonicalNames) {
    auto Client = Rs(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    AppendRs(Rows, 101, "S001", 101, "P0001", Jan1, Jan31, "0.125");
    Rows.Edit();
    Rows.FieldByName("SHOP_NAME")->SetAsString("旧名称");
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_FALSE(R.Answer.empty());

    ASSERT_TRUE(Rows.Locate(RsKey, {Variant(101), Variant(101), Variant::Date(Jan1), Variant::Date(Jan31)}));
    EXPECT_EQ(Rows.FieldByName("SHOP_NAME")->AsString(), "南京东路店");
    EXPECT_FALSE(Rows.FieldByName("PROD_NAME")->AsString().empty());

    TOrvClientDataSet Again(nullptr);
    ASSERT_TRUE(Client.Load(Again));
    ASSERT_TRUE(Again.Locate(RsKey, {Variant(101), Variant(101), Variant::Date(Jan1), Variant::Date(Jan31)}));
    EXPECT_EQ(Again.FieldByName("CMS_RATE")->AsString(), "0.1250");
    EXPECT_EQ(Again.FieldByName("PROD_NAME")->AsString(), Rows.FieldByName("PROD_NAME")->AsString());
}

TEST_P(CommissionSaveTest, ConsignmentDatesOfARowCanBeMoved) {
    auto Client = Rs(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    AppendRs(Rows, 102, "S002", 102, "P0002", Jan1, Jan31, "0.1");
    ASSERT_TRUE(Client.Save(Rows).Ok);

    ASSERT_TRUE(Rows.Locate(RsKey, {Variant(102), Variant(102), Variant::Date(Jan1), Variant::Date(Jan31)}));
    Rows.Edit();
    Rows.FieldByName("FROM_DATE")->SetValue(Variant::Date(Feb1));
    Rows.FieldByName("TO_DATE")->SetValue(Variant::Date(Feb28));
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(Count("SELECT count(*) FROM cms_rs WHERE shop_id = 102 AND prod_cls_id = 102"), 1);
    EXPECT_EQ(Count("SELECT from_date FROM cms_rs WHERE shop_id = 102 AND prod_cls_id = 102"), Feb1);
}

TEST_P(CommissionSaveTest, SecondEditorOfTheSameRowIsRefused) {
    auto First = Shf(Admin);
    auto Second = Shf(Server->Login("admin"));
    TOrvClientDataSet A(nullptr), B(nullptr);
    ASSERT_TRUE(First.Load(A));
    ASSERT_TRUE(Second.Load(B));
    ASSERT_TRUE(A.Locate("SHF_ID", Variant(1)));
    A.Edit();
    A.FieldByName("CMS_VAL")->SetAsString("11.11");
    A.Post();
    // B first changes a row nobody else touched: the refusal must take that back too.
    ASSERT_TRUE(B.Locate("SHF_ID", Variant(2)));
    B.Edit();
    B.FieldByName("CMS_VAL")->SetAsString("33.33");
    B.Post();
    ASSERT_TRUE(B.Locate("SHF_ID", Variant(1)));
    B.Edit();
    B.FieldByName("CMS_VAL")->SetAsString("22.22");
    B.Post();
    const std::int64_t Shift2 = Count("SELECT cms_val FROM cms_shf WHERE shf_id = 2");

    ASSERT_TRUE(First.Save(A).Ok);
    TSaveResult R = Second.Save(B);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("已被其他用户修改或删除"), std::string::npos) << R.Error;
    EXPECT_NE(R.Error.find("早班"), std::string::npos) << R.Error;
    EXPECT_EQ(Count("SELECT cms_val FROM cms_shf WHERE shf_id = 1"), 1111);
    EXPECT_EQ(Count("SELECT cms_val FROM cms_shf WHERE shf_id = 2"), Shift2);
    EXPECT_GT(B.ChangeCount(), 0); // the refused client keeps its edits
}

TEST_P(CommissionSaveTest, DeletingARowSomeoneElseChangedIsRefused) {
    auto First = Qty(Admin);
    auto Second = Qty(Server->Login("admin"));
    TOrvClientDataSet A(nullptr), B(nullptr);
    ASSERT_TRUE(First.Load(A));
    ASSERT_TRUE(Second.Load(B));
    ASSERT_TRUE(A.Locate("PROD_SORT_ID", Variant(3)));
    A.Edit();
    A.FieldByName("CMS_VAL")->SetAsString("7.77");
    A.Post();
    ASSERT_TRUE(First.Save(A).Ok);
    ASSERT_TRUE(B.Locate("PROD_SORT_ID", Variant(3)));
    B.Delete();
    TSaveResult R = Second.Save(B);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("03"), std::string::npos) << R.Error; // names the category
    EXPECT_EQ(Count("SELECT cms_val FROM cms_qty WHERE prod_sort_id = 3"), 777);
}

TEST_P(CommissionSaveTest, OverlappingRangesFromTwoConnectionsAreRefused) {
    // Two servers on one file: two connections, as two desktop hosts would have.
    TQuillonServer Other(Options());
    TWindowClient<ICmsRs> First = Rs(Admin);
    TWindowClient<ICmsRs> Second(Other, "TCmsRsBean", Other.Login("admin"), RsKey);
    TOrvClientDataSet A(nullptr), B(nullptr);
    ASSERT_TRUE(First.Load(A));
    ASSERT_TRUE(Second.Load(B));
    AppendRs(A, 103, "S003", 103, "P0003", Jan1, Jan31, "0.1");
    AppendRs(B, 103, "S003", 103, "P0003", Jan31, Feb28, "0.2"); // shares 31 January
    const std::int64_t Before = RsCount();

    ASSERT_TRUE(First.Save(A).Ok);
    TSaveResult R = Second.Save(B);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("重叠"), std::string::npos) << R.Error;
    EXPECT_NE(R.Error.find("S003"), std::string::npos) << R.Error;
    EXPECT_NE(R.Error.find("2030-01-31 至 2030-02-28"), std::string::npos) << R.Error;
    EXPECT_EQ(RsCount(), Before + 1);

    // The day after is free.
    TOrvClientDataSet C(nullptr);
    ASSERT_TRUE(Second.Load(C));
    AppendRs(C, 103, "S003", 103, "P0003", Feb1, Feb28, "0.2");
    EXPECT_TRUE(Second.Save(C).Ok);
}

TEST_P(CommissionSaveTest, RangesInsideOrAroundAnotherOverlap) {
    auto Client = Rs(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    AppendRs(Rows, 104, "S004", 104, "P0004", Jan1, Feb28, "0.1");
    ASSERT_TRUE(Client.Save(Rows).Ok);
    for (auto [From, To] : {std::pair{Feb1, Feb1}, std::pair{Jan1 - 10, Feb28 + 10}}) {
        TOrvClientDataSet More(nullptr);
        ASSERT_TRUE(Client.Load(More));
        AppendRs(More, 104, "S004", 104, "P0004", From, To, "0.1");
        EXPECT_FALSE(Client.Save(More).Ok) << FormatDisplayDate(From);
    }
    // Another shop or another class never conflicts.
    AppendRs(Rows, 105, "S005", 104, "P0004", Jan1, Feb28, "0.1");
    AppendRs(Rows, 104, "S004", 105, "P0005", Jan1, Feb28, "0.1");
    EXPECT_TRUE(Client.Save(Rows).Ok);
}

// Random deltas over stored ranges of one shop and class (with deletions and rows of a
// second class) must be refused exactly as a check of each new row against every other
// range would: the first new row, in delta order, that shares a day with any range, named
// with the earliest such range.
TEST_P(CommissionSaveTest, OverlapCheckFindsTheFirstRowAndItsEarliestOverlap) {
    struct TRange {
        std::int32_t From, To;
        int Cls;
        auto operator<=>(const TRange&) const = default;
    };
    auto Shares = [](const TRange& A, const TRange& B) {
        return A.Cls == B.Cls && A != B && A.From <= B.To && B.From <= A.To;
    };
    auto Text = [](const TRange& R) { return FormatDisplayDate(R.From) + " 至 " + FormatDisplayDate(R.To); };
    std::mt19937 Random(7);
    auto Pick = [&Random](int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(Random); };
    auto Client = Rs(Admin);
    int Refused = 0;
    for (int Round = 0; Round < 40; ++Round) {
        Server->Database().Exec("DELETE FROM cms_rs WHERE shop_id = 106");
        std::vector<TRange> Stored;
        for (std::int32_t Day = Jan1 + Pick(0, 3); Day < Jan1 + 90; Day += Pick(2, 9)) {
            Stored.push_back({Day, Day + Pick(0, 4), 106});
            Day = Stored.back().To;
        }
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(Client.Load(Rows));
        for (const TRange& R : Stored)
            AppendRs(Rows, 106, "S006", R.Cls, "P0006", R.From, R.To, "0.1");
        ASSERT_TRUE(Client.Save(Rows).Ok) << Round;

        std::vector<TRange> Final;
        for (const TRange& R : Stored) {
            if (Pick(0, 4) != 0) {
                Final.push_back(R);
                continue;
            }
            ASSERT_TRUE(
                Rows.Locate(RsKey, {Variant(106), Variant(106), Variant::Date(R.From), Variant::Date(R.To)}));
            Rows.Delete();
        }
        std::vector<TRange> New;
        for (int I = Pick(1, 6); I > 0; --I) {
            TRange R{Jan1 + Pick(0, 95), 0, Pick(0, 3) == 0 ? 107 : 106};
            R.To = R.From + (Pick(0, 5) == 0 ? Pick(5, 40) : Pick(0, 3));
            if (std::find(Final.begin(), Final.end(), R) != Final.end()) continue;
            New.push_back(R);
            Final.push_back(R);
            AppendRs(Rows, 106, "S006", R.Cls, R.Cls == 106 ? "P0006" : "P0007", R.From, R.To, "0.2");
        }
        // The rows in the order the server meets them in the delta.
        TOrvUpdateDataSet Delta(nullptr);
        Delta.SetXMLDelta(Rows.GetXMLDelta());
        auto At = [&Delta](const TChangeEntry& C, const char* Name) {
            return C.NewValues[static_cast<std::size_t>(Delta.FieldByName(Name)->FieldNo())];
        };
        std::vector<TRange> Sent;
        for (const TChangeEntry& C : Delta.GetChanges())
            if (C.Kind == TUpdateKind::ukInsert)
                Sent.push_back({DateOf(At(C, "FROM_DATE").AsDateTime()),
                                DateOf(At(C, "TO_DATE").AsDateTime()),
                                static_cast<int>(At(C, "PROD_CLS_ID").AsInt64())});
        ASSERT_EQ(Sent.size(), New.size());
        std::string Expected;
        for (const TRange& R : Sent) {
            std::optional<TRange> Earliest;
            for (const TRange& Other : Final)
                if (Shares(R, Other) && (!Earliest || Other < *Earliest)) Earliest = Other;
            if (!Earliest) continue;
            Expected = Text(R) + "：与已有的 " + Text(*Earliest) + " 的设置日期重叠。";
            break;
        }
        TSaveResult Result = Client.Save(Rows);
        EXPECT_EQ(Result.Ok, Expected.empty()) << Round << ": " << Result.Error;
        if (!Expected.empty()) {
            ++Refused;
            EXPECT_NE(Result.Error.find(Expected), std::string::npos) << Expected << "\n" << Result.Error;
        }
    }
    // Both outcomes must have been exercised for the comparison to mean anything.
    EXPECT_GT(Refused, 5);
    EXPECT_LT(Refused, 35);
}

// Every refusal names the row by what the clerk sees in it: shop and class by number and
// name, or the number typed when it names nothing; a row lacking a shop or class by its
// place in the delta. No id appears.
TEST_P(CommissionSaveTest, ConsignmentRowRulesRefuseAndNameTheRow) {
    const std::string Shop = "门店 S006 " + Text("SELECT unit_name FROM units WHERE unit_num = 'S006'");
    const std::string Cls =
        "商品品种 P0006 " + Text("SELECT prod_name FROM product_classes WHERE prod_cls_num = 'P0006'");
    const std::string Dates = "2030-01-01 至 2030-01-31";
    struct TCase {
        const char* What;
        std::function<void(TOrvClientDataSet&)> Fill;
        std::string Message;
    };
    const std::vector<TCase> Cases = {
        {"rate above 1", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "1.0001"); },
         Shop + "、" + Cls + "、" + Dates + "：提成比例必须在 0.0000 到 1.0000 之间。"},
        {"negative rate", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "-0.01"); },
         Shop + "、" + Cls + "、" + Dates + "：提成比例必须在 0.0000 到 1.0000 之间。"},
        {"end before start", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan31, Jan1, "0.1"); },
         Shop + "、" + Cls + "、2030-01-31 至 2030-01-01：结束日期不能早于开始日期。"},
        {"unknown shop", [](auto& R) { AppendRs(R, 999, "S99", 106, "P0006", Jan1, Jan31, "0.1"); },
         "门店 S99、" + Cls + "、" + Dates + "：门店不存在。"},
        {"no shop chosen", [](auto& R) { AppendRs(R, Sys_UnknownID, "", 106, "P0006", Jan1, Jan31, "0.1"); },
         "第 2 行（" + Cls + "、" + Dates + "）：没有选择门店。"},
        {"region as shop", [](auto& R) { AppendRs(R, 1, "R01", 106, "P0006", Jan1, Jan31, "0.1"); },
         "门店 R01、" + Cls + "、" + Dates + "：门店不存在。"},
        {"unknown class", [](auto& R) { AppendRs(R, 106, "S006", 99999, "X1", Jan1, Jan31, "0.1"); },
         Shop + "、商品品种 X1、" + Dates + "：商品品种不存在。"},
        {"unknown class, no number", [](auto& R) { AppendRs(R, 106, "S006", 99999, "", Jan1, Jan31, "0.1"); },
         "第 2 行（" + Shop + "、" + Dates + "）：商品品种不存在。"},
        {"no class chosen", [](auto& R) { AppendRs(R, 106, "S006", Sys_UnknownID, "", Jan1, Jan31, "0.1"); },
         "第 2 行（" + Shop + "、" + Dates + "）：没有选择商品品种。"},
        {"missing rate",
         [](auto& R) {
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
             R.Edit();
             R.FieldByName("CMS_RATE")->Clear();
             R.Post();
         },
         Shop + "、" + Cls + "、" + Dates + "：提成比例不能为空。"},
        {"same key twice",
         [](auto& R) {
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.2");
         },
         Shop + "、" + Cls + "、" + Dates + "：与另一行重复。"},
    };
    auto Client = Rs(Admin);
    const std::int64_t Before = RsCount();
    for (const TCase& C : Cases) {
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(Client.Load(Rows));
        // A valid row first: a refusal must take it back as well.
        AppendRs(Rows, 107, "S007", 107, "P0007", Jan1, Jan31, "0.1");
        C.Fill(Rows);
        TSaveResult R = Client.Save(Rows);
        EXPECT_FALSE(R.Ok) << C.What;
        EXPECT_EQ(R.Error, C.Message) << C.What;
        EXPECT_EQ(RsCount(), Before) << C.What;
    }
}

// Of the rows a delta would add, the first that breaks a rule or meets another range is
// the one refused, whichever of the two a later row does, and a stored key sent again is
// a repeat only when it meets no other range: the same words on either engine, whether the
// ranges are asked for before the write or after the database refused it.
TEST_P(CommissionSaveTest, FirstRowBreakingARuleOrMeetingARangeIsRefused) {
    const std::string Row = "门店 S006 " + Text("SELECT unit_name FROM units WHERE unit_num = 'S006'") +
                            "、商品品种 P0006 " +
                            Text("SELECT prod_name FROM product_classes WHERE prod_cls_num = 'P0006'") + "、";
    auto Client = Rs(Admin);
    {
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(Client.Load(Rows));
        AppendRs(Rows, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
        ASSERT_TRUE(Client.Save(Rows).Ok);
    }
    const std::int32_t Mar1 = Feb28 + 1, Mar10 = Feb28 + 10;
    struct TCase {
        const char* What;
        std::vector<std::pair<std::int32_t, std::int32_t>> Ranges; // of S006 and P0006
        std::string Message;
    };
    const std::vector<TCase> Cases = {
        {"overlap, then end before start",
         {{Jan31, Feb28}, {Mar10, Mar1}},
         Row + "2030-01-31 至 2030-02-28：与已有的 2030-01-01 至 2030-01-31 的设置日期重叠。"},
        {"end before start, then overlap",
         {{Mar10, Mar1}, {Jan31, Feb28}},
         Row + "2030-03-10 至 2030-03-01：结束日期不能早于开始日期。"},
        {"stored key meeting a new range",
         {{Jan1, Jan31}, {Jan1 + 19, Feb1 + 4}},
         Row + "2030-01-01 至 2030-01-31：与已有的 2030-01-20 至 2030-02-05 的设置日期重叠。"},
        {"stored key alone",
         {{Mar1, Mar10}, {Jan1, Jan31}},
         Row + "2030-01-01 至 2030-01-31：与另一行重复。"},
    };
    const std::int64_t Before = RsCount();
    for (const TCase& C : Cases) {
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(Client.Load(Rows));
        AppendRs(Rows, 107, "S007", 107, "P0007", Jan1, Jan31, "0.1");
        for (const auto& [From, To] : C.Ranges)
            AppendRs(Rows, 106, "S006", 106, "P0006", From, To, "0.2");
        TSaveResult R = Client.Save(Rows);
        EXPECT_FALSE(R.Ok) << C.What;
        EXPECT_EQ(R.Error, C.Message) << C.What;
        EXPECT_EQ(RsCount(), Before) << C.What;
    }
}

// A delta may type the dates as anything a packet can; whatever the type, a day outside
// 0001-01-01..9999-12-31 is refused naming the row, so the list still loads afterwards and
// the range cannot block later saves of the shop and class.
TEST_P(CommissionSaveTest, DatesOfAnyTypeOutsideTheCalendarAreRefused) {
    struct TCase {
        const char* Type;
        const char* From;
        const char* To;
    };
    auto Client = Rs(Admin);
    const std::int64_t Before = RsCount();
    const std::string Jan1Text = std::to_string(Jan1);
    for (const TCase& C :
         {TCase{"r8", "-1e300", "1e300"}, TCase{"r8", Jan1Text.c_str(), "1e300"},
          TCase{"i4", "-2000000000", "2000000000"}, TCase{"i4", Jan1Text.c_str(), "2000000000"},
          TCase{"r8", "-693594", Jan1Text.c_str()}}) {
        const std::string Delta =
            R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)"
            R"(<FIELD attrname="SHOP_ID" fieldtype="fixed" WIDTH="19" DECIMALS="4"/>)"
            R"(<FIELD attrname="SHOP_NUM" fieldtype="string" WIDTH="20"/>)"
            R"(<FIELD attrname="PROD_CLS_ID" fieldtype="fixed" WIDTH="8" DECIMALS="0"/>)"
            R"(<FIELD attrname="PROD_CLS_NUM" fieldtype="string" WIDTH="25"/>)"
            R"(<FIELD attrname="FROM_DATE" fieldtype=")" +
            std::string(C.Type) + R"("/><FIELD attrname="TO_DATE" fieldtype=")" + C.Type +
            R"("/><FIELD attrname="CMS_RATE" fieldtype="fixed" WIDTH="5" DECIMALS="4"/>)"
            R"(</FIELDS><PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA>)"
            R"(<ROW RowState="4" SHOP_ID="106" SHOP_NUM="S006" PROD_CLS_ID="106" PROD_CLS_NUM="P0006" FROM_DATE=")" +
            C.From + R"(" TO_DATE=")" + C.To + R"(" CMS_RATE="0.1"/></ROWDATA></DATAPACKET>)";
        std::string Result, Error;
        EXPECT_FALSE(Client.Object()->SaveDelta(Admin, Sys_GlobalUnitID, OrvPack(Delta, {}), Result, Error))
            << C.Type << " " << C.From << " " << C.To;
        EXPECT_NE(Error.find("门店 S006 " + Text("SELECT unit_name FROM units WHERE unit_num = 'S006'") +
                             "、商品品种 P0006 "),
                  std::string::npos)
            << Error;
        EXPECT_NE(Error.find("超出日期范围"), std::string::npos) << Error;
        EXPECT_EQ(RsCount(), Before);
    }
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    AppendRs(Rows, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
    TSaveResult R = Client.Save(Rows);
    EXPECT_TRUE(R.Ok) << R.Error;
}

// The shift and category windows' rows show only the shift or category beside the amount:
// a row lacking one (none chosen, or one since removed) is named by its place among the
// delta's changes, counted in the order they were made, and a duplicate by the name the
// clerk sees.
TEST_P(CommissionSaveTest, FixedWindowsNameRowsWithoutIds) {
    struct TCase {
        const char* What;
        std::function<TSaveResult()> Save;
        std::string Message;
    };
    auto ShfClient = Shf(Admin);
    auto QtyClient = Qty(Admin);
    auto ValClient = Val(Admin);
    // One change to a stored row and one deletion before the row at fault.
    auto TwoChangesThen = [](TOrvClientDataSet& Rows, const char* Key, int Edited, int Deleted) {
        ASSERT_TRUE(Rows.Locate(Key, Variant(Edited)));
        Rows.Edit();
        Rows.Fields(1)->SetAsString("1");
        Rows.Post();
        ASSERT_TRUE(Rows.Locate(Key, Variant(Deleted)));
        Rows.Delete();
        Rows.Append();
    };
    auto Shift = [&](int Id) {
        TOrvClientDataSet Rows(nullptr);
        EXPECT_TRUE(ShfClient.Load(Rows));
        TwoChangesThen(Rows, "SHF_ID", 2, 3);
        Rows.FieldByName("SHF_ID")->SetAsInteger(Id);
        Rows.FieldByName("CMS_VAL")->SetAsString("5");
        Rows.Post();
        return ShfClient.Save(Rows);
    };
    auto Category = [&](TWindowClient<ICmsQty>& Client, int Id) {
        TOrvClientDataSet Rows(nullptr);
        EXPECT_TRUE(Client.Load(Rows));
        TwoChangesThen(Rows, "PROD_SORT_ID", 3, 5);
        Rows.FieldByName("PROD_SORT_ID")->SetAsInteger(Id);
        Rows.FieldByName("CMS_VAL")->SetAsString("5");
        Rows.Post();
        return Client.Save(Rows);
    };
    auto Rate = [&](const char* SortId, const char* Value) {
        // A client whose rate field is wider than the window's: the server holds the bound.
        const std::string Delta =
            R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)"
            R"(<FIELD attrname="PROD_SORT_ID" fieldtype="fixed" WIDTH="19" DECIMALS="4"/>)"
            R"(<FIELD attrname="CMS_RATE" fieldtype="fixed" WIDTH="19" DECIMALS="4"/>)"
            R"(</FIELDS><PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA>)"
            R"(<ROW RowState="4" PROD_SORT_ID=")" +
            std::string(SortId) + R"(" CMS_RATE=")" + Value + R"("/></ROWDATA></DATAPACKET>)";
        TSaveResult R;
        std::string Answer;
        R.Ok = ValClient.Object()->SaveDelta(Admin, Sys_GlobalUnitID, OrvPack(Delta, {}), Answer, R.Error);
        return R;
    };
    auto Sort = [&](const std::string& Num) {
        return "商品类别 " + Num + " " +
               Text("SELECT description FROM product_sorts WHERE prod_sort_num = '" + Num + "'");
    };
    const std::string Sort1 = Sort("01"), Sort2 = Sort("02");
    const std::vector<TCase> Cases = {
        {"no shift chosen", [&] { return Shift(Sys_UnknownID); }, "第 3 行：没有选择班次。"},
        {"removed shift", [&] { return Shift(99); }, "第 3 行：班次不存在。"},
        {"shift twice", [&] { return Shift(1); }, "班次 早班：与另一行重复。"},
        {"no category chosen", [&] { return Category(QtyClient, Sys_UnknownID); },
         "第 3 行：没有选择商品类别。"},
        {"removed category", [&] { return Category(QtyClient, 4242); }, "第 3 行：商品类别不存在。"},
        {"category twice", [&] { return Category(QtyClient, 1); }, Sort1 + "：与另一行重复。"},
        {"rate too big", [&] { return Rate("2", "10"); }, Sort2 + "：提成比例不能大于 9.9999。"},
        {"rate too small", [&] { return Rate("2", "-10"); }, Sort2 + "：提成比例不能小于 -9.9999。"},
        {"fractional id", [&] { return Rate("1.5", "1"); }, "第 1 行：商品类别无效。"},
    };
    const std::int64_t Before = Count("SELECT (SELECT sum(cms_val) FROM cms_shf) + (SELECT sum(cms_val) FROM "
                                      "cms_qty) + (SELECT count(*) FROM cms_val)");
    for (const TCase& C : Cases) {
        TSaveResult R = C.Save();
        EXPECT_FALSE(R.Ok) << C.What;
        EXPECT_EQ(R.Error, C.Message) << C.What;
    }
    EXPECT_EQ(Count("SELECT (SELECT sum(cms_val) FROM cms_shf) + (SELECT sum(cms_val) FROM cms_qty) + "
                    "(SELECT count(*) FROM cms_val)"),
              Before);
}

TEST_P(CommissionSaveTest, FailureMidDeltaLeavesEveryTableUnchanged) {
    auto Client = Rs(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    const std::string Before = Rows.GetXMLData();
    // A delete, a modify, good inserts, one bad insert, more good inserts.
    Rows.First();
    Rows.Delete();
    Rows.Edit();
    Rows.FieldByName("CMS_RATE")->SetAsString("0.9999");
    Rows.Post();
    for (int I = 0; I < 5; ++I)
        AppendRs(Rows, 110 + I, "S01" + std::to_string(I), 110, "P0010", Jan1, Jan31, "0.1");
    AppendRs(Rows, 115, "S015", 110, "P0010", Jan31, Jan1, "0.1");
    for (int I = 6; I < 9; ++I)
        AppendRs(Rows, 110 + I, "S01" + std::to_string(I), 110, "P0010", Jan1, Jan31, "0.1");
    EXPECT_FALSE(Client.Save(Rows).Ok);

    TOrvClientDataSet Again(nullptr);
    ASSERT_TRUE(Client.Load(Again));
    EXPECT_EQ(Again.GetXMLData(), Before);
}

INSTANTIATE_TEST_SUITE_P(Engines, CommissionSaveTest, AllEngines(), EngineName);

} // namespace
