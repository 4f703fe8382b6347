#include "TestHost.h"

#include "host/core/DateUtils.h"
#include "host/forms/ComCtrls.h"
#include "host/forms/StdCtrls.h"
#include "host/services/Constants.h"

#include <functional>

using namespace orv;
using namespace test;

namespace {

const char* const Title = "批量添加";

// The dialog is reached as a user reaches it: the consignment window's batch-append
// action opens it modally, and each test acts inside it through the modal script.
class CmsRsBatchAppendFormTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        Granted.insert({Priv_ViewCmsRs, Priv_ModifyCmsRs});
        Cshare.RowLookups = true;
        Cshare.Shops = {{1, "S001", "一店"}, {2, "S002", "二店"}, {3, "S003", "三店"}};
        Cshare.ProdClss = {{10, "C10", "饮料"}, {20, "C20", "零食"}};
        F = Open(Plugin().CmsRsMan);
        ASSERT_NE(F, nullptr);
    }

    // Runs the batch append with Script acting in the dialog; afterwards the dialog must
    // be gone, whatever happened.
    void Batch(std::function<void()> Script) {
        bool Ran = false;
        WS.QueueModal([&](TCustomForm& Form) {
            Ran = true;
            Dlg = &Form;
            Script();
        });
        WS.UserExecute(Get<TAction>(F, "actNewLines"));
        EXPECT_TRUE(Ran) << "the dialog did not open";
        EXPECT_EQ(F->FindComponent("CmsRsBatchAppendForm"), nullptr) << "the dialog was not freed";
        Dlg = nullptr;
    }
    template <class T> T* D(const char* Name) {
        T* C = dynamic_cast<T*>(Dlg->FindComponent(Name));
        EXPECT_NE(C, nullptr) << Name;
        return C;
    }
    TOrvClientDataSet* Shops() { return D<TOrvClientDataSet>("cdsShop"); }
    TOrvClientDataSet* Classes() { return D<TOrvClientDataSet>("cdsProdCls"); }
    bool Enabled(const char* Action) { return D<TAction>(Action)->Enabled(); }
    void TypeIn(const char* Grid, const char* FieldName, const std::string& Text) {
        WS.UserSelectColumn(D<TOrvDBGrid>(Grid), FieldName);
        WS.UserTypeIntoCell(D<TOrvDBGrid>(Grid), Text);
    }
    // Presses Append; returns the message it gave ("" for none), checking its title.
    std::string Append() {
        WS.ClearRecords();
        WS.UserClick(D<TBitBtn>("btnAppend"));
        if (WS.Messages().empty()) return "";
        EXPECT_EQ(WS.Messages().back().Caption, Title);
        return WS.Messages().back().Text;
    }
    std::string LastMessage() { return WS.Messages().empty() ? "" : WS.Messages().back().Text; }
    TWinControl* LastFocus() {
        return WS.FocusRequests().empty() ? nullptr : WS.FocusRequests().back().Control;
    }
    std::string Row(TDataSet* S, const char* Fields) {
        std::string R;
        for (TField* Fd : S->GetFieldList(Fields))
            R += Fd->AsString() + " ";
        return R.substr(0, R.size() - 1);
    }

    TBrowseForm* F = nullptr;
    TCustomForm* Dlg = nullptr;
};

} // namespace

TEST_F(CmsRsBatchAppendFormTest, OpensFreshAndTheLineActionsFollowTheLists) {
    Batch([&] {
        EXPECT_EQ(Dlg->BorderStyle(), TFormBorderStyle::bsDialog);
        EXPECT_EQ(Dlg->ClientWidth() * 1000 + Dlg->ClientHeight(), 669408);
        EXPECT_EQ(D<TDateTimePicker>("edtFromDate")->Date(), Date());
        EXPECT_EQ(D<TDateTimePicker>("edtToDate")->Date(), Date());
        EXPECT_EQ(D<TOrvMeEdit>("edtCmsRate")->Text(), "");
        for (const char* A : {"actNewLine", "actNewLines", "actShopNewLine", "actShopNewLines"})
            EXPECT_TRUE(Enabled(A)) << A;
        for (const char* A : {"actDeleteLine", "actClearLines", "actShopDeleteLine", "actShopClearLines"})
            EXPECT_FALSE(Enabled(A)) << A;

        // A fill skips what is listed and keeps the picker's order and names, without a
        // lookup per row.
        TypeIn("grdShop", "SHOP_NUM", "s002");
        Cshare.Calls.clear();
        Cshare.UnitsPick =
            std::vector<TCshareItem>{{1, "S001", "一店"}, {2, "S002", "别名"}, {3, "S003", "三店"}};
        WS.UserChooseMenuItem(D<TMenuItem>("mitShopNewLines"));
        EXPECT_EQ(Cshare.Calls, std::vector<std::string>{"SelectUnitsInTree(12,S,A,CMS_RS_VIEW,cdsData)"});
        std::vector<std::string> Listed;
        for (Shops()->First(); !Shops()->Eof(); Shops()->Next())
            Listed.push_back(Row(Shops(), "SHOP_ID;SHOP_NUM;SHOP_NAME"));
        EXPECT_EQ(Listed,
                  (std::vector<std::string>{"2.0000 S002 二店", "1.0000 S001 一店", "3.0000 S003 三店"}));
        EXPECT_TRUE(Enabled("actShopDeleteLine") && Enabled("actShopClearLines"));

        // The shortcuts act on the product classes, also from the shop grid; a new class
        // row leaves the status at 3, where the row being inserted may be deleted.
        WS.UserFocus(D<TOrvDBGrid>("grdShop"));
        WS.UserShortCut(Dlg, ShortCut(VK_INSERT, scCtrl));
        EXPECT_EQ(Classes()->State(), TDataSetState::dsInsert);
        EXPECT_TRUE(Enabled("actDeleteLine"));
        WS.UserShortCut(Dlg, ShortCut(VK_DELETE, scCtrl));
        EXPECT_EQ(Classes()->State(), TDataSetState::dsBrowse);
        EXPECT_EQ(Shops()->RecordCount(), 3);
        EXPECT_FALSE(Enabled("actDeleteLine") || Enabled("actClearLines"));

        // Clearing asks first, No preselected; only Yes empties the list.
        WS.QueueAnswer(IDNO);
        WS.UserChooseMenuItem(D<TMenuItem>("mitShopClearLines"));
        EXPECT_EQ(LastMessage(), "您确认要清除所有门店吗？");
        EXPECT_EQ(WS.Messages().back().Flags, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        EXPECT_EQ(Shops()->RecordCount(), 3);
        WS.QueueAnswer(IDYES);
        WS.UserChooseMenuItem(D<TMenuItem>("mitShopClearLines"));
        EXPECT_EQ(Shops()->RecordCount(), 0);
        EXPECT_FALSE(Enabled("actShopDeleteLine") || Enabled("actShopClearLines"));
        // A new shop row ends in status 2 (the list scrolls after the insert), where only
        // stored rows count.
        WS.UserChooseMenuItem(D<TMenuItem>("mitShowNewLine"));
        EXPECT_EQ(Shops()->State(), TDataSetState::dsInsert);
        EXPECT_FALSE(Enabled("actShopDeleteLine"));

        // Deleting the last product class disables its delete and clear.
        Cshare.ProdClssPick = std::vector<TCshareItem>{{20, "C20", "零食"}};
        WS.UserExecute(D<TAction>("actNewLines"));
        EXPECT_EQ(Cshare.Calls.back(), "SelectProdCls(,多选,cdsData)");
        WS.UserExecute(D<TAction>("actDeleteLine"));
        EXPECT_EQ(Classes()->RecordCount(), 0);
        EXPECT_FALSE(Enabled("actDeleteLine") || Enabled("actClearLines"));

        // Escape cancels with whatever was gathered; the window's rows stay as they were.
        WS.UserExecute(D<TAction>("actNewLines"));
        WS.UserTypeText(D<TOrvMeEdit>("edtCmsRate"), "0.1");
        WS.UserShortCut(Dlg, VK_ESCAPE);
        EXPECT_EQ(Dlg->ModalResult(), mrCancel);
    });
    EXPECT_EQ(F->cdsMain->RecordCount(), 3);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
}

TEST_F(CmsRsBatchAppendFormTest, AppendChecksRateThenListsInOrderAndFocusesWhatToMend) {
    const std::string Range = "提成比例必须在０到１之间。";
    Batch([&] {
        auto* Rate = D<TOrvMeEdit>("edtCmsRate");
        // The rate is checked before the lists, each time with the focus on its edit.
        struct TCase {
            const char *Text, *Expected;
        };
        const TCase Cases[] = {{"", "“提成比例”不能为空。"}, {"abc", "非法数值。"},   {"   ", "非法数值。"},
                               {"nan", "非法数值。"},        {"NaN", "非法数值。"},   {"inf", "非法数值。"},
                               {"-infinity", "非法数值。"},  {"1e999", "非法数值。"}, {"0,5", "非法数值。"},
                               {"1.01", Range.c_str()},      {"-0.01", Range.c_str()},
                               {"１．０１", Range.c_str()},  {"０。５", "非法数值。"}};
        for (const TCase& C : Cases) {
            WS.UserTypeText(Rate, C.Text);
            EXPECT_EQ(Append(), C.Expected) << '"' << C.Text << '"';
            EXPECT_EQ(LastFocus(), Rate) << C.Text;
        }
        // 0 and 1 pass; then the shop list is checked before the class list.
        for (const char* Bound : {"0", "1", "０．５"}) {
            WS.UserTypeText(Rate, Bound);
            EXPECT_EQ(Append(), "门店列表不能为空。") << Bound;
            EXPECT_EQ(LastFocus(), D<TOrvDBGrid>("grdShop"));
        }
        TypeIn("grdShop", "SHOP_NUM", "S001");
        // A new shop row with nothing chosen goes without a word, even once typed into.
        WS.UserExecute(D<TAction>("actShopNewLine"));
        TypeIn("grdShop", "SHOP_NUM", "S002");
        TypeIn("grdShop", "SHOP_NUM", "");
        EXPECT_EQ(Append(), "商品品种列表不能为空。");
        EXPECT_EQ(LastFocus(), D<TOrvDBGrid>("grdProdCls"));
        EXPECT_EQ(Shops()->RecordCount(), 1);

        // A listed class whose number was emptied is refused at its number.
        TypeIn("grdProdCls", "PROD_CLS_NUM", "C10");
        ASSERT_EQ(Append(), "");
        Dlg->SetModalResult(mrNone);
        TypeIn("grdProdCls", "PROD_CLS_NUM", "");
        EXPECT_EQ(Row(Classes(), "PROD_CLS_ID;PROD_NAME"), " ");
        WS.UserSelectColumn(D<TOrvDBGrid>("grdProdCls"), "PROD_NAME");
        EXPECT_EQ(Append(), "“商品品种编号”不能为空。");
        EXPECT_EQ(D<TOrvDBGrid>("grdProdCls")->SelectedField()->FieldName(), "PROD_CLS_NUM");
        EXPECT_EQ(Classes()->State(), TDataSetState::dsEdit);

        // The dates are not the dialog's to check: an end before the start closes it.
        TypeIn("grdProdCls", "PROD_CLS_NUM", "c10");
        WS.UserPickDate(D<TDateTimePicker>("edtFromDate"), EncodeDate(2026, 3, 10));
        WS.UserPickDate(D<TDateTimePicker>("edtToDate"), EncodeDate(2026, 3, 9));
        WS.UserTypeText(Rate, "0.3");
        EXPECT_EQ(Append(), "");
        EXPECT_EQ(Dlg->ModalResult(), mrOk);
    });
    // ...and the window's row rules refuse the first generated row, focused on its end.
    EXPECT_EQ(LastMessage(), "结束日期必须大于或者等于开始日期。");
    EXPECT_EQ(WS.Messages().back().Caption, "代销提成设置");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(F->grdMain->SelectedField()->FieldName(), "TO_DATE");
    EXPECT_EQ(F->cdsMain->RecordCount(), 3);
}

TEST_F(CmsRsBatchAppendFormTest, TypedNumbersAndPicksFillARowAndLeavingTheGridChecksIt) {
    Batch([&] {
        TypeIn("grdShop", "SHOP_NUM", "s001");
        EXPECT_EQ(Row(Shops(), "SHOP_ID;SHOP_NUM;SHOP_NAME"), "1.0000 S001 一店");
        EXPECT_EQ(Cshare.Calls.back(), "GetUnit(12,-1,S001,S,cdsData)");
        TypeIn("grdShop", "SHOP_NUM", "x9");
        EXPECT_EQ(LastMessage(), "门店“X9”不存在。");
        EXPECT_EQ(Row(Shops(), "SHOP_ID;SHOP_NUM;SHOP_NAME"), "1.0000 S001 一店");

        // Leaving the grid posts the row; a new row with nothing chosen is refused there
        // rather than dropped, and keeps the focus.
        WS.UserLeave(D<TOrvDBGrid>("grdShop"));
        EXPECT_EQ(Shops()->State(), TDataSetState::dsBrowse);
        WS.UserExecute(D<TAction>("actShopNewLine"));
        WS.UserFocus(D<TOrvDBGrid>("grdShop"));
        WS.ClearRecords();
        WS.UserLeave(D<TOrvDBGrid>("grdShop"));
        EXPECT_EQ(LastMessage(), "“门店编号”不能为空。");
        EXPECT_EQ(Shops()->State(), TDataSetState::dsInsert);
        EXPECT_EQ(Dlg->ActiveControl(), D<TOrvDBGrid>("grdShop"));

        // The ellipsis takes the unit's own number, no lookup, even when it is listed.
        Cshare.UnitPick = TCshareItem{1, "s001", "一店"};
        WS.UserSelectColumn(D<TOrvDBGrid>("grdShop"), "SHOP_NUM");
        WS.UserClickEllipsis(D<TOrvDBGrid>("grdShop"));
        EXPECT_EQ(Cshare.Calls.back(), "SelectUnitInTree(12,S,A,CMS_RS_VIEW,cdsData)");
        EXPECT_EQ(Row(Shops(), "SHOP_ID;SHOP_NUM;SHOP_NAME"), "1.0000 s001 一店");
        EXPECT_EQ(LastFocus(), Dlg);

        // A class number found sets status 2 even while its row is still being inserted.
        WS.UserExecute(D<TAction>("actNewLine"));
        TypeIn("grdProdCls", "PROD_CLS_NUM", "c20");
        EXPECT_EQ(Cshare.Calls.back(), "GetProdCls(-1,C20,cdsData)");
        EXPECT_EQ(Row(Classes(), "PROD_CLS_ID;PROD_CLS_NUM;PROD_NAME"), "20 C20 零食");
        // In status 2 only stored rows count; the row being inserted is not one yet.
        EXPECT_FALSE(Enabled("actDeleteLine"));

        // A pick whose copy fails (a number too long for the field) gives the number
        // handlers back: the next typed number is looked up again.
        Cshare.ProdClsPick = TCshareItem{30, std::string(26, 'Z'), "烟酒"};
        WS.ClearRecords();
        WS.UserSelectColumn(D<TOrvDBGrid>("grdProdCls"), "PROD_CLS_NUM");
        WS.UserClickEllipsis(D<TOrvDBGrid>("grdProdCls"));
        EXPECT_FALSE(WS.Messages().empty());
        EXPECT_EQ(LastFocus(), Dlg);
        TypeIn("grdProdCls", "PROD_CLS_NUM", "c10");
        EXPECT_EQ(Row(Classes(), "PROD_CLS_ID;PROD_CLS_NUM;PROD_NAME"), "10 C10 饮料");
        WS.UserClick(D<TBitBtn>("btnClose"));
    });
}

// Loaded rows: shop 1 / class 10, shop 2 / class 10 and shop 1 / class 20, all January 2026.
TEST_F(CmsRsBatchAppendFormTest, MergeAddsEachNewPairClassMajorAndStopsAtTheFirstRefusal) {
    // A pending row that cannot be posted keeps the dialog shut.
    WS.UserExecute(Get<TAction>(F, "actNewLine"));
    WS.UserExecute(Get<TAction>(F, "actNewLines"));
    EXPECT_EQ(LastMessage(), "“门店编号”不能为空。");
    F->cdsMain->Cancel();

    // Shop 3 comes from the picker under another name; the window's lookup sets its key
    // and the dialog's name is put back. Class 10 is listed twice.
    Cshare.UnitsPick =
        std::vector<TCshareItem>{{1, "S001", "一店"}, {2, "S002", "二店"}, {3, "S003", "三号店"}};
    Cshare.ProdClssPick = std::vector<TCshareItem>{{10, "C10", "饮料"}, {20, "C20", "零食"}};
    auto Gather = [&](TDateTime From, TDateTime To, const char* Rate) {
        WS.UserExecute(D<TAction>("actShopNewLines"));
        WS.UserExecute(D<TAction>("actNewLines"));
        WS.UserPickDate(D<TDateTimePicker>("edtFromDate"), From);
        WS.UserPickDate(D<TDateTimePicker>("edtToDate"), To);
        WS.UserTypeText(D<TOrvMeEdit>("edtCmsRate"), Rate);
    };
    Batch([&] {
        Gather(EncodeDate(2026, 1, 1), EncodeDate(2026, 1, 31), " 0.25");
        WS.UserExecute(D<TAction>("actNewLine"));
        TypeIn("grdProdCls", "PROD_CLS_NUM", "C10");
        ASSERT_EQ(Append(), "");
    });
    EXPECT_TRUE(WS.Messages().empty()) << LastMessage();
    const char* Fields = "SHOP_ID;SHOP_NAME;PROD_CLS_ID;FROM_DATE;TO_DATE;CMS_RATE";
    std::vector<std::string> Rows;
    for (F->cdsMain->First(); !F->cdsMain->Eof(); F->cdsMain->Next())
        Rows.push_back(Row(F->cdsMain, Fields));
    EXPECT_EQ(Rows, (std::vector<std::string>{
                        "1.0000 一店 10 2026-01-01 2026-01-31 0.0500",
                        "2.0000 二店 10 2026-01-01 2026-01-31 0.0600",
                        "1.0000 一店 20 2026-01-01 2026-01-31 0.0700",
                        "3.0000 三号店 10 2026-01-01 2026-01-31 0.2500",
                        "2.0000 二店 20 2026-01-01 2026-01-31 0.2500",
                        "3.0000 三号店 20 2026-01-01 2026-01-31 0.2500",
                    }));
    EXPECT_EQ(F->cdsMain->ChangeCount(), 3);
    EXPECT_EQ(F->Status(), 3);
    // The window was busy for the nine combinations and is no longer.
    ASSERT_EQ(WS.BusyRuns().size(), 1u);
    EXPECT_EQ(WS.BusyRuns()[0].Form, "CmsRsBrowseForm");
    EXPECT_EQ(WS.BusyRuns()[0].Total, 9);
    EXPECT_EQ(WS.BusyRuns()[0].LastDone, 9);
    EXPECT_TRUE(WS.BusyRuns()[0].Ended);

    // A range overlapping, without equalling, shop 1's January: shop 3 listed first is
    // appended and kept, shop 1 stops the merge in insert state.
    F->cdsMain->CancelUpdates();
    Cshare.UnitsPick = std::vector<TCshareItem>{{3, "S003", "三店"}, {1, "S001", "一店"}};
    Cshare.ProdClssPick = std::vector<TCshareItem>{{10, "C10", "饮料"}};
    Batch([&] {
        Gather(EncodeDate(2026, 1, 15), EncodeDate(2026, 2, 15), "0.4");
        ASSERT_EQ(Append(), "");
    });
    EXPECT_EQ(LastMessage(), "日期重叠。");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(Row(F->cdsMain, "SHOP_ID;PROD_CLS_ID;CMS_RATE"), "1.0000 10 0.4000");
    EXPECT_EQ(F->cdsMain->RecordCount(), 4);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 1);
    ASSERT_EQ(WS.BusyRuns().size(), 1u);
    EXPECT_EQ(WS.BusyRuns()[0].LastDone, 1) << "stopped at the second of two";
    EXPECT_TRUE(WS.BusyRuns()[0].Ended) << "a refusal ends the busy period too";
    F->cdsMain->Cancel();
    F->cdsMain->Last();
    EXPECT_EQ(Row(F->cdsMain, Fields), "3.0000 三店 10 2026-01-15 2026-02-15 0.4000");
}
