// Loading and saving the commission windows' rows: round trips through the data layer,
// concurrent editors, the consignment rules and all-or-nothing saves.
#include "ServerTestSupport.h"

#include "host/core/DateUtils.h"

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

TEST_F(CommissionSaveTest, LoadedPacketsDeclareTheWindowsFieldTypes) {
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

TEST_F(CommissionSaveTest, EditedAmountIsStoredExactlyAndReloaded) {
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

TEST_F(CommissionSaveTest, CategoryRowsInsertedAndDeletedInOneSave) {
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

TEST_F(CommissionSaveTest, ConsignmentAnswerBackfillsCanonicalNames) {
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

TEST_F(CommissionSaveTest, ConsignmentDatesOfARowCanBeMoved) {
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

TEST_F(CommissionSaveTest, SecondEditorOfTheSameRowIsRefused) {
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

TEST_F(CommissionSaveTest, DeletingARowSomeoneElseChangedIsRefused) {
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

TEST_F(CommissionSaveTest, OverlappingRangesFromTwoConnectionsAreRefused) {
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

TEST_F(CommissionSaveTest, RangesInsideOrAroundAnotherOverlap) {
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

TEST_F(CommissionSaveTest, ConsignmentRowRulesRefuseAndNameTheRow) {
    struct TCase {
        const char* What;
        std::function<void(TOrvClientDataSet&)> Fill;
        const char* Message;
    };
    const std::vector<TCase> Cases = {
        {"rate above 1", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "1.0001"); },
         "提成比例必须在"},
        {"negative rate", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "-0.01"); },
         "提成比例必须在"},
        {"end before start", [](auto& R) { AppendRs(R, 106, "S006", 106, "P0006", Jan31, Jan1, "0.1"); },
         "结束日期不能早于开始日期"},
        {"unknown shop", [](auto& R) { AppendRs(R, 999, "S99", 106, "P0006", Jan1, Jan31, "0.1"); },
         "门店 S99、商品品种 P0006、2030-01-01 至 2030-01-31：门店不存在"},
        {"no shop chosen", [](auto& R) { AppendRs(R, Sys_UnknownID, "", 106, "P0006", Jan1, Jan31, "0.1"); },
         "门店不存在"},
        {"region as shop", [](auto& R) { AppendRs(R, 1, "R01", 106, "P0006", Jan1, Jan31, "0.1"); },
         "门店不存在"},
        {"unknown class", [](auto& R) { AppendRs(R, 106, "S006", 99999, "X1", Jan1, Jan31, "0.1"); },
         "商品品种不存在"},
        {"missing rate",
         [](auto& R) {
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
             R.Edit();
             R.FieldByName("CMS_RATE")->Clear();
             R.Post();
         },
         "提成比例不能为空"},
        {"same key twice",
         [](auto& R) {
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.1");
             AppendRs(R, 106, "S006", 106, "P0006", Jan1, Jan31, "0.2");
         },
         "重复"},
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
        EXPECT_NE(R.Error.find(C.Message), std::string::npos) << C.What << ": " << R.Error;
        EXPECT_EQ(RsCount(), Before) << C.What;
    }
}

TEST_F(CommissionSaveTest, UnknownKeysOfTheFixedWindowsAreRefused) {
    auto Client = Shf(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    Rows.Append();
    Rows.FieldByName("SHF_ID")->SetAsInteger(Sys_UnknownID);
    Rows.FieldByName("CMS_VAL")->SetAsString("5");
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("班次ID -1"), std::string::npos) << R.Error;
}

TEST_F(CommissionSaveTest, FailureMidDeltaLeavesEveryTableUnchanged) {
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

} // namespace
