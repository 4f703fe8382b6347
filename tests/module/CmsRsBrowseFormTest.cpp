#include "TestHost.h"

#include "host/services/Constants.h"

#include "tests/MessageOf.h"

#include <limits>

using namespace orv;
using namespace test;

namespace {

const char* const Caption = "代销提成设置";

class CmsRsBrowseFormTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        Granted.insert({Priv_ViewCmsRs, Priv_ModifyCmsRs});
        Cshare.RowLookups = true;
        Cshare.Shops = {{1, "S001", "一店"}, {2, "S002", "二店"}};
        Cshare.ProdClss = {{10, "C10", "饮料"}, {20, "C20", "零食"}};
    }

    TBrowseForm* OpenRs() {
        F = Open(Plugin().CmsRsMan);
        return F;
    }
    TField* Field(const char* Name) { return F->cdsMain->FieldByName(Name); }
    TAction* Action(const char* Name) { return Get<TAction>(F, Name); }

    // A new row through the window's own action, its values typed as a user types them;
    // returns what the post raised, or "" when it went through.
    std::string AddRow(const std::string& Shop, const std::string& Cls, const std::string& From,
                       const std::string& To, const std::string& Rate) {
        WS.UserExecute(Action("actNewLine"));
        int Row = F->cdsMain->RecordCount();
        for (auto [Name, Text] : {std::pair{"SHOP_NUM", Shop},
                                  {"PROD_CLS_NUM", Cls},
                                  {"FROM_DATE", From},
                                  {"TO_DATE", To},
                                  {"CMS_RATE", Rate}})
            if (!Text.empty()) Type(F, Row, Name, Text);
        return PostMessage();
    }
    std::string PostMessage() {
        try {
            F->cdsMain->Post();
        } catch (const TUserException& E) {
            EXPECT_EQ(E.Title(), Caption);
            return E.Message();
        }
        return "";
    }
    // Back to the rows as loaded.
    void Revert() {
        F->cdsMain->Cancel();
        F->cdsMain->CancelUpdates();
        WS.ClearRecords();
    }
    std::string LastMessage() { return WS.Messages().empty() ? "" : WS.Messages().back().Text; }

    TBrowseForm* F = nullptr;
};

} // namespace

TEST_F(CmsRsBrowseFormTest, TheWindowIsSetUpAsItsUsersKnowIt) {
    ASSERT_NE(OpenRs(), nullptr);
    EXPECT_EQ(Beans.Order, std::vector<std::string>{"TCmsRsBean.LoadList"});
    EXPECT_EQ(Beans.Rs.SessionID, "S-1");
    EXPECT_EQ(Beans.Rs.UnitID, 12);
    EXPECT_EQ(F->Caption(), Caption);
    EXPECT_EQ(F->HelpContext(), 507010003);
    EXPECT_EQ(F->Width(), 694);
    EXPECT_EQ(F->Height(), 456);
    for (TToolButton* B :
         {F->btnSelect, F->btnDetail, F->btnFunctions, F->btnFilter, F->btnSep1, F->btnSep3, F->btnSep4})
        EXPECT_FALSE(B->Visible()) << B->Name();
    for (TToolButton* B : {F->btnNew, F->btnDelete, F->btnSave, F->btnRefresh, F->btnClose, F->btnSep5})
        EXPECT_TRUE(B->Visible()) << B->Name();
    EXPECT_EQ(F->cdsMain->KeyFields(), "SHOP_ID; PROD_CLS_ID; FROM_DATE; TO_DATE");

    struct TFieldRow {
        const char *Component, *Name, *Label;
        int Size, Precision;
    };
    const TFieldRow Fields[] = {
        {"cdsMainSHOP_ID", "SHOP_ID", "门店ID", 4, 0},
        {"cdsMainSHOP_NUM", "SHOP_NUM", "门店编号", 20, -1},
        {"cdsMainSHOP_NAME", "SHOP_NAME", "门店名称", 50, -1},
        {"cdsDetailPROD_CLS_ID", "PROD_CLS_ID", "商品品种ID", 0, 8},
        {"cdsMainPROD_CLS_NUM", "PROD_CLS_NUM", "商品品种编号", 25, -1},
        {"cdsMainPROD_NAME", "PROD_NAME", "商品名称", 50, -1},
        {"cdsMainFROM_DATE", "FROM_DATE", "开始日期", 0, -1},
        {"cdsMainField", "TO_DATE", "结束日期", 0, -1},
        {"cdsMainCMS_RATE", "CMS_RATE", "提成比例", 4, 5},
    };
    ASSERT_EQ(F->cdsMain->FieldCount(), 9);
    for (int I = 0; I < 9; ++I) {
        TField* Fd = F->cdsMain->Fields(I);
        EXPECT_EQ(Fd, F->FindComponent(Fields[I].Component)) << Fields[I].Component;
        EXPECT_EQ(Fd->FieldName(), Fields[I].Name);
        EXPECT_EQ(Fd->DisplayLabel(), Fields[I].Label);
        EXPECT_EQ(Fd->Size(), Fields[I].Size) << Fields[I].Name;
        if (Fields[I].Precision >= 0) {
            EXPECT_EQ(dynamic_cast<TBCDField&>(*Fd).Precision(), Fields[I].Precision);
        }
    }
    EXPECT_EQ(Field("FROM_DATE")->DataType(), TFieldType::ftDate);
    EXPECT_EQ(Field("TO_DATE")->DataType(), TFieldType::ftDate);

    EXPECT_EQ(F->grdMain->LayoutID(), "050701000301");
    EXPECT_EQ(F->grdMain->PopupMenu(), F->FindComponent("mnuMain"));
    struct TColumnRow {
        const char* Name;
        int Width;
        bool Ellipsis, ReadOnly;
    };
    const TColumnRow Columns[] = {{"SHOP_NUM", 97, true, false},     {"SHOP_NAME", 141, false, true},
                                  {"PROD_CLS_NUM", 88, true, false}, {"PROD_NAME", 106, false, true},
                                  {"FROM_DATE", 79, false, false},   {"TO_DATE", 72, false, false},
                                  {"CMS_RATE", 0, false, false}};
    ASSERT_EQ(F->grdMain->ColumnCount(), 7);
    for (int I = 0; I < 7; ++I) {
        const TColumn* C = F->grdMain->Column(I);
        EXPECT_EQ(C->FieldName(), Columns[I].Name);
        EXPECT_EQ(C->Width(), Columns[I].Width) << Columns[I].Name;
        EXPECT_EQ(C->ButtonStyle() == TColumnButtonStyle::cbsEllipsis, Columns[I].Ellipsis)
            << Columns[I].Name;
        EXPECT_EQ(C->ReadOnly(), Columns[I].ReadOnly) << Columns[I].Name;
        // The titles of the columns the user enters are highlighted; the others are plain.
        EXPECT_EQ(C->TitleFontAssigned(), !Columns[I].ReadOnly) << Columns[I].Name;
        if (C->TitleFontAssigned()) {
            EXPECT_EQ(C->TitleFont().Name, "宋体");
            EXPECT_EQ(C->TitleFont().Color, clHighlight);
            EXPECT_EQ(C->TitleFont().Height, 13);
        }
    }

    struct TActionRow {
        const char *Name, *Caption, *Hint;
        TShortCut Key;
    };
    const TActionRow Actions[] = {
        {"actNewLine", "新增明细(&A)", "新增明细", ShortCut(VK_INSERT, scCtrl)},
        {"actNewLines", "批量添加明细(&B)", "", scNone},
        {"actClearLines", "清除明细(&C)", "", ShortCut(VK_DELETE, scCtrl | scShift)},
        {"actDeleteLine", "删除明细(&Z)", "", ShortCut(VK_DELETE, scCtrl)}};
    for (const TActionRow& A : Actions) {
        TAction* Act = Action(A.Name);
        ASSERT_NE(Act, nullptr);
        EXPECT_EQ(Act->Caption(), A.Caption);
        EXPECT_EQ(Act->Hint(), A.Hint);
        EXPECT_EQ(Act->ShortCut(), A.Key) << A.Name;
        EXPECT_EQ(Act->ActionList(), F->atlAtions);
    }
    auto* Menu = Get<TPopupMenu>(F, "mnuMain");
    // The framework appends its export command after the window's own items.
    ASSERT_EQ(Menu->Items().size(), 6u);
    EXPECT_EQ(Menu->Items()[5], F->mitExport);
    const char* Items[][2] = {{"mitNewLine", "actNewLine"},
                              {"mitNewLines", "actNewLines"},
                              {"mitDeletLine", "actDeleteLine"},
                              {"mitClearLines", "actClearLines"}};
    for (int I = 0; I < 4; ++I) {
        EXPECT_EQ(Menu->Items()[std::size_t(I)]->Name(), Items[I][0]);
        EXPECT_EQ(Menu->Items()[std::size_t(I)]->Action(), Action(Items[I][1]));
    }
    EXPECT_EQ(Menu->Items()[1]->Hint(), "批量添加明细");
    EXPECT_EQ(Menu->Items()[1]->ShortCut(), ShortCut(VK_INSERT, scCtrl | scShift));
    EXPECT_EQ(Menu->Items()[3]->Hint(), "清除明细");
}

// Row 1 of the loaded rows: shop 1, class 10, 1 to 31 January 2026.
TEST_F(CmsRsBrowseFormTest, ARangeMayNotShareADayWithAnotherOfItsShopAndClass) {
    ASSERT_NE(OpenRs(), nullptr);
    const std::string Overlap = "日期重叠。";
    // The very first change in the window is an edit: moving the third row (class 20)
    // to class 10 meets the first row.
    Type(F, 2, "PROD_CLS_NUM", "C10");
    EXPECT_EQ(PostMessage(), Overlap);
    Revert();
    struct TCase {
        const char *What, *Shop, *Cls, *From, *To, *Expected;
    };
    const TCase Cases[] = {
        {"begins on the day the other ends", "S001", "C10", "2026-01-31", "2026-02-28", "日期重叠。"},
        {"begins the day after", "S001", "C10", "2026-02-01", "2026-02-28", ""},
        {"lies inside", "S001", "C10", "2026-01-10", "2026-01-20", "日期重叠。"},
        {"lies around", "S001", "C10", "2025-12-01", "2026-02-28", "日期重叠。"},
        {"ends on the day the other begins", "S001", "C10", "2025-12-01", "2026-01-01", "日期重叠。"},
        {"begins on the same day and ends later", "S001", "C10", "2026-01-01", "2026-02-28", "日期重叠。"},
        {"ends the day before", "S001", "C10", "2025-12-01", "2025-12-31", ""},
        {"another shop", "S002", "C20", "2026-01-01", "2026-01-31", ""},
        {"another class", "S001", "C20", "2026-02-01", "2026-02-05", ""},
    };
    for (const TCase& C : Cases) {
        EXPECT_EQ(AddRow(C.Shop, C.Cls, C.From, C.To, "0.1"), C.Expected) << C.What;
        Revert();
    }

    // Changing a row's rate does not make it overlap its own image; nor does widening it.
    F->cdsMain->First();
    Type(F, 0, "CMS_RATE", "0.08");
    EXPECT_EQ(PostMessage(), "");
    Type(F, 0, "TO_DATE", "2026-02-10");
    EXPECT_EQ(PostMessage(), "");
    Revert();

    // A new row is compared with every row of its shop and class, not just the first;
    // an edited row with every row but itself.
    ASSERT_EQ(AddRow("S001", "C10", "2026-02-01", "2026-02-28", "0.1"), "");
    EXPECT_EQ(AddRow("S001", "C10", "2026-02-20", "2026-03-10", "0.1"), Overlap);
    F->cdsMain->Cancel();
    F->cdsMain->First();
    Type(F, 0, "TO_DATE", "2026-02-01");
    EXPECT_EQ(PostMessage(), Overlap);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsEdit) << "a refused row stays as entered";
    EXPECT_EQ(Field("TO_DATE")->AsString(), "2026-02-01");
}

// The rows compared with a posted row are found by shop and class together, and must stay
// the right ones as rows change pair, are deleted and are renumbered.
TEST_F(CmsRsBrowseFormTest, OnlyRowsOfTheSamePairAreComparedWhateverHappenedToTheRows) {
    // Shop 11 with class 10 and shop 1 with class 110: the digits of either pair run
    // together read the same as each other, yet they are different pairs.
    Cshare.Shops.push_back({11, "S011", "十一店"});
    Cshare.ProdClss.push_back({110, "C110", "果汁"});
    ASSERT_NE(OpenRs(), nullptr);
    const std::string Overlap = "日期重叠。";
    EXPECT_EQ(AddRow("S011", "C10", "2026-01-01", "2026-01-31", "0.1"), "");
    EXPECT_EQ(AddRow("S001", "C110", "2026-01-01", "2026-01-31", "0.1"), "");
    EXPECT_EQ(AddRow("S011", "C110", "2026-01-15", "2026-01-16", "0.1"), "");

    // The third loaded row moves from class 20 to class 10, into March: it now holds March
    // for its new pair and January no longer for its old one.
    Type(F, 2, "PROD_CLS_NUM", "C10");
    Type(F, 2, "FROM_DATE", "2026-03-01");
    Type(F, 2, "TO_DATE", "2026-03-31");
    ASSERT_EQ(PostMessage(), "");
    EXPECT_EQ(AddRow("S001", "C10", "2026-03-31", "2026-04-30", "0.1"), Overlap);
    F->cdsMain->Cancel();
    EXPECT_EQ(AddRow("S001", "C20", "2026-01-01", "2026-01-31", "0.1"), "");

    // Deleting the first row renumbers the rest: the moved row, now second, is still
    // skipped as its own image, and still found for the others.
    F->cdsMain->First();
    WS.UserExecute(Action("actDeleteLine"));
    Type(F, 1, "CMS_RATE", "0.2");
    ASSERT_EQ(Field("FROM_DATE")->AsString(), "2026-03-01");
    EXPECT_EQ(PostMessage(), "");
    Type(F, 1, "TO_DATE", "2026-04-10");
    EXPECT_EQ(PostMessage(), "");
    EXPECT_EQ(AddRow("S001", "C10", "2026-04-10", "2026-04-30", "0.1"), Overlap);
    F->cdsMain->Cancel();
    EXPECT_EQ(AddRow("S001", "C10", "2026-01-01", "2026-02-28", "0.1"), "");
}

TEST_F(CmsRsBrowseFormTest, ChecksBeforePostRunInOrderAndFocusTheColumnToFill) {
    ASSERT_NE(OpenRs(), nullptr);
    WS.UserExecute(Action("actNewLine"));
    const int Row = F->cdsMain->RecordCount();
    struct TStep {
        const char *Expected, *Focus, *Fill, *Text;
    };
    const TStep Steps[] = {
        {"“门店编号”不能为空。", "SHOP_NUM", "SHOP_NUM", "S001"},
        {"“商品品种编号”不能为空。", "PROD_CLS_NUM", "PROD_CLS_NUM", "C20"},
        {"“开始日期”不能为空。", "FROM_DATE", "FROM_DATE", "2026-03-02"},
        {"“结束日期”不能为空。", "TO_DATE", "TO_DATE", "2026-03-01"},
        {"“提成比例”不能为空。", "CMS_RATE", "TO_DATE", "2026-03-02"},
        {"“提成比例”不能为空。", "CMS_RATE", "CMS_RATE", "0.2"},
    };
    // The date order is checked only once every value is there: with the dates reversed
    // the rate is still reported first.
    for (const TStep& S : Steps) {
        WS.UserSelectColumn(F->grdMain, "PROD_NAME");
        EXPECT_EQ(PostMessage(), S.Expected);
        ASSERT_NE(F->grdMain->SelectedField(), nullptr);
        EXPECT_EQ(F->grdMain->SelectedField()->FieldName(), S.Focus) << S.Expected;
        Type(F, Row, S.Fill, S.Text);
        if (std::string(S.Fill) == "TO_DATE" && std::string(S.Text) == "2026-03-01") {
            Type(F, Row, "CMS_RATE", "0.2");
            WS.UserSelectColumn(F->grdMain, "SHOP_NAME");
            EXPECT_EQ(PostMessage(), "结束日期必须大于或者等于开始日期。");
            EXPECT_EQ(F->grdMain->SelectedField()->FieldName(), "TO_DATE");
            F->cdsMain->FieldByName("CMS_RATE")->Clear();
        }
    }
    // A single day is a range.
    EXPECT_EQ(PostMessage(), "");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
}

TEST_F(CmsRsBrowseFormTest, TypedNumbersAreUpperCasedInAsciiOnlyAndLookedUp) {
    Cshare.Shops.push_back({7, "AB12", "七店"});
    Cshare.Shops.push_back({8, "ａｂ门", "八店"});
    ASSERT_NE(OpenRs(), nullptr);
    F->cdsMain->First();
    Type(F, 0, "SHOP_NUM", "ab12");
    EXPECT_EQ(Field("SHOP_NUM")->AsString(), "AB12");
    EXPECT_EQ(Field("SHOP_ID")->AsInteger(), 7);
    EXPECT_EQ(Field("SHOP_NAME")->AsString(), "七店");
    Type(F, 0, "SHOP_NUM", "ａｂ门");
    EXPECT_EQ(Field("SHOP_ID")->AsInteger(), 8);
    EXPECT_EQ(Cshare.Calls,
              (std::vector<std::string>{"GetUnit(12,-1,AB12,S,cdsData)", "GetUnit(12,-1,ａｂ门,S,cdsData)"}));

    // A number the lookup refuses leaves number, key and name as they were.
    Type(F, 0, "SHOP_NUM", "x9");
    EXPECT_EQ(LastMessage(), "门店“X9”不存在。");
    EXPECT_EQ(Field("SHOP_NUM")->AsString(), "ａｂ门");
    EXPECT_EQ(Field("SHOP_ID")->AsInteger(), 8);

    Type(F, 0, "PROD_CLS_NUM", "c20");
    EXPECT_EQ(Cshare.Calls.back(), "GetProdCls(-1,C20,cdsData)");
    EXPECT_EQ(Field("PROD_CLS_ID")->AsInteger(), 20);
    EXPECT_EQ(Field("PROD_NAME")->AsString(), "零食");

    // An empty number clears the key and the name, and the post then asks for the shop.
    Type(F, 0, "SHOP_NUM", "");
    EXPECT_TRUE(Field("SHOP_ID")->IsNull());
    EXPECT_TRUE(Field("SHOP_NAME")->IsNull());
    EXPECT_EQ(PostMessage(), "“门店编号”不能为空。");
}

TEST_F(CmsRsBrowseFormTest, RatesOutsideZeroToOneAreRefusedOnEntryNaNAndInfinityIncluded) {
    ASSERT_NE(OpenRs(), nullptr);
    F->cdsMain->First();
    for (const char* Accepted : {"0", "1", "0.1234"}) {
        Type(F, 0, "CMS_RATE", Accepted);
        EXPECT_EQ(LastMessage(), "") << Accepted;
        EXPECT_EQ(Field("CMS_RATE")->AsFloat(), std::stod(Accepted));
    }
    for (const char* Refused : {"1.0001", "-0.5", "12", "nan", "NaN", "inf", "-inf", "1e400", "infinity"}) {
        WS.ClearRecords();
        Type(F, 0, "CMS_RATE", Refused);
        EXPECT_EQ(LastMessage(), "提成比例必须在０到１之间。") << Refused;
        EXPECT_EQ(Field("CMS_RATE")->AsString(), "0.1234") << Refused;
    }
    // Set by code, not typed: the range still holds.
    EXPECT_EQ(MessageOf<TUserException>([&] { Field("CMS_RATE")->SetAsFloat(-0.25); }),
              "提成比例必须在０到１之间。");
    EXPECT_EQ(Field("CMS_RATE")->AsString(), "0.1234");
}

TEST_F(CmsRsBrowseFormTest, PickersCopyTheChoiceAndGiveUpdatingBackAsTheyFoundIt) {
    ASSERT_NE(OpenRs(), nullptr);
    F->cdsMain->First();

    // Cancelled: nothing changes and the row is not put into edit state.
    WS.UserSelectCell(F->grdMain, 0, 0);
    WS.UserClickEllipsis(F->grdMain);
    EXPECT_EQ(Cshare.Calls, (std::vector<std::string>{"SelectUnitInTree(12,S,A,CMS_RS_VIEW,cdsData)"}));
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
    ASSERT_FALSE(WS.FocusRequests().empty());
    EXPECT_EQ(WS.FocusRequests().back().Control, F);

    // Chosen while the flag is already set by someone else: it stays set afterwards. The
    // picked number is the unit's own, neither upper-cased nor looked up.
    Cshare.UnitPick = TCshareItem{3, "s003x", "三店"};
    F->Updating = true;
    WS.UserClickEllipsis(F->grdMain);
    EXPECT_TRUE(F->Updating);
    F->Updating = false;
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsEdit);
    EXPECT_EQ(Field("SHOP_ID")->AsInteger(), 3);
    EXPECT_EQ(Field("SHOP_NUM")->AsString(), "s003x");
    EXPECT_EQ(Field("SHOP_NAME")->AsString(), "三店");
    EXPECT_EQ(Cshare.Calls.size(), 2u) << "no lookup after a pick";
    EXPECT_EQ(WS.FocusRequests().back().Control, F);

    // A write that fails (a class number longer than the field) still gives the flag back.
    Cshare.ProdClsPick = TCshareItem{30, std::string(26, 'Z'), "烟酒"};
    bool FlagDuringPick = true;
    Cshare.DuringPick = [&] { FlagDuringPick = F->Updating; };
    WS.UserSelectCell(F->grdMain, 0, 2);
    WS.UserClickEllipsis(F->grdMain);
    EXPECT_EQ(Cshare.Calls.back(), "SelectProdCls(,单选,cdsData)");
    EXPECT_FALSE(FlagDuringPick);
    EXPECT_FALSE(F->Updating);
    EXPECT_FALSE(WS.Messages().empty());
    EXPECT_EQ(WS.FocusRequests().back().Control, F);
    // The number handlers work again: a typed class is looked up.
    Type(F, 0, "PROD_CLS_NUM", "c10");
    EXPECT_EQ(Cshare.Calls.back(), "GetProdCls(-1,C10,cdsData)");
    EXPECT_EQ(Field("PROD_CLS_ID")->AsInteger(), 10);
}

TEST_F(CmsRsBrowseFormTest, LineActionsFollowTheStatusAndClearAsksFirst) {
    ASSERT_NE(OpenRs(), nullptr);
    EXPECT_EQ(F->Status(), 2);
    for (auto [Follower, Leader] :
         {std::pair{"actNewLines", "actNewLine"}, {"actClearLines", "actDeleteLine"}})
        EXPECT_EQ(Action(Follower)->Enabled(), Action(Leader)->Enabled());
    EXPECT_TRUE(Action("actDeleteLine")->Enabled());

    // Delete line on a row being inserted drops it and nothing else.
    WS.UserExecute(Action("actNewLine"));
    WS.UserExecute(Action("actDeleteLine"));
    EXPECT_EQ(F->cdsMain->RecordCount(), 3);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);

    WS.QueueAnswer(IDNO);
    WS.UserExecute(Action("actClearLines"));
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "您确认要清除所有明细吗？");
    EXPECT_EQ(WS.Messages()[0].Caption, Caption);
    EXPECT_EQ(WS.Messages()[0].Flags, 0x124);
    EXPECT_EQ(F->cdsMain->RecordCount(), 3);

    WS.QueueAnswer(IDYES);
    WS.UserExecute(Action("actClearLines"));
    EXPECT_EQ(F->cdsMain->RecordCount(), 0);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 3);
    EXPECT_FALSE(F->Updating);
    EXPECT_EQ(F->Status(), 3);
    ASSERT_EQ(WS.BusyRuns().size(), 1u) << "only the clear that ran was busy";
    EXPECT_EQ(WS.BusyRuns()[0].Total, 3);
    EXPECT_EQ(WS.BusyRuns()[0].LastDone, 3);
    EXPECT_TRUE(WS.BusyRuns()[0].Ended);

    // Saved: the deletions go to the business object.
    WS.UserExecute(F->actSave);
    EXPECT_EQ(Beans.Rs.Saves, 1);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(F->Status(), 1);
    EXPECT_TRUE(Action("actNewLine")->Enabled());
    EXPECT_FALSE(Action("actDeleteLine")->Enabled());
    EXPECT_TRUE(Action("actNewLines")->Enabled());
    EXPECT_FALSE(Action("actClearLines")->Enabled());
}

// The snapshot is a whole-set copy of cdsMain; it must see the rows a packet copy would
// see, deleted rows gone and record numbers lined up, or a row would meet its own image.
TEST_F(CmsRsBrowseFormTest, AfterDeletionsAndEditsTheSnapshotStillLinesUpWithTheRows) {
    ASSERT_NE(OpenRs(), nullptr);
    ASSERT_EQ(AddRow("S001", "C10", "2026-02-01", "2026-02-28", "0.1"), "");
    F->cdsMain->First();
    Type(F, 0, "CMS_RATE", "0.09");
    ASSERT_EQ(PostMessage(), "");
    F->cdsMain->First();
    WS.UserExecute(Action("actDeleteLine")); // the January row of shop 1 and class 10
    ASSERT_EQ(F->cdsMain->RecordCount(), 3);

    TOrvClientDataSet ByPacket(nullptr), ByCopy(nullptr);
    ByPacket.SetXMLData(F->cdsMain->GetXMLData());
    ByCopy.SetData(F->cdsMain->GetData());
    ASSERT_EQ(ByCopy.RecordCount(), ByPacket.RecordCount());
    for (ByPacket.First(), ByCopy.First(); !ByPacket.Eof(); ByPacket.Next(), ByCopy.Next()) {
        EXPECT_EQ(ByCopy.RecNo(), ByPacket.RecNo());
        for (TField* P : ByPacket.FieldList())
            EXPECT_EQ(ByCopy.FieldByName(P->FieldName())->AsString(), P->AsString()) << P->FieldName();
    }

    // The February row moved up to record 3: editing it meets no image of itself.
    ASSERT_TRUE(F->cdsMain->Locate("FROM_DATE", Field("FROM_DATE")->ParseText("2026-02-01")));
    EXPECT_EQ(F->cdsMain->RecNo(), 3);
    Type(F, 2, "CMS_RATE", "0.3");
    EXPECT_EQ(PostMessage(), "");
    // The deleted January row no longer holds its days.
    EXPECT_EQ(AddRow("S001", "C10", "2026-01-10", "2026-01-20", "0.1"), "");
}
